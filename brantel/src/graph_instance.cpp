#include "graph_instance.h"

#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "util.h"

namespace brantel {

namespace {

// Filters the conversion and the source types add by class id.
constexpr CLSID CLSID_RealMediaSplitter{0xE21BE468, 0x5C18, 0x43EB, {0xB0, 0xCC, 0xDB, 0x93, 0xA8, 0x47, 0xD7, 0x69}};
constexpr CLSID CLSID_RealMediaAudioDecoder{0x941A4793, 0xA705, 0x4312, {0x8D, 0xFC, 0xC1, 0x1C, 0xA0, 0x5F, 0x39, 0x7E}};
constexpr CLSID CLSID_RealMediaVideoDecoder{0x238D0F23, 0x5DC9, 0x45A6, {0x9B, 0xE2, 0x66, 0x61, 0x60, 0xC3, 0x24, 0xDD}};
constexpr CLSID CLSID_QuickTimeSource{0xE41C6AFE, 0x738D, 0x4A56, {0x95, 0x7C, 0xC3, 0x52, 0xF4, 0x1B, 0x32, 0x75}};

// A graph holds few filters; teardown gives up after this many.
constexpr int kMaxFiltersRemoved = 31;

std::string LowerAscii(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

ComPtr<IBaseFilter> CreateFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> filter;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid()))) return {};
    return filter;
}

// Pins of a filter, in the filter's order.
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    if (!filter || FAILED(filter->EnumPins(e.PutAddr())) || !e) return pins;
    for (;;) {
        IPin *pin = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &pin, &fetched) != S_OK || !pin) break;
        pins.emplace_back(pin, false);
    }
    return pins;
}

bool PinDirectionIs(IPin *pin, PIN_DIRECTION direction) {
    PIN_DIRECTION d;
    return SUCCEEDED(pin->QueryDirection(&d)) && d == direction;
}

bool IsConnected(IPin *pin) {
    ComPtr<IPin> peer;
    return SUCCEEDED(pin->ConnectedTo(peer.PutAddr())) && peer;
}

ComPtr<IPin> FirstPin(IBaseFilter *filter, PIN_DIRECTION direction) {
    for (auto &pin : PinsOf(filter))
        if (PinDirectionIs(pin.Get(), direction)) return pin;
    return {};
}

ComPtr<IPin> FirstFreeOutput(IBaseFilter *filter) {
    for (auto &pin : PinsOf(filter))
        if (PinDirectionIs(pin.Get(), PINDIR_OUTPUT) && !IsConnected(pin.Get())) return pin;
    return {};
}

bool HasOutputPin(IBaseFilter *filter) { return static_cast<bool>(FirstPin(filter, PINDIR_OUTPUT)); }

bool AnyPinConnected(IBaseFilter *filter) {
    for (auto &pin : PinsOf(filter))
        if (IsConnected(pin.Get())) return true;
    return false;
}

// Whether the pin offers a type of the given major type.
bool OffersMajorType(IPin *pin, const GUID &major) {
    ComPtr<IEnumMediaTypes> e;
    if (FAILED(pin->EnumMediaTypes(e.PutAddr())) || !e) return false;
    bool found = false;
    for (;;) {
        AM_MEDIA_TYPE *mt = nullptr;
        ULONG fetched = 0;
        if (e->Next(1, &mt, &fetched) != S_OK || !mt) break;
        found = found || mt->majortype == major;
        DeleteMediaType(mt);
        if (found) break;
    }
    return found;
}

// The filter's name as lower-case 8-bit text; false when it has none.
bool LowerFilterName(IBaseFilter *filter, std::string *name) {
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info))) return false;
    if (info.pGraph) info.pGraph->Release();
    std::string text = WideToUtf8(info.achName);
    if (text.size() > 1000) return false;
    *name = LowerAscii(text);
    return true;
}

