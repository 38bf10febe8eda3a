// The interfaces of the media framework: filters, pins, samples,
// allocators, clocks, the graph and its control, event, seeking and window
// interfaces. Method names, argument order and result codes follow the
// platform's filter-graph interfaces so code written against them ports
// unchanged. Every out-pointer interface result carries one reference that
// the caller releases; every CoTaskMemAlloc'd result is freed by the caller.
#pragma once

#include "media/mtypes.h"

struct IBaseFilter;
struct IFilterGraph;
struct IPin;
struct IMediaSample;
struct IMemAllocator;
struct IReferenceClock;
struct IEnumPins;
struct IEnumFilters;
struct IEnumMediaTypes;

#define MEDIA_IID_(name, d1, d2, d3, a, b, c, d, e, f, g, h) \
    inline constexpr IID IID_##name{d1, d2, d3, {a, b, c, d, e, f, g, h}}

MEDIA_IID_(IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A);
MEDIA_IID_(IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaEventSink, 0x56A868A2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IFileSourceFilter, 0x56A868A6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IAsyncReader, 0x56A868AA, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaPosition, 0x56A868B2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IBasicAudio, 0x56A868B3, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IVideoWindow, 0x56A868B4, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IBasicVideo, 0x56A868B5, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaEvent, 0x56A868B6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
MEDIA_IID_(IMediaSeeking, 0x36B73880, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
MEDIA_IID_(IMediaDet, 0x65BD0710, 0x24D2, 0x4FF7, 0x93, 0x24, 0xED, 0x2E, 0x5D, 0x3A, 0xBA, 0xFA);
MEDIA_IID_(ISpecifyPropertyPages, 0xB196B28B, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
MEDIA_IID_(IAMFilterMiscFlags, 0x2DD74950, 0xA890, 0x11D1, 0xAB, 0xE8, 0x00, 0xA0, 0xC9, 0x05, 0xF3, 0x75);
#undef MEDIA_IID_

// ---- filters -------------------------------------------------------------
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
constexpr int MAX_PIN_NAME = 128;
constexpr int MAX_FILTER_NAME = 128;

// pGraph carries a reference when not null.
struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph *pGraph;
};
// pFilter carries a reference.
struct PIN_INFO {
    IBaseFilter *pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct IMediaFilter : IPersist {
    STDMETHOD(Stop)() = 0;
    STDMETHOD(Pause)() = 0;
    // tStart: the reference-clock time at which stream time 0 is presented.
    STDMETHOD(Run)(REFERENCE_TIME tStart) = 0;
    // S_OK, or VFW_S_STATE_INTERMEDIATE while a transition is not complete
    // (a renderer paused without its first sample); the state reported is
    // the one being changed to.
    STDMETHOD(GetState)(DWORD dwMilliSecsTimeout, FILTER_STATE *State) = 0;
    // Null clock: no pacing, the filter works as fast as it can.
    STDMETHOD(SetSyncSource)(IReferenceClock *pClock) = 0;
    STDMETHOD(GetSyncSource)(IReferenceClock **pClock) = 0;
};

struct IBaseFilter : IMediaFilter {
    STDMETHOD(EnumPins)(IEnumPins **ppEnum) = 0;
    STDMETHOD(FindPin)(LPCWSTR Id, IPin **ppPin) = 0;
    STDMETHOD(QueryFilterInfo)(FILTER_INFO *pInfo) = 0;
    // Called by the graph on AddFilter (graph, name) and RemoveFilter (null,
    // null). The filter must not keep a reference on the graph.
    STDMETHOD(JoinFilterGraph)(IFilterGraph *pGraph, LPCWSTR pName) = 0;
    STDMETHOD(QueryVendorInfo)(LPWSTR *pVendorInfo) = 0;
};

constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;
// Optional on filters: tells the graph a filter renders (counts towards
// EC_COMPLETE) even though it has output pins.
struct IAMFilterMiscFlags : IUnknown {
    STDMETHOD_(ULONG, GetMiscFlags)() = 0;
};

// ---- enumerators -----------------------------------------------------------
// Next fills up to cItems entries, each with a reference; S_OK when all were
// filled, S_FALSE otherwise. VFW_E_ENUM_OUT_OF_SYNC when the set changed
// since the enumerator was made or Reset (call Reset and start over).
struct IEnumPins : IUnknown {
    STDMETHOD(Next)(ULONG cPins, IPin **ppPins, ULONG *pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cPins) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumPins **ppEnum) = 0;
};
struct IEnumFilters : IUnknown {
    STDMETHOD(Next)(ULONG cFilters, IBaseFilter **ppFilter, ULONG *pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cFilters) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumFilters **ppEnum) = 0;
};
// Each AM_MEDIA_TYPE* returned is CoTaskMemAlloc'd: free with DeleteMediaType.
struct IEnumMediaTypes : IUnknown {
    STDMETHOD(Next)(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes, ULONG *pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cMediaTypes) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumMediaTypes **ppEnum) = 0;
};

