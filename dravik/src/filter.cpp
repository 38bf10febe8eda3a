#include "filter.h"

#include <cstring>

namespace dravik {

namespace {

constexpr char kVersionText[] = "Version2008101A)";
static_assert(sizeof(kVersionText) == kEncoderVersionSize);

std::optional<VideoLayout> LayoutOf(const GUID &subtype) {
    if (subtype == MEDIASUBTYPE_RGB32) return VideoLayout::Rgb32;
    if (subtype == MEDIASUBTYPE_RGB24) return VideoLayout::Rgb24;
    if (subtype == MEDIASUBTYPE_RGB565) return VideoLayout::Rgb565;
    if (subtype == MEDIASUBTYPE_RGB555) return VideoLayout::Rgb555;
    if (subtype == MEDIASUBTYPE_YV12) return VideoLayout::Yv12;
    if (subtype == MEDIASUBTYPE_IYUV) return VideoLayout::Iyuv;
    if (subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_YUYV) return VideoLayout::Yuy2;
    return std::nullopt;
}

const WAVEFORMATEX *WaveFormatOf(const CMediaType *pmt) {
    if (*pmt->FormatType() != FORMAT_WaveFormatEx || !pmt->Format() || pmt->FormatLength() < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX *>(pmt->Format());
}

REFERENCE_TIME AvgTimePerFrameOf(const CMediaType *pmt) {
    if (*pmt->FormatType() == FORMAT_VideoInfo && pmt->FormatLength() >= sizeof(VIDEOINFOHEADER))
        return reinterpret_cast<const VIDEOINFOHEADER *>(pmt->Format())->AvgTimePerFrame;
    if (*pmt->FormatType() == FORMAT_VideoInfo2 && pmt->FormatLength() >= sizeof(VIDEOINFOHEADER2))
        return reinterpret_cast<const VIDEOINFOHEADER2 *>(pmt->Format())->AvgTimePerFrame;
    return 0;
}

}  // namespace

// ---- EncoderFilter ----------------------------------------------------------
EncoderFilter::EncoderFilter(EncoderObject *owner, LPUNKNOWN outer, CCritSec *lock)
    : CBaseFilter("Dravik", outer, lock, CLSID_FFEncoder), owner_(owner) {}

CBasePin *EncoderFilter::GetPin(int n) {
    if (n == 0) return owner_->audioPin_.get();
    if (n == 1) return owner_->videoPin_.get();
    return nullptr;
}

STDMETHODIMP EncoderFilter::Pause() {
    CAutoLock fl(&owner_->filterLock_);
    CAutoLock rl(&owner_->receiveLock_);
    owner_->videoTurn_.Reset();
    owner_->audioTurn_.Reset();
    owner_->stopping_ = false;
    return CBaseFilter::Pause();
}

STDMETHODIMP EncoderFilter::Run(REFERENCE_TIME tStart) {
    HRESULT hr;
    {
        CAutoLock fl(&owner_->filterLock_);
        // The graph always pauses first; a direct Run from stopped builds
        // the encoders through the same path.
        if (State() == State_Stopped) {
            hr = Pause();
            if (FAILED(hr)) return hr;
        }
        {
            CAutoLock rl(&owner_->receiveLock_);
            hr = owner_->engine_.OpenOutputFile();
            if (FAILED(hr)) return hr;
            owner_->videoTime_ = 0;
            owner_->audioTime_ = 0;
        }
        hr = CBaseFilter::Run(tStart);
        owner_->videoTurn_.Set();
        owner_->audioTurn_.Set();
    }
    // Outside our locks: this calls upstream. A missing duration leaves -1
    // and does not make the run fail (the filter is running by now).
    owner_->QueryDuration();
    return hr;
}

STDMETHODIMP EncoderFilter::Stop() {
    CAutoLock fl(&owner_->filterLock_);
    // Stopping a stopped filter changes nothing and is not a failure (the
    // graph may stop twice: once on completion, once at teardown).
    if (State() == State_Stopped) return S_OK;
    CAutoLock rl(&owner_->receiveLock_);
    owner_->stopping_ = true;
    owner_->videoTurn_.Set();
    owner_->audioTurn_.Set();
    Engine &e = owner_->engine_;
    // Drains both encoders, so everything received is in the file.
    const HRESULT trailer = e.FinishOutputFile();
    if (!e.FileOpen()) {
        LogLine("stop without an open output file");
        return E_FAIL;
    }
    // A failed trailer (full disk) still closes the file and stops, so
    // nothing stays open behind a failed stop; the failure is reported.
    const HRESULT closed = e.CloseOutputFile();
    e.ResetFileNumber();
    HRESULT hr = CBaseFilter::Stop();
    if (FAILED(trailer) || FAILED(closed)) return E_FAIL;
    return hr;
}

// ---- VideoInputPin ------------------------------------------------------------
VideoInputPin::VideoInputPin(EncoderObject *owner, CBaseFilter *filter, CCritSec *lock, HRESULT *phr)
    : CRenderedInputPin("Video Input", filter, lock, phr, u"Video Input"), owner_(owner) {}

HRESULT VideoInputPin::CheckMediaType(const CMediaType *pmt) {
    if (!pmt) return E_POINTER;
    if (!IsStopped()) return S_FALSE;
    if (*pmt->Type() != MEDIATYPE_Video) return S_FALSE;
    if (*pmt->FormatType() != FORMAT_VideoInfo && *pmt->FormatType() != FORMAT_VideoInfo2) return S_FALSE;
    if (!LayoutOf(*pmt->Subtype())) return S_FALSE;
    const BITMAPINFOHEADER *bih = GetBitmapHeader(pmt);
    if (!bih || bih->biWidth <= 0 || bih->biHeight == 0) return S_FALSE;
    // The record's size follows the input until Brantel delivers its own.
    owner_->settings_.SetInputSize(bih->biWidth, bih->biHeight < 0 ? -bih->biHeight : bih->biHeight);
    return S_OK;
}

HRESULT VideoInputPin::SetMediaType(const CMediaType *pmt) {
    HRESULT hr = CRenderedInputPin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    const BITMAPINFOHEADER *bih = GetBitmapHeader(pmt);
    auto layout = LayoutOf(*pmt->Subtype());
    if (!bih || !layout) return VFW_E_TYPE_NOT_ACCEPTED;
    input_ = VideoInput{*layout, bih->biWidth, bih->biHeight};
    REFERENCE_TIME avg = AvgTimePerFrameOf(pmt);
    frameTime_ = avg > 0 ? avg : 333667;
    return S_OK;
}

HRESULT VideoInputPin::Active() {
    owner_->videoEnded_ = false;
    if (!owner_->engine_.EncoderReady()) {
        HRESULT hr = owner_->BuildForPins();
        if (FAILED(hr)) return hr;
    }
    owner_->engine_.SetRebase();
    return CRenderedInputPin::Active();
}

HRESULT VideoInputPin::Inactive() {
    if (owner_->engine_.EncoderReady()) owner_->engine_.TearDownEncoders();
    return CRenderedInputPin::Inactive();
}

STDMETHODIMP VideoInputPin::Receive(IMediaSample *sample) {
    if (!sample) return E_POINTER;
    owner_->videoTurn_.Wait(INFINITE);
    CAutoLock rl(&owner_->receiveLock_);
    if (owner_->stopping_ || IsFlushing()) return S_FALSE;
    // An output that failed (disk full, next file of a split not created)
    // ends the stream with an error instead of refusing samples forever.
    if (!owner_->engine_.FileOpen()) return owner_->engine_.OutputFailed() ? E_FAIL : S_FALSE;
    REFERENCE_TIME start = 0, end = 0;
    HRESULT th = sample->GetTime(&start, &end);
    // Untimed samples follow the previous one at the format's frame rate.
    if (FAILED(th)) start = lastEnd_;
    if (FAILED(th) || th == VFW_S_NO_STOP_TIME || end < start) end = start + frameTime_;
    lastEnd_ = end;
    owner_->videoTime_ = end;
    owner_->currentTime_ = end;
    if (owner_->videoTime_ > owner_->audioTime_ && owner_->audioPin_->IsConnected() && !owner_->audioEnded_) {
        owner_->audioTurn_.Set();
        owner_->videoTurn_.Reset();
    }
    BYTE *data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    long len = sample->GetActualDataLength();
    if (len < 0) len = 0;
    return owner_->engine_.EncodeVideo(data, static_cast<std::size_t>(len), start);
}

STDMETHODIMP VideoInputPin::EndOfStream() {
    {
        CAutoLock rl(&owner_->receiveLock_);
        owner_->videoEnded_ = true;
        owner_->audioTurn_.Set();
    }
    return CRenderedInputPin::EndOfStream();
}

STDMETHODIMP VideoInputPin::BeginFlush() {
    HRESULT hr = CRenderedInputPin::BeginFlush();
    owner_->videoTurn_.Set();
    return hr;
}

STDMETHODIMP VideoInputPin::EndFlush() {
    owner_->videoEnded_ = false;
    return CRenderedInputPin::EndFlush();
}

STDMETHODIMP VideoInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    owner_->videoTime_ = 0;
    lastEnd_ = 0;
    return S_OK;
}

// ---- AudioInputPin ------------------------------------------------------------
AudioInputPin::AudioInputPin(EncoderObject *owner, CBaseFilter *filter, CCritSec *lock, HRESULT *phr)
    : CRenderedInputPin("Audio Input", filter, lock, phr, u"Audio Input"), owner_(owner) {}

HRESULT AudioInputPin::CheckMediaType(const CMediaType *pmt) {
    if (!pmt) return E_POINTER;
    if (!IsStopped()) return E_FAIL;
    if (*pmt->Type() != MEDIATYPE_Audio || *pmt->Subtype() != MEDIASUBTYPE_PCM) return E_FAIL;
    const WAVEFORMATEX *wf = WaveFormatOf(pmt);
    if (!wf || wf->wFormatTag != WAVE_FORMAT_PCM || wf->nChannels != 2) return E_FAIL;
    // The audio path reads 16-bit samples; other widths would be noise.
    if (wf->wBitsPerSample != 16) return E_FAIL;
    const LONG rate = owner_->settings_.With([](const SettingsValues &v) { return v.SampleRate; });
    if (static_cast<LONG>(wf->nSamplesPerSec) != rate) return E_FAIL;
    return S_OK;
}

HRESULT AudioInputPin::SetMediaType(const CMediaType *pmt) {
    HRESULT hr = CRenderedInputPin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    const WAVEFORMATEX *wf = WaveFormatOf(pmt);
    if (!wf) return VFW_E_TYPE_NOT_ACCEPTED;
    input_ = AudioInput{wf->nChannels, static_cast<std::int32_t>(wf->nSamplesPerSec)};
    return S_OK;
}

HRESULT AudioInputPin::Active() {
    owner_->audioEnded_ = false;
    if (!owner_->engine_.EncoderReady()) {
        HRESULT hr = owner_->BuildForPins();
        if (FAILED(hr)) return hr;
    }
    return CRenderedInputPin::Active();
}

HRESULT AudioInputPin::Inactive() {
    if (owner_->engine_.EncoderReady()) owner_->engine_.TearDownEncoders();
    return CRenderedInputPin::Inactive();
}

STDMETHODIMP AudioInputPin::Receive(IMediaSample *sample) {
    if (!sample) return E_POINTER;
    owner_->audioTurn_.Wait(INFINITE);
    CAutoLock rl(&owner_->receiveLock_);
    if (owner_->stopping_ || IsFlushing()) return S_FALSE;
    // An output that failed (disk full, next file of a split not created)
    // ends the stream with an error instead of refusing samples forever.
    if (!owner_->engine_.FileOpen()) return owner_->engine_.OutputFailed() ? E_FAIL : S_FALSE;
    BYTE *data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    long len = sample->GetActualDataLength();
    if (len < 0) len = 0;
    REFERENCE_TIME start = 0, end = 0;
    HRESULT th = sample->GetTime(&start, &end);
    if (FAILED(th) || th == VFW_S_NO_STOP_TIME || end < start) {
        // Untimed audio: its length in time after the previous sample.
        if (FAILED(th)) start = lastEnd_;
        const auto frames = static_cast<REFERENCE_TIME>(len / (input_ ? input_->channels * 2 : 4));
        end = start + frames * 10000000 / (input_ && input_->sampleRate > 0 ? input_->sampleRate : 44100);
    }
    lastEnd_ = end;
    owner_->audioTime_ = end;
    if (!owner_->videoPin_->IsConnected()) owner_->currentTime_ = end;
    if (owner_->audioTime_ > owner_->videoTime_ && owner_->videoPin_->IsConnected() && !owner_->videoEnded_) {
        owner_->videoTurn_.Set();
        owner_->audioTurn_.Reset();
    }
    if (FAILED(hr)) return hr;
    return owner_->engine_.EncodeAudio(data, static_cast<std::size_t>(len));
}

STDMETHODIMP AudioInputPin::EndOfStream() {
    {
        CAutoLock rl(&owner_->receiveLock_);
        owner_->audioEnded_ = true;
        owner_->videoTurn_.Set();
    }
    return CRenderedInputPin::EndOfStream();
}

STDMETHODIMP AudioInputPin::BeginFlush() {
    HRESULT hr = CRenderedInputPin::BeginFlush();
    owner_->audioTurn_.Set();
    return hr;
}

STDMETHODIMP AudioInputPin::EndFlush() {
    owner_->audioEnded_ = false;
    return CRenderedInputPin::EndFlush();
}

STDMETHODIMP AudioInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    // A new segment restarts the audio clock as well, or a stale end time
    // from before a seek would hold the video input back.
    owner_->audioTime_ = 0;
    lastEnd_ = 0;
    return S_OK;
}

