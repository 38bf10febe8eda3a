// The Filter Graph Manager: filters and connections, automatic building,
// state changes, events, seeking, the clock, and the video window and basic
// video of the video renderer.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "internal.h"
#include "media/renderers.h"

// ---- helpers shared with the rest of media/src ------------------------------------
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    if (!filter || FAILED(filter->EnumPins(e.PutAddr())) || !e) return pins;
    for (int guard = 0; guard < 1024; ++guard) {
        IPin *p = nullptr;
        ULONG got = 0;
        HRESULT hr = e->Next(1, &p, &got);
        if (hr == VFW_E_ENUM_OUT_OF_SYNC) {
            pins.clear();
            e->Reset();
            continue;
        }
        if (hr != S_OK || got != 1 || !p) break;
        ComPtr<IPin> pin;
        pin.Attach(p);
        pins.push_back(std::move(pin));
    }
    return pins;
}

PIN_DIRECTION DirectionOf(IPin *pin) {
    PIN_DIRECTION d = PINDIR_INPUT;
    if (pin) pin->QueryDirection(&d);
    return d;
}

bool IsPinConnected(IPin *pin) {
    ComPtr<IPin> peer;
    return pin && SUCCEEDED(pin->ConnectedTo(peer.PutAddr())) && peer;
}

ComPtr<IBaseFilter> OwnerOf(IPin *pin) {
    ComPtr<IBaseFilter> f;
    PIN_INFO info{};
    if (pin && SUCCEEDED(pin->QueryPinInfo(&info))) f.Attach(info.pFilter);
    return f;
}

bool IsRendererFilter(IBaseFilter *filter) {
    ComPtr<IAMFilterMiscFlags> flags;
    if (SUCCEEDED(filter->QueryInterface(IID_IAMFilterMiscFlags, flags.PutVoid())) && flags &&
        (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER))
        return true;
    for (auto &p : PinsOf(filter))
        if (DirectionOf(p.Get()) == PINDIR_OUTPUT) return false;
    return true;
}

namespace {

ComPtr<IUnknown> IdentityOf(IUnknown *obj) {
    ComPtr<IUnknown> id;
    if (obj) obj->QueryInterface(IID_IUnknown, id.PutVoid());
    return id;
}

std::vector<RegisteredPinType> TypesOf(IPin *pin) {
    std::vector<RegisteredPinType> types;
    ComPtr<IEnumMediaTypes> e;
    if (!pin || FAILED(pin->EnumMediaTypes(e.PutAddr())) || !e) return types;
    for (int guard = 0; guard < 256; ++guard) {
        AM_MEDIA_TYPE *mt = nullptr;
        ULONG got = 0;
        if (e->Next(1, &mt, &got) != S_OK || got != 1 || !mt) break;
        types.push_back(RegisteredPinType{mt->majortype, mt->subtype});
        DeleteMediaType(mt);
    }
    return types;
}

REFERENCE_TIME ClockNow(IReferenceClock *clock) {
    REFERENCE_TIME t = 0;
    if (clock) clock->GetTime(&t);
    return t;
}

constexpr int kMaxRenderDepth = 10;
constexpr REFERENCE_TIME kRunMargin = 10 * MILLISECONDS;

class FilterGraph;

class EnumGraphFilters final : public IEnumFilters {
public:
    EnumGraphFilters(FilterGraph *graph, int position);
    ~EnumGraphFilters();
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IEnumFilters) {
            *ppv = static_cast<IEnumFilters *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++ref_); }
    STDMETHODIMP_(ULONG) Release() override {
        long r = --ref_;
        if (r == 0) delete this;
        return static_cast<ULONG>(r);
    }
    STDMETHODIMP Next(ULONG cFilters, IBaseFilter **ppFilter, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cFilters) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFilters **ppEnum) override;
private:
    std::atomic<long> ref_{1};
    FilterGraph *graph_;
    int position_;
    long version_;
};