// ---- pins ------------------------------------------------------------------
// Connections are made by the output pin: out->Connect(in, mt) checks, then
// calls in->ReceiveConnection(out, mt). Connect/Disconnect only while the
// filter is stopped (VFW_E_NOT_STOPPED otherwise). Disconnect acts on one
// side only; the graph's Disconnect is called for both pins.
// EndOfStream, BeginFlush, EndFlush and NewSegment are called on input
// pins by the upstream filter, downstream order, from a streaming thread
// (BeginFlush/EndFlush from the thread that seeks).
struct IPin : IUnknown {
    STDMETHOD(Connect)(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) = 0;
    STDMETHOD(ReceiveConnection)(IPin *pConnector, const AM_MEDIA_TYPE *pmt) = 0;
    STDMETHOD(Disconnect)() = 0;
    STDMETHOD(ConnectedTo)(IPin **pPin) = 0;
    STDMETHOD(ConnectionMediaType)(AM_MEDIA_TYPE *pmt) = 0;
    STDMETHOD(QueryPinInfo)(PIN_INFO *pInfo) = 0;
    STDMETHOD(QueryDirection)(PIN_DIRECTION *pPinDir) = 0;
    STDMETHOD(QueryId)(LPWSTR *Id) = 0;
    STDMETHOD(QueryAccept)(const AM_MEDIA_TYPE *pmt) = 0;
    STDMETHOD(EnumMediaTypes)(IEnumMediaTypes **ppEnum) = 0;
    STDMETHOD(QueryInternalConnections)(IPin **apPin, ULONG *nPin) = 0;
    STDMETHOD(EndOfStream)() = 0;
    STDMETHOD(BeginFlush)() = 0;
    STDMETHOD(EndFlush)() = 0;
    STDMETHOD(NewSegment)(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;
};

// ---- samples and allocators ---------------------------------------------------
struct IMediaSample : IUnknown {
    STDMETHOD(GetPointer)(BYTE **ppBuffer) = 0;
    STDMETHOD_(long, GetSize)() = 0;
    // VFW_E_SAMPLE_TIME_NOT_SET without times; VFW_S_NO_STOP_TIME (start only).
    STDMETHOD(GetTime)(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) = 0;
    // Null pointers clear the times.
    STDMETHOD(SetTime)(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) = 0;
    STDMETHOD(IsSyncPoint)() = 0;           // S_OK: key frame
    STDMETHOD(SetSyncPoint)(BOOL bIsSyncPoint) = 0;
    STDMETHOD(IsPreroll)() = 0;             // S_OK: decode, do not render
    STDMETHOD(SetPreroll)(BOOL bIsPreroll) = 0;
    STDMETHOD_(long, GetActualDataLength)() = 0;
    STDMETHOD(SetActualDataLength)(long length) = 0;   // VFW_E_BUFFER_OVERFLOW past GetSize
    // S_FALSE and null when the type did not change; else a type to DeleteMediaType.
    STDMETHOD(GetMediaType)(AM_MEDIA_TYPE **ppMediaType) = 0;
    STDMETHOD(SetMediaType)(AM_MEDIA_TYPE *pMediaType) = 0;
    STDMETHOD(IsDiscontinuity)() = 0;
    STDMETHOD(SetDiscontinuity)(BOOL bDiscontinuity) = 0;
    STDMETHOD(GetMediaTime)(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) = 0;
    STDMETHOD(SetMediaTime)(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) = 0;
};
constexpr HRESULT VFW_S_NO_STOP_TIME = static_cast<HRESULT>(0x00040270);

struct ALLOCATOR_PROPERTIES {
    long cBuffers;
    long cbBuffer;
    long cbAlign;
    long cbPrefix;
};

constexpr DWORD AM_GBF_PREVFRAMESKIPPED = 1;
constexpr DWORD AM_GBF_NOTASYNCPOINT = 2;
constexpr DWORD AM_GBF_NOWAIT = 4;

// A fixed pool of buffers: the bound of every queue between a producer and
// its consumer. GetBuffer blocks until a sample is free (or fails with
// VFW_E_NOT_COMMITTED once Decommit is called, which wakes all waiters).
// A sample returns to its pool when its last reference is released.
struct IMemAllocator : IUnknown {
    STDMETHOD(SetProperties)(ALLOCATOR_PROPERTIES *pRequest, ALLOCATOR_PROPERTIES *pActual) = 0;
    STDMETHOD(GetProperties)(ALLOCATOR_PROPERTIES *pProps) = 0;
    STDMETHOD(Commit)() = 0;
    STDMETHOD(Decommit)() = 0;
    STDMETHOD(GetBuffer)(IMediaSample **ppBuffer, REFERENCE_TIME *pStartTime, REFERENCE_TIME *pEndTime, DWORD dwFlags) = 0;
    STDMETHOD(ReleaseBuffer)(IMediaSample *pBuffer) = 0;
};

// Receive may block (the encoder holds one input while the other catches up;
// a paused renderer holds its first sample). Returns a flow result (see
// FlowResultName in media/mtypes.h).
struct IMemInputPin : IUnknown {
    STDMETHOD(GetAllocator)(IMemAllocator **ppAllocator) = 0;
    STDMETHOD(NotifyAllocator)(IMemAllocator *pAllocator, BOOL bReadOnly) = 0;
    STDMETHOD(GetAllocatorRequirements)(ALLOCATOR_PROPERTIES *pProps) = 0;
    STDMETHOD(Receive)(IMediaSample *pSample) = 0;
    STDMETHOD(ReceiveMultiple)(IMediaSample **pSamples, long nSamples, long *nSamplesProcessed) = 0;
    STDMETHOD(ReceiveCanBlock)() = 0;
};

// ---- clock ---------------------------------------------------------------------
// Times in 100-ns units, monotonic. AdviseTime sets `hEvent` once at
// baseTime + streamTime; AdvisePeriodic sets it every period from start.
struct IReferenceClock : IUnknown {
    STDMETHOD(GetTime)(REFERENCE_TIME *pTime) = 0;
    STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent, DWORD_PTR *pdwAdviseCookie) = 0;
    STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE hSemaphore, DWORD_PTR *pdwAdviseCookie) = 0;
    STDMETHOD(Unadvise)(DWORD_PTR dwAdviseCookie) = 0;
};

