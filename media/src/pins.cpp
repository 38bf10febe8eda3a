#include "media/baseclasses.h"

// ---- CBasePin -------------------------------------------------------------------
CBasePin::CBasePin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *, LPCWSTR pinName,
                   PIN_DIRECTION dir)
    : CUnknown(objectName, nullptr), m_pName(pinName ? pinName : u""), m_dir(dir), m_pLock(lock), m_pFilter(filter) {}

CBasePin::~CBasePin() {
    // A filter being destroyed still connected (released without the graph):
    // drop our reference on the peer without calling into it.
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IPin) return GetInterface(static_cast<IPin *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }
STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

STDMETHODIMP CBasePin::Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) {
    if (!pReceivePin) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    if (pmt) {
        CMediaType partial(*pmt);
        return AgreeMediaType(pReceivePin, &partial);
    }
    return AgreeMediaType(pReceivePin, nullptr);
}

HRESULT CBasePin::AgreeMediaType(IPin *pReceivePin, const CMediaType *pmt) {
    if (pmt && !pmt->IsPartiallySpecified()) return AttemptConnection(pReceivePin, pmt);
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int pass = 0; pass < 2; ++pass) {
        const bool mine = (pass == 0) == m_bTryMyTypesFirst;
        IEnumMediaTypes *types = nullptr;
        HRESULT hr = mine ? EnumMediaTypes(&types) : pReceivePin->EnumMediaTypes(&types);
        if (FAILED(hr) || !types) continue;
        hr = TryMediaTypes(pReceivePin, pmt, types);
        types->Release();
        if (SUCCEEDED(hr)) return S_OK;
        // Keep the most telling reason: a refusal by a pin beats "no types".
        if (hr != VFW_E_NO_ACCEPTABLE_TYPES && hr != E_FAIL && hr != E_UNEXPECTED) hrFailure = hr;
    }
    return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin *pReceivePin, const CMediaType *pmt, IEnumMediaTypes *pEnum) {
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    if (FAILED(pEnum->Reset())) return E_FAIL;
    for (;;) {
        AM_MEDIA_TYPE *mt = nullptr;
        ULONG fetched = 0;
        if (pEnum->Next(1, &mt, &fetched) != S_OK || fetched != 1 || !mt) break;
        CMediaType candidate(*mt);
        DeleteMediaType(mt);
        if (pmt && !candidate.MatchesPartial(pmt)) continue;
        HRESULT hr = AttemptConnection(pReceivePin, &candidate);
        if (SUCCEEDED(hr)) return hr;
        if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED) hrFailure = hr;
    }
    return hrFailure;
}