// ---- EncoderObject ----------------------------------------------------------------
CUnknown *EncoderObject::CreateInstance(LPUNKNOWN outer, HRESULT *phr) {
    auto *obj = new (std::nothrow) EncoderObject(outer, phr);
    if (!obj && phr) *phr = E_OUTOFMEMORY;
    return obj;
}

EncoderObject::EncoderObject(LPUNKNOWN outer, HRESULT *phr)
    : CUnknown("EncoderObject", outer), engine_(settings_) {
    HRESULT hr = S_OK;
    filter_.reset(new (std::nothrow) EncoderFilter(this, GetOwner(), &filterLock_));
    if (filter_) videoPin_.reset(new (std::nothrow) VideoInputPin(this, filter_.get(), &filterLock_, &hr));
    if (videoPin_) audioPin_.reset(new (std::nothrow) AudioInputPin(this, filter_.get(), &filterLock_, &hr));
    if (!filter_ || !videoPin_ || !audioPin_) hr = E_OUTOFMEMORY;
    if (phr && FAILED(hr)) *phr = hr;
}

EncoderObject::~EncoderObject() {
    // Destroyed with a file open (no stop): the encoders go without a
    // trailer and the file is closed by the engine's owner.
    engine_.TearDownEncoders();
    // Pins before the filter; the pass-throughs only reference the pins.
    passThrus_.clear();
    videoPin_.reset();
    audioPin_.reset();
    filter_.reset();
}

