// Base classes for writing filters: CBaseFilter, the pins, the rendered
// input pin, the allocator and samples, the enumerators and the position
// pass-through. They follow the platform's filter base classes in names and
// behaviour; see media/media.h for the threading model.
//
// Ownership: a filter owns its pins (it deletes them in its destructor);
// pins delegate AddRef/Release to their filter, so a reference to a pin
// keeps the whole filter alive. Locks: the filter lock (CBaseFilter's
// m_pLock) guards state and connections; a filter that streams also keeps a
// receive lock of its own for its streaming work. No lock of ours is held
// while calling into another filter.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "media/interfaces.h"
#include "media/sync.h"

class CBasePin;
class CBaseFilter;

// Elapsed-time helper as the base classes use it (100-ns units).
class CRefTime {
public:
    REFERENCE_TIME m_time = 0;
    CRefTime() = default;
    CRefTime(REFERENCE_TIME t) : m_time(t) {}
    operator REFERENCE_TIME() const { return m_time; }
    CRefTime &operator+=(const CRefTime &r) { m_time += r.m_time; return *this; }
    CRefTime &operator-=(const CRefTime &r) { m_time -= r.m_time; return *this; }
    LONG Millisecs() const { return static_cast<LONG>(m_time / MILLISECONDS); }
};

// Wide-text helpers.
std::u16string WideFromUtf8(const char *s);
// Copies into a fixed WCHAR array, truncating, always terminated.
void CopyWide(WCHAR *dst, std::size_t dstCount, LPCWSTR src);
// CoTaskMemAlloc'd copy (for QueryId, GetCurFile ...); null on no memory.
LPWSTR CoTaskWideDup(LPCWSTR src);
std::size_t WideLength(LPCWSTR s);
bool WideEqual(LPCWSTR a, LPCWSTR b);

// ---- filter ------------------------------------------------------------------
class CBaseFilter : public CUnknown, public IBaseFilter {
public:
    // `lock` guards the filter state (not owned; usually a member of the
    // derived filter). `outer`: controlling unknown when aggregated.
    CBaseFilter(const char *name, LPUNKNOWN outer, CCritSec *lock, REFCLSID clsid);
    CBaseFilter(const char *name, LPUNKNOWN outer, CCritSec *lock, REFCLSID clsid, HRESULT *phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID *pClsID) override;
    // IMediaFilter. Stop deactivates each connected pin (Inactive), Pause
    // from stopped activates them (Active), Run from stopped pauses first
    // then calls each connected pin's Run(tStart).
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE *State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock *pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock **pClock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins **ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR Id, IPin **ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO *pInfo) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR *pVendorInfo) override;

    // Pins: indices 0..GetPinCount()-1; the pins must live as long as the
    // filter (GetPin returns a borrowed pointer).
    virtual int GetPinCount() = 0;
    virtual CBasePin *GetPin(int n) = 0;

    // Stream time now: clock time - m_tStart (VFW_E_NO_CLOCK without clock).
    virtual HRESULT StreamTime(CRefTime &rtStream);
    // Reports an event to the graph; E_NOTIMPL-like failure outside a graph.
    // EC_COMPLETE from a rendered pin carries (S_OK, this filter as IBaseFilter*).
    HRESULT NotifyEvent(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);

    bool IsActive();      // paused or running
    bool IsStopped();
    FILTER_STATE State();
    IFilterGraph *GetFilterGraph() { return m_pGraph; }
    LPCWSTR FilterName() const { return m_name.c_str(); }

    // Incremented whenever the set of pins changes (enumerators resync).
    virtual LONG GetPinVersion();
    void IncrementPinVersion();

    CCritSec *pStateLock() { return m_pLock; }

protected:
    CCritSec *m_pLock;
    std::atomic<int> m_State{State_Stopped};  // FILTER_STATE
    IReferenceClock *m_pClock = nullptr;      // one reference when set
    CRefTime m_tStart;                        // stream time 0 in clock time
    CLSID m_clsid;
    IFilterGraph *m_pGraph = nullptr;         // not referenced
    IMediaEventSink *m_pSink = nullptr;       // not referenced
    std::u16string m_name;
    std::atomic<LONG> m_PinVersion{1};
};

