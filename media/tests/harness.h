// Test harness for filters of the media framework: fake source and sink
// filters whose pins push and record samples, so one filter can be put
// between them and checked (or a small graph built from fakes).
//
//   mediatest::FakeSource src;
//   auto *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_YUY2, 4, 2)});
//   mediatest::FakeSink sink(mediatest::AcceptSubtype(MEDIASUBTYPE_RGB32));
//   mediatest::Chain chain({src.Filter(), myFilter, sink.Filter()});   // a graph, no clock
//   chain.Run(); out->Push(bytes, 0, 400000); out->PushEndOfStream();
//   sink.Input()->WaitForEndOfStream(); ... sink.Input()->Samples() ... chain.DrainEvents()
//
// FakeOutputPin::AutoStream makes the pin stream on a thread of its own from
// the next pause; SetSeekable gives it IMediaSeeking (a seek while active is
// a flush and restart) and records what it was asked.
//
// Header-only; link velorin_media. Objects are reference counted COM
// objects: the wrappers hold one reference and release it on destruction.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/media.h"

namespace mediatest {

using TypePredicate = std::function<bool(const CMediaType &)>;

inline TypePredicate AcceptAll() {
    return [](const CMediaType &mt) { return mt.majortype != GUID_NULL; };
}
inline TypePredicate AcceptSubtype(GUID subtype) {
    return [subtype](const CMediaType &mt) { return mt.subtype == subtype; };
}

struct ReceivedSample {
    std::vector<BYTE> data;
    REFERENCE_TIME start = 0, end = 0;
    bool timed = false;
    bool sync = false;
    bool discontinuity = false;
};

// What a fake filter saw of its state changes, in order ("pause", "run", "stop").
class CallLog {
public:
    void Add(const std::string &s) {
        std::lock_guard<std::mutex> g(m_);
        calls_.push_back(s);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> g(m_);
        return calls_;
    }
    void Clear() {
        std::lock_guard<std::mutex> g(m_);
        calls_.clear();
    }
private:
    std::mutex m_;
    std::vector<std::string> calls_;
};

class FakeSourceFilter;

// An output pin that offers fixed types, pushes samples from the calling
// thread or from a thread of its own, and records seeking requests.
class FakeOutputPin final : public CBaseOutputPin, public IMediaSeeking {
public:
    FakeOutputPin(CBaseFilter *filter, CCritSec *lock, std::vector<CMediaType> types, std::u16string name)
        : CBaseOutputPin("fake output", filter, lock, nullptr, name.c_str()), types_(std::move(types)) {}
    ~FakeOutputPin() override { StopThread(); }

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IMediaSeeking && seekable_) return GetInterface(static_cast<IMediaSeeking *>(this), ppv);
        return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT CheckMediaType(const CMediaType *pmt) override {
        for (auto &t : types_)
            if (t.majortype == pmt->majortype && t.subtype == pmt->subtype) return S_OK;
        return S_FALSE;
    }
    HRESULT GetMediaType(int i, CMediaType *pmt) override {
        if (i < 0) return E_INVALIDARG;
        if (i >= static_cast<int>(types_.size())) return VFW_S_NO_MORE_ITEMS;
        *pmt = types_[static_cast<std::size_t>(i)];
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator *alloc, ALLOCATOR_PROPERTIES *req) override {
        ALLOCATOR_PROPERTIES want{buffers_, bufferSize_, 1, 0}, got{};
        (void)req;
        return alloc->SetProperties(&want, &got);
    }

