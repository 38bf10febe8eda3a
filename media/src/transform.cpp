#include "media/transform.h"

// ---- input pin --------------------------------------------------------------------
CTransformInputPin::CTransformInputPin(const char *objectName, CTransformFilter *filter, HRESULT *phr, LPCWSTR name)
    : CBaseInputPin(objectName, filter, &filter->m_csFilter, phr, name), m_pTransformFilter(filter) {}

HRESULT CTransformInputPin::CheckConnect(IPin *pPin) {
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CheckConnect(pPin);
}

HRESULT CTransformInputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin *pReceivePin) {
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseInputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType *pmt) {
    HRESULT hr = m_pTransformFilter->CheckInputType(pmt);
    if (hr != S_OK) return hr;
    CTransformOutputPin *out = m_pTransformFilter->m_pOutput;
    if (out && out->IsConnected()) return m_pTransformFilter->CheckTransform(pmt, &out->CurrentMediaType());
    return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType *pmt) {
    HRESULT hr = CBasePin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, pmt);
}

STDMETHODIMP CTransformInputPin::Receive(IMediaSample *pSample) {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr == S_OK) hr = m_pTransformFilter->Receive(pSample);
    return hr;
}

STDMETHODIMP CTransformInputPin::EndOfStream() {
    CAutoLock lock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    // After an error the stream still ends cleanly downstream.
    if (hr == S_OK || hr == VFW_E_RUNTIME_ERROR) hr = m_pTransformFilter->EndOfStream();
    return hr;
}

STDMETHODIMP CTransformInputPin::BeginFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput || !m_pTransformFilter->m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->BeginFlush();
}

STDMETHODIMP CTransformInputPin::EndFlush() {
    CAutoLock lock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput || !m_pTransformFilter->m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr)) return hr;
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP CTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pTransformFilter->NewSegment(tStart, tStop, dRate);
}

// ---- output pin ------------------------------------------------------------------------
CTransformOutputPin::CTransformOutputPin(const char *objectName, CTransformFilter *filter, HRESULT *phr, LPCWSTR name)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, phr, name), m_pTransformFilter(filter) {}

CTransformOutputPin::~CTransformOutputPin() = default;

STDMETHODIMP CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
        CAutoLock lock(&m_posLock);
        if (!m_pPosition) {
            HRESULT hr = S_OK;
            // Seeking goes upstream through our input pin.
            m_pPosition = std::make_unique<CPosPassThru>("transform seeking", static_cast<IPin *>(this), &hr,
                                                         static_cast<IPin *>(m_pTransformFilter->GetPin(0)));
            if (FAILED(hr)) {
                m_pPosition.reset();
                *ppv = nullptr;
                return hr;
            }
        }
        return m_pPosition->NonDelegatingQueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTransformOutputPin::CheckConnect(IPin *pPin) {
    CTransformInputPin *in = m_pTransformFilter->m_pInput;
    if (!in || !in->IsConnected()) return E_UNEXPECTED;
    HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pPin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CTransformOutputPin::BreakConnect() {
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin *pReceivePin) {
    HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, pReceivePin);
    if (FAILED(hr)) return hr;
    return CBaseOutputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType *pmt) {
    CTransformInputPin *in = m_pTransformFilter->m_pInput;
    if (!in || !in->IsConnected()) return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&in->CurrentMediaType(), pmt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType *pmt) {
    HRESULT hr = CBasePin::SetMediaType(pmt);
    if (FAILED(hr)) return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, pmt);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *pProp) {
    return m_pTransformFilter->DecideBufferSize(pAlloc, pProp);
}

HRESULT CTransformOutputPin::GetMediaType(int iPosition, CMediaType *pMediaType) {
    CTransformInputPin *in = m_pTransformFilter->m_pInput;
    if (iPosition < 0) return E_INVALIDARG;
    if (!in || !in->IsConnected()) return E_UNEXPECTED;
    return m_pTransformFilter->GetMediaType(iPosition, pMediaType);
}

// ---- filter --------------------------------------------------------------------------------
CTransformFilter::CTransformFilter(const char *name, LPUNKNOWN outer, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_csFilter, clsid) {}

CTransformFilter::~CTransformFilter() {
    delete m_pOutput;
    delete m_pInput;
}

CBasePin *CTransformFilter::GetPin(int n) {
    CAutoLock lock(&m_csFilter);
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput = new (std::nothrow) CTransformInputPin("transform input", this, &hr, u"XForm In");
        if (!m_pInput) return nullptr;
        m_pOutput = new (std::nothrow) CTransformOutputPin("transform output", this, &hr, u"XForm Out");
        if (!m_pOutput) {
            delete m_pInput;
            m_pInput = nullptr;
            return nullptr;
        }
    }
    if (n == 0) return m_pInput;
    if (n == 1) return m_pOutput;
    return nullptr;
}