HRESULT EncoderObject::BuildForPins() {
    engine_.SetVideoInput(videoPin_->IsConnected() ? videoPin_->Input() : std::nullopt);
    engine_.SetAudioInput(audioPin_->IsConnected() ? audioPin_->Input() : std::nullopt);
    HRESULT hr = engine_.BuildEncoders();
    if (FAILED(hr)) engine_.TearDownEncoders();
    return hr;
}

void EncoderObject::QueryDuration() {
    CPosPassThru *pt;
    {
        CAutoLock fl(&filterLock_);
        pt = passThru_;
    }
    LONGLONG d = -1;
    if (!pt || FAILED(pt->GetDuration(&d))) d = -1;
    sourceDuration_ = d;
}

STDMETHODIMP EncoderObject::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    bool created = false;
    HRESULT hr;
    {
        CAutoLock fl(&filterLock_);
        if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
            return filter_->NonDelegatingQueryInterface(riid, ppv);
        if (riid == IID_IFFEncoderSettings) return GetInterface(static_cast<IFFEncoderSettings *>(this), ppv);
        if (riid == IID_IFFEncoderInfo) return GetInterface(static_cast<IFFEncoderInfo *>(this), ppv);
        if (riid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages *>(this), ppv);
        if (riid != IID_IMediaSeeking && riid != IID_IMediaPosition) return CUnknown::NonDelegatingQueryInterface(riid, ppv);
        // Seeking goes upstream through the video input, or through the
        // audio input when only audio is connected (audio-only outputs
        // must still be trimmed).
        IPin *pin = videoPin_->IsConnected() || !audioPin_->IsConnected() ? static_cast<IPin *>(videoPin_.get())
                                                                            : static_cast<IPin *>(audioPin_.get());
        const bool oldPinConnected = passThruPin_ == static_cast<IPin *>(videoPin_.get()) ? videoPin_->IsConnected()
                                                                                          : audioPin_->IsConnected();
        if (!passThru_ || (pin != passThruPin_ && !oldPinConnected)) {
            HRESULT ph = S_OK;
            auto pt = std::unique_ptr<CPosPassThru>(new (std::nothrow) CPosPassThru("PositionPassThru", GetOwner(), &ph, pin));
            if (!pt) return E_OUTOFMEMORY;
            if (FAILED(ph)) return ph;
            passThru_ = pt.get();
            passThruPin_ = pin;
            passThrus_.push_back(std::move(pt));
            created = true;
        }
        hr = passThru_->NonDelegatingQueryInterface(riid, ppv);
    }
    if (created) QueryDuration();
    return hr;
}

