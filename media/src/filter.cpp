#include "media/baseclasses.h"

// ---- wide text -----------------------------------------------------------------
std::u16string WideFromUtf8(const char *s) { return s ? Utf8ToWide(s) : std::u16string(); }

std::size_t WideLength(LPCWSTR s) {
    std::size_t n = 0;
    if (s)
        while (s[n]) ++n;
    return n;
}

bool WideEqual(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) return a == b;
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

void CopyWide(WCHAR *dst, std::size_t dstCount, LPCWSTR src) {
    if (!dst || dstCount == 0) return;
    std::size_t i = 0;
    if (src)
        for (; i + 1 < dstCount && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
}

LPWSTR CoTaskWideDup(LPCWSTR src) {
    const std::size_t n = WideLength(src);
    auto *p = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(WCHAR)));
    if (!p) return nullptr;
    for (std::size_t i = 0; i < n; ++i) p[i] = src[i];
    p[n] = 0;
    return p;
}

// ---- CBaseFilter ------------------------------------------------------------------
CBaseFilter::CBaseFilter(const char *name, LPUNKNOWN outer, CCritSec *lock, REFCLSID clsid)
    : CUnknown(name, outer), m_pLock(lock), m_clsid(clsid) {}

CBaseFilter::CBaseFilter(const char *name, LPUNKNOWN outer, CCritSec *lock, REFCLSID clsid, HRESULT *)
    : CBaseFilter(name, outer, lock, clsid) {}

CBaseFilter::~CBaseFilter() {
    if (m_pClock) {
        m_pClock->Release();
        m_pClock = nullptr;
    }
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
        return GetInterface(static_cast<IBaseFilter *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID *pClsID) {
    if (!pClsID) return E_POINTER;
    *pClsID = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
    CAutoLock lock(m_pLock);
    HRESULT hr = S_OK;
    if (m_State != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin *pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT h = pin->Inactive();
                if (FAILED(h) && SUCCEEDED(hr)) hr = h;
            }
        }
    }
    m_State = State_Stopped;
    return hr;
}

STDMETHODIMP CBaseFilter::Pause() {
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin *pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr)) return hr;
            }
        }
    }
    m_State = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart) {
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_State != State_Running) {
        // The state is published before the pins run: an end of stream
        // racing with Run then sees either the running state or is seen by
        // the pin's Run, so its EC_COMPLETE is never lost.
        m_State = State_Running;
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin *pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Run(tStart);
                if (FAILED(hr)) return hr;
            }
        }
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE *State) {
    if (!State) return E_POINTER;
    *State = static_cast<FILTER_STATE>(m_State.load());
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock *pClock) {
    CAutoLock lock(m_pLock);
    if (pClock) pClock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock **pClock) {
    if (!pClock) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins **ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) CEnumPins(this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin **ppPin) {
    if (!ppPin) return E_POINTER;
    *ppPin = nullptr;
    if (!Id) return E_POINTER;
    CAutoLock lock(m_pLock);
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin *pin = GetPin(i);
        if (pin && WideEqual(pin->Name(), Id)) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO *pInfo) {
    if (!pInfo) return E_POINTER;
    CopyWide(pInfo->achName, MAX_FILTER_NAME, m_name.c_str());
    pInfo->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) {
    CAutoLock lock(m_pLock);
    m_pGraph = pGraph;
    m_pSink = nullptr;
    if (pGraph) {
        // Held without a reference: the graph owns the filter, not the reverse.
        IMediaEventSink *sink = nullptr;
        if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void **>(&sink))) && sink) {
            m_pSink = sink;
            sink->Release();
        }
        m_name = pName ? std::u16string(pName) : std::u16string();
    } else {
        m_name.clear();
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR *pVendorInfo) {
    if (pVendorInfo) *pVendorInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CBaseFilter::StreamTime(CRefTime &rtStream) {
    IReferenceClock *clock = nullptr;
    REFERENCE_TIME start;
    {
        CAutoLock lock(m_pLock);
        clock = m_pClock;
        if (!clock) return VFW_E_NO_CLOCK;
        clock->AddRef();
        start = m_tStart;
    }
    REFERENCE_TIME now = 0;
    HRESULT hr = clock->GetTime(&now);
    clock->Release();
    if (FAILED(hr)) return hr;
    rtStream = now - start;
    return S_OK;
}

HRESULT CBaseFilter::NotifyEvent(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
    IMediaEventSink *sink = m_pSink;
    if (!sink) return E_NOTIMPL;
    if (EventCode == EC_COMPLETE && EventParam2 == 0)
        EventParam2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter *>(this));
    return sink->Notify(EventCode, EventParam1, EventParam2);
}