// The filter at the other end of the first connected input of `filter`.
ComPtr<IBaseFilter> UpstreamOf(IBaseFilter *filter) {
    for (auto &pin : PinsOf(filter)) {
        if (!PinDirectionIs(pin.Get(), PINDIR_INPUT)) continue;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.PutAddr())) || !peer) continue;
        PIN_INFO info{};
        if (FAILED(peer->QueryPinInfo(&info))) return {};
        return ComPtr<IBaseFilter>(info.pFilter, false);
    }
    return {};
}

std::string PinNameLower(IPin *pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info))) return {};
    if (info.pFilter) info.pFilter->Release();
    std::string text = WideToUtf8(info.achName);
    if (text.size() > 1000) text.resize(1000);
    return LowerAscii(text);
}

}  // namespace

// ---- GraphPlayer ---------------------------------------------------------

GraphPlayer::~GraphPlayer() { ReleasePlayer(); }

bool GraphPlayer::CreateGraph() {
    if (!comInitialised_) comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (graphBuilder_) return false;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graphBuilder_.PutVoid()))) {
        graphBuilder_ = nullptr;
        return false;
    }
    return AcquireControls();
}

void GraphPlayer::ReleaseGraph() { ReleasePlayer(); }

bool GraphPlayer::AttachGraph(IGraphBuilder *graph) {
    ReleaseGraph();
    if (!graph) return true;
    graphBuilder_ = ComPtr<IGraphBuilder>(graph);
    return AcquireControls();
}

bool GraphPlayer::AcquireControls() {
    bool ok = true;
    ok = SUCCEEDED(graphBuilder_->QueryInterface(IID_IMediaControl, mediaControl_.PutVoid())) && ok;
    ok = SUCCEEDED(graphBuilder_->QueryInterface(IID_IMediaEventEx, mediaEvent_.PutVoid())) && ok;
    ok = SUCCEEDED(graphBuilder_->QueryInterface(IID_IBasicVideo, basicVideo_.PutVoid())) && ok;
    ok = SUCCEEDED(graphBuilder_->QueryInterface(IID_IBasicAudio, basicAudio_.PutVoid())) && ok;
    ok = SUCCEEDED(graphBuilder_->QueryInterface(IID_IVideoWindow, videoWindow_.PutVoid())) && ok;
    const bool seeking = SUCCEEDED(graphBuilder_->QueryInterface(IID_IMediaSeeking, mediaSeeking_.PutVoid()));
    if (seeking && mediaSeeking_) mediaSeeking_->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    return ok && seeking;
}

void GraphPlayer::ReleasePlayer() {
    mediaSeeking_ = nullptr;
    mediaControl_ = nullptr;
    mediaEvent_ = nullptr;
    basicVideo_ = nullptr;
    basicAudio_ = nullptr;
    if (videoWindow_) {
        videoWindow_->put_Visible(OAFALSE);
        videoWindow_->put_MessageDrain(0);
        videoWindow_->put_Owner(0);
        videoWindow_ = nullptr;
    }
    graphBuilder_ = nullptr;
    if (comInitialised_) {
        comInitialised_ = false;
        CoUninitialize();
    }
}

bool GraphPlayer::IsInState(FILTER_STATE state) const {
    if (!mediaControl_) return false;
    OAFilterState current = 0;
    // VFW_S_STATE_INTERMEDIATE is a success that names the target state.
    if (FAILED(mediaControl_->GetState(kStateQueryTimeoutMs, &current))) return false;
    return current == static_cast<OAFilterState>(state);
}

bool GraphPlayer::WaitForState(FILTER_STATE state, LONG timeoutMs) const {
    if (!mediaControl_) return false;
    OAFilterState current = 0;
    const HRESULT hr = mediaControl_->GetState(timeoutMs, &current);
    return hr == S_OK && current == static_cast<OAFilterState>(state);
}

bool GraphPlayer::Run() {
    if (!graphBuilder_ || !mediaControl_) return false;
    if (IsInState(State_Running)) return true;
    return SUCCEEDED(mediaControl_->Run());
}