    // Synchronous delivery from the caller's thread; returns the flow result.
    HRESULT Push(const std::vector<BYTE> &bytes, REFERENCE_TIME start, REFERENCE_TIME end, bool sync = true) {
        IMediaSample *s = nullptr;
        HRESULT hr = GetDeliveryBuffer(&s, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE *p = nullptr;
        s->GetPointer(&p);
        const long n = std::min<long>(static_cast<long>(bytes.size()), s->GetSize());
        if (n > 0) std::memcpy(p, bytes.data(), static_cast<std::size_t>(n));
        s->SetActualDataLength(n);
        s->SetTime(&start, &end);
        s->SetSyncPoint(sync);
        hr = Deliver(s);
        s->Release();
        return hr;
    }
    HRESULT PushEndOfStream() { return DeliverEndOfStream(); }

    // From the next pause on: a thread that delivers `count` samples of
    // `duration` each (times from 0) and then ends the stream.
    void AutoStream(int count, REFERENCE_TIME duration) {
        autoCount_ = count;
        autoDuration_ = duration;
    }
    void SetBuffers(long count, long size) {
        buffers_ = count;
        bufferSize_ = size;
    }
    void SetSeekable(bool on, LONGLONG duration) {
        seekable_ = on;
        duration_ = duration;
    }
    int SeekCalls() const { return seekCalls_; }
    LONGLONG LastSeekPosition() const { return lastSeek_; }
    DWORD LastSeekFlags() const { return lastSeekFlags_; }

    HRESULT Active() override {
        HRESULT hr = CBaseOutputPin::Active();
        if (SUCCEEDED(hr) && autoCount_ > 0) StartThread();
        return hr;
    }
    HRESULT Inactive() override {
        stop_ = true;
        HRESULT hr = CBaseOutputPin::Inactive();   // wakes a thread blocked in GetBuffer
        StopThread();
        return hr;
    }

    // IMediaSeeking: records; a seek while active is a flush and restart.
    STDMETHODIMP GetCapabilities(DWORD *c) override { *c = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards; return S_OK; }
    STDMETHODIMP CheckCapabilities(DWORD *c) override { return GetCapabilities(c); }
    STDMETHODIMP IsFormatSupported(const GUID *f) override { return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE; }
    STDMETHODIMP QueryPreferredFormat(GUID *f) override { *f = TIME_FORMAT_MEDIA_TIME; return S_OK; }
    STDMETHODIMP GetTimeFormat(GUID *f) override { *f = TIME_FORMAT_MEDIA_TIME; return S_OK; }
    STDMETHODIMP IsUsingTimeFormat(const GUID *f) override { return IsFormatSupported(f); }
    STDMETHODIMP SetTimeFormat(const GUID *f) override { return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG; }
    STDMETHODIMP GetDuration(LONGLONG *d) override { *d = duration_; return S_OK; }
    STDMETHODIMP GetStopPosition(LONGLONG *s) override { *s = duration_; return S_OK; }
    STDMETHODIMP GetCurrentPosition(LONGLONG *c) override { *c = lastSeek_; return S_OK; }
    STDMETHODIMP ConvertTimeFormat(LONGLONG *t, const GUID *, LONGLONG s, const GUID *) override { *t = s; return S_OK; }
    STDMETHODIMP SetPositions(LONGLONG *cur, DWORD curFlags, LONGLONG *, DWORD) override {
        ++seekCalls_;
        lastSeekFlags_ = curFlags;
        if (cur) lastSeek_ = *cur;
        if (!m_pFilter->IsStopped() && IsConnected()) {
            DeliverBeginFlush();
            stop_ = true;
            StopThread();
            DeliverEndFlush();
            DeliverNewSegment(lastSeek_, MAX_TIME, 1.0);
            if (autoCount_ > 0) StartThread();
        }
        return S_OK;
    }
    STDMETHODIMP GetPositions(LONGLONG *c, LONGLONG *s) override { if (c) *c = lastSeek_; if (s) *s = duration_; return S_OK; }
    STDMETHODIMP GetAvailable(LONGLONG *e, LONGLONG *l) override { if (e) *e = 0; if (l) *l = duration_; return S_OK; }
    STDMETHODIMP SetRate(double r) override { return r == 1.0 ? S_OK : E_INVALIDARG; }
    STDMETHODIMP GetRate(double *r) override { *r = 1.0; return S_OK; }
    STDMETHODIMP GetPreroll(LONGLONG *p) override { *p = 0; return S_OK; }

private:
    void StartThread() {
        StopThread();
        stop_ = false;
        thread_ = std::thread([this] {
            for (int i = 0; i < autoCount_ && !stop_; ++i) {
                std::vector<BYTE> bytes(16, static_cast<BYTE>(i));
                REFERENCE_TIME s = i * autoDuration_, e = (i + 1) * autoDuration_;
                HRESULT hr = Push(bytes, s, e);
                if (hr != S_OK) return;
            }
            if (!stop_) DeliverEndOfStream();
        });
    }
    void StopThread() {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    }

    std::vector<CMediaType> types_;
    long buffers_ = 4, bufferSize_ = 64 * 1024;
    int autoCount_ = 0;
    REFERENCE_TIME autoDuration_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    bool seekable_ = false;
    LONGLONG duration_ = 0;
    std::atomic<int> seekCalls_{0};
    std::atomic<LONGLONG> lastSeek_{0};
    std::atomic<DWORD> lastSeekFlags_{0};
};

class FakeSourceFilter final : public CBaseFilter {
public:
    FakeSourceFilter(REFCLSID clsid, CallLog *log) : CBaseFilter("fake source", nullptr, &lock_, clsid), log_(log) {}
    ~FakeSourceFilter() override {
        for (auto *p : pins_) delete p;
    }
    FakeOutputPin *AddPin(std::vector<CMediaType> types, std::u16string name) {
        auto *p = new FakeOutputPin(this, &lock_, std::move(types), std::move(name));
        pins_.push_back(p);
        IncrementPinVersion();
        return p;
    }
    int GetPinCount() override { return static_cast<int>(pins_.size()); }
    CBasePin *GetPin(int n) override { return n >= 0 && n < GetPinCount() ? pins_[static_cast<std::size_t>(n)] : nullptr; }
    STDMETHODIMP Stop() override { if (log_) log_->Add("source:stop"); return CBaseFilter::Stop(); }
    STDMETHODIMP Pause() override { if (log_) log_->Add("source:pause"); return CBaseFilter::Pause(); }
    STDMETHODIMP Run(REFERENCE_TIME t) override { if (log_) log_->Add("source:run"); return CBaseFilter::Run(t); }
private:
    CCritSec lock_;
    std::vector<FakeOutputPin *> pins_;
    CallLog *log_;
};

class FakeSinkFilter;

class FakeInputPin final : public CRenderedInputPin {
public:
    FakeInputPin(FakeSinkFilter *filter, CCritSec *lock, TypePredicate accept, std::u16string name);
    HRESULT CheckMediaType(const CMediaType *pmt) override { return accept_(*pmt) ? S_OK : S_FALSE; }
    STDMETHODIMP Receive(IMediaSample *s) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override {
        ++flushes_;
        return CRenderedInputPin::BeginFlush();
    }
    STDMETHODIMP NewSegment(REFERENCE_TIME s, REFERENCE_TIME e, double r) override {
        ++segments_;
        return CRenderedInputPin::NewSegment(s, e, r);
    }

