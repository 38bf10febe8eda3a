// The stock renderers: a shared base that holds the first sample while
// paused, paces samples by the clock while running and reports the end of
// stream; the video renderer (current picture, video surface), the silent
// audio renderer and the null renderer.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "internal.h"
#include "media/renderers.h"

namespace {

class RendererFilter;

class RendererInputPin final : public CRenderedInputPin {
public:
    RendererInputPin(RendererFilter *filter, CCritSec *lock, HRESULT *phr);
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    STDMETHODIMP Receive(IMediaSample *pSample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    HRESULT Inactive() override;
private:
    RendererFilter *renderer_;
};

class RendererFilter : public CBaseFilter, public IAMFilterMiscFlags {
public:
    RendererFilter(const char *name, LPUNKNOWN outer, REFCLSID clsid)
        : CBaseFilter(name, outer, &stateLock_, clsid), pin_(this, &stateLock_, nullptr) {
        HRESULT hr = S_OK;
        position_ = std::make_unique<CPosPassThru>("renderer position", GetOwner(), &hr, static_cast<IPin *>(&pin_));
    }
    ~RendererFilter() override = default;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) return position_->NonDelegatingQueryInterface(riid, ppv);
        if (riid == IID_IAMFilterMiscFlags) return GetInterface(static_cast<IAMFilterMiscFlags *>(this), ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    int GetPinCount() override { return 1; }
    CBasePin *GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }

    STDMETHODIMP Stop() override {
        HRESULT hr = CBaseFilter::Stop();
        {
            std::lock_guard<std::mutex> g(renderLock_);
            ready_ = false;
        }
        renderCv_.notify_all();
        position_->ResetMediaTime();
        return hr;
    }

    STDMETHODIMP Pause() override {
        const FILTER_STATE before = State();
        HRESULT hr = CBaseFilter::Pause();
        {
            std::lock_guard<std::mutex> g(renderLock_);
            // From stopped the transition completes with the first sample;
            // from running we already show one. Unconnected: nothing will come.
            if (before == State_Stopped) ready_ = !pin_.IsConnected();
            else ready_ = true;
        }
        renderCv_.notify_all();
        return hr;
    }

    STDMETHODIMP Run(REFERENCE_TIME tStart) override {
        runStart_ = tStart;
        HRESULT hr = CBaseFilter::Run(tStart);
        {
            std::lock_guard<std::mutex> g(renderLock_);
            ready_ = true;
        }
        renderCv_.notify_all();
        return hr;
    }

    STDMETHODIMP GetState(DWORD ms, FILTER_STATE *State) override {
        if (!State) return E_POINTER;
        *State = this->State();
        if (*State != State_Paused) return S_OK;
        std::unique_lock<std::mutex> l(renderLock_);
        auto done = [this] { return ready_ || pin_.AtEndOfStream() || this->State() != State_Paused; };
        if (ms == INFINITE) renderCv_.wait(l, done);
        else renderCv_.wait_for(l, std::chrono::milliseconds(ms), done);
        return done() ? S_OK : VFW_S_STATE_INTERMEDIATE;
    }

    // Streaming thread: hold while paused, wait for the sample's time while
    // running with a clock, then render. Returns a flow result.
    HRESULT ReceiveSample(IMediaSample *sample) {
        if (sample->IsPreroll() == S_OK) return S_OK;
        REFERENCE_TIME start = 0, end = 0;
        const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
        bool rendered = false;
        std::unique_lock<std::mutex> l(renderLock_);
        const std::uint64_t flushes = flushCount_;
        for (;;) {
            if (pin_.IsFlushing() || flushCount_ != flushes) return S_FALSE;
            const FILTER_STATE st = State();
            if (st == State_Stopped) return VFW_E_WRONG_STATE;
            if (st == State_Paused) {
                if (!rendered) {
                    l.unlock();
                    if (timed) position_->RegisterMediaTime(start, end);
                    HRESULT hr = Render(sample);
                    l.lock();
                    rendered = true;
                    if (FAILED(hr)) return hr;
                    ready_ = true;
                    renderCv_.notify_all();
                    continue;
                }
                // The paused renderer keeps the picture at the position
                // and holds the stream until run, stop or flush.
                renderCv_.wait(l);
                continue;
            }
            // Running.
            if (timed && m_pClock) {
                CRefTime now;
                if (SUCCEEDED(StreamTimeUnlocked(now)) && now < start) {
                    const auto wait = std::chrono::nanoseconds((start - now) * 100);
                    renderCv_.wait_for(l, std::min<std::chrono::nanoseconds>(wait, std::chrono::milliseconds(100)));
                    continue;
                }
            }
            break;
        }
        l.unlock();
        if (!rendered) {
            if (timed) position_->RegisterMediaTime(start, end);
            return Render(sample);
        }
        return S_OK;
    }

