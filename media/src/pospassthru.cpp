#include "media/baseclasses.h"

#include <cmath>

CPosPassThru::CPosPassThru(const char *name, LPUNKNOWN outer, HRESULT *phr, IPin *pin)
    : CUnknown(name, outer), m_pPin(pin) {
    if (!pin && phr) *phr = E_POINTER;
}

CPosPassThru::~CPosPassThru() = default;

STDMETHODIMP CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking *>(this), ppv);
    if (riid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CPosPassThru::GetPeerSeeking(IMediaSeeking **ppMS) {
    *ppMS = nullptr;
    if (!m_pPin) return E_NOTIMPL;
    IPin *peer = nullptr;
    HRESULT hr = m_pPin->ConnectedTo(&peer);
    if (FAILED(hr) || !peer) return VFW_E_NOT_CONNECTED;
    hr = peer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void **>(ppMS));
    peer->Release();
    return FAILED(hr) ? E_NOTIMPL : S_OK;
}

#define PASS_(call)                              \
    IMediaSeeking *ms = nullptr;                 \
    HRESULT hr = GetPeerSeeking(&ms);            \
    if (FAILED(hr)) return hr;                   \
    hr = ms->call;                               \
    ms->Release();                               \
    return hr

STDMETHODIMP CPosPassThru::GetCapabilities(DWORD *p) { PASS_(GetCapabilities(p)); }
STDMETHODIMP CPosPassThru::CheckCapabilities(DWORD *p) { PASS_(CheckCapabilities(p)); }
STDMETHODIMP CPosPassThru::IsFormatSupported(const GUID *f) {
    if (!f) return E_POINTER;
    return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
STDMETHODIMP CPosPassThru::QueryPreferredFormat(GUID *f) {
    if (!f) return E_POINTER;
    *f = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}
STDMETHODIMP CPosPassThru::GetTimeFormat(GUID *f) { return QueryPreferredFormat(f); }
STDMETHODIMP CPosPassThru::IsUsingTimeFormat(const GUID *f) { return IsFormatSupported(f); }
STDMETHODIMP CPosPassThru::SetTimeFormat(const GUID *f) {
    if (!f) return E_POINTER;
    return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}
STDMETHODIMP CPosPassThru::GetDuration(LONGLONG *p) { PASS_(GetDuration(p)); }
STDMETHODIMP CPosPassThru::GetStopPosition(LONGLONG *p) { PASS_(GetStopPosition(p)); }

STDMETHODIMP CPosPassThru::GetCurrentPosition(LONGLONG *pCurrent) {
    if (!pCurrent) return E_POINTER;
    {
        std::lock_guard<std::mutex> g(m_timeLock);
        if (m_bTimeValid) {
            *pCurrent = m_tStart + m_tSegment;
            return S_OK;
        }
    }
    PASS_(GetCurrentPosition(pCurrent));
}

STDMETHODIMP CPosPassThru::ConvertTimeFormat(LONGLONG *pTarget, const GUID *pTargetFormat, LONGLONG Source,
                                             const GUID *pSourceFormat) {
    if (!pTarget) return E_POINTER;
    auto isTime = [](const GUID *g) { return !g || *g == TIME_FORMAT_MEDIA_TIME; };
    if (isTime(pTargetFormat) && isTime(pSourceFormat)) {
        *pTarget = Source;
        return S_OK;
    }
    PASS_(ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat));
}