    std::vector<ReceivedSample> Samples() {
        std::lock_guard<std::mutex> g(m_);
        return samples_;
    }
    int EndOfStreams() const { return eos_; }
    int Flushes() const { return flushes_; }
    int Segments() const { return segments_; }
    bool WaitForEndOfStream(int ms = 5000) {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(ms), [this] { return eos_ > 0; });
    }
    bool WaitForSamples(std::size_t n, int ms = 5000) {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return samples_.size() >= n; });
    }
private:
    TypePredicate accept_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<ReceivedSample> samples_;
    std::atomic<int> eos_{0}, flushes_{0}, segments_{0};
};

class FakeSinkFilter final : public CBaseFilter {
public:
    FakeSinkFilter(REFCLSID clsid, TypePredicate accept, CallLog *log, bool seekable = true)
        : CBaseFilter("fake sink", nullptr, &lock_, clsid), log_(log) {
        pins_.push_back(new FakeInputPin(this, &lock_, accept, u"In"));
        if (seekable) position_ = std::make_unique<CPosPassThru>("sink position", GetOwner(), nullptr, static_cast<IPin *>(pins_[0]));
    }
    ~FakeSinkFilter() override {
        position_.reset();
        for (auto *p : pins_) delete p;
    }
    FakeInputPin *AddInput(TypePredicate accept, std::u16string name) {
        auto *p = new FakeInputPin(this, &lock_, std::move(accept), std::move(name));
        pins_.push_back(p);
        IncrementPinVersion();
        return p;
    }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if ((riid == IID_IMediaSeeking || riid == IID_IMediaPosition) && position_)
            return position_->NonDelegatingQueryInterface(riid, ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetPinCount() override { return static_cast<int>(pins_.size()); }
    CBasePin *GetPin(int n) override { return n >= 0 && n < GetPinCount() ? pins_[static_cast<std::size_t>(n)] : nullptr; }
    FakeInputPin *Input(int n = 0) { return pins_[static_cast<std::size_t>(n)]; }
    STDMETHODIMP Stop() override { if (log_) log_->Add("sink:stop"); return CBaseFilter::Stop(); }
    STDMETHODIMP Pause() override { if (log_) log_->Add("sink:pause"); return CBaseFilter::Pause(); }
    STDMETHODIMP Run(REFERENCE_TIME t) override { if (log_) log_->Add("sink:run"); return CBaseFilter::Run(t); }
private:
    CCritSec lock_;
    std::vector<FakeInputPin *> pins_;
    std::unique_ptr<CPosPassThru> position_;
    CallLog *log_;
};

inline FakeInputPin::FakeInputPin(FakeSinkFilter *filter, CCritSec *lock, TypePredicate accept, std::u16string name)
    : CRenderedInputPin("fake input", filter, lock, nullptr, name.c_str()), accept_(std::move(accept)) {}

inline STDMETHODIMP FakeInputPin::Receive(IMediaSample *s) {
    HRESULT hr = CRenderedInputPin::Receive(s);
    if (hr != S_OK) return hr;
    ReceivedSample r;
    BYTE *p = nullptr;
    s->GetPointer(&p);
    r.data.assign(p, p + s->GetActualDataLength());
    r.timed = SUCCEEDED(s->GetTime(&r.start, &r.end));
    r.sync = s->IsSyncPoint() == S_OK;
    r.discontinuity = s->IsDiscontinuity() == S_OK;
    {
        std::lock_guard<std::mutex> g(m_);
        samples_.push_back(std::move(r));
    }
    cv_.notify_all();
    return S_OK;
}

inline STDMETHODIMP FakeInputPin::EndOfStream() {
    HRESULT hr = CRenderedInputPin::EndOfStream();
    {
        std::lock_guard<std::mutex> g(m_);
        ++eos_;
    }
    cv_.notify_all();
    return hr;
}

// Owning handles (one COM reference each).
class FakeSource {
public:
    explicit FakeSource(REFCLSID clsid = GUID_NULL, CallLog *log = nullptr) : f_(new FakeSourceFilter(clsid, log)) { f_->AddRef(); }
    ~FakeSource() { f_->Release(); }
    FakeSource(const FakeSource &) = delete;
    FakeSource &operator=(const FakeSource &) = delete;
    FakeOutputPin *AddPin(std::vector<CMediaType> types, std::u16string name = u"Out") { return f_->AddPin(std::move(types), std::move(name)); }
    FakeOutputPin *Pin(int n) { return static_cast<FakeOutputPin *>(f_->GetPin(n)); }
    IBaseFilter *Filter() { return f_; }
private:
    FakeSourceFilter *f_;
};

class FakeSink {
public:
    explicit FakeSink(TypePredicate accept = AcceptAll(), REFCLSID clsid = GUID_NULL, CallLog *log = nullptr, bool seekable = true)
        : f_(new FakeSinkFilter(clsid, std::move(accept), log, seekable)) {
        f_->AddRef();
    }
    ~FakeSink() { f_->Release(); }
    FakeSink(const FakeSink &) = delete;
    FakeSink &operator=(const FakeSink &) = delete;
    FakeInputPin *Input(int n = 0) { return f_->Input(n); }
    IBaseFilter *Filter() { return f_; }
    FakeSinkFilter *Impl() { return f_; }
private:
    FakeSinkFilter *f_;
};

// First pin of `filter` in the given direction (with a reference), or null.
inline ComPtr<IPin> FirstPin(IBaseFilter *filter, PIN_DIRECTION dir, bool freeOnly = false) {
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.PutAddr()))) return {};
    IPin *p = nullptr;
    ULONG n = 0;
    while (e->Next(1, &p, &n) == S_OK && n == 1) {
        ComPtr<IPin> pin;
        pin.Attach(p);
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        ComPtr<IPin> peer;
        const bool connected = SUCCEEDED(pin->ConnectedTo(peer.PutAddr())) && peer;
        if (d == dir && (!freeOnly || !connected)) return pin;
    }
    return {};
}