bool GraphPlayer::Pause() {
    if (!graphBuilder_ || !mediaControl_) return false;
    if (IsInState(State_Paused)) return true;
    return SUCCEEDED(mediaControl_->Pause());
}

bool GraphPlayer::Stop() {
    if (!graphBuilder_ || !mediaControl_) return false;
    if (IsInState(State_Stopped)) return true;
    return SUCCEEDED(mediaControl_->Stop());
}

bool GraphPlayer::GetPosition(double *seconds) const {
    if (!mediaSeeking_ || !seconds) return false;
    LONGLONG position = 0;
    if (FAILED(mediaSeeking_->GetCurrentPosition(&position))) return false;
    *seconds = RefTimeToSeconds(position);
    return true;
}

bool GraphPlayer::SetPosition(double seconds) {
    if (!mediaSeeking_) return false;
    LONGLONG position = SecondsToRefTime(seconds);
    return SUCCEEDED(mediaSeeking_->SetPositions(&position, kSeekFlags, nullptr, AM_SEEKING_NoPositioning));
}

bool GraphPlayer::GetDuration(double *seconds) const {
    if (!mediaSeeking_ || !seconds) return false;
    LONGLONG duration = 0;
    if (FAILED(mediaSeeking_->GetDuration(&duration))) return false;
    *seconds = RefTimeToSeconds(duration);
    return true;
}

bool GraphPlayer::SetStartStop(double start, double stop) {
    if (!mediaSeeking_) return false;
    LONGLONG startTime = SecondsToRefTime(start);
    LONGLONG stopTime = SecondsToRefTime(stop);
    return SUCCEEDED(mediaSeeking_->SetPositions(&startTime, kSeekFlags, &stopTime, kSeekFlags));
}

bool GraphPlayer::SetDisplayWindow(HWND window) {
    if (!videoWindow_) return false;
    videoWindow_->put_Visible(OAFALSE);
    videoWindow_->put_Owner(ToOAHWND(window));
    RECT client{};
    platform::GetClientRect(window, &client);
    videoWindow_->SetWindowPosition(0, 0, client.right - client.left, client.bottom - client.top);
    videoWindow_->put_WindowStyle(static_cast<long>(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    videoWindow_->put_MessageDrain(ToOAHWND(window));
    if (window) videoWindow_->put_Visible(OATRUE);
    return true;
}

bool GraphPlayer::ResizeVideoWindow(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    if (!videoWindow_) return false;
    long visible = OATRUE;
    if (FAILED(videoWindow_->get_Visible(&visible))) visible = OATRUE;
    videoWindow_->put_Visible(OAFALSE);
    videoWindow_->put_Left(left);
    videoWindow_->put_Top(top);
    videoWindow_->put_Width(width);
    videoWindow_->put_Height(height);
    videoWindow_->put_Visible(visible);
    return true;
}

bool GraphPlayer::GetVideoSize(std::int32_t *width, std::int32_t *height) const {
    if (!basicVideo_ || !width || !height) return false;
    long w = 0, h = 0;
    if (FAILED(basicVideo_->GetVideoSize(&w, &h))) return false;
    *width = static_cast<std::int32_t>(w);
    *height = static_cast<std::int32_t>(h);
    return true;
}

bool GraphPlayer::NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!videoWindow_) return false;
    return SUCCEEDED(videoWindow_->NotifyOwnerMessage(ToOAHWND(window), static_cast<long>(message),
                                                      static_cast<LONG_PTR>(wparam), static_cast<LONG_PTR>(lparam)));
}

bool GraphPlayer::SetNotifyWindow(HWND window) {
    if (!mediaEvent_) return false;
    mediaEvent_->SetNotifyWindow(ToOAHWND(window), static_cast<long>(kGraphNotifyMessage), 0);
    return true;
}