// ---- graph ---------------------------------------------------------------------
struct IFilterGraph : IUnknown {
    // Adds with the given name (null: a made-up one). A name already used gets
    // a suffix " 0001" and the result VFW_S_DUPLICATE_NAME.
    STDMETHOD(AddFilter)(IBaseFilter *pFilter, LPCWSTR pName) = 0;
    // Disconnects the filter's pins (stopping the graph first if needed)
    // and drops the graph's reference. VFW_E_NOT_FOUND when not in the graph.
    STDMETHOD(RemoveFilter)(IBaseFilter *pFilter) = 0;
    STDMETHOD(EnumFilters)(IEnumFilters **ppEnum) = 0;
    STDMETHOD(FindFilterByName)(LPCWSTR pName, IBaseFilter **ppFilter) = 0;
    // Connects exactly these two pins (with the given type, or any type they
    // agree on), no filter inserted.
    STDMETHOD(ConnectDirect)(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt) = 0;
    STDMETHOD(Reconnect)(IPin *ppin) = 0;
    STDMETHOD(Disconnect)(IPin *ppin) = 0;
    STDMETHOD(SetDefaultSyncSource)() = 0;
};

// Intelligent connection. Connect tries the direct connection first, then
// inserts filters (those already in the graph that have free pins, then
// registered ones in order of merit, never MERIT_DO_NOT_USE or below),
// recursively. Render/RenderFile build down to renderers; they return S_OK
// when every stream was rendered, VFW_S_PARTIAL_RENDER (or
// VFW_S_AUDIO_NOT_RENDERED / VFW_S_VIDEO_NOT_RENDERED) when some were, and
// VFW_E_CANNOT_RENDER / VFW_E_CANNOT_CONNECT / a source error when none.
struct IGraphBuilder : IFilterGraph {
    STDMETHOD(Connect)(IPin *ppinOut, IPin *ppinIn) = 0;
    STDMETHOD(Render)(IPin *ppinOut) = 0;
    STDMETHOD(RenderFile)(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
    STDMETHOD(AddSourceFilter)(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter **ppFilter) = 0;
    STDMETHOD(SetLogFile)(DWORD_PTR hFile) = 0;
    STDMETHOD(Abort)() = 0;
    STDMETHOD(ShouldOperationContinue)() = 0;
};

// How filters report to the graph (they get it by querying the IFilterGraph
// given to JoinFilterGraph). Thread-safe; any thread; never blocks long.
struct IMediaEventSink : IUnknown {
    STDMETHOD(Notify)(long EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;
};

// ---- control -------------------------------------------------------------------
// Run from stopped passes through paused. Each returns S_OK when every
// filter completed the change, S_FALSE when some are still changing (query
// with GetState), or the first filter failure (the graph then returns to
// stopped). GetState waits up to msTimeout for a pending change; it returns
// VFW_S_STATE_INTERMEDIATE (with the target state) if it is still pending.
struct IMediaControl : IUnknown {
    STDMETHOD(Run)() = 0;
    STDMETHOD(Pause)() = 0;
    STDMETHOD(Stop)() = 0;
    STDMETHOD(GetState)(LONG msTimeout, OAFilterState *pfs) = 0;
    STDMETHOD(RenderFile)(BSTR strFilename) = 0;
    STDMETHOD(StopWhenReady)() = 0;
};

// ---- events ---------------------------------------------------------------------
// GetEvent: E_ABORT when no event came within msTimeout (0: do not wait).
// The parameters are freed with FreeEventParams. WaitForCompletion: waits
// for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT (VFW_E_WRONG_STATE when the
// graph is not running, E_ABORT on time-out) and consumes it.
struct IMediaEvent : IUnknown {
    STDMETHOD(GetEventHandle)(OAEVENT *hEvent) = 0;
    STDMETHOD(GetEvent)(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2, long msTimeout) = 0;
    STDMETHOD(WaitForCompletion)(long msTimeout, long *pEvCode) = 0;
    STDMETHOD(CancelDefaultHandling)(long lEvCode) = 0;
    STDMETHOD(RestoreDefaultHandling)(long lEvCode) = 0;
    STDMETHOD(FreeEventParams)(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

constexpr long AM_MEDIAEVENT_NONOTIFY = 0x01;

// SetNotifyWindow: from then on, every event queued posts (through
// platform::PostMessage) `lMsg` to `hwnd` with wParam = the event code and
// lParam = lInstanceData. A null window stops the posting.
struct IMediaEventEx : IMediaEvent {
    STDMETHOD(SetNotifyWindow)(OAHWND hwnd, long lMsg, LONG_PTR lInstanceData) = 0;
    STDMETHOD(SetNotifyFlags)(long lNoNotifyFlags) = 0;
    STDMETHOD(GetNotifyFlags)(long *lplNoNotifyFlags) = 0;
};

// ---- seeking ---------------------------------------------------------------------
enum AM_SEEKING_SEEKING_FLAGS : DWORD {
    AM_SEEKING_NoPositioning = 0x0,
    AM_SEEKING_AbsolutePositioning = 0x1,
    AM_SEEKING_RelativePositioning = 0x2,
    AM_SEEKING_IncrementalPositioning = 0x3,
    AM_SEEKING_PositioningBitsMask = 0x3,
    AM_SEEKING_SeekToKeyFrame = 0x4,
    AM_SEEKING_ReturnTime = 0x8,
    AM_SEEKING_Segment = 0x10,
    AM_SEEKING_NoFlush = 0x20,
};
enum AM_SEEKING_SEEKING_CAPABILITIES : DWORD {
    AM_SEEKING_CanSeekAbsolute = 0x1,
    AM_SEEKING_CanSeekForwards = 0x2,
    AM_SEEKING_CanSeekBackwards = 0x4,
    AM_SEEKING_CanGetCurrentPos = 0x8,
    AM_SEEKING_CanGetStopPos = 0x10,
    AM_SEEKING_CanGetDuration = 0x20,
    AM_SEEKING_CanPlayBackwards = 0x40,
    AM_SEEKING_CanDoSegments = 0x80,
    AM_SEEKING_Source = 0x100,
};

// Positions are in the time format (only TIME_FORMAT_MEDIA_TIME, 100 ns,
// is supported here). SetPositions on a running or paused graph is a flush:
// deliveries stop, the source seeks (to the key frame at or before the
// current position with AM_SEEKING_SeekToKeyFrame), and the stream restarts
// with sample times from 0 at the new position.
struct IMediaSeeking : IUnknown {
    STDMETHOD(GetCapabilities)(DWORD *pCapabilities) = 0;
    STDMETHOD(CheckCapabilities)(DWORD *pCapabilities) = 0;
    STDMETHOD(IsFormatSupported)(const GUID *pFormat) = 0;
    STDMETHOD(QueryPreferredFormat)(GUID *pFormat) = 0;
    STDMETHOD(GetTimeFormat)(GUID *pFormat) = 0;
    STDMETHOD(IsUsingTimeFormat)(const GUID *pFormat) = 0;
    STDMETHOD(SetTimeFormat)(const GUID *pFormat) = 0;
    STDMETHOD(GetDuration)(LONGLONG *pDuration) = 0;
    STDMETHOD(GetStopPosition)(LONGLONG *pStop) = 0;
    STDMETHOD(GetCurrentPosition)(LONGLONG *pCurrent) = 0;
    STDMETHOD(ConvertTimeFormat)(LONGLONG *pTarget, const GUID *pTargetFormat, LONGLONG Source, const GUID *pSourceFormat) = 0;
    STDMETHOD(SetPositions)(LONGLONG *pCurrent, DWORD dwCurrentFlags, LONGLONG *pStop, DWORD dwStopFlags) = 0;
    STDMETHOD(GetPositions)(LONGLONG *pCurrent, LONGLONG *pStop) = 0;
    STDMETHOD(GetAvailable)(LONGLONG *pEarliest, LONGLONG *pLatest) = 0;
    STDMETHOD(SetRate)(double dRate) = 0;
    STDMETHOD(GetRate)(double *pdRate) = 0;
    STDMETHOD(GetPreroll)(LONGLONG *pllPreroll) = 0;
};

// Seconds-based seeking (REFTIME), mapped onto IMediaSeeking.
struct IMediaPosition : IUnknown {
    STDMETHOD(get_Duration)(REFTIME *plength) = 0;
    STDMETHOD(put_CurrentPosition)(REFTIME llTime) = 0;
    STDMETHOD(get_CurrentPosition)(REFTIME *pllTime) = 0;
    STDMETHOD(get_StopTime)(REFTIME *pllTime) = 0;
    STDMETHOD(put_StopTime)(REFTIME llTime) = 0;
    STDMETHOD(get_PrerollTime)(REFTIME *pllTime) = 0;
    STDMETHOD(put_PrerollTime)(REFTIME llTime) = 0;
    STDMETHOD(put_Rate)(double dRate) = 0;
    STDMETHOD(get_Rate)(double *pdRate) = 0;
    STDMETHOD(CanSeekForward)(LONG *pCanSeekForward) = 0;
    STDMETHOD(CanSeekBackward)(LONG *pCanSeekBackward) = 0;
};

// ---- video and audio output ---------------------------------------------------------
// The video window is a platform::VideoSurface inside its owner window.
// On the graph these are forwarded to the video renderer; E_NOINTERFACE
// when the graph has none.
struct IVideoWindow : IUnknown {
    STDMETHOD(put_Caption)(BSTR strCaption) = 0;
    STDMETHOD(get_Caption)(BSTR *strCaption) = 0;
    STDMETHOD(put_WindowStyle)(long WindowStyle) = 0;
    STDMETHOD(get_WindowStyle)(long *WindowStyle) = 0;
    STDMETHOD(put_WindowStyleEx)(long WindowStyleEx) = 0;
    STDMETHOD(get_WindowStyleEx)(long *WindowStyleEx) = 0;
    STDMETHOD(put_AutoShow)(long AutoShow) = 0;
    STDMETHOD(get_AutoShow)(long *AutoShow) = 0;
    STDMETHOD(put_WindowState)(long WindowState) = 0;
    STDMETHOD(get_WindowState)(long *WindowState) = 0;
    STDMETHOD(put_BackgroundPalette)(long BackgroundPalette) = 0;
    STDMETHOD(get_BackgroundPalette)(long *pBackgroundPalette) = 0;
    STDMETHOD(put_Visible)(long Visible) = 0;          // OATRUE / OAFALSE
    STDMETHOD(get_Visible)(long *pVisible) = 0;
    STDMETHOD(put_Left)(long Left) = 0;
    STDMETHOD(get_Left)(long *pLeft) = 0;
    STDMETHOD(put_Width)(long Width) = 0;
    STDMETHOD(get_Width)(long *pWidth) = 0;
    STDMETHOD(put_Top)(long Top) = 0;
    STDMETHOD(get_Top)(long *pTop) = 0;
    STDMETHOD(put_Height)(long Height) = 0;
    STDMETHOD(get_Height)(long *pHeight) = 0;
    STDMETHOD(put_Owner)(OAHWND Owner) = 0;
    STDMETHOD(get_Owner)(OAHWND *Owner) = 0;
    STDMETHOD(put_MessageDrain)(OAHWND Drain) = 0;
    STDMETHOD(get_MessageDrain)(OAHWND *Drain) = 0;
    STDMETHOD(get_BorderColor)(long *Color) = 0;
    STDMETHOD(put_BorderColor)(long Color) = 0;
    STDMETHOD(get_FullScreenMode)(long *FullScreenMode) = 0;
    STDMETHOD(put_FullScreenMode)(long FullScreenMode) = 0;
    STDMETHOD(SetWindowForeground)(long Focus) = 0;
    STDMETHOD(NotifyOwnerMessage)(OAHWND hwnd, long uMsg, LONG_PTR wParam, LONG_PTR lParam) = 0;
    STDMETHOD(SetWindowPosition)(long Left, long Top, long Width, long Height) = 0;
    STDMETHOD(GetWindowPosition)(long *pLeft, long *pTop, long *pWidth, long *pHeight) = 0;
    STDMETHOD(GetMinIdealImageSize)(long *pWidth, long *pHeight) = 0;
    STDMETHOD(GetMaxIdealImageSize)(long *pWidth, long *pHeight) = 0;
    STDMETHOD(GetRestorePosition)(long *pLeft, long *pTop, long *pWidth, long *pHeight) = 0;
    STDMETHOD(HideCursor)(long HideCursor) = 0;
    STDMETHOD(IsCursorHidden)(long *CursorHidden) = 0;
};

// GetCurrentImage: with pDIBImage null, *pBufferSize receives the size
// needed; otherwise the current picture is copied as a packed DIB
// (BITMAPINFOHEADER, then bottom-up rows) at the native size, and
// E_OUTOFMEMORY when *pBufferSize is too small. E_UNEXPECTED
// while no picture has been received.
struct IBasicVideo : IUnknown {
    STDMETHOD(get_AvgTimePerFrame)(REFTIME *pAvgTimePerFrame) = 0;
    STDMETHOD(get_BitRate)(long *pBitRate) = 0;
    STDMETHOD(get_BitErrorRate)(long *pBitErrorRate) = 0;
    STDMETHOD(get_VideoWidth)(long *pVideoWidth) = 0;
    STDMETHOD(get_VideoHeight)(long *pVideoHeight) = 0;
    STDMETHOD(put_SourceLeft)(long SourceLeft) = 0;
    STDMETHOD(get_SourceLeft)(long *pSourceLeft) = 0;
    STDMETHOD(put_SourceWidth)(long SourceWidth) = 0;
    STDMETHOD(get_SourceWidth)(long *pSourceWidth) = 0;
    STDMETHOD(put_SourceTop)(long SourceTop) = 0;
    STDMETHOD(get_SourceTop)(long *pSourceTop) = 0;
    STDMETHOD(put_SourceHeight)(long SourceHeight) = 0;
    STDMETHOD(get_SourceHeight)(long *pSourceHeight) = 0;
    STDMETHOD(put_DestinationLeft)(long DestinationLeft) = 0;
    STDMETHOD(get_DestinationLeft)(long *pDestinationLeft) = 0;
    STDMETHOD(put_DestinationWidth)(long DestinationWidth) = 0;
    STDMETHOD(get_DestinationWidth)(long *pDestinationWidth) = 0;
    STDMETHOD(put_DestinationTop)(long DestinationTop) = 0;
    STDMETHOD(get_DestinationTop)(long *pDestinationTop) = 0;
    STDMETHOD(put_DestinationHeight)(long DestinationHeight) = 0;
    STDMETHOD(get_DestinationHeight)(long *pDestinationHeight) = 0;
    STDMETHOD(SetSourcePosition)(long Left, long Top, long Width, long Height) = 0;
    STDMETHOD(GetSourcePosition)(long *pLeft, long *pTop, long *pWidth, long *pHeight) = 0;
    STDMETHOD(SetDefaultSourcePosition)() = 0;
    STDMETHOD(SetDestinationPosition)(long Left, long Top, long Width, long Height) = 0;
    STDMETHOD(GetDestinationPosition)(long *pLeft, long *pTop, long *pWidth, long *pHeight) = 0;
    STDMETHOD(SetDefaultDestinationPosition)() = 0;
    STDMETHOD(GetVideoSize)(long *pWidth, long *pHeight) = 0;
    STDMETHOD(GetVideoPaletteEntries)(long StartIndex, long Entries, long *pRetrieved, long *pPalette) = 0;
    STDMETHOD(GetCurrentImage)(long *pBufferSize, long *pDIBImage) = 0;
    STDMETHOD(IsUsingDefaultSource)() = 0;
    STDMETHOD(IsUsingDefaultDestination)() = 0;
};

// Volume in 1/100 dB, 0 (full) down to -10000 (silence); balance -10000..10000.
struct IBasicAudio : IUnknown {
    STDMETHOD(put_Volume)(long lVolume) = 0;
    STDMETHOD(get_Volume)(long *plVolume) = 0;
    STDMETHOD(put_Balance)(long lBalance) = 0;
    STDMETHOD(get_Balance)(long *plBalance) = 0;
};

// ---- sources -----------------------------------------------------------------------
// Load opens the file (pmt may be null). GetCurFile: *ppszFileName is
// CoTaskMemAlloc'd; pmt (optional) receives the type, freed with FreeMediaType.
struct IFileSourceFilter : IUnknown {
    STDMETHOD(Load)(LPCOLESTR pszFileName, const AM_MEDIA_TYPE *pmt) = 0;
    STDMETHOD(GetCurFile)(LPOLESTR *ppszFileName, AM_MEDIA_TYPE *pmt) = 0;
};

// The pull interface of a byte-stream source's output pin (major type
// MEDIATYPE_Stream): a splitter connected to it reads the bytes it needs.
// SyncRead is thread-safe and returns S_FALSE when fewer bytes than asked
// exist past `llPosition` (the rest of the buffer is undefined).
// Length: total and currently available byte counts.
// BeginFlush makes pending and new requests fail with VFW_E_WRONG_STATE
// until EndFlush.
struct IAsyncReader : IUnknown {
    STDMETHOD(RequestAllocator)(IMemAllocator *pPreferred, ALLOCATOR_PROPERTIES *pProps, IMemAllocator **ppActual) = 0;
    STDMETHOD(Request)(IMediaSample *pSample, DWORD_PTR dwUser) = 0;
    STDMETHOD(WaitForNext)(DWORD dwTimeout, IMediaSample **ppSample, DWORD_PTR *pdwUser) = 0;
    STDMETHOD(SyncReadAligned)(IMediaSample *pSample) = 0;
    STDMETHOD(SyncRead)(LONGLONG llPosition, LONG lLength, BYTE *pBuffer) = 0;
    STDMETHOD(Length)(LONGLONG *pTotal, LONGLONG *pAvailable) = 0;
    STDMETHOD(BeginFlush)() = 0;
    STDMETHOD(EndFlush)() = 0;
};

// ---- single-frame extraction -----------------------------------------------------------
// The media detector: opens a file without a playback graph. Streams are
// numbered from 0 in the file's order of video and audio streams.
// GetBitmapBits: with pBuffer null, *pBufferSize receives the size of the
// packed DIB (40-byte BITMAPINFOHEADER + 24-bit bottom-up rows) at
// Width x Height; otherwise the frame at StreamTime (seconds) is scaled
// into pBuffer. WriteBitmapBits writes it as a .bmp file.
struct IMediaDet : IUnknown {
    STDMETHOD(get_Filter)(IUnknown **pVal) = 0;
    STDMETHOD(put_Filter)(IUnknown *newVal) = 0;
    STDMETHOD(get_OutputStreams)(long *pVal) = 0;
    STDMETHOD(get_CurrentStream)(long *pVal) = 0;
    STDMETHOD(put_CurrentStream)(long newVal) = 0;
    STDMETHOD(get_StreamType)(GUID *pVal) = 0;
    STDMETHOD(get_StreamTypeB)(BSTR *pVal) = 0;
    STDMETHOD(get_StreamLength)(double *pVal) = 0;
    STDMETHOD(get_Filename)(BSTR *pVal) = 0;
    STDMETHOD(put_Filename)(BSTR newVal) = 0;
    STDMETHOD(GetBitmapBits)(double StreamTime, long *pBufferSize, char *pBuffer, long Width, long Height) = 0;
    STDMETHOD(WriteBitmapBits)(double StreamTime, long Width, long Height, BSTR Filename) = 0;
    // pVal receives a copy; free it with FreeMediaType.
    STDMETHOD(get_StreamMediaType)(AM_MEDIA_TYPE *pVal) = 0;
    STDMETHOD(GetSampleGrabber)(IUnknown **ppVal) = 0;
    STDMETHOD(get_FrameRate)(double *pVal) = 0;
    STDMETHOD(EnterBitmapGrabMode)(double SeekTime) = 0;
};

// ---- property pages --------------------------------------------------------------------
struct CAUUID {
    ULONG cElems;
    GUID *pElems;   // CoTaskMemAlloc'd
};
struct ISpecifyPropertyPages : IUnknown {
    STDMETHOD(GetPages)(CAUUID *pPages) = 0;
};