HRESULT CBasePin::AttemptConnection(IPin *pReceivePin, const CMediaType *pmt) {
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = pReceivePin;
        m_Connected->AddRef();
        hr = SetMediaType(pmt);
        if (SUCCEEDED(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin *>(this), pmt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (SUCCEEDED(hr)) return S_OK;
                pReceivePin->Disconnect();
            }
        }
        m_Connected->Release();
        m_Connected = nullptr;
    } else if (SUCCEEDED(hr) || hr == E_FAIL) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    BreakConnect();
    m_mt = CMediaType();
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) {
    if (!pConnector || !pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    CMediaType mt(*pmt);
    hr = CheckMediaType(&mt);
    if (hr != S_OK) {
        BreakConnect();
        return (SUCCEEDED(hr) || hr == E_FAIL) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = SetMediaType(&mt);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pConnector);
        if (SUCCEEDED(hr)) return S_OK;
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    m_mt = CMediaType();
    return hr;
}

STDMETHODIMP CBasePin::Disconnect() {
    CAutoLock lock(m_pLock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
    if (!m_Connected) return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    m_mt = CMediaType();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin **pPin) {
    if (!pPin) return E_POINTER;
    CAutoLock lock(m_pLock);
    *pPin = m_Connected;
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE *pmt) {
    if (!pmt) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        std::memset(pmt, 0, sizeof(*pmt));
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO *pInfo) {
    if (!pInfo) return E_POINTER;
    pInfo->pFilter = m_pFilter;
    m_pFilter->AddRef();
    pInfo->dir = m_dir;
    CopyWide(pInfo->achName, MAX_PIN_NAME, m_pName.c_str());
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION *pPinDir) {
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR *Id) {
    if (!Id) return E_POINTER;
    *Id = CoTaskWideDup(m_pName.c_str());
    return *Id ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE *pmt) {
    if (!pmt) return E_POINTER;
    CMediaType mt(*pmt);
    HRESULT hr = CheckMediaType(&mt);
    return hr == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes **ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = new (std::nothrow) CEnumMediaTypes(this);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin **, ULONG *) { return E_NOTIMPL; }
STDMETHODIMP CBasePin::EndOfStream() { return S_OK; }

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType *pmt) { return m_mt.Set(*pmt); }

HRESULT CBasePin::CheckConnect(IPin *pPin) {
    PIN_DIRECTION dir;
    HRESULT hr = pPin->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::CompleteConnect(IPin *) { return S_OK; }
HRESULT CBasePin::GetMediaType(int iPosition, CMediaType *) { return iPosition < 0 ? E_INVALIDARG : E_UNEXPECTED; }
LONG CBasePin::GetMediaTypeVersion() { return m_TypeVersion; }
void CBasePin::IncrementTypeVersion() { ++m_TypeVersion; }
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() {
    m_bRunTimeError = false;
    return S_OK;
}
HRESULT CBasePin::Run(REFERENCE_TIME) { return S_OK; }

// ---- CBaseInputPin ------------------------------------------------------------------
CBaseInputPin::CBaseInputPin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr, LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, phr, pinName, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() {
    if (m_pAllocator) {
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin *>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator **ppAllocator) {
    if (!ppAllocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        HRESULT hr = CMemAllocator::Create(&m_pAllocator);
        if (FAILED(hr)) {
            *ppAllocator = nullptr;
            return hr;
        }
    }
    *ppAllocator = m_pAllocator;
    m_pAllocator->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator *pAllocator, BOOL bReadOnly) {
    if (!pAllocator) return E_POINTER;
    CAutoLock lock(m_pLock);
    pAllocator->AddRef();
    if (m_pAllocator) m_pAllocator->Release();
    m_pAllocator = pAllocator;
    m_bReadOnly = bReadOnly != FALSE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES *) { return E_NOTIMPL; }

HRESULT CBaseInputPin::CheckStreaming() {
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (m_bFlushing) return S_FALSE;
    if (m_bRunTimeError) return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample *pSample) {
    if (!pSample) return E_POINTER;
    return CheckStreaming();
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample **pSamples, long nSamples, long *nSamplesProcessed) {
    if (!pSamples || !nSamplesProcessed) return E_POINTER;
    HRESULT hr = S_OK;
    *nSamplesProcessed = 0;
    while (nSamples-- > 0) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK) break;
        ++*nSamplesProcessed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() { return S_OK; }

STDMETHODIMP CBaseInputPin::BeginFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = true;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
    CAutoLock lock(m_pLock);
    m_bFlushing = false;
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBaseInputPin::CheckConnect(IPin *pPin) { return CBasePin::CheckConnect(pPin); }

HRESULT CBaseInputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
    m_bRunTimeError = false;
    m_bFlushing = false;
    if (!m_pAllocator) return S_OK;
    // Decommitting wakes an upstream thread blocked in GetBuffer.
    return m_pAllocator->Decommit();
}

void CBaseInputPin::RaiseRuntimeError(HRESULT hr) {
    if (m_bRunTimeError) return;
    m_bRunTimeError = true;
    m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
}

// ---- CRenderedInputPin ------------------------------------------------------------------
CRenderedInputPin::CRenderedInputPin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr,
                                     LPCWSTR pinName)
    : CBaseInputPin(objectName, filter, lock, phr, pinName) {}

STDMETHODIMP CRenderedInputPin::EndOfStream() {
    HRESULT hr = CheckStreaming();
    // A stream that failed earlier still ends: its end counts as complete,
    // so a graph with a broken stream finishes instead of waiting forever.
    if (hr == VFW_E_RUNTIME_ERROR) hr = S_OK;
    if (hr == S_OK && !m_bAtEndOfStream.exchange(true)) {
        if (m_pFilter->State() == State_Running) DoCompleteHandling();
    }
    return hr;
}

STDMETHODIMP CRenderedInputPin::EndFlush() {
    CAutoLock lock(m_pLock);
    m_bAtEndOfStream = false;
    m_bCompleteNotified = false;
    return CBaseInputPin::EndFlush();
}

HRESULT CRenderedInputPin::Active() {
    m_bAtEndOfStream = false;
    m_bCompleteNotified = false;
    return CBaseInputPin::Active();
}

HRESULT CRenderedInputPin::Run(REFERENCE_TIME tStart) {
    if (m_bAtEndOfStream) DoCompleteHandling();
    return CBaseInputPin::Run(tStart);
}

void CRenderedInputPin::DoCompleteHandling() {
    if (!m_bCompleteNotified.exchange(true))
        m_pFilter->NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter *>(m_pFilter)));
}

// ---- CBaseOutputPin ------------------------------------------------------------------------
CBaseOutputPin::CBaseOutputPin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr, LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, phr, pinName, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() {
    if (m_pAllocator) m_pAllocator->Release();
    if (m_pInputPin) m_pInputPin->Release();
}

HRESULT CBaseOutputPin::CheckConnect(IPin *pPin) {
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (FAILED(hr)) return hr;
    IMemInputPin *input = nullptr;
    hr = pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void **>(&input));
    if (FAILED(hr) || !input) return E_NOINTERFACE;
    if (m_pInputPin) m_pInputPin->Release();
    m_pInputPin = input;
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect() {
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin *) {
    if (!m_pInputPin) return E_UNEXPECTED;
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator **ppAlloc) { return CMemAllocator::Create(ppAlloc); }

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin *pPin, IMemAllocator **ppAlloc) {
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    ALLOCATOR_PROPERTIES prop{};
    pPin->GetAllocatorRequirements(&prop);
    if (prop.cbAlign == 0) prop.cbAlign = 1;

    HRESULT hr = pPin->GetAllocator(ppAlloc);
    if (SUCCEEDED(hr) && *ppAlloc) {
        hr = DecideBufferSize(*ppAlloc, &prop);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr)) return S_OK;
        }
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    hr = InitAllocator(ppAlloc);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(*ppAlloc, &prop);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr)) return S_OK;
        }
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    return FAILED(hr) ? hr : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Active() {
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
    m_bRunTimeError = false;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample **ppSample, REFERENCE_TIME *pStartTime, REFERENCE_TIME *pEndTime,
                                          DWORD dwFlags) {
    if (!ppSample) return E_POINTER;
    *ppSample = nullptr;
    if (!m_pAllocator) return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample *pSample) {
    if (!m_pInputPin) return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    if (!m_Connected) return VFW_E_NOT_CONNECTED;
    return m_Connected->NewSegment(tStart, tStop, dRate);
}

STDMETHODIMP CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }
