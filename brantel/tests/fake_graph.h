// A stand-in graph manager that records what the graph library asks of it:
// the control, event, seeking, window and video interfaces on one object,
// as the real graph offers them. Used through GraphPlayer::AttachGraph.
#pragma once

#include <atomic>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "media/media.h"

namespace brantel_test {

#define FAKE_NOTIMPL(name, ...) \
    STDMETHODIMP name(__VA_ARGS__) override { return E_NOTIMPL; }

struct QueuedEvent {
    long code;
    LONG_PTR p1, p2;
};

class FakeGraph : public IGraphBuilder,
                  public IMediaControl,
                  public IMediaEventEx,
                  public IMediaSeeking,
                  public IVideoWindow,
                  public IBasicVideo,
                  public IBasicAudio {
public:
    // ---- what the tests set and read ----
    OAFilterState state = State_Stopped;
    HRESULT stateResult = S_OK;  // what GetState answers
    HRESULT controlResult = S_OK;
    int runCalls = 0, pauseCalls = 0, stopCalls = 0, getStateCalls = 0;
    LONG lastStateTimeout = -1;

    std::deque<QueuedEvent> events;
    int freedEvents = 0;
    OAHWND notifyWindow = 0;
    long notifyMessage = 0;
    LONG_PTR notifyInstance = -1;

    LONGLONG duration = 0, position = 0;
    std::vector<LONGLONG> setCurrent, setStop;
    std::vector<DWORD> currentFlags, stopFlags;
    bool timeFormatMediaTime = false;
    HRESULT seekResult = S_OK;

    // Window calls in order, e.g. "Visible=0", "Owner=1234", "Left=5".
    std::vector<std::string> windowCalls;
    long visible = OAFALSE;
    HRESULT visibleReadResult = S_OK;
    OAHWND owner = 0, drain = 0;
    long style = 0, left = 0, top = 0, width = 0, height = 0;
    std::vector<LONG_PTR> ownerMessage;

    long videoWidth = 0, videoHeight = 0;
    std::vector<std::uint8_t> image;  // packed bitmap GetCurrentImage hands out

    std::vector<std::string> renderedFiles;  // RenderFile calls, UTF-8
    HRESULT renderResult = S_OK;

    std::atomic<long> refs{1};

    // ---- IUnknown ----
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IGraphBuilder || riid == IID_IFilterGraph)
            *ppv = static_cast<IGraphBuilder *>(this);
        else if (riid == IID_IMediaControl) *ppv = static_cast<IMediaControl *>(this);
        else if (riid == IID_IMediaEventEx || riid == IID_IMediaEvent) *ppv = static_cast<IMediaEventEx *>(this);
        else if (riid == IID_IMediaSeeking) *ppv = static_cast<IMediaSeeking *>(this);
        else if (riid == IID_IVideoWindow) *ppv = static_cast<IVideoWindow *>(this);
        else if (riid == IID_IBasicVideo) *ppv = static_cast<IBasicVideo *>(this);
        else if (riid == IID_IBasicAudio) *ppv = static_cast<IBasicAudio *>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--refs); }  // owned by the test

    // ---- IFilterGraph / IGraphBuilder ----
    FAKE_NOTIMPL(AddFilter, IBaseFilter *, LPCWSTR)
    FAKE_NOTIMPL(RemoveFilter, IBaseFilter *)
    FAKE_NOTIMPL(EnumFilters, IEnumFilters **)
    FAKE_NOTIMPL(FindFilterByName, LPCWSTR, IBaseFilter **)
    FAKE_NOTIMPL(ConnectDirect, IPin *, IPin *, const AM_MEDIA_TYPE *)
    FAKE_NOTIMPL(Reconnect, IPin *)
    FAKE_NOTIMPL(Disconnect, IPin *)
    FAKE_NOTIMPL(SetDefaultSyncSource)
    FAKE_NOTIMPL(Connect, IPin *, IPin *)
    FAKE_NOTIMPL(Render, IPin *)
    STDMETHODIMP RenderFile(LPCWSTR file, LPCWSTR) override {
        renderedFiles.push_back(WideToUtf8(file));
        return renderResult;
    }
    FAKE_NOTIMPL(AddSourceFilter, LPCWSTR, LPCWSTR, IBaseFilter **)
    FAKE_NOTIMPL(SetLogFile, DWORD_PTR)
    FAKE_NOTIMPL(Abort)
    FAKE_NOTIMPL(ShouldOperationContinue)

    // ---- IMediaControl ----
    STDMETHODIMP Run() override { ++runCalls; if (SUCCEEDED(controlResult)) state = State_Running; return controlResult; }
    STDMETHODIMP Pause() override { ++pauseCalls; if (SUCCEEDED(controlResult)) state = State_Paused; return controlResult; }
    STDMETHODIMP Stop() override { ++stopCalls; if (SUCCEEDED(controlResult)) state = State_Stopped; return controlResult; }
    STDMETHODIMP GetState(LONG ms, OAFilterState *pfs) override {
        ++getStateCalls;
        lastStateTimeout = ms;
        if (FAILED(stateResult)) return stateResult;
        *pfs = state;
        return stateResult;
    }
    FAKE_NOTIMPL(RenderFile, BSTR)
    FAKE_NOTIMPL(StopWhenReady)

    // ---- IMediaEvent(Ex) ----
    FAKE_NOTIMPL(GetEventHandle, OAEVENT *)
    STDMETHODIMP GetEvent(long *code, LONG_PTR *p1, LONG_PTR *p2, long) override {
        if (events.empty()) return E_ABORT;
        *code = events.front().code;
        *p1 = events.front().p1;
        *p2 = events.front().p2;
        events.pop_front();
        return S_OK;
    }
    FAKE_NOTIMPL(WaitForCompletion, long, long *)
    FAKE_NOTIMPL(CancelDefaultHandling, long)
    FAKE_NOTIMPL(RestoreDefaultHandling, long)
    STDMETHODIMP FreeEventParams(long, LONG_PTR, LONG_PTR) override { ++freedEvents; return S_OK; }
    STDMETHODIMP SetNotifyWindow(OAHWND hwnd, long msg, LONG_PTR instance) override {
        notifyWindow = hwnd;
        notifyMessage = msg;
        notifyInstance = instance;
        return S_OK;
    }
    FAKE_NOTIMPL(SetNotifyFlags, long)
    FAKE_NOTIMPL(GetNotifyFlags, long *)

    // ---- IMediaSeeking ----
    FAKE_NOTIMPL(GetCapabilities, DWORD *)
    FAKE_NOTIMPL(CheckCapabilities, DWORD *)
    FAKE_NOTIMPL(IsFormatSupported, const GUID *)
    FAKE_NOTIMPL(QueryPreferredFormat, GUID *)
    FAKE_NOTIMPL(GetTimeFormat, GUID *)
    FAKE_NOTIMPL(IsUsingTimeFormat, const GUID *)
    STDMETHODIMP SetTimeFormat(const GUID *format) override {
        timeFormatMediaTime = format && *format == TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    STDMETHODIMP GetDuration(LONGLONG *d) override { *d = duration; return seekResult; }
    FAKE_NOTIMPL(GetStopPosition, LONGLONG *)
    STDMETHODIMP GetCurrentPosition(LONGLONG *p) override { *p = position; return seekResult; }
    FAKE_NOTIMPL(ConvertTimeFormat, LONGLONG *, const GUID *, LONGLONG, const GUID *)
    STDMETHODIMP SetPositions(LONGLONG *current, DWORD cf, LONGLONG *stop, DWORD sf) override {
        setCurrent.push_back(current ? *current : -1);
        currentFlags.push_back(cf);
        setStop.push_back(stop ? *stop : -1);
        stopFlags.push_back(sf);
        return seekResult;
    }
    FAKE_NOTIMPL(GetPositions, LONGLONG *, LONGLONG *)
    FAKE_NOTIMPL(GetAvailable, LONGLONG *, LONGLONG *)
    FAKE_NOTIMPL(SetRate, double)
    FAKE_NOTIMPL(GetRate, double *)
    FAKE_NOTIMPL(GetPreroll, LONGLONG *)

    // ---- IVideoWindow ----
    FAKE_NOTIMPL(put_Caption, BSTR)
    FAKE_NOTIMPL(get_Caption, BSTR *)
    STDMETHODIMP put_WindowStyle(long s) override { style = s; windowCalls.push_back("Style"); return S_OK; }
    FAKE_NOTIMPL(get_WindowStyle, long *)
    FAKE_NOTIMPL(put_WindowStyleEx, long)
    FAKE_NOTIMPL(get_WindowStyleEx, long *)
    FAKE_NOTIMPL(put_AutoShow, long)
    FAKE_NOTIMPL(get_AutoShow, long *)
    FAKE_NOTIMPL(put_WindowState, long)
    FAKE_NOTIMPL(get_WindowState, long *)
    FAKE_NOTIMPL(put_BackgroundPalette, long)
    FAKE_NOTIMPL(get_BackgroundPalette, long *)
    STDMETHODIMP put_Visible(long v) override { visible = v; windowCalls.push_back("Visible=" + std::to_string(v)); return S_OK; }
    STDMETHODIMP get_Visible(long *v) override { if (FAILED(visibleReadResult)) return visibleReadResult; *v = visible; return S_OK; }
    STDMETHODIMP put_Left(long v) override { left = v; windowCalls.push_back("Left=" + std::to_string(v)); return S_OK; }
    FAKE_NOTIMPL(get_Left, long *)
    STDMETHODIMP put_Width(long v) override { width = v; windowCalls.push_back("Width=" + std::to_string(v)); return S_OK; }
    FAKE_NOTIMPL(get_Width, long *)
    STDMETHODIMP put_Top(long v) override { top = v; windowCalls.push_back("Top=" + std::to_string(v)); return S_OK; }
    FAKE_NOTIMPL(get_Top, long *)
    STDMETHODIMP put_Height(long v) override { height = v; windowCalls.push_back("Height=" + std::to_string(v)); return S_OK; }
    FAKE_NOTIMPL(get_Height, long *)
    STDMETHODIMP put_Owner(OAHWND o) override { owner = o; windowCalls.push_back(o ? "Owner" : "Owner=0"); return S_OK; }
    FAKE_NOTIMPL(get_Owner, OAHWND *)
    STDMETHODIMP put_MessageDrain(OAHWND d) override { drain = d; windowCalls.push_back(d ? "Drain" : "Drain=0"); return S_OK; }
    FAKE_NOTIMPL(get_MessageDrain, OAHWND *)
    FAKE_NOTIMPL(get_BorderColor, long *)
    FAKE_NOTIMPL(put_BorderColor, long)
    FAKE_NOTIMPL(get_FullScreenMode, long *)
    FAKE_NOTIMPL(put_FullScreenMode, long)
    FAKE_NOTIMPL(SetWindowForeground, long)
    STDMETHODIMP NotifyOwnerMessage(OAHWND hwnd, long msg, LONG_PTR w, LONG_PTR l) override {
        ownerMessage = {LONG_PTR(hwnd), LONG_PTR(msg), w, l};
        return S_OK;
    }
    STDMETHODIMP SetWindowPosition(long l, long t, long w, long h) override {
        left = l; top = t; width = w; height = h;
        windowCalls.push_back("Position");
        return S_OK;
    }
    FAKE_NOTIMPL(GetWindowPosition, long *, long *, long *, long *)
    FAKE_NOTIMPL(GetMinIdealImageSize, long *, long *)
    FAKE_NOTIMPL(GetMaxIdealImageSize, long *, long *)
    FAKE_NOTIMPL(GetRestorePosition, long *, long *, long *, long *)
    FAKE_NOTIMPL(HideCursor, long)
    FAKE_NOTIMPL(IsCursorHidden, long *)

    // ---- IBasicVideo ----
    FAKE_NOTIMPL(get_AvgTimePerFrame, REFTIME *)
    FAKE_NOTIMPL(get_BitRate, long *)
    FAKE_NOTIMPL(get_BitErrorRate, long *)
    FAKE_NOTIMPL(get_VideoWidth, long *)
    FAKE_NOTIMPL(get_VideoHeight, long *)
    FAKE_NOTIMPL(put_SourceLeft, long)
    FAKE_NOTIMPL(get_SourceLeft, long *)
    FAKE_NOTIMPL(put_SourceWidth, long)
    FAKE_NOTIMPL(get_SourceWidth, long *)
    FAKE_NOTIMPL(put_SourceTop, long)
    FAKE_NOTIMPL(get_SourceTop, long *)
    FAKE_NOTIMPL(put_SourceHeight, long)
    FAKE_NOTIMPL(get_SourceHeight, long *)
    FAKE_NOTIMPL(put_DestinationLeft, long)
    FAKE_NOTIMPL(get_DestinationLeft, long *)
    FAKE_NOTIMPL(put_DestinationWidth, long)
    FAKE_NOTIMPL(get_DestinationWidth, long *)
    FAKE_NOTIMPL(put_DestinationTop, long)
    FAKE_NOTIMPL(get_DestinationTop, long *)
    FAKE_NOTIMPL(put_DestinationHeight, long)
    FAKE_NOTIMPL(get_DestinationHeight, long *)
    FAKE_NOTIMPL(SetSourcePosition, long, long, long, long)
    FAKE_NOTIMPL(GetSourcePosition, long *, long *, long *, long *)
    FAKE_NOTIMPL(SetDefaultSourcePosition)
    FAKE_NOTIMPL(SetDestinationPosition, long, long, long, long)
    FAKE_NOTIMPL(GetDestinationPosition, long *, long *, long *, long *)
    FAKE_NOTIMPL(SetDefaultDestinationPosition)
    STDMETHODIMP GetVideoSize(long *w, long *h) override {
        if (videoWidth <= 0) return E_NOINTERFACE;
        *w = videoWidth;
        *h = videoHeight;
        return S_OK;
    }
    FAKE_NOTIMPL(GetVideoPaletteEntries, long, long, long *, long *)
    STDMETHODIMP GetCurrentImage(long *size, long *dib) override {
        if (image.empty()) return E_UNEXPECTED;
        if (!dib) { *size = long(image.size()); return S_OK; }
        if (*size < long(image.size())) return E_OUTOFMEMORY;
        std::memcpy(dib, image.data(), image.size());
        return S_OK;
    }
    FAKE_NOTIMPL(IsUsingDefaultSource)
    FAKE_NOTIMPL(IsUsingDefaultDestination)

    // ---- IBasicAudio ----
    FAKE_NOTIMPL(put_Volume, long)
    FAKE_NOTIMPL(get_Volume, long *)
    FAKE_NOTIMPL(put_Balance, long)
    FAKE_NOTIMPL(get_Balance, long *)
};

#undef FAKE_NOTIMPL

}  // namespace brantel_test