bool GraphPlayer::Snapshot(const char *bitmapPath) const {
    if (!basicVideo_ || !bitmapPath) return false;
    // Right after a pause or a seek the renderer may not hold the picture
    // yet; let a pending state change finish (bounded) before asking.
    if (mediaControl_) {
        OAFilterState state = 0;
        if (mediaControl_->GetState(0, &state) == VFW_S_STATE_INTERMEDIATE)
            mediaControl_->GetState(kSnapshotWaitMs, &state);
    }
    long size = 0;
    if (FAILED(basicVideo_->GetCurrentImage(&size, nullptr)) || size <= 0) return false;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(size));
    long filled = size;
    if (FAILED(basicVideo_->GetCurrentImage(&filled, reinterpret_cast<long *>(image.data())))) return false;
    return WriteBitmapFile(bitmapPath, image.data(), image.size());
}

// ---- GraphInstance -------------------------------------------------------

GraphInstance::~GraphInstance() { GraphInstance::ReleaseGraph(); }

bool GraphInstance::CreateGraph() {
    settings_ = std::make_unique<Mpeg2Parameter>();
    std::memset(settings_.get(), 0, sizeof(Mpeg2Parameter));
    if (!comInitialised_) comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (graphBuilder_) return false;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graphBuilder_.PutVoid()))) {
        graphBuilder_ = nullptr;
        return false;
    }
    return AcquireControls();
}

void GraphInstance::RemoveAllFilters() {
    if (!graphBuilder_) return;
    // Streaming threads must be gone before their filters leave the graph.
    if (mediaControl_ && !IsInState(State_Stopped)) mediaControl_->Stop();
    ComPtr<IEnumFilters> e;
    if (FAILED(graphBuilder_->EnumFilters(e.PutAddr())) || !e) return;
    int resyncs = 0;
    for (int visited = 0; visited < kMaxFiltersRemoved;) {
        IBaseFilter *raw = nullptr;
        ULONG fetched = 0;
        HRESULT hr = e->Next(1, &raw, &fetched);
        if (hr == VFW_E_ENUM_OUT_OF_SYNC && ++resyncs <= kMaxFiltersRemoved) {
            e->Reset();
            continue;
        }
        if (hr != S_OK || !raw) break;
        ComPtr<IBaseFilter> filter(raw, false);
        ++visited;
        if (SUCCEEDED(graphBuilder_->RemoveFilter(filter.Get()))) e->Reset();
    }
}

void GraphInstance::ReleaseGraph() {
    RemoveAllFilters();
    settings_.reset();
    encoderSettings_ = nullptr;
    encoderInfo_ = nullptr;
    encoder_ = nullptr;
    rmSplitter_ = nullptr;
    rmAudioDecoder_ = nullptr;
    rmVideoDecoder_ = nullptr;
    aviDecompressor_ = nullptr;
    colourConverter_ = nullptr;
    nullRenderer_ = nullptr;
    if (objectTableCookie_ != 0) {
        ComPtr<IRunningObjectTable> table;
        if (SUCCEEDED(GetRunningObjectTable(0, table.PutAddr())) && table) table->Revoke(objectTableCookie_);
        objectTableCookie_ = 0;
    }
    ReleasePlayer();
}

bool GraphInstance::PlainRender(const char *path) {
    const std::size_t length = std::strlen(path);
    if (length == 0 || length >= kMaxPathBytes) return false;
    const std::u16string wide = Utf8ToWide(path);
    // Partial renders (a stream without a decoder) count as failure.
    return graphBuilder_->RenderFile(reinterpret_cast<LPCWSTR>(wide.c_str()), nullptr) == S_OK;
}