bool CBaseFilter::IsActive() { return m_State != State_Stopped; }
bool CBaseFilter::IsStopped() { return m_State == State_Stopped; }
FILTER_STATE CBaseFilter::State() { return static_cast<FILTER_STATE>(m_State.load()); }
LONG CBaseFilter::GetPinVersion() { return m_PinVersion; }
void CBaseFilter::IncrementPinVersion() { ++m_PinVersion; }

// ---- CEnumPins ---------------------------------------------------------------------
CEnumPins::CEnumPins(CBaseFilter *filter, const CEnumPins *toCopy) : m_pFilter(filter) {
    m_pFilter->AddRef();
    if (toCopy) {
        m_Position = toCopy->m_Position;
        m_Version = toCopy->m_Version;
    } else {
        m_Version = filter->GetPinVersion();
    }
}

CEnumPins::~CEnumPins() { m_pFilter->Release(); }

STDMETHODIMP CEnumPins::QueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
        *ppv = static_cast<IEnumPins *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() { return static_cast<ULONG>(++m_cRef); }
STDMETHODIMP_(ULONG) CEnumPins::Release() {
    long r = --m_cRef;
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin **ppPins, ULONG *pcFetched) {
    if (!ppPins) return E_POINTER;
    if (cPins > 1 && !pcFetched) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    if (m_Version != m_pFilter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG n = 0;
    while (n < cPins && m_Position < m_pFilter->GetPinCount()) {
        CBasePin *pin = m_pFilter->GetPin(m_Position++);
        if (!pin) break;
        pin->AddRef();
        ppPins[n++] = pin;
    }
    if (pcFetched) *pcFetched = n;
    return n == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins) {
    if (m_Version != m_pFilter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    const int left = m_pFilter->GetPinCount() - m_Position;
    if (static_cast<long>(cPins) > left) return S_FALSE;
    m_Position += static_cast<int>(cPins);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
    m_Version = m_pFilter->GetPinVersion();
    m_Position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins **ppEnum) {
    if (!ppEnum) return E_POINTER;
    if (m_Version != m_pFilter->GetPinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    *ppEnum = new (std::nothrow) CEnumPins(m_pFilter, this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

// ---- CEnumMediaTypes ------------------------------------------------------------------
CEnumMediaTypes::CEnumMediaTypes(CBasePin *pin, const CEnumMediaTypes *toCopy) : m_pPin(pin) {
    m_pPin->AddRef();
    if (toCopy) {
        m_Position = toCopy->m_Position;
        m_Version = toCopy->m_Version;
    } else {
        m_Version = pin->GetMediaTypeVersion();
    }
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pPin->Release(); }

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
        *ppv = static_cast<IEnumMediaTypes *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() { return static_cast<ULONG>(++m_cRef); }
STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
    long r = --m_cRef;
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes, ULONG *pcFetched) {
    if (!ppMediaTypes) return E_POINTER;
    if (cMediaTypes > 1 && !pcFetched) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    if (m_Version != m_pPin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG n = 0;
    while (n < cMediaTypes) {
        CMediaType mt;
        if (m_pPin->GetMediaType(m_Position, &mt) != S_OK) break;
        ++m_Position;
        AM_MEDIA_TYPE *copy = CreateMediaType(&mt);
        if (!copy) break;
        ppMediaTypes[n++] = copy;
    }
    if (pcFetched) *pcFetched = n;
    return n == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes) {
    if (m_Version != m_pPin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    for (ULONG i = 0; i < cMediaTypes; ++i) {
        CMediaType mt;
        if (m_pPin->GetMediaType(m_Position, &mt) != S_OK) return S_FALSE;
        ++m_Position;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
    m_Position = 0;
    m_Version = m_pPin->GetMediaTypeVersion();
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes **ppEnum) {
    if (!ppEnum) return E_POINTER;
    if (m_Version != m_pPin->GetMediaTypeVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    *ppEnum = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}