    void EndOfStreamArrived() {
        {
            std::lock_guard<std::mutex> g(renderLock_);
            ready_ = true;
        }
        renderCv_.notify_all();
    }

    void FlushStarted() {
        {
            std::lock_guard<std::mutex> g(renderLock_);
            ++flushCount_;
        }
        renderCv_.notify_all();
    }

    void FlushEnded() {
        {
            std::lock_guard<std::mutex> g(renderLock_);
            // Paused after a seek: ready again once the new picture arrives.
            if (State() == State_Paused) ready_ = false;
        }
        position_->ResetMediaTime();
        renderCv_.notify_all();
    }

    void SegmentStarted(REFERENCE_TIME start) { position_->SetSegmentStart(start); }

    virtual HRESULT CheckType(const CMediaType *pmt) = 0;
    // Streaming thread: the connection type becomes `mt` (already checked).
    virtual void ChangeFormat(const CMediaType &mt) {
        CAutoLock lock(&stateLock_);
        pin_.CurrentMediaType() = mt;
    }
    virtual HRESULT Render(IMediaSample *sample) = 0;
    virtual void ConnectionChanged() {}

    RendererInputPin &InputPin() { return pin_; }

protected:
    // Stream time without the filter lock (the clock is only changed while stopped).
    HRESULT StreamTimeUnlocked(CRefTime &t) {
        IReferenceClock *clock = m_pClock;
        if (!clock) return VFW_E_NO_CLOCK;
        REFERENCE_TIME now = 0;
        HRESULT hr = clock->GetTime(&now);
        if (FAILED(hr)) return hr;
        t = now - runStart_;
        return S_OK;
    }

    std::atomic<REFERENCE_TIME> runStart_{0};   // m_tStart for the streaming thread