bool GraphInstance::RenderQuickTime(const char *path) {
    if (std::strlen(path) >= kMaxPathBytes) return false;
    const std::u16string wide = Utf8ToWide(path);
    ComPtr<IBaseFilter> source = CreateFilter(CLSID_QuickTimeSource);
    if (!source) return false;
    if (FAILED(graphBuilder_->AddFilter(source.Get(), u"CyberlinkQuicktimeSource"))) return false;
    // A source that could not open the file, or offers nothing to render,
    // is a failure: leaving it would report an unplayable file as rendered.
    bool ok = false;
    ComPtr<IFileSourceFilter> loader;
    if (SUCCEEDED(source->QueryInterface(IID_IFileSourceFilter, loader.PutVoid())) && loader &&
        SUCCEEDED(loader->Load(wide.c_str(), nullptr))) {
        int rendered = 0;
        ok = true;
        for (auto &pin : PinsOf(source.Get())) {
            if (!PinDirectionIs(pin.Get(), PINDIR_OUTPUT)) continue;
            if (FAILED(graphBuilder_->Render(pin.Get()))) {
                ok = false;
                break;
            }
            ++rendered;
        }
        ok = ok && rendered > 0;
    }
    if (!ok && !AnyPinConnected(source.Get())) graphBuilder_->RemoveFilter(source.Get());
    return ok;
}

void GraphInstance::PreAdd(REFCLSID clsid, const char16_t *name, ComPtr<IBaseFilter> *member) {
    ComPtr<IBaseFilter> filter = CreateFilter(clsid);
    // A filter that is not installed is simply not used.
    if (!filter || FAILED(graphBuilder_->AddFilter(filter.Get(), name))) return;
    *member = filter;
}

void GraphInstance::DropIfUnconnected(ComPtr<IBaseFilter> *member) {
    if (!*member || AnyPinConnected(member->Get())) return;
    graphBuilder_->RemoveFilter(member->Get());
    *member = nullptr;
}

bool GraphInstance::RenderFile(const char *path) {
    if (!graphBuilder_ || !path) return false;
    const std::optional<std::string> extension = LowerExtension(path);
    if (!extension) return false;
    const std::string &ext = *extension;
    bool result = false;
    if (ext == "mpeg" || ext == "mpg" || ext == "avi" || ext == "mp4" || ext == "3gp" || ext == "3g2" ||
        ext == "flv" || ext == "swf" || ext == "asf") {
        result = PlainRender(path);
    } else if (ext == "mov") {
        // Only the QuickTime source opens these; when it cannot, the file
        // cannot be rendered.
        return RenderQuickTime(path);
    } else if (ext == "wmv") {
        PreAdd(CLSID_AVIDec, u"AVIDecompressor", &aviDecompressor_);
        PreAdd(CLSID_Colour, u"ColorSpaceConverter", &colourConverter_);
        result = PlainRender(path);
        DropIfUnconnected(&aviDecompressor_);
        DropIfUnconnected(&colourConverter_);
    } else if (ext == "rmvb" || ext == "rm") {
        PreAdd(CLSID_RealMediaSplitter, u"RealMedia SP", &rmSplitter_);
        PreAdd(CLSID_RealMediaAudioDecoder, u"RealMedia Audio Decoder", &rmAudioDecoder_);
        PreAdd(CLSID_RealMediaVideoDecoder, u"RealMedia Video Decoder", &rmVideoDecoder_);
        result = PlainRender(path);
        DropIfUnconnected(&rmSplitter_);
        DropIfUnconnected(&rmAudioDecoder_);
        DropIfUnconnected(&rmVideoDecoder_);
    }
    if (!result) result = PlainRender(path);
    return result;
}

