// CTransformFilter: one input, one output; each input sample is turned into
// an output sample on the thread that delivered it (no thread of its own).
// Filters that produce zero or several outputs per input (decoders)
// override Receive and use m_pOutput->GetDeliveryBuffer/Deliver directly.
// End of stream, flushes and new segments are passed downstream after the
// filter's own handling. The output pin answers IMediaSeeking/IMediaPosition
// by passing them upstream through the input pin (CPosPassThru).
#pragma once

#include <memory>

#include "media/baseclasses.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
public:
    CTransformInputPin(const char *objectName, CTransformFilter *filter, HRESULT *phr, LPCWSTR name);
    HRESULT CheckConnect(IPin *pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin *pReceivePin) override;
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    HRESULT SetMediaType(const CMediaType *pmt) override;
    STDMETHODIMP Receive(IMediaSample *pSample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;
    CMediaType &MediaType() { return m_mt; }
protected:
    CTransformFilter *m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
public:
    CTransformOutputPin(const char *objectName, CTransformFilter *filter, HRESULT *phr, LPCWSTR name);
    ~CTransformOutputPin() override;
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;
    HRESULT CheckConnect(IPin *pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin *pReceivePin) override;
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    HRESULT SetMediaType(const CMediaType *pmt) override;
    HRESULT DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *pProp) override;
    HRESULT GetMediaType(int iPosition, CMediaType *pMediaType) override;
    CMediaType &MediaType() { return m_mt; }
protected:
    CTransformFilter *m_pTransformFilter;
    std::unique_ptr<CPosPassThru> m_pPosition;   // made on first request
    CCritSec m_posLock;
};

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(const char *name, LPUNKNOWN outer, REFCLSID clsid);
    ~CTransformFilter() override;

    int GetPinCount() override { return 2; }
    CBasePin *GetPin(int n) override;   // 0 input, 1 output (made on first call)
    STDMETHODIMP FindPin(LPCWSTR Id, IPin **ppPin) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;

    // Must be supplied.
    virtual HRESULT CheckInputType(const CMediaType *mtIn) = 0;
    virtual HRESULT CheckTransform(const CMediaType *mtIn, const CMediaType *mtOut) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator *pAllocator, ALLOCATOR_PROPERTIES *pprop) = 0;
    virtual HRESULT GetMediaType(int iPosition, CMediaType *pMediaType) = 0;   // output types
    // 1:1 transform used by the default Receive; E_UNEXPECTED by default.
    virtual HRESULT Transform(IMediaSample *pIn, IMediaSample *pOut);

    // Optional.
    virtual HRESULT StartStreaming();   // paused from stopped
    virtual HRESULT StopStreaming();    // stopped
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType *pmt);
    virtual HRESULT CheckConnect(PIN_DIRECTION dir, IPin *pPin);
    virtual HRESULT BreakConnect(PIN_DIRECTION dir);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin *pReceivePin);
    // Default: InitializeOutputSample, Transform, Deliver (S_FALSE from
    // Transform drops the sample). Called on the upstream streaming thread
    // with the receive lock held.
    virtual HRESULT Receive(IMediaSample *pSample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    CTransformInputPin *InputPin() { return m_pInput; }
    CTransformOutputPin *OutputPin() { return m_pOutput; }

protected:
    // Gets an output buffer and copies the input's times and flags onto it.
    HRESULT InitializeOutputSample(IMediaSample *pSample, IMediaSample **ppOutSample);

    friend class CTransformInputPin;
    friend class CTransformOutputPin;
    CCritSec m_csFilter;    // state
    CCritSec m_csReceive;   // streaming
    bool m_bEOSDelivered = false;
    bool m_bSampleSkipped = false;
    bool m_bQualityChanged = false;
    CTransformInputPin *m_pInput = nullptr;
    CTransformOutputPin *m_pOutput = nullptr;
};