    CCritSec stateLock_;
    RendererInputPin pin_;
    std::unique_ptr<CPosPassThru> position_;
    std::mutex renderLock_;
    std::condition_variable renderCv_;
    bool ready_ = false;
    std::uint64_t flushCount_ = 0;
};

RendererInputPin::RendererInputPin(RendererFilter *filter, CCritSec *lock, HRESULT *phr)
    : CRenderedInputPin("renderer input", filter, lock, phr, u"In"), renderer_(filter) {}

HRESULT RendererInputPin::CheckMediaType(const CMediaType *pmt) { return renderer_->CheckType(pmt); }

STDMETHODIMP RendererInputPin::Receive(IMediaSample *pSample) {
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) return hr;
    if (m_bAtEndOfStream) return VFW_E_SAMPLE_REJECTED_EOS;
    // A sample may carry a new format (a picture size change mid-stream).
    AM_MEDIA_TYPE *changed = nullptr;
    if (pSample->GetMediaType(&changed) == S_OK && changed) {
        CMediaType mt(*changed);
        DeleteMediaType(changed);
        if (renderer_->CheckType(&mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
        renderer_->ChangeFormat(mt);
    }
    return renderer_->ReceiveSample(pSample);
}

STDMETHODIMP RendererInputPin::EndOfStream() {
    HRESULT hr = CRenderedInputPin::EndOfStream();
    renderer_->EndOfStreamArrived();
    return hr;
}

STDMETHODIMP RendererInputPin::BeginFlush() {
    HRESULT hr = CBaseInputPin::BeginFlush();
    renderer_->FlushStarted();
    return hr;
}

STDMETHODIMP RendererInputPin::EndFlush() {
    HRESULT hr = CRenderedInputPin::EndFlush();
    renderer_->FlushEnded();
    return hr;
}

STDMETHODIMP RendererInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    CBasePin::NewSegment(tStart, tStop, dRate);
    renderer_->SegmentStarted(tStart);
    return S_OK;
}

HRESULT RendererInputPin::Inactive() {
    m_bAtEndOfStream = false;
    return CRenderedInputPin::Inactive();
}

// ---- Null Renderer ---------------------------------------------------------------
class NullRenderer final : public RendererFilter {
public:
    explicit NullRenderer(LPUNKNOWN outer) : RendererFilter("null renderer", outer, CLSID_NullRenderer) {}
    HRESULT CheckType(const CMediaType *pmt) override { return pmt && pmt->majortype != GUID_NULL ? S_OK : S_FALSE; }
    HRESULT Render(IMediaSample *) override { return S_OK; }
    static CUnknown *Create(LPUNKNOWN outer, HRESULT *phr) {
        auto *f = new (std::nothrow) NullRenderer(outer);
        if (!f && phr) *phr = E_OUTOFMEMORY;
        return f;
    }
};

// ---- audio renderer --------------------------------------------------------------------
class AudioRenderer final : public RendererFilter, public IBasicAudio {
public:
    explicit AudioRenderer(LPUNKNOWN outer) : RendererFilter("audio renderer", outer, CLSID_DSoundRender) {}
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio *>(this), ppv);
        return RendererFilter::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT CheckType(const CMediaType *pmt) override {
        if (!pmt || pmt->majortype != MEDIATYPE_Audio || pmt->subtype != MEDIASUBTYPE_PCM) return S_FALSE;
        if (pmt->formattype != FORMAT_WaveFormatEx || pmt->cbFormat < sizeof(WAVEFORMATEX) || !pmt->pbFormat)
            return S_FALSE;
        const auto *wf = reinterpret_cast<const WAVEFORMATEX *>(pmt->pbFormat);
        if (wf->nChannels < 1 || wf->nChannels > 8) return S_FALSE;
        if (wf->nSamplesPerSec < 1000 || wf->nSamplesPerSec > 384000) return S_FALSE;
        if (wf->wBitsPerSample != 8 && wf->wBitsPerSample != 16 && wf->wBitsPerSample != 24 && wf->wBitsPerSample != 32)
            return S_FALSE;
        return S_OK;
    }
    // No sound device is used: samples are timed by the clock and dropped.
    HRESULT Render(IMediaSample *) override { return S_OK; }

    STDMETHODIMP put_Volume(long v) override {
        if (v > 0 || v < -10000) return E_INVALIDARG;
        volume_ = v;
        return S_OK;
    }
    STDMETHODIMP get_Volume(long *v) override {
        if (!v) return E_POINTER;
        *v = volume_;
        return S_OK;
    }
    STDMETHODIMP put_Balance(long b) override {
        if (b > 10000 || b < -10000) return E_INVALIDARG;
        balance_ = b;
        return S_OK;
    }
    STDMETHODIMP get_Balance(long *b) override {
        if (!b) return E_POINTER;
        *b = balance_;
        return S_OK;
    }
    static CUnknown *Create(LPUNKNOWN outer, HRESULT *phr) {
        auto *f = new (std::nothrow) AudioRenderer(outer);
        if (!f && phr) *phr = E_OUTOFMEMORY;
        return f;
    }
private:
    std::atomic<long> volume_{0};
    std::atomic<long> balance_{0};
};