bool GraphInstance::ReplaceRenderWithEncoder(bool audioOnly) {
    if (!graphBuilder_) return false;
    // Find the two renderers automatic rendering chose.
    ComPtr<IBaseFilter> videoRenderer, audioRenderer;
    {
        ComPtr<IEnumFilters> e;
        if (FAILED(graphBuilder_->EnumFilters(e.PutAddr())) || !e) return false;
        for (;;) {
            IBaseFilter *raw = nullptr;
            ULONG fetched = 0;
            if (e->Next(1, &raw, &fetched) != S_OK || !raw) break;
            ComPtr<IBaseFilter> filter(raw, false);
            if (HasOutputPin(filter.Get())) continue;
            if (ComPtr<IPin> input = FirstPin(filter.Get(), PINDIR_INPUT)) {
                if (OffersMajorType(input.Get(), MEDIATYPE_Audio)) {
                    if (!audioRenderer) audioRenderer = filter;
                } else if (OffersMajorType(input.Get(), MEDIATYPE_Video)) {
                    if (!videoRenderer) videoRenderer = filter;
                }
            }
            std::string name;
            if (!LowerFilterName(filter.Get(), &name)) return false;
            if (name.find("video renderer") != std::string::npos) {
                if (!videoRenderer) videoRenderer = filter;
            } else if (name.find("directsound") != std::string::npos) {
                if (!audioRenderer) audioRenderer = filter;
            }
            if (videoRenderer && audioRenderer) break;
        }
    }
    if (!videoRenderer || !audioRenderer) return false;
    ComPtr<IBaseFilter> videoUpstream = UpstreamOf(videoRenderer.Get());
    ComPtr<IBaseFilter> audioUpstream = UpstreamOf(audioRenderer.Get());
    if (!videoUpstream || !audioUpstream) return false;

    if (!IsInState(State_Stopped) && mediaControl_) mediaControl_->Stop();
    // A renderer the graph keeps would leave the decoder's output taken.
    if (FAILED(graphBuilder_->RemoveFilter(videoRenderer.Get()))) return false;
    videoRenderer = nullptr;
    if (FAILED(graphBuilder_->RemoveFilter(audioRenderer.Get()))) return false;
    audioRenderer = nullptr;

    ComPtr<IPin> videoOut = FirstFreeOutput(videoUpstream.Get());
    ComPtr<IPin> audioOut = FirstFreeOutput(audioUpstream.Get());
    if (!videoOut || !audioOut) return false;

    ComPtr<IBaseFilter> encoder = CreateFilter(CLSID_FFEncoder);
    if (!encoder || FAILED(graphBuilder_->AddFilter(encoder.Get(), u"FFEncoder"))) return false;
    encoder_ = encoder;

    ComPtr<IPin> nullInput;
    if (audioOnly) {
        ComPtr<IBaseFilter> sink = CreateFilter(CLSID_NullRenderer);
        if (!sink || FAILED(graphBuilder_->AddFilter(sink.Get(), u"Null Renderer"))) return false;
        nullRenderer_ = sink;
        nullInput = FirstPin(sink.Get(), PINDIR_INPUT);
        if (!nullInput) return false;
    }

    ComPtr<IPin> encoderVideoIn, encoderAudioIn;
    for (auto &pin : PinsOf(encoder_.Get())) {
        if (!PinDirectionIs(pin.Get(), PINDIR_INPUT)) continue;
        if (PinNameLower(pin.Get()).find("video input") != std::string::npos)
            encoderVideoIn = pin;
        else
            encoderAudioIn = pin;
    }
    if (!encoderAudioIn || (!audioOnly && !encoderVideoIn)) return false;

    const HRESULT audioResult = graphBuilder_->Connect(audioOut.Get(), encoderAudioIn.Get());
    const HRESULT videoResult =
        graphBuilder_->Connect(videoOut.Get(), audioOnly ? nullInput.Get() : encoderVideoIn.Get());

    ComPtr<IMediaFilter> mediaFilter;
    if (SUCCEEDED(graphBuilder_->QueryInterface(IID_IMediaFilter, mediaFilter.PutVoid())) && mediaFilter)
        mediaFilter->SetSyncSource(nullptr);

    return audioResult == S_OK && videoResult == S_OK;
}