class FilterGraph final : public CUnknown,
                          public IGraphBuilder,
                          public IMediaControl,
                          public IMediaEventEx,
                          public IMediaSeeking,
                          public IMediaPosition,
                          public IMediaFilter,
                          public IMediaEventSink,
                          public IVideoWindow,
                          public IBasicVideo,
                          public IBasicAudio {
public:
    explicit FilterGraph(LPUNKNOWN outer) : CUnknown("filter graph", outer) {}

    ~FilterGraph() override {
        // Stop every stream and join its threads before the filters go.
        StopFilters();
        std::vector<Entry> filters;
        {
            CAutoLock lock(&lock_);
            filters = entries_;
        }
        for (auto &e : filters) {
            DisconnectAll(e.filter.Get());
            e.filter->SetSyncSource(nullptr);
            e.filter->JoinFilterGraph(nullptr, nullptr);
        }
        CAutoLock lock(&lock_);
        entries_.clear();
        clock_ = nullptr;
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IGraphBuilder || riid == IID_IFilterGraph) return GetInterface(static_cast<IGraphBuilder *>(this), ppv);
        if (riid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl *>(this), ppv);
        if (riid == IID_IMediaEventEx || riid == IID_IMediaEvent) return GetInterface(static_cast<IMediaEventEx *>(this), ppv);
        if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking *>(this), ppv);
        if (riid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition *>(this), ppv);
        if (riid == IID_IMediaFilter || riid == IID_IPersist) return GetInterface(static_cast<IMediaFilter *>(this), ppv);
        if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink *>(this), ppv);
        if (riid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow *>(this), ppv);
        if (riid == IID_IBasicVideo) return GetInterface(static_cast<IBasicVideo *>(this), ppv);
        if (riid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio *>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    // ---- IFilterGraph -------------------------------------------------------------
    STDMETHODIMP AddFilter(IBaseFilter *pFilter, LPCWSTR pName) override {
        if (!pFilter) return E_POINTER;
        CAutoLock lock(&lock_);
        ComPtr<IUnknown> id = IdentityOf(pFilter);
        for (auto &e : entries_)
            if (e.identity.Get() == id.Get()) return VFW_E_DUPLICATE_NAME;
        std::u16string base;
        if (pName && *pName) {
            base = pName;
        } else {
            FILTER_INFO info{};
            if (SUCCEEDED(pFilter->QueryFilterInfo(&info))) {
                if (info.pGraph) info.pGraph->Release();
                base = info.achName;
            }
            if (base.empty()) base = u"Filter";
        }
        if (base.size() >= MAX_FILTER_NAME - 6) base.resize(MAX_FILTER_NAME - 6);
        std::u16string name = base;
        HRESULT result = S_OK;
        for (int n = 1; NameInUse(name); ++n) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, " %04d", n);
            name = base + Utf8ToWide(suffix);
            result = VFW_S_DUPLICATE_NAME;
            if (n > 9999) return VFW_E_DUPLICATE_NAME;
        }
        HRESULT hr = pFilter->JoinFilterGraph(static_cast<IFilterGraph *>(static_cast<IGraphBuilder *>(this)), name.c_str());
        if (FAILED(hr)) return hr;
        if (clock_) pFilter->SetSyncSource(clock_.Get());
        Entry e;
        e.filter = ComPtr<IBaseFilter>(pFilter);
        e.identity = id;
        e.name = name;
        entries_.push_back(std::move(e));
        ++version_;
        if (recordAdded_) added_.push_back(ComPtr<IBaseFilter>(pFilter));
        return result;
    }

    STDMETHODIMP RemoveFilter(IBaseFilter *pFilter) override {
        if (!pFilter) return E_POINTER;
        CAutoLock lock(&lock_);
        ComPtr<IUnknown> id = IdentityOf(pFilter);
        auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry &e) { return e.identity.Get() == id.Get(); });
        if (it == entries_.end()) return VFW_E_NOT_FOUND;
        // Connections change only while stopped; removing a live filter stops the graph.
        if (state_ != State_Stopped) StopLocked();
        ComPtr<IBaseFilter> keep = it->filter;
        DisconnectAll(keep.Get());
        keep->SetSyncSource(nullptr);
        keep->JoinFilterGraph(nullptr, nullptr);
        entries_.erase(std::find_if(entries_.begin(), entries_.end(), [&](const Entry &e) { return e.identity.Get() == id.Get(); }));
        ++version_;
        return S_OK;
    }

    STDMETHODIMP EnumFilters(IEnumFilters **ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = new (std::nothrow) EnumGraphFilters(this, 0);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) override {
        if (!ppFilter) return E_POINTER;
        *ppFilter = nullptr;
        if (!pName) return E_POINTER;
        CAutoLock lock(&lock_);
        for (auto &e : entries_)
            if (e.name == pName) {
                *ppFilter = e.filter.Get();
                (*ppFilter)->AddRef();
                return S_OK;
            }
        return VFW_E_NOT_FOUND;
    }

    STDMETHODIMP ConnectDirect(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt) override {
        if (!ppinOut || !ppinIn) return E_POINTER;
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        if (!InGraph(ppinOut) || !InGraph(ppinIn)) return VFW_E_NOT_IN_GRAPH;
        if (DirectionOf(ppinOut) != PINDIR_OUTPUT || DirectionOf(ppinIn) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
        return ppinOut->Connect(ppinIn, pmt);
    }

    STDMETHODIMP Reconnect(IPin *ppin) override {
        if (!ppin) return E_POINTER;
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        ComPtr<IPin> peer;
        if (FAILED(ppin->ConnectedTo(peer.PutAddr())) || !peer) return VFW_E_NOT_CONNECTED;
        IPin *out = DirectionOf(ppin) == PINDIR_OUTPUT ? ppin : peer.Get();
        IPin *in = out == ppin ? peer.Get() : ppin;
        CMediaType mt;
        out->ConnectionMediaType(&mt);
        out->Disconnect();
        in->Disconnect();
        HRESULT hr = out->Connect(in, &mt);
        if (FAILED(hr)) hr = out->Connect(in, nullptr);
        return hr;
    }

    STDMETHODIMP Disconnect(IPin *ppin) override {
        if (!ppin) return E_POINTER;
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        return ppin->Disconnect();
    }

    STDMETHODIMP SetDefaultSyncSource() override {
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        ComPtr<IReferenceClock> clock;
        HRESULT hr = CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock, clock.PutVoid());
        if (FAILED(hr)) return hr;
        SetClockLocked(clock);
        clockChosen_ = true;
        return S_OK;
    }

    // ---- IGraphBuilder ---------------------------------------------------------------
    STDMETHODIMP Connect(IPin *ppinOut, IPin *ppinIn) override {
        if (!ppinOut || !ppinIn) return E_POINTER;
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        if (!InGraph(ppinOut) || !InGraph(ppinIn)) return VFW_E_NOT_IN_GRAPH;
        if (DirectionOf(ppinOut) != PINDIR_OUTPUT || DirectionOf(ppinIn) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
        if (IsPinConnected(ppinOut) || IsPinConnected(ppinIn)) return VFW_E_ALREADY_CONNECTED;
        return ConnectIntelligent(ppinOut, ppinIn, 0);
    }

    STDMETHODIMP Render(IPin *ppinOut) override {
        if (!ppinOut) return E_POINTER;
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        if (!InGraph(ppinOut)) return VFW_E_NOT_IN_GRAPH;
        if (DirectionOf(ppinOut) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
        if (IsPinConnected(ppinOut)) return VFW_E_ALREADY_CONNECTED;
        return RenderPin(ppinOut, 0);
    }

    STDMETHODIMP RenderFile(LPCWSTR lpcwstrFile, LPCWSTR) override {
        if (!lpcwstrFile) return E_POINTER;
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        recordAdded_ = true;
        added_.clear();
        ComPtr<IBaseFilter> source;
        HRESULT hr = AddSourceFilterLocked(lpcwstrFile, lpcwstrFile, source.PutAddr());
        if (SUCCEEDED(hr)) hr = RenderFilterOutputs(source.Get(), 0);
        recordAdded_ = false;
        if (FAILED(hr)) {
            // Nothing could be rendered: take out what this call put in.
            for (auto it = added_.rbegin(); it != added_.rend(); ++it) RemoveFilter(it->Get());
        }
        added_.clear();
        return hr;
    }

    STDMETHODIMP AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter **ppFilter) override {
        if (!lpcwstrFileName || !ppFilter) return E_POINTER;
        CAutoLock lock(&lock_);
        return AddSourceFilterLocked(lpcwstrFileName, lpcwstrFilterName, ppFilter);
    }

    STDMETHODIMP SetLogFile(DWORD_PTR) override { return S_OK; }
    STDMETHODIMP Abort() override { return S_OK; }
    STDMETHODIMP ShouldOperationContinue() override { return S_OK; }

    // ---- IMediaControl / IMediaFilter ------------------------------------------------------
    STDMETHODIMP Run() override {
        CAutoLock lock(&lock_);
        return RunLocked();
    }
    STDMETHODIMP Pause() override {
        CAutoLock lock(&lock_);
        return PauseLocked();
    }
    STDMETHODIMP Stop() override {
        CAutoLock lock(&lock_);
        return StopLocked();
    }
    STDMETHODIMP GetState(LONG msTimeout, OAFilterState *pfs) override {
        if (!pfs) return E_POINTER;
        FILTER_STATE s = State_Stopped;
        HRESULT hr = QueryState(msTimeout < 0 ? INFINITE : static_cast<DWORD>(msTimeout), &s);
        *pfs = s;
        return hr;
    }
    STDMETHODIMP RenderFile(BSTR strFilename) override { return RenderFile(strFilename, nullptr); }
    STDMETHODIMP StopWhenReady() override {
        CAutoLock lock(&lock_);
        HRESULT hr = PauseLocked();
        if (FAILED(hr)) return hr;
        FILTER_STATE s;
        QueryState(INFINITE, &s);
        return StopLocked();
    }

    STDMETHODIMP GetClassID(CLSID *pClsID) override {
        if (!pClsID) return E_POINTER;
        *pClsID = CLSID_FilterGraph;
        return S_OK;
    }
    STDMETHODIMP Run(REFERENCE_TIME) override { return Run(); }
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) override {
        if (!State) return E_POINTER;
        return QueryState(dwMilliSecsTimeout, State);
    }
    STDMETHODIMP SetSyncSource(IReferenceClock *pClock) override {
        CAutoLock lock(&lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        SetClockLocked(ComPtr<IReferenceClock>(pClock));
        clockChosen_ = true;
        return S_OK;
    }
    STDMETHODIMP GetSyncSource(IReferenceClock **pClock) override {
        if (!pClock) return E_POINTER;
        CAutoLock lock(&lock_);
        *pClock = clock_.Get();
        if (*pClock) (*pClock)->AddRef();
        return S_OK;
    }

    // ---- IMediaEventSink -----------------------------------------------------------------
    STDMETHODIMP Notify(long code, LONG_PTR p1, LONG_PTR p2) override {
        if (code == EC_COMPLETE && defaultComplete_) {
            bool queue = false;
            {
                // Matched by pointer, never by a query: a streaming thread
                // may hold its filter's receive lock here, and a query could
                // want the filter's state lock (taken before it elsewhere).
                std::lock_guard<std::mutex> g(eventLock_);
                const auto *sender = reinterpret_cast<const void *>(p2);
                for (auto &r : renderers_) {
                    if (std::find(r.pointers.begin(), r.pointers.end(), sender) == r.pointers.end()) continue;
                    if (r.completed < r.expected) {
                        ++r.completed;
                        ++completed_;
                    }
                    break;
                }
                if (!completeQueued_ && expected_ > 0 && completed_ >= expected_) {
                    completeQueued_ = true;
                    queue = true;
                }
            }
            if (queue) QueueEvent(EC_COMPLETE, S_OK, 0);
            return S_OK;
        }
        QueueEvent(code, p1, p2);
        return S_OK;
    }

    // ---- IMediaEvent(Ex) -----------------------------------------------------------------
    STDMETHODIMP GetEventHandle(OAEVENT *hEvent) override {
        if (hEvent) *hEvent = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2, long msTimeout) override {
        if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
        std::unique_lock<std::mutex> l(eventLock_);
        auto ready = [this] { return !events_.empty(); };
        if (msTimeout < 0) eventCv_.wait(l, ready);
        else if (!eventCv_.wait_for(l, std::chrono::milliseconds(msTimeout), ready)) {
            *lEventCode = 0;
            *lParam1 = *lParam2 = 0;
            return E_ABORT;
        }
        const Event e = events_.front();
        events_.pop_front();
        *lEventCode = e.code;
        *lParam1 = e.p1;
        *lParam2 = e.p2;
        return S_OK;
    }
    STDMETHODIMP WaitForCompletion(long msTimeout, long *pEvCode) override {
        if (!pEvCode) return E_POINTER;
        *pEvCode = 0;
        {
            CAutoLock lock(&lock_);
            if (state_ != State_Running) return VFW_E_WRONG_STATE;
        }
        auto isEnd = [](const Event &e) { return e.code == EC_COMPLETE || e.code == EC_ERRORABORT || e.code == EC_USERABORT; };
        std::unique_lock<std::mutex> l(eventLock_);
        auto ready = [&] { return std::any_of(events_.begin(), events_.end(), isEnd); };
        if (msTimeout < 0) eventCv_.wait(l, ready);
        else if (!eventCv_.wait_for(l, std::chrono::milliseconds(msTimeout), ready)) return E_ABORT;
        auto it = std::find_if(events_.begin(), events_.end(), isEnd);
        *pEvCode = it->code;
        events_.erase(it);
        return S_OK;
    }
    STDMETHODIMP CancelDefaultHandling(long lEvCode) override {
        if (lEvCode != EC_COMPLETE) return S_FALSE;
        defaultComplete_ = false;
        return S_OK;
    }
    STDMETHODIMP RestoreDefaultHandling(long lEvCode) override {
        if (lEvCode != EC_COMPLETE) return S_FALSE;
        defaultComplete_ = true;
        return S_OK;
    }
    STDMETHODIMP FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }
    STDMETHODIMP SetNotifyWindow(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) override {
        std::lock_guard<std::mutex> g(eventLock_);
        notifyWindow_ = hwnd;
        notifyMessage_ = lMsg;
        notifyInstance_ = lInstanceData;
        return S_OK;
    }
    STDMETHODIMP SetNotifyFlags(long flags) override {
        if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
        std::lock_guard<std::mutex> g(eventLock_);
        notifyFlags_ = flags;
        return S_OK;
    }
    STDMETHODIMP GetNotifyFlags(long *flags) override {
        if (!flags) return E_POINTER;
        std::lock_guard<std::mutex> g(eventLock_);
        *flags = notifyFlags_;
        return S_OK;
    }

    // ---- IMediaSeeking ---------------------------------------------------------------------
    STDMETHODIMP GetCapabilities(DWORD *pCapabilities) override {
        if (!pCapabilities) return E_POINTER;
        CAutoLock lock(&lock_);
        auto targets = SeekTargets();
        if (targets.empty()) return E_NOTIMPL;
        DWORD all = ~0u;
        bool any = false;
        for (auto &t : targets) {
            DWORD c = 0;
            if (SUCCEEDED(t->GetCapabilities(&c))) {
                all &= c;
                any = true;
            }
        }
        *pCapabilities = any ? all : 0;
        return any ? S_OK : E_NOTIMPL;
    }
    STDMETHODIMP CheckCapabilities(DWORD *pCapabilities) override {
        if (!pCapabilities) return E_POINTER;
        DWORD have = 0;
        HRESULT hr = GetCapabilities(&have);
        if (FAILED(hr)) return hr;
        const DWORD asked = *pCapabilities;
        *pCapabilities &= have;
        return *pCapabilities == asked ? S_OK : (*pCapabilities ? S_FALSE : E_FAIL);
    }
    STDMETHODIMP IsFormatSupported(const GUID *pFormat) override {
        if (!pFormat) return E_POINTER;
        return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
    }
    STDMETHODIMP QueryPreferredFormat(GUID *pFormat) override {
        if (!pFormat) return E_POINTER;
        *pFormat = TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    STDMETHODIMP GetTimeFormat(GUID *pFormat) override { return QueryPreferredFormat(pFormat); }
    STDMETHODIMP IsUsingTimeFormat(const GUID *pFormat) override { return IsFormatSupported(pFormat); }
    STDMETHODIMP SetTimeFormat(const GUID *pFormat) override {
        if (!pFormat) return E_POINTER;
        return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP GetDuration(LONGLONG *pDuration) override {
        if (!pDuration) return E_POINTER;
        CAutoLock lock(&lock_);
        HRESULT result = E_NOTIMPL;
        LONGLONG best = 0;
        for (auto &t : SeekTargets()) {
            LONGLONG d = 0;
            HRESULT hr = t->GetDuration(&d);
            if (SUCCEEDED(hr)) {
                if (FAILED(result) || d > best) best = d;
                result = S_OK;
            } else if (FAILED(result)) {
                result = hr;
            }
        }
        if (SUCCEEDED(result)) *pDuration = best;
        return result;
    }
    STDMETHODIMP GetStopPosition(LONGLONG *pStop) override {
        if (!pStop) return E_POINTER;
        CAutoLock lock(&lock_);
        auto targets = SeekTargets();
        if (targets.empty()) return E_NOTIMPL;
        return targets.front()->GetStopPosition(pStop);
    }
    STDMETHODIMP GetCurrentPosition(LONGLONG *pCurrent) override {
        if (!pCurrent) return E_POINTER;
        CAutoLock lock(&lock_);
        auto targets = SeekTargets();
        if (targets.empty()) return E_NOTIMPL;
        *pCurrent = CurrentPositionLocked(targets);
        return S_OK;
    }
    STDMETHODIMP ConvertTimeFormat(LONGLONG *pTarget, const GUID *pTargetFormat, LONGLONG Source, const GUID *pSourceFormat) override {
        if (!pTarget) return E_POINTER;
        auto isTime = [](const GUID *g) { return !g || *g == TIME_FORMAT_MEDIA_TIME; };
        if (!isTime(pTargetFormat) || !isTime(pSourceFormat)) return E_INVALIDARG;
        *pTarget = Source;
        return S_OK;
    }
    STDMETHODIMP SetPositions(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop, DWORD dwStopFlags) override {
        CAutoLock lock(&lock_);
        return SetPositionsLocked(pCurrent, dwCurrentFlags, pStop, dwStopFlags);
    }
    STDMETHODIMP GetPositions(LONGLONG *pCurrent, LONGLONG *pStop) override {
        if (pCurrent) {
            HRESULT hr = GetCurrentPosition(pCurrent);
            if (FAILED(hr)) return hr;
        }
        if (pStop) return GetStopPosition(pStop);
        return S_OK;
    }
    STDMETHODIMP GetAvailable(LONGLONG *pEarliest, LONGLONG *pLatest) override {
        if (pEarliest) *pEarliest = 0;
        if (pLatest) return GetDuration(pLatest);
        return S_OK;
    }
    STDMETHODIMP SetRate(double dRate) override { return dRate == 1.0 ? S_OK : E_NOTIMPL; }
    STDMETHODIMP GetRate(double *pdRate) override {
        if (!pdRate) return E_POINTER;
        *pdRate = 1.0;
        return S_OK;
    }
    STDMETHODIMP GetPreroll(LONGLONG *pllPreroll) override {
        if (!pllPreroll) return E_POINTER;
        *pllPreroll = 0;
        return S_OK;
    }

    // ---- IMediaPosition: seconds over the seeking above ----------------------------------------
    STDMETHODIMP get_Duration(REFTIME *plength) override {
        if (!plength) return E_POINTER;
        LONGLONG d = 0;
        HRESULT hr = GetDuration(&d);
        if (SUCCEEDED(hr)) *plength = static_cast<double>(d) * 1e-7;
        return hr;
    }
    STDMETHODIMP put_CurrentPosition(REFTIME t) override {
        LONGLONG v = static_cast<LONGLONG>(t * 10000000.0);
        return SetPositions(&v, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    }
    STDMETHODIMP get_CurrentPosition(REFTIME *t) override {
        if (!t) return E_POINTER;
        LONGLONG v = 0;
        HRESULT hr = GetCurrentPosition(&v);
        if (SUCCEEDED(hr)) *t = static_cast<double>(v) * 1e-7;
        return hr;
    }
    STDMETHODIMP get_StopTime(REFTIME *t) override {
        if (!t) return E_POINTER;
        LONGLONG v = 0;
        HRESULT hr = GetStopPosition(&v);
        if (SUCCEEDED(hr)) *t = static_cast<double>(v) * 1e-7;
        return hr;
    }
    STDMETHODIMP put_StopTime(REFTIME t) override {
        LONGLONG v = static_cast<LONGLONG>(t * 10000000.0);
        return SetPositions(nullptr, AM_SEEKING_NoPositioning, &v, AM_SEEKING_AbsolutePositioning);
    }
    STDMETHODIMP get_PrerollTime(REFTIME *t) override {
        if (!t) return E_POINTER;
        *t = 0;
        return S_OK;
    }
    STDMETHODIMP put_PrerollTime(REFTIME) override { return E_NOTIMPL; }
    STDMETHODIMP put_Rate(double r) override { return SetRate(r); }
    STDMETHODIMP get_Rate(double *r) override { return GetRate(r); }
    STDMETHODIMP CanSeekForward(LONG *p) override {
        if (!p) return E_POINTER;
        DWORD caps = 0;
        *p = SUCCEEDED(GetCapabilities(&caps)) && (caps & AM_SEEKING_CanSeekForwards) ? OATRUE : OAFALSE;
        return S_OK;
    }
    STDMETHODIMP CanSeekBackward(LONG *p) override {
        if (!p) return E_POINTER;
        DWORD caps = 0;
        *p = SUCCEEDED(GetCapabilities(&caps)) && (caps & AM_SEEKING_CanSeekBackwards) ? OATRUE : OAFALSE;
        return S_OK;
    }

    // ---- IVideoWindow / IBasicVideo / IBasicAudio: the renderer's ------------------------------
#define FWD_(iface, iid, call)                     \
    ComPtr<iface> target;                          \
    HRESULT hr = FindRenderer(iid, target.PutVoid()); \
    if (FAILED(hr)) return hr;                     \
    return target->call
    STDMETHODIMP put_Caption(BSTR v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Caption(v)); }
    STDMETHODIMP get_Caption(BSTR *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Caption(v)); }
    STDMETHODIMP put_WindowStyle(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_WindowStyle(v)); }
    STDMETHODIMP get_WindowStyle(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_WindowStyle(v)); }
    STDMETHODIMP put_WindowStyleEx(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_WindowStyleEx(v)); }
    STDMETHODIMP get_WindowStyleEx(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_WindowStyleEx(v)); }
    STDMETHODIMP put_AutoShow(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_AutoShow(v)); }
    STDMETHODIMP get_AutoShow(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_AutoShow(v)); }
    STDMETHODIMP put_WindowState(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_WindowState(v)); }
    STDMETHODIMP get_WindowState(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_WindowState(v)); }
    STDMETHODIMP put_BackgroundPalette(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_BackgroundPalette(v)); }
    STDMETHODIMP get_BackgroundPalette(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_BackgroundPalette(v)); }
    STDMETHODIMP put_Visible(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Visible(v)); }
    STDMETHODIMP get_Visible(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Visible(v)); }
    STDMETHODIMP put_Left(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Left(v)); }
    STDMETHODIMP get_Left(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Left(v)); }
    STDMETHODIMP put_Width(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Width(v)); }
    STDMETHODIMP get_Width(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Width(v)); }
    STDMETHODIMP put_Top(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Top(v)); }
    STDMETHODIMP get_Top(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Top(v)); }
    STDMETHODIMP put_Height(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Height(v)); }
    STDMETHODIMP get_Height(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Height(v)); }
    STDMETHODIMP put_Owner(OAHWND v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_Owner(v)); }
    STDMETHODIMP get_Owner(OAHWND *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_Owner(v)); }
    STDMETHODIMP put_MessageDrain(OAHWND v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_MessageDrain(v)); }
    STDMETHODIMP get_MessageDrain(OAHWND *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_MessageDrain(v)); }
    STDMETHODIMP get_BorderColor(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_BorderColor(v)); }
    STDMETHODIMP put_BorderColor(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_BorderColor(v)); }
    STDMETHODIMP get_FullScreenMode(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, get_FullScreenMode(v)); }
    STDMETHODIMP put_FullScreenMode(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, put_FullScreenMode(v)); }
    STDMETHODIMP SetWindowForeground(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, SetWindowForeground(v)); }
    STDMETHODIMP NotifyOwnerMessage(OAHWND h, long m, LONG_PTR w, LONG_PTR l) override {
        FWD_(IVideoWindow, IID_IVideoWindow, NotifyOwnerMessage(h, m, w, l));
    }
    STDMETHODIMP SetWindowPosition(long l, long t, long w, long h) override {
        FWD_(IVideoWindow, IID_IVideoWindow, SetWindowPosition(l, t, w, h));
    }
    STDMETHODIMP GetWindowPosition(long *l, long *t, long *w, long *h) override {
        FWD_(IVideoWindow, IID_IVideoWindow, GetWindowPosition(l, t, w, h));
    }
    STDMETHODIMP GetMinIdealImageSize(long *w, long *h) override { FWD_(IVideoWindow, IID_IVideoWindow, GetMinIdealImageSize(w, h)); }
    STDMETHODIMP GetMaxIdealImageSize(long *w, long *h) override { FWD_(IVideoWindow, IID_IVideoWindow, GetMaxIdealImageSize(w, h)); }
    STDMETHODIMP GetRestorePosition(long *l, long *t, long *w, long *h) override {
        FWD_(IVideoWindow, IID_IVideoWindow, GetRestorePosition(l, t, w, h));
    }
    STDMETHODIMP HideCursor(long v) override { FWD_(IVideoWindow, IID_IVideoWindow, HideCursor(v)); }
    STDMETHODIMP IsCursorHidden(long *v) override { FWD_(IVideoWindow, IID_IVideoWindow, IsCursorHidden(v)); }

    STDMETHODIMP get_AvgTimePerFrame(REFTIME *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_AvgTimePerFrame(v)); }
    STDMETHODIMP get_BitRate(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_BitRate(v)); }
    STDMETHODIMP get_BitErrorRate(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_BitErrorRate(v)); }
    STDMETHODIMP get_VideoWidth(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_VideoWidth(v)); }
    STDMETHODIMP get_VideoHeight(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_VideoHeight(v)); }
    STDMETHODIMP put_SourceLeft(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_SourceLeft(v)); }
    STDMETHODIMP get_SourceLeft(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_SourceLeft(v)); }
    STDMETHODIMP put_SourceWidth(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_SourceWidth(v)); }
    STDMETHODIMP get_SourceWidth(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_SourceWidth(v)); }
    STDMETHODIMP put_SourceTop(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_SourceTop(v)); }
    STDMETHODIMP get_SourceTop(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_SourceTop(v)); }
    STDMETHODIMP put_SourceHeight(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_SourceHeight(v)); }
    STDMETHODIMP get_SourceHeight(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_SourceHeight(v)); }
    STDMETHODIMP put_DestinationLeft(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_DestinationLeft(v)); }
    STDMETHODIMP get_DestinationLeft(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_DestinationLeft(v)); }
    STDMETHODIMP put_DestinationWidth(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_DestinationWidth(v)); }
    STDMETHODIMP get_DestinationWidth(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_DestinationWidth(v)); }
    STDMETHODIMP put_DestinationTop(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_DestinationTop(v)); }
    STDMETHODIMP get_DestinationTop(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_DestinationTop(v)); }
    STDMETHODIMP put_DestinationHeight(long v) override { FWD_(IBasicVideo, IID_IBasicVideo, put_DestinationHeight(v)); }
    STDMETHODIMP get_DestinationHeight(long *v) override { FWD_(IBasicVideo, IID_IBasicVideo, get_DestinationHeight(v)); }
    STDMETHODIMP SetSourcePosition(long l, long t, long w, long h) override { FWD_(IBasicVideo, IID_IBasicVideo, SetSourcePosition(l, t, w, h)); }
    STDMETHODIMP GetSourcePosition(long *l, long *t, long *w, long *h) override { FWD_(IBasicVideo, IID_IBasicVideo, GetSourcePosition(l, t, w, h)); }
    STDMETHODIMP SetDefaultSourcePosition() override { FWD_(IBasicVideo, IID_IBasicVideo, SetDefaultSourcePosition()); }
    STDMETHODIMP SetDestinationPosition(long l, long t, long w, long h) override { FWD_(IBasicVideo, IID_IBasicVideo, SetDestinationPosition(l, t, w, h)); }
    STDMETHODIMP GetDestinationPosition(long *l, long *t, long *w, long *h) override { FWD_(IBasicVideo, IID_IBasicVideo, GetDestinationPosition(l, t, w, h)); }
    STDMETHODIMP SetDefaultDestinationPosition() override { FWD_(IBasicVideo, IID_IBasicVideo, SetDefaultDestinationPosition()); }
    STDMETHODIMP GetVideoSize(long *w, long *h) override { FWD_(IBasicVideo, IID_IBasicVideo, GetVideoSize(w, h)); }
    STDMETHODIMP GetVideoPaletteEntries(long s, long n, long *r, long *p) override { FWD_(IBasicVideo, IID_IBasicVideo, GetVideoPaletteEntries(s, n, r, p)); }
    STDMETHODIMP GetCurrentImage(long *size, long *dib) override { FWD_(IBasicVideo, IID_IBasicVideo, GetCurrentImage(size, dib)); }
    STDMETHODIMP IsUsingDefaultSource() override { FWD_(IBasicVideo, IID_IBasicVideo, IsUsingDefaultSource()); }
    STDMETHODIMP IsUsingDefaultDestination() override { FWD_(IBasicVideo, IID_IBasicVideo, IsUsingDefaultDestination()); }

    STDMETHODIMP put_Volume(long v) override { FWD_(IBasicAudio, IID_IBasicAudio, put_Volume(v)); }
    STDMETHODIMP get_Volume(long *v) override { FWD_(IBasicAudio, IID_IBasicAudio, get_Volume(v)); }
    STDMETHODIMP put_Balance(long v) override { FWD_(IBasicAudio, IID_IBasicAudio, put_Balance(v)); }
    STDMETHODIMP get_Balance(long *v) override { FWD_(IBasicAudio, IID_IBasicAudio, get_Balance(v)); }