// A graph holding the given filters connected in a line (first output to
// next input), without a clock unless asked.
class Chain {
public:
    explicit Chain(std::vector<IBaseFilter *> filters, bool clock = false) {
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid());
        graph.As(IID_IMediaControl, &control);
        graph.As(IID_IMediaEventEx, &events);
        int i = 0;
        for (auto *f : filters) graph->AddFilter(f, Utf8ToWide("filter " + std::to_string(i++)).c_str());
        for (std::size_t k = 0; k + 1 < filters.size(); ++k) {
            ComPtr<IPin> out = FirstPin(filters[k], PINDIR_OUTPUT, true);
            ComPtr<IPin> in = FirstPin(filters[k + 1], PINDIR_INPUT, true);
            connected = connected && out && in && SUCCEEDED(graph->ConnectDirect(out.Get(), in.Get(), nullptr));
        }
        if (!clock) {
            ComPtr<IMediaFilter> mf;
            graph.As(IID_IMediaFilter, &mf);
            if (mf) mf->SetSyncSource(nullptr);
        }
    }
    HRESULT Run() { return control->Run(); }
    HRESULT Pause() { return control->Pause(); }
    HRESULT Stop() { return control->Stop(); }
    // Drains the event queue; returns the codes taken.
    std::vector<long> DrainEvents(long firstWaitMs = 0) {
        std::vector<long> codes;
        long code;
        LONG_PTR p1, p2;
        long wait = firstWaitMs;
        while (events->GetEvent(&code, &p1, &p2, wait) == S_OK) {
            events->FreeEventParams(code, p1, p2);
            codes.push_back(code);
            wait = 0;
        }
        return codes;
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    bool connected = true;
};

}  // namespace mediatest