bool GraphInstance::SetParameters(const Mpeg2Parameter *parameter) {
    if (!parameter) return false;
    if (!settings_) settings_ = std::make_unique<Mpeg2Parameter>();
    std::memcpy(settings_.get(), parameter, sizeof(Mpeg2Parameter));
    // The record's texts belong to the caller and are gone once this call
    // returns: the kept copy must not point at them.
    auto forgetTexts = [this] {
        settings_->SourcePath = settings_->OutputPath = nullptr;
        settings_->Reserved1 = settings_->Reserved2 = settings_->Title = nullptr;
    };
    if (!encoder_) {
        forgetTexts();
        return false;
    }
    if (FAILED(encoder_->QueryInterface(IID_IFFEncoderSettings, encoderSettings_.PutVoid())) || !encoderSettings_) {
        encoderSettings_ = nullptr;
        forgetTexts();
        return true;
    }
    const Mpeg2Parameter &p = *parameter;
    // The encoder copies each text; a missing one travels as empty text.
    auto text = [](const char *s) { return s ? s : ""; };
    IFFEncoderSettings *s = encoderSettings_.Get();
    s->SetOutputType(p.OutputType);
    s->SetFrameRateMode(p.FrameRateMode);
    s->SetAspectRatio(p.AspectRatio);
    s->SetVbrType(p.VbrType);
    s->SetChannelMode(p.ChannelMode);
    s->SetVideoBitsPerSec(p.VideoBitsPerSec);
    s->SetAudioBitsPerSec(p.AudioBitsPerSec);
    s->SetOutputPath(text(p.OutputPath));
    s->SetReserved1(text(p.Reserved1));
    s->SetReserved2(text(p.Reserved2));
    s->SetTitle(text(p.Title));
    s->SetMaxFileSize(p.MaxFileSize);
    s->SetFrameRate(p.FrameRate);
    s->SetFrameRateBase(p.FrameRateBase);
    s->SetFrameWidth(p.FrameWidth);
    s->SetFrameHeight(p.FrameHeight);
    s->SetOutputQuality(p.OutputQuality);
    s->SetKeepInputRatio(static_cast<LONG>(p.KeepInputRatio));
    s->SetReserved4(static_cast<LONG>(p.Reserved4));
    s->SetReversal(static_cast<LONG>(p.Reversal));
    s->SetSampleRate(p.SampleRate);
    s->SetVolumeScale(p.VolumeScale);
    s->SetThreeGpSize(p.ThreeGpSize);
    encoderSettings_ = nullptr;
    forgetTexts();
    AddToObjectTable();
    return true;
}

bool GraphInstance::GetEncoderVersion(char *buffer) {
    if (!encoder_ || !buffer) return false;
    if (!encoderInfo_ &&
        (FAILED(encoder_->QueryInterface(IID_IFFEncoderInfo, encoderInfo_.PutVoid())) || !encoderInfo_)) {
        encoderInfo_ = nullptr;
        return false;
    }
    return SUCCEEDED(encoderInfo_->GetVersionText(buffer));
}

bool GraphInstance::GetCurrentPosition(double *seconds) {
    if (!seconds) return false;
    if (!encoder_) return GetPosition(seconds);
    if (!encoderInfo_ &&
        (FAILED(encoder_->QueryInterface(IID_IFFEncoderInfo, encoderInfo_.PutVoid())) || !encoderInfo_)) {
        encoderInfo_ = nullptr;
        return false;
    }
    LONGLONG position = 0;
    if (FAILED(encoderInfo_->GetEncodedPosition(&position))) return false;
    *seconds = RefTimeToSeconds(position);
    return true;
}

void GraphInstance::AddToObjectTable() {
    if (!graphBuilder_) return;
    ComPtr<IRunningObjectTable> table;
    if (FAILED(GetRunningObjectTable(0, table.PutAddr())) || !table) return;
    const std::u16string item =
        Utf8ToWide(ObjectTableItemName(graphBuilder_.Get(), static_cast<std::uint32_t>(::getpid())));
    ComPtr<IMoniker> moniker;
    if (FAILED(CreateItemMoniker(u"!", item.c_str(), moniker.PutAddr())) || !moniker) return;
    // One entry per instance: a stale one would keep the graph alive.
    if (objectTableCookie_ != 0) {
        table->Revoke(objectTableCookie_);
        objectTableCookie_ = 0;
    }
    DWORD cookie = 0;
    if (SUCCEEDED(table->Register(0, graphBuilder_.Get(), moniker.Get(), &cookie))) objectTableCookie_ = cookie;
}

}  // namespace brantel