STDMETHODIMP CPosPassThru::SetPositions(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop, DWORD dwStopFlags) {
    // The presented time belongs to the old segment once a seek is asked for.
    if ((dwCurrentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning) ResetMediaTime();
    PASS_(SetPositions(pCurrent, dwCurrentFlags, pStop, dwStopFlags));
}

STDMETHODIMP CPosPassThru::GetPositions(LONGLONG *pCurrent, LONGLONG *pStop) { PASS_(GetPositions(pCurrent, pStop)); }
STDMETHODIMP CPosPassThru::GetAvailable(LONGLONG *e, LONGLONG *l) { PASS_(GetAvailable(e, l)); }
STDMETHODIMP CPosPassThru::SetRate(double r) { PASS_(SetRate(r)); }
STDMETHODIMP CPosPassThru::GetRate(double *r) { PASS_(GetRate(r)); }
STDMETHODIMP CPosPassThru::GetPreroll(LONGLONG *p) { PASS_(GetPreroll(p)); }
#undef PASS_

// ---- IMediaPosition, in seconds -----------------------------------------------------
namespace {
LONGLONG ToRef(REFTIME t) { return static_cast<LONGLONG>(t * 10000000.0); }
REFTIME ToSeconds(LONGLONG t) { return static_cast<double>(t) * 1e-7; }
}  // namespace

STDMETHODIMP CPosPassThru::get_Duration(REFTIME *p) {
    if (!p) return E_POINTER;
    LONGLONG d = 0;
    HRESULT hr = GetDuration(&d);
    if (SUCCEEDED(hr)) *p = ToSeconds(d);
    return hr;
}
STDMETHODIMP CPosPassThru::put_CurrentPosition(REFTIME t) {
    LONGLONG v = ToRef(t);
    return SetPositions(&v, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}
STDMETHODIMP CPosPassThru::get_CurrentPosition(REFTIME *p) {
    if (!p) return E_POINTER;
    LONGLONG v = 0;
    HRESULT hr = GetCurrentPosition(&v);
    if (SUCCEEDED(hr)) *p = ToSeconds(v);
    return hr;
}
STDMETHODIMP CPosPassThru::get_StopTime(REFTIME *p) {
    if (!p) return E_POINTER;
    LONGLONG v = 0;
    HRESULT hr = GetStopPosition(&v);
    if (SUCCEEDED(hr)) *p = ToSeconds(v);
    return hr;
}
STDMETHODIMP CPosPassThru::put_StopTime(REFTIME t) {
    LONGLONG v = ToRef(t);
    return SetPositions(nullptr, AM_SEEKING_NoPositioning, &v, AM_SEEKING_AbsolutePositioning);
}
STDMETHODIMP CPosPassThru::get_PrerollTime(REFTIME *p) {
    if (!p) return E_POINTER;
    LONGLONG v = 0;
    HRESULT hr = GetPreroll(&v);
    *p = SUCCEEDED(hr) ? ToSeconds(v) : 0.0;
    return S_OK;
}
STDMETHODIMP CPosPassThru::put_PrerollTime(REFTIME) { return E_NOTIMPL; }
STDMETHODIMP CPosPassThru::put_Rate(double r) { return SetRate(r); }
STDMETHODIMP CPosPassThru::get_Rate(double *r) { return GetRate(r); }
STDMETHODIMP CPosPassThru::CanSeekForward(LONG *p) {
    if (!p) return E_POINTER;
    DWORD caps = 0;
    HRESULT hr = GetCapabilities(&caps);
    *p = SUCCEEDED(hr) && (caps & AM_SEEKING_CanSeekForwards) ? OATRUE : OAFALSE;
    return S_OK;
}
STDMETHODIMP CPosPassThru::CanSeekBackward(LONG *p) {
    if (!p) return E_POINTER;
    DWORD caps = 0;
    HRESULT hr = GetCapabilities(&caps);
    *p = SUCCEEDED(hr) && (caps & AM_SEEKING_CanSeekBackwards) ? OATRUE : OAFALSE;
    return S_OK;
}

// ---- renderer side -------------------------------------------------------------------------
HRESULT CPosPassThru::RegisterMediaTime(IMediaSample *pMediaSample) {
    if (!pMediaSample) return E_POINTER;
    REFERENCE_TIME s = 0, e = 0;
    HRESULT hr = pMediaSample->GetTime(&s, &e);
    if (FAILED(hr)) return hr;
    return RegisterMediaTime(s, e);
}

HRESULT CPosPassThru::RegisterMediaTime(REFERENCE_TIME start, REFERENCE_TIME) {
    std::lock_guard<std::mutex> g(m_timeLock);
    m_tStart = start;
    m_bTimeValid = true;
    return S_OK;
}

void CPosPassThru::ResetMediaTime() {
    std::lock_guard<std::mutex> g(m_timeLock);
    m_bTimeValid = false;
}

void CPosPassThru::SetSegmentStart(REFERENCE_TIME start) {
    std::lock_guard<std::mutex> g(m_timeLock);
    m_tSegment = start;
}