// ---- pins ---------------------------------------------------------------------
class CBasePin : public CUnknown, public IPin {
public:
    // `pinName` is copied. `lock` is the filter's state lock.
    CBasePin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr, LPCWSTR pinName, PIN_DIRECTION dir);
    ~CBasePin() override;

    // QueryInterface is the pin's own; AddRef/Release go to the filter.
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin
    STDMETHODIMP Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin **pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO *pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION *pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR *Id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes **ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin **apPin, ULONG *nPin) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override = 0;
    STDMETHODIMP EndFlush() override = 0;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // Overridables.
    // S_OK accepts; S_FALSE or a failure refuses.
    virtual HRESULT CheckMediaType(const CMediaType *pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType *pmt);
    virtual HRESULT CheckConnect(IPin *pPin);      // direction check
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin *pReceivePin);
    // Preferred types, iPosition from 0: S_OK, VFW_S_NO_MORE_ITEMS past the
    // end, E_INVALIDARG below 0. Default: E_UNEXPECTED (offers no types).
    virtual HRESULT GetMediaType(int iPosition, CMediaType *pMediaType);
    virtual LONG GetMediaTypeVersion();
    void IncrementTypeVersion();
    virtual HRESULT Active();                     // filter leaves stopped
    virtual HRESULT Inactive();                   // filter stops
    virtual HRESULT Run(REFERENCE_TIME tStart);   // filter runs

    bool IsConnected() const { return m_Connected != nullptr; }
    IPin *GetConnected() { return m_Connected; }  // borrowed
    bool IsStopped() { return m_pFilter->IsStopped(); }
    CMediaType &CurrentMediaType() { return m_mt; }
    PIN_DIRECTION Direction() const { return m_dir; }
    LPCWSTR Name() const { return m_pName.c_str(); }
    CBaseFilter *Filter() { return m_pFilter; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }

protected:
    HRESULT AgreeMediaType(IPin *pReceivePin, const CMediaType *pmt);
    HRESULT TryMediaTypes(IPin *pReceivePin, const CMediaType *pmt, IEnumMediaTypes *pEnum);
    HRESULT AttemptConnection(IPin *pReceivePin, const CMediaType *pmt);
    HRESULT DisconnectInternal();

    std::u16string m_pName;
    IPin *m_Connected = nullptr;      // one reference while connected
    PIN_DIRECTION m_dir;
    CCritSec *m_pLock;
    CBaseFilter *m_pFilter;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = MAX_TIME;
    double m_dRate = 1.0;
    std::atomic<bool> m_bRunTimeError{false};
    bool m_bCanReconnectWhenActive = false;
    bool m_bTryMyTypesFirst = false;   // output pins may prefer their own list
    std::atomic<LONG> m_TypeVersion{1};
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr, LPCWSTR pinName);
    ~CBaseInputPin() override;

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator **ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator *pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES *pProps) override;
    // Base: CheckStreaming, records the sample's properties; S_OK to go on.
    STDMETHODIMP Receive(IMediaSample *pSample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample **pSamples, long nSamples, long *nSamplesProcessed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    // Base: marks flushing (Receive then returns S_FALSE) / clears it and the
    // run-time error.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    HRESULT CheckConnect(IPin *pPin) override;
    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    // S_OK while streaming is allowed; S_FALSE flushing; VFW_E_WRONG_STATE
    // stopped; VFW_E_NOT_CONNECTED; VFW_E_RUNTIME_ERROR after an error.
    virtual HRESULT CheckStreaming();
    bool IsFlushing() const { return m_bFlushing; }
    bool IsReadOnly() const { return m_bReadOnly; }
    IMemAllocator *Allocator() { return m_pAllocator; }   // borrowed
    // Marks the run-time error after a failed Receive (the pin refuses
    // further samples until the next flush or stop) and reports
    // EC_ERRORABORT once.
    void RaiseRuntimeError(HRESULT hr);

protected:
    IMemAllocator *m_pAllocator = nullptr;   // one reference when set
    std::atomic<bool> m_bReadOnly{false};
    std::atomic<bool> m_bFlushing{false};
};

// An input pin of a filter that renders: reports EC_COMPLETE once per
// stream when end of stream arrives while running; an end that arrives
// while paused is reported when the filter runs. A flush clears both marks.
class CRenderedInputPin : public CBaseInputPin {
public:
    CRenderedInputPin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr, LPCWSTR pinName);
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP EndFlush() override;
    HRESULT Active() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    bool AtEndOfStream() const { return m_bAtEndOfStream; }