#define DRAVIK_NUMBER(Name, field)                                                              \
    STDMETHODIMP EncoderObject::Set##Name(LONG v) {                                             \
        return Set([&](SettingsValues &s) { s.field = v; });                                    \
    }                                                                                           \
    STDMETHODIMP EncoderObject::Get##Name(LONG *v) {                                            \
        CAutoLock lock(&filterLock_);                                                           \
        *v = settings_.With([](const SettingsValues &s) { return s.field; });                   \
        return S_OK;                                                                            \
    }
#define DRAVIK_TEXT(Name, field)                                                                \
    STDMETHODIMP EncoderObject::Set##Name(const char *t) {                                      \
        return Set([&](SettingsValues &s) { CopyText(s.field, t); });                           \
    }                                                                                           \
    STDMETHODIMP EncoderObject::Get##Name(char *b) {                                            \
        CAutoLock lock(&filterLock_);                                                           \
        settings_.With([&](const SettingsValues &s) { std::memcpy(b, s.field.data(), std::strlen(s.field.data()) + 1); }); \
        return S_OK;                                                                            \
    }

DRAVIK_NUMBER(OutputType, OutputType)
DRAVIK_TEXT(OutputPath, OutputPath)
DRAVIK_NUMBER(MaxFileSize, MaxFileSize)
DRAVIK_NUMBER(FrameRate, FrameRate)
DRAVIK_NUMBER(FrameRateBase, FrameRateBase)
DRAVIK_NUMBER(FrameRateMode, FrameRateMode)
DRAVIK_NUMBER(AspectRatio, AspectRatio)
DRAVIK_NUMBER(VbrType, VbrType)
DRAVIK_NUMBER(VideoBitsPerSec, VideoBitsPerSec)
DRAVIK_NUMBER(ChannelMode, ChannelMode)
DRAVIK_NUMBER(AudioBitsPerSec, AudioBitsPerSec)
DRAVIK_NUMBER(SampleRate, SampleRate)
DRAVIK_NUMBER(VolumeScale, VolumeScale)
DRAVIK_NUMBER(FrameWidth, FrameWidth)
DRAVIK_NUMBER(FrameHeight, FrameHeight)
DRAVIK_NUMBER(KeepInputRatio, KeepInputRatio)
DRAVIK_NUMBER(Reversal, Reversal)
DRAVIK_NUMBER(Reserved4, Reserved4)
DRAVIK_NUMBER(OutputQuality, OutputQuality)
DRAVIK_TEXT(Reserved1, Reserved1)
DRAVIK_TEXT(Title, Title)
DRAVIK_TEXT(Reserved2, Reserved2)
DRAVIK_NUMBER(ThreeGpSize, ThreeGpSize)

#undef DRAVIK_NUMBER
#undef DRAVIK_TEXT

STDMETHODIMP EncoderObject::GetEncodedPosition(LONGLONG *position) {
    CAutoLock lock(&filterLock_);
    *position = currentTime_;
    return S_OK;
}

STDMETHODIMP EncoderObject::GetSourceDuration(LONGLONG *duration) {
    CAutoLock lock(&filterLock_);
    *duration = sourceDuration_;
    return S_OK;
}

STDMETHODIMP EncoderObject::GetVersionText(char *buffer) {
    CAutoLock lock(&filterLock_);
    std::memcpy(buffer, kVersionText, sizeof kVersionText);
    return S_OK;
}

STDMETHODIMP EncoderObject::GetPages(CAUUID *pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = static_cast<GUID *>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) return E_OUTOFMEMORY;
    pages->cElems = 1;
    pages->pElems[0] = CLSID_FFEncoderPropertyPage;
    return S_OK;
}

}  // namespace dravik