// ---- video renderer --------------------------------------------------------------------
class VideoRenderer final : public RendererFilter, public IVideoWindow, public IBasicVideo {
public:
    explicit VideoRenderer(LPUNKNOWN outer)
        : RendererFilter("video renderer", outer, CLSID_VideoRenderer), surface_(platform::CreateVideoSurface()) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow *>(this), ppv);
        if (riid == IID_IBasicVideo) return GetInterface(static_cast<IBasicVideo *>(this), ppv);
        return RendererFilter::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT CheckType(const CMediaType *pmt) override {
        if (!pmt || pmt->majortype != MEDIATYPE_Video) return S_FALSE;
        int bits = 0;
        if (pmt->subtype == MEDIASUBTYPE_RGB32) bits = 32;
        else if (pmt->subtype == MEDIASUBTYPE_RGB24) bits = 24;
        else return S_FALSE;
        const BITMAPINFOHEADER *h = GetBitmapHeader(pmt);
        if (!h || h->biBitCount != bits) return S_FALSE;
        if (h->biCompression != BI_RGB && !(bits == 32 && h->biCompression == BI_BITFIELDS)) return S_FALSE;
        const long height = h->biHeight < 0 ? -static_cast<long>(h->biHeight) : h->biHeight;
        if (h->biWidth < 1 || h->biWidth > 16384 || height < 1 || height > 16384) return S_FALSE;
        return S_OK;
    }

    void ChangeFormat(const CMediaType &mt) override {
        // Both locks: GetVideoSize reads the type under the state lock,
        // Render under the image lock.
        CAutoLock lock(&stateLock_);
        std::lock_guard<std::mutex> g(imageLock_);
        pin_.CurrentMediaType() = mt;
    }

    HRESULT Render(IMediaSample *sample) override {
        BYTE *data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
        bool present = false;
        {
            std::lock_guard<std::mutex> g(imageLock_);
            const BITMAPINFOHEADER *h = GetBitmapHeader(&pin_.CurrentMediaType());
            if (!h) return S_OK;
            const long width = h->biWidth;
            const long height = h->biHeight < 0 ? -static_cast<long>(h->biHeight) : h->biHeight;
            const long stride = ((width * h->biBitCount + 31) / 32) * 4;
            const long need = stride * height;
            // A short sample is a broken frame: keep the last good picture.
            if (sample->GetActualDataLength() < need) return S_OK;
            BITMAPINFOHEADER out = *h;
            out.biSize = sizeof(BITMAPINFOHEADER);
            out.biHeight = height;
            out.biCompression = BI_RGB;
            out.biSizeImage = static_cast<DWORD>(need);
            out.biClrUsed = out.biClrImportant = 0;
            dib_.resize(sizeof(BITMAPINFOHEADER) + static_cast<std::size_t>(need));
            std::memcpy(dib_.data(), &out, sizeof out);
            BYTE *rows = dib_.data() + sizeof(BITMAPINFOHEADER);
            if (h->biHeight > 0) {
                std::memcpy(rows, data, static_cast<std::size_t>(need));
            } else {
                for (long y = 0; y < height; ++y)
                    std::memcpy(rows + (height - 1 - y) * stride, data + y * stride, static_cast<std::size_t>(stride));
            }
            present = visible_;
        }
        if (present) PresentCurrent();
        return S_OK;
    }

    // IVideoWindow
    STDMETHODIMP put_Caption(BSTR s) override {
        std::lock_guard<std::mutex> g(windowLock_);
        caption_ = s ? std::u16string(s) : std::u16string();
        return S_OK;
    }
    STDMETHODIMP get_Caption(BSTR *s) override {
        if (!s) return E_POINTER;
        std::lock_guard<std::mutex> g(windowLock_);
        *s = CoTaskWideDup(caption_.c_str());
        return *s ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP put_WindowStyle(long v) override { style_ = v; return S_OK; }
    STDMETHODIMP get_WindowStyle(long *v) override { return Get(v, style_.load()); }
    STDMETHODIMP put_WindowStyleEx(long v) override { styleEx_ = v; return S_OK; }
    STDMETHODIMP get_WindowStyleEx(long *v) override { return Get(v, styleEx_.load()); }
    STDMETHODIMP put_AutoShow(long v) override { autoShow_ = v; return S_OK; }
    STDMETHODIMP get_AutoShow(long *v) override { return Get(v, autoShow_.load()); }
    STDMETHODIMP put_WindowState(long v) override { windowState_ = v; return S_OK; }
    STDMETHODIMP get_WindowState(long *v) override { return Get(v, windowState_.load()); }
    STDMETHODIMP put_BackgroundPalette(long v) override { palette_ = v; return S_OK; }
    STDMETHODIMP get_BackgroundPalette(long *v) override { return Get(v, palette_.load()); }
    STDMETHODIMP put_Visible(long v) override {
        {
            std::lock_guard<std::mutex> g(imageLock_);
            visible_ = v != OAFALSE;
        }
        if (surface_) surface_->SetVisible(v != OAFALSE);
        if (v != OAFALSE) PresentCurrent();
        return S_OK;
    }
    STDMETHODIMP get_Visible(long *v) override {
        if (!v) return E_POINTER;
        std::lock_guard<std::mutex> g(imageLock_);
        *v = visible_ ? OATRUE : OAFALSE;
        return S_OK;
    }
    STDMETHODIMP put_Left(long v) override { return Place(&v, nullptr, nullptr, nullptr); }
    STDMETHODIMP get_Left(long *v) override { return Position(v, nullptr, nullptr, nullptr); }
    STDMETHODIMP put_Width(long v) override { return Place(nullptr, nullptr, &v, nullptr); }
    STDMETHODIMP get_Width(long *v) override { return Position(nullptr, nullptr, v, nullptr); }
    STDMETHODIMP put_Top(long v) override { return Place(nullptr, &v, nullptr, nullptr); }
    STDMETHODIMP get_Top(long *v) override { return Position(nullptr, v, nullptr, nullptr); }
    STDMETHODIMP put_Height(long v) override { return Place(nullptr, nullptr, nullptr, &v); }
    STDMETHODIMP get_Height(long *v) override { return Position(nullptr, nullptr, nullptr, v); }
    STDMETHODIMP put_Owner(OAHWND o) override {
        owner_ = o;
        if (surface_) surface_->SetOwner(FromOAHWND(o));
        return S_OK;
    }
    STDMETHODIMP get_Owner(OAHWND *o) override { return Get(o, owner_.load()); }
    STDMETHODIMP put_MessageDrain(OAHWND d) override { drain_ = d; return S_OK; }
    STDMETHODIMP get_MessageDrain(OAHWND *d) override { return Get(d, drain_.load()); }
    STDMETHODIMP get_BorderColor(long *c) override { return Get(c, border_.load()); }
    STDMETHODIMP put_BorderColor(long c) override { border_ = c; return S_OK; }
    STDMETHODIMP get_FullScreenMode(long *m) override { return Get(m, static_cast<long>(OAFALSE)); }
    STDMETHODIMP put_FullScreenMode(long m) override { return m == OAFALSE ? S_OK : E_NOTIMPL; }
    STDMETHODIMP SetWindowForeground(long) override { return S_OK; }
    // The surface is a child of its owner and follows it; nothing to redo.
    STDMETHODIMP NotifyOwnerMessage(OAHWND, long, LONG_PTR, LONG_PTR) override { return S_OK; }
    STDMETHODIMP SetWindowPosition(long l, long t, long w, long h) override { return Place(&l, &t, &w, &h); }
    STDMETHODIMP GetWindowPosition(long *l, long *t, long *w, long *h) override {
        if (!l || !t || !w || !h) return E_POINTER;
        return Position(l, t, w, h);
    }
    STDMETHODIMP GetMinIdealImageSize(long *w, long *h) override { return GetVideoSize(w, h); }
    STDMETHODIMP GetMaxIdealImageSize(long *w, long *h) override { return GetVideoSize(w, h); }
    STDMETHODIMP GetRestorePosition(long *l, long *t, long *w, long *h) override { return GetWindowPosition(l, t, w, h); }
    STDMETHODIMP HideCursor(long v) override { cursorHidden_ = v; return S_OK; }
    STDMETHODIMP IsCursorHidden(long *v) override { return Get(v, cursorHidden_.load()); }

    // IBasicVideo
    STDMETHODIMP get_AvgTimePerFrame(REFTIME *t) override {
        if (!t) return E_POINTER;
        CAutoLock lock(&stateLock_);
        if (!pin_.IsConnected()) return VFW_E_NOT_CONNECTED;
        const CMediaType &mt = pin_.CurrentMediaType();
        REFERENCE_TIME avg = 0;
        if (mt.formattype == FORMAT_VideoInfo) avg = reinterpret_cast<const VIDEOINFOHEADER *>(mt.pbFormat)->AvgTimePerFrame;
        else if (mt.formattype == FORMAT_VideoInfo2) avg = reinterpret_cast<const VIDEOINFOHEADER2 *>(mt.pbFormat)->AvgTimePerFrame;
        *t = static_cast<double>(avg) * 1e-7;
        return S_OK;
    }
    STDMETHODIMP get_BitRate(long *v) override { return Get(v, 0L); }
    STDMETHODIMP get_BitErrorRate(long *v) override { return Get(v, 0L); }
    STDMETHODIMP get_VideoWidth(long *v) override { return GetVideoSize(v, nullptr); }
    STDMETHODIMP get_VideoHeight(long *v) override { return GetVideoSize(nullptr, v); }
    STDMETHODIMP put_SourceLeft(long v) override { return SetRect(source_, &v, nullptr, nullptr, nullptr, &defaultSource_); }
    STDMETHODIMP get_SourceLeft(long *v) override { return GetRect(source_, v, nullptr, nullptr, nullptr); }
    STDMETHODIMP put_SourceWidth(long v) override { return SetRect(source_, nullptr, nullptr, &v, nullptr, &defaultSource_); }
    STDMETHODIMP get_SourceWidth(long *v) override { return GetRect(source_, nullptr, nullptr, v, nullptr); }
    STDMETHODIMP put_SourceTop(long v) override { return SetRect(source_, nullptr, &v, nullptr, nullptr, &defaultSource_); }
    STDMETHODIMP get_SourceTop(long *v) override { return GetRect(source_, nullptr, v, nullptr, nullptr); }
    STDMETHODIMP put_SourceHeight(long v) override { return SetRect(source_, nullptr, nullptr, nullptr, &v, &defaultSource_); }
    STDMETHODIMP get_SourceHeight(long *v) override { return GetRect(source_, nullptr, nullptr, nullptr, v); }
    STDMETHODIMP put_DestinationLeft(long v) override { return SetRect(dest_, &v, nullptr, nullptr, nullptr, &defaultDest_); }
    STDMETHODIMP get_DestinationLeft(long *v) override { return GetRect(dest_, v, nullptr, nullptr, nullptr); }
    STDMETHODIMP put_DestinationWidth(long v) override { return SetRect(dest_, nullptr, nullptr, &v, nullptr, &defaultDest_); }
    STDMETHODIMP get_DestinationWidth(long *v) override { return GetRect(dest_, nullptr, nullptr, v, nullptr); }
    STDMETHODIMP put_DestinationTop(long v) override { return SetRect(dest_, nullptr, &v, nullptr, nullptr, &defaultDest_); }
    STDMETHODIMP get_DestinationTop(long *v) override { return GetRect(dest_, nullptr, v, nullptr, nullptr); }
    STDMETHODIMP put_DestinationHeight(long v) override { return SetRect(dest_, nullptr, nullptr, nullptr, &v, &defaultDest_); }
    STDMETHODIMP get_DestinationHeight(long *v) override { return GetRect(dest_, nullptr, nullptr, nullptr, v); }
    STDMETHODIMP SetSourcePosition(long l, long t, long w, long h) override { return SetRect(source_, &l, &t, &w, &h, &defaultSource_); }
    STDMETHODIMP GetSourcePosition(long *l, long *t, long *w, long *h) override {
        if (!l || !t || !w || !h) return E_POINTER;
        return GetRect(source_, l, t, w, h);
    }
    STDMETHODIMP SetDefaultSourcePosition() override {
        std::lock_guard<std::mutex> g(windowLock_);
        defaultSource_ = true;
        return S_OK;
    }
    STDMETHODIMP SetDestinationPosition(long l, long t, long w, long h) override { return SetRect(dest_, &l, &t, &w, &h, &defaultDest_); }
    STDMETHODIMP GetDestinationPosition(long *l, long *t, long *w, long *h) override {
        if (!l || !t || !w || !h) return E_POINTER;
        return GetRect(dest_, l, t, w, h);
    }
    STDMETHODIMP SetDefaultDestinationPosition() override {
        std::lock_guard<std::mutex> g(windowLock_);
        defaultDest_ = true;
        return S_OK;
    }
    STDMETHODIMP GetVideoSize(long *pWidth, long *pHeight) override {
        if (!pWidth && !pHeight) return E_POINTER;
        CAutoLock lock(&stateLock_);
        if (!pin_.IsConnected()) return VFW_E_NOT_CONNECTED;
        const BITMAPINFOHEADER *h = GetBitmapHeader(&pin_.CurrentMediaType());
        if (!h) return E_UNEXPECTED;
        if (pWidth) *pWidth = h->biWidth;
        if (pHeight) *pHeight = h->biHeight < 0 ? -h->biHeight : h->biHeight;
        return S_OK;
    }
    STDMETHODIMP GetVideoPaletteEntries(long, long, long *, long *) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentImage(long *pBufferSize, long *pDIBImage) override {
        if (!pBufferSize) return E_POINTER;
        std::lock_guard<std::mutex> g(imageLock_);
        if (dib_.empty()) return E_UNEXPECTED;
        const long size = static_cast<long>(dib_.size());
        if (!pDIBImage) {
            *pBufferSize = size;
            return S_OK;
        }
        if (*pBufferSize < size) return E_OUTOFMEMORY;
        std::memcpy(pDIBImage, dib_.data(), dib_.size());
        *pBufferSize = size;
        return S_OK;
    }
    STDMETHODIMP IsUsingDefaultSource() override {
        std::lock_guard<std::mutex> g(windowLock_);
        return defaultSource_ ? S_OK : S_FALSE;
    }
    STDMETHODIMP IsUsingDefaultDestination() override {
        std::lock_guard<std::mutex> g(windowLock_);
        return defaultDest_ ? S_OK : S_FALSE;
    }

    static CUnknown *Create(LPUNKNOWN outer, HRESULT *phr) {
        auto *f = new (std::nothrow) VideoRenderer(outer);
        if (!f && phr) *phr = E_OUTOFMEMORY;
        return f;
    }

private:
    struct Rect { long l = 0, t = 0, w = 0, h = 0; };

    template <class T, class V>
    static HRESULT Get(T *out, V value) {
        if (!out) return E_POINTER;
        *out = static_cast<T>(value);
        return S_OK;
    }

    HRESULT Place(const long *l, const long *t, const long *w, const long *h) {
        if ((w && *w < 0) || (h && *h < 0)) return E_INVALIDARG;
        Rect r;
        {
            std::lock_guard<std::mutex> g(windowLock_);
            if (l) window_.l = *l;
            if (t) window_.t = *t;
            if (w) window_.w = *w;
            if (h) window_.h = *h;
            r = window_;
        }
        if (surface_) surface_->SetGeometry(r.l, r.t, r.w, r.h);
        return S_OK;
    }

    HRESULT Position(long *l, long *t, long *w, long *h) {
        if (!l && !t && !w && !h) return E_POINTER;
        std::lock_guard<std::mutex> g(windowLock_);
        if (l) *l = window_.l;
        if (t) *t = window_.t;
        if (w) *w = window_.w;
        if (h) *h = window_.h;
        return S_OK;
    }

    HRESULT SetRect(Rect &r, const long *l, const long *t, const long *w, const long *h, bool *isDefault) {
        if ((w && *w <= 0) || (h && *h <= 0) || (l && *l < 0) || (t && *t < 0)) return E_INVALIDARG;
        std::lock_guard<std::mutex> g(windowLock_);
        if (l) r.l = *l;
        if (t) r.t = *t;
        if (w) r.w = *w;
        if (h) r.h = *h;
        *isDefault = false;
        return S_OK;
    }

    HRESULT GetRect(const Rect &r, long *l, long *t, long *w, long *h) {
        if (!l && !t && !w && !h) return E_POINTER;
        Rect v;
        bool isDefault;
        {
            std::lock_guard<std::mutex> g(windowLock_);
            v = r;
            isDefault = &r == &source_ ? defaultSource_ : defaultDest_;
        }
        if (isDefault) {
            long vw = 0, vh = 0;
            if (&r == &source_) {
                GetVideoSize(&vw, &vh);
            } else {
                std::lock_guard<std::mutex> g(windowLock_);
                vw = window_.w;
                vh = window_.h;
            }
            v = Rect{0, 0, vw, vh};
        }
        if (l) *l = v.l;
        if (t) *t = v.t;
        if (w) *w = v.w;
        if (h) *h = v.h;
        return S_OK;
    }

    // Paints the kept picture as top-row-first BGRA.
    void PresentCurrent() {
        if (!surface_) return;
        platform::VideoPicture pic;
        {
            std::lock_guard<std::mutex> g(imageLock_);
            if (dib_.empty()) return;
            BITMAPINFOHEADER h;
            std::memcpy(&h, dib_.data(), sizeof h);
            const int width = h.biWidth, height = h.biHeight, bpp = h.biBitCount / 8;
            const long stride = ((h.biWidth * h.biBitCount + 31) / 32) * 4;
            pic.width = width;
            pic.height = height;
            pic.stride = width * 4;
            pic.pixels.resize(static_cast<std::size_t>(pic.stride) * height);
            const BYTE *rows = dib_.data() + sizeof(BITMAPINFOHEADER);
            for (int y = 0; y < height; ++y) {
                const BYTE *src = rows + static_cast<long>(height - 1 - y) * stride;
                BYTE *dst = pic.pixels.data() + static_cast<std::size_t>(y) * pic.stride;
                if (bpp == 4) {
                    std::memcpy(dst, src, static_cast<std::size_t>(width) * 4);
                    for (int x = 0; x < width; ++x) dst[4 * x + 3] = 0xFF;
                } else {
                    for (int x = 0; x < width; ++x) {
                        dst[4 * x + 0] = src[3 * x + 0];
                        dst[4 * x + 1] = src[3 * x + 1];
                        dst[4 * x + 2] = src[3 * x + 2];
                        dst[4 * x + 3] = 0xFF;
                    }
                }
            }
        }
        surface_->Present(pic);
    }

    std::unique_ptr<platform::VideoSurface> surface_;
    std::mutex imageLock_;
    std::vector<BYTE> dib_;   // packed DIB of the current picture
    bool visible_ = false;
    std::mutex windowLock_;
    Rect window_, source_, dest_;
    bool defaultSource_ = true, defaultDest_ = true;
    std::u16string caption_;
    std::atomic<long> style_{0}, styleEx_{0}, autoShow_{OATRUE}, windowState_{0}, palette_{0}, border_{0}, cursorHidden_{0};
    std::atomic<OAHWND> owner_{0}, drain_{0};
};