STDMETHODIMP CTransformFilter::FindPin(LPCWSTR Id, IPin **ppPin) {
    if (!ppPin) return E_POINTER;
    *ppPin = nullptr;
    if (!Id) return E_POINTER;
    CBasePin *pin = nullptr;
    if (WideEqual(Id, u"In") || WideEqual(Id, u"XForm In")) pin = GetPin(0);
    else if (WideEqual(Id, u"Out") || WideEqual(Id, u"XForm Out")) pin = GetPin(1);
    if (!pin) return VFW_E_NOT_FOUND;
    pin->AddRef();
    *ppPin = pin;
    return S_OK;
}

STDMETHODIMP CTransformFilter::Stop() {
    CAutoLock lock(&m_csFilter);
    if (m_State == State_Stopped) return S_OK;
    GetPin(0);
    // Decommitting the allocators releases a streaming thread blocked in
    // GetBuffer; then the receive lock is free to take.
    m_pInput->Inactive();
    if (m_pOutput->IsConnected()) m_pOutput->Inactive();
    CAutoLock receive(&m_csReceive);
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) hr = CBaseFilter::Stop();
    m_bEOSDelivered = false;
    return hr;
}

STDMETHODIMP CTransformFilter::Pause() {
    CAutoLock lock(&m_csFilter);
    GetPin(0);
    HRESULT hr = S_OK;
    if (m_State == State_Paused) return S_OK;
    if (!m_pInput->IsConnected()) {
        // Nothing will ever come: end the stream for whoever is downstream.
        if (m_pOutput->IsConnected() && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = true;
        }
        m_State = State_Paused;
        return S_OK;
    }
    if (m_State == State_Stopped) {
        CAutoLock receive(&m_csReceive);
        hr = StartStreaming();
    }
    if (SUCCEEDED(hr)) hr = CBaseFilter::Pause();
    m_bSampleSkipped = false;
    m_bQualityChanged = false;
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample *, IMediaSample *) { return E_UNEXPECTED; }
HRESULT CTransformFilter::StartStreaming() { return S_OK; }
HRESULT CTransformFilter::StopStreaming() { return S_OK; }
HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION, const CMediaType *) { return S_OK; }
HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION, IPin *) { return S_OK; }
HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION) { return S_OK; }
HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION, IPin *) { return S_OK; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample *pSample, IMediaSample **ppOutSample) {
    *ppOutSample = nullptr;
    IMediaSample *out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr == VFW_E_NOT_COMMITTED ? VFW_E_WRONG_STATE : hr;
    REFERENCE_TIME s = 0, e = 0;
    HRESULT th = pSample->GetTime(&s, &e);
    if (th == S_OK) out->SetTime(&s, &e);
    else if (th == VFW_S_NO_STOP_TIME) out->SetTime(&s, nullptr);
    out->SetSyncPoint(pSample->IsSyncPoint() == S_OK);
    out->SetDiscontinuity(pSample->IsDiscontinuity() == S_OK || m_bSampleSkipped);
    out->SetPreroll(pSample->IsPreroll() == S_OK);
    LONGLONG ms = 0, me = 0;
    if (pSample->GetMediaTime(&ms, &me) == S_OK) out->SetMediaTime(&ms, &me);
    *ppOutSample = out;
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample *pSample) {
    IMediaSample *out = nullptr;
    HRESULT hr = InitializeOutputSample(pSample, &out);
    if (FAILED(hr)) return hr;
    hr = Transform(pSample, out);
    if (FAILED(hr)) {
        out->Release();
        m_pInput->RaiseRuntimeError(hr);
        return hr;
    }
    if (hr == S_OK) {
        hr = m_pOutput->Deliver(out);
        m_bSampleSkipped = false;
    } else {
        // S_FALSE: the transform chose to drop this one.
        m_bSampleSkipped = true;
        hr = S_OK;
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::EndOfStream() {
    if (!m_pOutput || !m_pOutput->IsConnected()) return S_OK;
    m_bEOSDelivered = true;
    return m_pOutput->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush() {
    if (!m_pOutput || !m_pOutput->IsConnected()) return S_OK;
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush() {
    m_bEOSDelivered = false;
    if (!m_pOutput || !m_pOutput->IsConnected()) return S_OK;
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    if (!m_pOutput || !m_pOutput->IsConnected()) return S_OK;
    return m_pOutput->DeliverNewSegment(tStart, tStop, dRate);
}