#undef FWD_

    // For the enumerator.
    long Version() {
        CAutoLock lock(&lock_);
        return version_;
    }
    bool FilterAt(int i, long version, ComPtr<IBaseFilter> *out, bool *outOfSync) {
        CAutoLock lock(&lock_);
        *outOfSync = version != version_;
        if (*outOfSync || i < 0 || i >= static_cast<int>(entries_.size())) return false;
        *out = entries_[static_cast<std::size_t>(i)].filter;
        return true;
    }
    int FilterCount() {
        CAutoLock lock(&lock_);
        return static_cast<int>(entries_.size());
    }

private:
    struct Entry {
        ComPtr<IBaseFilter> filter;
        ComPtr<IUnknown> identity;
        std::u16string name;
    };
    struct Event {
        long code;
        LONG_PTR p1, p2;
    };
    struct RendererCount {
        std::vector<const void *> pointers;   // the filter as added and as IBaseFilter/IMediaFilter
        int expected = 0;
        int completed = 0;
    };

    bool NameInUse(const std::u16string &name) const {
        return std::any_of(entries_.begin(), entries_.end(), [&](const Entry &e) { return e.name == name; });
    }

    bool InGraph(IPin *pin) {
        ComPtr<IBaseFilter> owner = OwnerOf(pin);
        if (!owner) return false;
        ComPtr<IUnknown> id = IdentityOf(owner.Get());
        return std::any_of(entries_.begin(), entries_.end(), [&](const Entry &e) { return e.identity.Get() == id.Get(); });
    }

    static void DisconnectAll(IBaseFilter *filter) {
        for (auto &pin : PinsOf(filter)) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(pin->ConnectedTo(peer.PutAddr())) && peer) {
                peer->Disconnect();
                pin->Disconnect();
            }
        }
    }

    void SetClockLocked(const ComPtr<IReferenceClock> &clock) {
        clock_ = clock;
        for (auto &e : entries_) e.filter->SetSyncSource(clock_.Get());
    }

    HRESULT FindRenderer(REFIID iid, void **ppv) {
        *ppv = nullptr;
        CAutoLock lock(&lock_);
        for (auto &e : entries_)
            if (SUCCEEDED(e.filter->QueryInterface(iid, ppv)) && *ppv) return S_OK;
        return E_NOINTERFACE;
    }

    // ---- building ----------------------------------------------------------------------
    HRESULT AddSourceFilterLocked(LPCWSTR file, LPCWSTR name, IBaseFilter **ppFilter) {
        *ppFilter = nullptr;
        ComPtr<IBaseFilter> source;
        HRESULT hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, source.PutVoid());
        if (FAILED(hr) || !source) return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
        ComPtr<IFileSourceFilter> load;
        if (FAILED(source->QueryInterface(IID_IFileSourceFilter, load.PutVoid())) || !load)
            return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
        hr = AddFilter(source.Get(), name ? name : file);
        if (FAILED(hr)) return hr;
        hr = load->Load(file, nullptr);
        if (FAILED(hr)) {
            RemoveFilter(source.Get());
            return hr;
        }
        *ppFilter = source.Detach();
        return S_OK;
    }

    // Renders every free output pin of `filter`.
    HRESULT RenderFilterOutputs(IBaseFilter *filter, int depth) {
        int outputs = 0, rendered = 0;
        HRESULT firstError = VFW_E_CANNOT_RENDER;
        for (auto &pin : PinsOf(filter)) {
            if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || IsPinConnected(pin.Get())) continue;
            ++outputs;
            HRESULT hr = RenderPin(pin.Get(), depth);
            if (SUCCEEDED(hr)) ++rendered;
            else if (firstError == VFW_E_CANNOT_RENDER) firstError = hr;
        }
        if (outputs == 0) return depth == 0 ? VFW_E_CANNOT_RENDER : S_OK;
        if (rendered == outputs) return S_OK;
        if (rendered > 0) return VFW_S_PARTIAL_RENDER;
        return firstError;
    }

    // Connects `out` to a free input of `filter`, then renders the filter's
    // outputs. Leaves nothing connected on failure.
    HRESULT TryRenderThrough(IPin *out, IBaseFilter *filter, int depth) {
        for (auto &in : PinsOf(filter)) {
            if (DirectionOf(in.Get()) != PINDIR_INPUT || IsPinConnected(in.Get())) continue;
            if (FAILED(out->Connect(in.Get(), nullptr))) continue;
            HRESULT hr = RenderFilterOutputs(filter, depth + 1);
            if (SUCCEEDED(hr)) return hr;
            DisconnectDownstream(filter);
            out->Disconnect();
            in->Disconnect();
        }
        return VFW_E_CANNOT_CONNECT;
    }

    // Undoes what rendering below `filter` connected (the filters it
    // added are removed by the caller or stay unconnected).
    void DisconnectDownstream(IBaseFilter *filter) {
        for (auto &pin : PinsOf(filter)) {
            if (DirectionOf(pin.Get()) != PINDIR_OUTPUT) continue;
            ComPtr<IPin> peer;
            if (FAILED(pin->ConnectedTo(peer.PutAddr())) || !peer) continue;
            ComPtr<IBaseFilter> next = OwnerOf(peer.Get());
            if (next) DisconnectDownstream(next.Get());
            peer->Disconnect();
            pin->Disconnect();
        }
    }

    HRESULT RenderPin(IPin *out, int depth) {
        if (depth > kMaxRenderDepth) return VFW_E_CANNOT_RENDER;
        ComPtr<IBaseFilter> owner = OwnerOf(out);
        ComPtr<IUnknown> ownerId = IdentityOf(owner.Get());
        CLSID ownerClass = GUID_NULL;
        if (owner) owner->GetClassID(&ownerClass);

        // Filters already in the graph first (a splitter or decoder the
        // caller added on purpose is the one used).
        std::vector<ComPtr<IBaseFilter>> present;
        for (auto &e : entries_)
            if (e.identity.Get() != ownerId.Get()) present.push_back(e.filter);
        for (auto &f : present) {
            HRESULT hr = TryRenderThrough(out, f.Get(), depth);
            if (SUCCEEDED(hr)) return hr;
        }

        // Then registered filters, highest merit first.
        for (const auto &candidate : FilterMapperMatch(TypesOf(out), false, false)) {
            if (candidate.clsid == ownerClass) continue;   // no A -> A chains
            ComPtr<IBaseFilter> f;
            if (FAILED(CoCreateInstance(candidate.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid())) || !f)
                continue;
            if (FAILED(AddFilter(f.Get(), candidate.name.c_str()))) continue;
            HRESULT hr = TryRenderThrough(out, f.Get(), depth);
            if (SUCCEEDED(hr)) return hr;
            RemoveUnconnected(f.Get());
        }
        return VFW_E_CANNOT_RENDER;
    }

    void RemoveUnconnected(IBaseFilter *filter) {
        for (auto &pin : PinsOf(filter))
            if (IsPinConnected(pin.Get())) return;
        RemoveFilter(filter);
        added_.erase(std::remove_if(added_.begin(), added_.end(),
                                    [&](const ComPtr<IBaseFilter> &f) { return f.Get() == filter; }),
                     added_.end());
    }

    HRESULT ConnectIntelligent(IPin *out, IPin *in, int depth) {
        HRESULT direct = out->Connect(in, nullptr);
        if (SUCCEEDED(direct)) return direct;
        if (depth >= 3) return direct;
        ComPtr<IUnknown> outOwner = IdentityOf(OwnerOf(out).Get());
        ComPtr<IUnknown> inOwner = IdentityOf(OwnerOf(in).Get());
        CLSID outClass = GUID_NULL;
        if (ComPtr<IBaseFilter> o = OwnerOf(out)) o->GetClassID(&outClass);

        auto through = [&](IBaseFilter *f) -> HRESULT {
            for (auto &mid : PinsOf(f)) {
                if (DirectionOf(mid.Get()) != PINDIR_INPUT || IsPinConnected(mid.Get())) continue;
                if (FAILED(out->Connect(mid.Get(), nullptr))) continue;
                for (auto &midOut : PinsOf(f)) {
                    if (DirectionOf(midOut.Get()) != PINDIR_OUTPUT || IsPinConnected(midOut.Get())) continue;
                    if (SUCCEEDED(ConnectIntelligent(midOut.Get(), in, depth + 1))) return S_OK;
                }
                out->Disconnect();
                mid->Disconnect();
            }
            return VFW_E_CANNOT_CONNECT;
        };

        std::vector<ComPtr<IBaseFilter>> present;
        for (auto &e : entries_)
            if (e.identity.Get() != outOwner.Get() && e.identity.Get() != inOwner.Get()) present.push_back(e.filter);
        for (auto &f : present)
            if (SUCCEEDED(through(f.Get()))) return S_OK;

        for (const auto &candidate : FilterMapperMatch(TypesOf(out), true, false)) {
            if (candidate.clsid == outClass) continue;
            ComPtr<IBaseFilter> f;
            if (FAILED(CoCreateInstance(candidate.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid())) || !f)
                continue;
            if (FAILED(AddFilter(f.Get(), candidate.name.c_str()))) continue;
            if (SUCCEEDED(through(f.Get()))) return S_OK;
            RemoveUnconnected(f.Get());
        }
        return FAILED(direct) && direct != VFW_E_NO_ACCEPTABLE_TYPES ? direct : VFW_E_CANNOT_CONNECT;
    }

    // ---- state ----------------------------------------------------------------------------
    // Downstream first: a filter comes after every filter its outputs feed.
    std::vector<ComPtr<IBaseFilter>> DownstreamFirst() {
        std::vector<ComPtr<IBaseFilter>> order;
        std::set<IUnknown *> placed;
        std::vector<Entry> pending = entries_;
        while (!pending.empty()) {
            bool progress = false;
            for (auto it = pending.begin(); it != pending.end();) {
                bool ready = true;
                for (auto &pin : PinsOf(it->filter.Get())) {
                    if (DirectionOf(pin.Get()) != PINDIR_OUTPUT) continue;
                    ComPtr<IPin> peer;
                    if (FAILED(pin->ConnectedTo(peer.PutAddr())) || !peer) continue;
                    ComPtr<IUnknown> next = IdentityOf(OwnerOf(peer.Get()).Get());
                    if (next && !placed.count(next.Get()) && next.Get() != it->identity.Get() &&
                        std::any_of(pending.begin(), pending.end(), [&](const Entry &e) { return e.identity.Get() == next.Get(); }))
                        ready = false;
                }
                if (ready) {
                    order.push_back(it->filter);
                    placed.insert(it->identity.Get());
                    it = pending.erase(it);
                    progress = true;
                } else {
                    ++it;
                }
            }
            if (!progress) {   // a cycle cannot be built, but never loop on one
                for (auto &e : pending) order.push_back(e.filter);
                break;
            }
        }
        return order;
    }

    void ResetCompletion() {
        std::vector<RendererCount> counts;
        int expected = 0;
        for (auto &e : entries_) {
            if (!IsRendererFilter(e.filter.Get())) continue;
            int inputs = 0;
            for (auto &pin : PinsOf(e.filter.Get()))
                if (DirectionOf(pin.Get()) == PINDIR_INPUT && IsPinConnected(pin.Get())) ++inputs;
            if (inputs == 0) continue;
            RendererCount c;
            c.pointers.push_back(e.filter.Get());
            c.pointers.push_back(e.identity.Get());
            ComPtr<IBaseFilter> asFilter;
            if (SUCCEEDED(e.filter->QueryInterface(IID_IBaseFilter, asFilter.PutVoid())) && asFilter)
                c.pointers.push_back(asFilter.Get());
            c.expected = inputs;
            expected += inputs;
            counts.push_back(std::move(c));
        }
        std::lock_guard<std::mutex> g(eventLock_);
        renderers_ = std::move(counts);
        expected_ = expected;
        completed_ = 0;
        completeQueued_ = false;
    }

    HRESULT PauseLocked() {
        if (state_ == State_Paused) return S_OK;
        if (state_ == State_Stopped) {
            if (!clockChosen_ && !clock_) {
                ComPtr<IReferenceClock> clock;
                if (SUCCEEDED(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                               clock.PutVoid())))
                    SetClockLocked(clock);
            }
            ResetCompletion();
            pausedStreamTime_ = 0;
        } else if (clock_) {
            pausedStreamTime_ = ClockNow(clock_.Get()) - runStart_;
        }
        for (auto &f : DownstreamFirst()) {
            HRESULT hr = f->Pause();
            if (FAILED(hr)) {
                StopLocked();
                return hr;
            }
        }
        state_ = State_Paused;
        FILTER_STATE s;
        return QueryStateLocked(0, &s) == S_OK ? S_OK : S_FALSE;
    }

    HRESULT RunLocked() {
        if (state_ == State_Running) return S_OK;
        if (state_ == State_Stopped) {
            HRESULT hr = PauseLocked();
            if (FAILED(hr)) return hr;
        }
        runStart_ = clock_ ? ClockNow(clock_.Get()) - pausedStreamTime_ + kRunMargin : 0;
        for (auto &f : DownstreamFirst()) {
            HRESULT hr = f->Run(runStart_);
            if (FAILED(hr)) {
                StopLocked();
                return hr;
            }
        }
        state_ = State_Running;
        return S_OK;
    }

    HRESULT StopLocked() {
        if (state_ == State_Stopped) return S_OK;
        auto targets = SeekTargets();
        const LONGLONG resumeAt = targets.empty() ? 0 : CurrentPositionLocked(targets);
        HRESULT result = S_OK;
        for (auto &f : DownstreamFirst()) {
            HRESULT hr = f->Stop();
            if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
        state_ = State_Stopped;
        pausedStreamTime_ = 0;
        // A later run resumes where this one stopped.
        if (!targets.empty()) {
            LONGLONG at = resumeAt;
            for (auto &t : targets) t->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
            segmentStart_ = resumeAt;
        }
        return result;
    }

    void StopFilters() {
        CAutoLock lock(&lock_);
        if (state_ == State_Stopped) return;
        for (auto &f : DownstreamFirst()) f->Stop();
        state_ = State_Stopped;
    }

    HRESULT QueryStateLocked(DWORD ms, FILTER_STATE *s) {
        *s = state_;
        if (state_ != State_Paused) return S_OK;
        HRESULT result = S_OK;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms == INFINITE ? 0 : ms);
        for (auto &e : entries_) {
            DWORD left = ms;
            if (ms != INFINITE) {
                auto now = std::chrono::steady_clock::now();
                left = now >= deadline ? 0 : static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
            }
            FILTER_STATE fs;
            HRESULT hr = e.filter->GetState(left, &fs);
            if (hr == VFW_S_STATE_INTERMEDIATE) result = VFW_S_STATE_INTERMEDIATE;
            else if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
        return result;
    }

    HRESULT QueryState(DWORD ms, FILTER_STATE *s) {
        // Filters are asked without the graph lock: a paused renderer's
        // answer waits for its streaming thread, which never needs the lock.
        std::vector<ComPtr<IBaseFilter>> filters;
        {
            CAutoLock lock(&lock_);
            *s = state_;
            if (state_ != State_Paused) return S_OK;
            for (auto &e : entries_) filters.push_back(e.filter);
        }
        HRESULT result = S_OK;
        const auto start = std::chrono::steady_clock::now();
        for (auto &f : filters) {
            DWORD left = ms;
            if (ms != INFINITE) {
                auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
                left = spent >= ms ? 0 : static_cast<DWORD>(ms - spent);
            }
            FILTER_STATE fs;
            HRESULT hr = f->GetState(left, &fs);
            if (hr == VFW_S_STATE_INTERMEDIATE) result = VFW_S_STATE_INTERMEDIATE;
            else if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
        return result;
    }

    // ---- seeking ---------------------------------------------------------------------------
    // One renderer per source: its IMediaSeeking reaches the source through
    // the pass-throughs upstream, so each source seeks once.
    std::vector<ComPtr<IMediaSeeking>> SeekTargets() {
        std::vector<ComPtr<IMediaSeeking>> targets;
        std::set<IUnknown *> roots;
        for (auto &e : entries_) {
            if (!IsRendererFilter(e.filter.Get())) continue;
            ComPtr<IMediaSeeking> ms;
            if (FAILED(e.filter->QueryInterface(IID_IMediaSeeking, ms.PutVoid())) || !ms) continue;
            ComPtr<IUnknown> root = RootOf(e.filter.Get());
            if (!root) continue;   // nothing upstream: nothing to seek
            if (!roots.insert(root.Get()).second) continue;
            targets.push_back(std::move(ms));
        }
        return targets;
    }

    ComPtr<IUnknown> RootOf(IBaseFilter *filter) {
        ComPtr<IBaseFilter> current(filter);
        bool moved = false;
        for (int guard = 0; guard < 64; ++guard) {
            ComPtr<IBaseFilter> up;
            for (auto &pin : PinsOf(current.Get())) {
                if (DirectionOf(pin.Get()) != PINDIR_INPUT) continue;
                ComPtr<IPin> peer;
                if (SUCCEEDED(pin->ConnectedTo(peer.PutAddr())) && peer) {
                    up = OwnerOf(peer.Get());
                    break;
                }
            }
            if (!up) break;
            current = up;
            moved = true;
        }
        return moved ? IdentityOf(current.Get()) : ComPtr<IUnknown>();
    }

    LONGLONG CurrentPositionLocked(const std::vector<ComPtr<IMediaSeeking>> &targets) {
        if (state_ == State_Running && clock_) {
            LONGLONG pos = segmentStart_ + (ClockNow(clock_.Get()) - runStart_);
            if (pos < segmentStart_) pos = segmentStart_;
            LONGLONG stop = 0;
            if (!targets.empty() && SUCCEEDED(targets.front()->GetStopPosition(&stop)) && stop > 0 && pos > stop) pos = stop;
            return pos;
        }
        bool any = false;
        LONGLONG best = 0;
        for (auto &t : targets) {
            LONGLONG p = 0;
            if (SUCCEEDED(t->GetCurrentPosition(&p)) && (!any || p < best)) {
                best = p;
                any = true;
            }
        }
        return any ? best : segmentStart_;
    }

    HRESULT SetPositionsLocked(LONGLONG *pCurrent, DWORD curFlags, LONGLONG *pStop, DWORD stopFlags) {
        auto targets = SeekTargets();
        if (targets.empty()) return E_NOTIMPL;
        const bool moving = (curFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
        if (moving && !pCurrent) return E_POINTER;
        if ((stopFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning && !pStop) return E_POINTER;
        LONGLONG target = 0;
        if (moving) {
            switch (curFlags & AM_SEEKING_PositioningBitsMask) {
            case AM_SEEKING_AbsolutePositioning: target = *pCurrent; break;
            default: target = CurrentPositionLocked(targets) + *pCurrent; break;
            }
        }
        const FILTER_STATE was = state_;
        // A seek while running: pause, flush and restart with a new start time.
        if (moving && was == State_Running) {
            for (auto &f : DownstreamFirst()) f->Pause();
            state_ = State_Paused;
        }
        HRESULT result = E_FAIL;
        for (auto &t : targets) {
            LONGLONG cur = target, stop = pStop ? *pStop : 0;
            HRESULT hr = t->SetPositions(moving ? &cur : nullptr,
                                         moving ? ((curFlags & ~AM_SEEKING_PositioningBitsMask) | AM_SEEKING_AbsolutePositioning) : curFlags,
                                         pStop ? &stop : nullptr, stopFlags);
            if (SUCCEEDED(hr) || FAILED(result)) result = hr;
            if (SUCCEEDED(hr) && moving && (curFlags & AM_SEEKING_ReturnTime) && pCurrent) *pCurrent = cur;
        }
        if (moving) {
            segmentStart_ = target;
            pausedStreamTime_ = 0;
            if (was != State_Stopped) ResetCompletion();
        }
        if (moving && was == State_Running) {
            runStart_ = clock_ ? ClockNow(clock_.Get()) + kRunMargin : 0;
            for (auto &f : DownstreamFirst()) f->Run(runStart_);
            state_ = State_Running;
        }
        return result;
    }

    // ---- events ------------------------------------------------------------------------------
    void QueueEvent(long code, LONG_PTR p1, LONG_PTR p2) {
        OAHWND window = 0;
        long message = 0;
        LONG_PTR instance = 0;
        {
            std::lock_guard<std::mutex> g(eventLock_);
            if (events_.size() >= kMaxEvents) events_.pop_front();   // a reader that never drains must not grow us
            events_.push_back(Event{code, p1, p2});
            if (!(notifyFlags_ & AM_MEDIAEVENT_NONOTIFY)) {
                window = notifyWindow_;
                message = notifyMessage_;
                instance = notifyInstance_;
            }
        }
        eventCv_.notify_all();
        if (window) platform::PostMessage(FromOAHWND(window), static_cast<UINT>(message), static_cast<WPARAM>(code),
                                          static_cast<LPARAM>(instance));
    }

    static constexpr std::size_t kMaxEvents = 1024;

    CCritSec lock_;                       // graph structure and state (application thread)
    std::vector<Entry> entries_;
    long version_ = 1;
    FILTER_STATE state_ = State_Stopped;
    ComPtr<IReferenceClock> clock_;
    bool clockChosen_ = false;
    REFERENCE_TIME runStart_ = 0;
    REFERENCE_TIME pausedStreamTime_ = 0;
    LONGLONG segmentStart_ = 0;
    bool recordAdded_ = false;
    std::vector<ComPtr<IBaseFilter>> added_;

    std::mutex eventLock_;                // events; taken by streaming threads
    std::condition_variable eventCv_;
    std::deque<Event> events_;
    OAHWND notifyWindow_ = 0;
    long notifyMessage_ = 0;
    LONG_PTR notifyInstance_ = 0;
    long notifyFlags_ = 0;
    std::atomic<bool> defaultComplete_{true};
    std::vector<RendererCount> renderers_;
    int expected_ = 0;
    int completed_ = 0;
    bool completeQueued_ = false;
};

EnumGraphFilters::EnumGraphFilters(FilterGraph *graph, int position) : graph_(graph), position_(position) {
    graph_->AddRef();
    version_ = graph_->Version();
}

EnumGraphFilters::~EnumGraphFilters() { graph_->Release(); }

STDMETHODIMP EnumGraphFilters::Next(ULONG cFilters, IBaseFilter **ppFilter, ULONG *pcFetched) {
    if (!ppFilter) return E_POINTER;
    if (cFilters > 1 && !pcFetched) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    ULONG n = 0;
    while (n < cFilters) {
        ComPtr<IBaseFilter> f;
        bool outOfSync = false;
        if (!graph_->FilterAt(position_, version_, &f, &outOfSync)) {
            if (outOfSync) return VFW_E_ENUM_OUT_OF_SYNC;
            break;
        }
        ++position_;
        ppFilter[n++] = f.Detach();
    }
    if (pcFetched) *pcFetched = n;
    return n == cFilters ? S_OK : S_FALSE;
}

STDMETHODIMP EnumGraphFilters::Skip(ULONG cFilters) {
    if (version_ != graph_->Version()) return VFW_E_ENUM_OUT_OF_SYNC;
    const int count = graph_->FilterCount();
    if (position_ + static_cast<long>(cFilters) > count) {
        position_ = count;
        return S_FALSE;
    }
    position_ += static_cast<int>(cFilters);
    return S_OK;
}

STDMETHODIMP EnumGraphFilters::Reset() {
    position_ = 0;
    version_ = graph_->Version();
    return S_OK;
}

STDMETHODIMP EnumGraphFilters::Clone(IEnumFilters **ppEnum) {
    if (!ppEnum) return E_POINTER;
    auto *e = new (std::nothrow) EnumGraphFilters(graph_, position_);
    if (!e) return E_OUTOFMEMORY;
    e->version_ = version_;
    *ppEnum = e;
    return S_OK;
}

CUnknown *CreateFilterGraph(LPUNKNOWN outer, HRESULT *phr) {
    auto *g = new (std::nothrow) FilterGraph(outer);
    if (!g && phr) *phr = E_OUTOFMEMORY;
    return g;
}

}  // namespace

void MediaRegisterGraphBuiltins() {
    ComRegisterBuiltinClass(CLSID_FilterGraph, &MediaCreateVia<&CreateFilterGraph>, "Filter Graph");
    MediaRegisterClockBuiltin();
}