const REGPINTYPES kAnyType[] = {{&GUID_NULL, &GUID_NULL}};
const REGPINTYPES kPcmType[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kRgbTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}};
const AMOVIESETUP_PIN kNullPin[] = {{u"In", TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kAnyType}};
const AMOVIESETUP_PIN kAudioPin[] = {{u"In", TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPcmType}};
const AMOVIESETUP_PIN kVideoPin[] = {{u"In", TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kRgbTypes}};
const AMOVIESETUP_FILTER kNullSetup = {&CLSID_NullRenderer, kNullRendererName, MERIT_DO_NOT_USE, 1, kNullPin};
const AMOVIESETUP_FILTER kAudioSetup = {&CLSID_DSoundRender, kAudioRendererName, MERIT_PREFERRED, 1, kAudioPin};
const AMOVIESETUP_FILTER kVideoSetup = {&CLSID_VideoRenderer, kVideoRendererName, MERIT_PREFERRED, 1, kVideoPin};
}  // namespace

void MediaRegisterRendererBuiltins() {
    MediaRegisterBuiltinFilter(CLSID_NullRenderer, &MediaCreateVia<&NullRenderer::Create>, &kNullSetup, "Null Renderer");
    MediaRegisterBuiltinFilter(CLSID_DSoundRender, &MediaCreateVia<&AudioRenderer::Create>, &kAudioSetup,
                               "Default DirectSound Device");
    MediaRegisterBuiltinFilter(CLSID_VideoRenderer, &MediaCreateVia<&VideoRenderer::Create>, &kVideoSetup, "Video Renderer");
}