protected:
    void DoCompleteHandling();
    std::atomic<bool> m_bAtEndOfStream{false};
    std::atomic<bool> m_bCompleteNotified{false};
};

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const char *objectName, CBaseFilter *filter, CCritSec *lock, HRESULT *phr, LPCWSTR pinName);
    ~CBaseOutputPin() override;

    // Allocator negotiation at connection: the input's allocator, else ours
    // (CMemAllocator), sized by DecideBufferSize.
    HRESULT CompleteConnect(IPin *pReceivePin) override;
    virtual HRESULT DecideAllocator(IMemInputPin *pPin, IMemAllocator **ppAlloc);
    virtual HRESULT DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *ppropInputRequest) = 0;
    virtual HRESULT InitAllocator(IMemAllocator **ppAlloc);
    HRESULT CheckConnect(IPin *pPin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;     // commits the allocator
    HRESULT Inactive() override;   // decommits it (wakes a blocked GetBuffer)

    // Streaming helpers (call from the streaming thread; no filter lock held).
    virtual HRESULT GetDeliveryBuffer(IMediaSample **ppSample, REFERENCE_TIME *pStartTime, REFERENCE_TIME *pEndTime, DWORD dwFlags);
    virtual HRESULT Deliver(IMediaSample *pSample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // Output pins receive none of these.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    IMemAllocator *Allocator() { return m_pAllocator; }   // borrowed
    IMemInputPin *InputPin() { return m_pInputPin; }      // borrowed

protected:
    IMemAllocator *m_pAllocator = nullptr;   // one reference while connected
    IMemInputPin *m_pInputPin = nullptr;     // one reference while connected
};

// ---- samples and allocator --------------------------------------------------------
class CMemAllocator;

class CMediaSample : public IMediaSample {
public:
    CMediaSample(CMemAllocator *allocator, BYTE *buffer, long length);
    virtual ~CMediaSample();

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    // The last Release returns the sample to its allocator.
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetPointer(BYTE **ppBuffer) override;
    STDMETHODIMP_(long) GetSize() override;
    STDMETHODIMP GetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) override;
    STDMETHODIMP SetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) override;
    STDMETHODIMP IsSyncPoint() override;
    STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
    STDMETHODIMP IsPreroll() override;
    STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
    STDMETHODIMP_(long) GetActualDataLength() override;
    STDMETHODIMP SetActualDataLength(long length) override;
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE **ppMediaType) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE *pMediaType) override;
    STDMETHODIMP IsDiscontinuity() override;
    STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
    STDMETHODIMP GetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) override;
    STDMETHODIMP SetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) override;

    // Clears times, flags and type (the allocator does this on reuse).
    void ResetProperties();

protected:
    friend class CMemAllocator;
    std::atomic<long> m_cRef{0};
    CMemAllocator *m_pAllocator;
    BYTE *m_pBuffer;
    long m_cbBuffer;
    long m_lActual = 0;
    REFERENCE_TIME m_Start = 0, m_End = 0;
    LONGLONG m_MediaStart = 0, m_MediaEnd = 0;
    bool m_bTimeValid = false, m_bStopValid = false, m_bMediaTimeValid = false;
    bool m_bSyncPoint = false, m_bPreroll = false, m_bDiscontinuity = false;
    AM_MEDIA_TYPE *m_pMediaType = nullptr;
};

// A pool of cBuffers samples of cbBuffer bytes (plus prefix, aligned).
// Buffers are allocated at Commit and freed at Decommit once every sample
// has come back. Every sample handed out holds a reference on the allocator.
class CMemAllocator : public CUnknown, public IMemAllocator {
public:
    CMemAllocator(const char *name, LPUNKNOWN outer, HRESULT *phr);
    ~CMemAllocator() override;
    // Creation function for the class registry (no class id of its own).
    static HRESULT Create(IMemAllocator **ppAlloc);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // VFW_E_ALREADY_COMMITTED while committed; VFW_E_BUFFERS_OUTSTANDING
    // while samples are out.
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES *pRequest, ALLOCATOR_PROPERTIES *pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES *pProps) override;
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample **ppBuffer, REFERENCE_TIME *pStartTime, REFERENCE_TIME *pEndTime, DWORD dwFlags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample *pBuffer) override;

    bool IsCommitted();
    long FreeCount();

private:
    void FreeBuffersIfIdle();   // under lock
    std::mutex m_lock;
    std::condition_variable m_cv;
    ALLOCATOR_PROPERTIES m_props{0, 0, 1, 0};
    bool m_bCommitted = false;
    bool m_bDecommitPending = false;
    std::vector<std::unique_ptr<CMediaSample>> m_samples;
    std::vector<CMediaSample *> m_free;
    std::vector<std::unique_ptr<BYTE[]>> m_buffers;
};

// ---- enumerators ------------------------------------------------------------------
// Over a filter's pins (resyncs on the pin version).
class CEnumPins final : public IEnumPins {
public:
    CEnumPins(CBaseFilter *filter, const CEnumPins *toCopy = nullptr);
    ~CEnumPins();
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG cPins, IPin **ppPins, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cPins) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins **ppEnum) override;
private:
    std::atomic<long> m_cRef{1};
    CBaseFilter *m_pFilter;   // one reference
    int m_Position = 0;
    LONG m_Version;
};

// Over a pin's GetMediaType list (resyncs on the type version).
class CEnumMediaTypes final : public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin *pin, const CEnumMediaTypes *toCopy = nullptr);
    ~CEnumMediaTypes();
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cMediaTypes) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes **ppEnum) override;
private:
    std::atomic<long> m_cRef{1};
    CBasePin *m_pPin;   // one reference
    int m_Position = 0;
    LONG m_Version;
};

// ---- position pass-through -------------------------------------------------------
// IMediaSeeking and IMediaPosition of a filter that has no seeking of its
// own, forwarded to the output pin connected to `pin` (upstream). A
// renderer uses it with RegisterMediaTime so GetCurrentPosition reports the
// start time of the sample being presented plus the segment start.
class CPosPassThru : public CUnknown, public IMediaSeeking, public IMediaPosition {
public:
    // `pin` is the filter's input pin (borrowed: it must outlive this).
    CPosPassThru(const char *name, LPUNKNOWN outer, HRESULT *phr, IPin *pin);
    ~CPosPassThru() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IMediaSeeking
    STDMETHODIMP GetCapabilities(DWORD *pCapabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD *pCapabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID *pFormat) override;
    STDMETHODIMP QueryPreferredFormat(GUID *pFormat) override;
    STDMETHODIMP GetTimeFormat(GUID *pFormat) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID *pFormat) override;
    STDMETHODIMP SetTimeFormat(const GUID *pFormat) override;
    STDMETHODIMP GetDuration(LONGLONG *pDuration) override;
    STDMETHODIMP GetStopPosition(LONGLONG *pStop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG *pCurrent) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG *pTarget, const GUID *pTargetFormat, LONGLONG Source, const GUID *pSourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop, DWORD dwStopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG *pCurrent, LONGLONG *pStop) override;
    STDMETHODIMP GetAvailable(LONGLONG *pEarliest, LONGLONG *pLatest) override;
    STDMETHODIMP SetRate(double dRate) override;
    STDMETHODIMP GetRate(double *pdRate) override;
    STDMETHODIMP GetPreroll(LONGLONG *pllPreroll) override;
    // IMediaPosition
    STDMETHODIMP get_Duration(REFTIME *plength) override;
    STDMETHODIMP put_CurrentPosition(REFTIME llTime) override;
    STDMETHODIMP get_CurrentPosition(REFTIME *pllTime) override;
    STDMETHODIMP get_StopTime(REFTIME *pllTime) override;
    STDMETHODIMP put_StopTime(REFTIME llTime) override;
    STDMETHODIMP get_PrerollTime(REFTIME *pllTime) override;
    STDMETHODIMP put_PrerollTime(REFTIME llTime) override;
    STDMETHODIMP put_Rate(double dRate) override;
    STDMETHODIMP get_Rate(double *pdRate) override;
    STDMETHODIMP CanSeekForward(LONG *pCanSeekForward) override;
    STDMETHODIMP CanSeekBackward(LONG *pCanSeekBackward) override;

    // Renderer side (thread-safe): the sample now presented / forget it.
    HRESULT RegisterMediaTime(IMediaSample *pMediaSample);
    HRESULT RegisterMediaTime(REFERENCE_TIME start, REFERENCE_TIME end);
    void ResetMediaTime();
    // The segment start given by NewSegment (added to sample times).
    void SetSegmentStart(REFERENCE_TIME start);

protected:
    // The upstream pin's IMediaSeeking (one reference) or an error.
    HRESULT GetPeerSeeking(IMediaSeeking **ppMS);

private:
    IPin *m_pPin;
    std::mutex m_timeLock;
    bool m_bTimeValid = false;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tSegment = 0;
};
