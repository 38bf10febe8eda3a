// The export table: thin doors onto the module-wide objects. Nothing here
// lets an exception out; every failure is a false result.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "brantel/brantel.h"
#include "frame_grabber.h"
#include "graph_instance.h"
#include "module.h"
#include "util.h"

using brantel::FrameGrabber;
using brantel::GraphInstance;

namespace brantel {

// Module-wide objects, one copy per loaded library, no lock: every export is
// called from the window thread. Plain pointers on purpose: the objects must
// not be torn down by static destructors after the framework is gone.
GraphInstance *g_first = nullptr;
GraphInstance *g_second = nullptr;
FrameGrabber *g_firstGrabber = nullptr;
FrameGrabber *g_secondGrabber = nullptr;

GraphInstance *&Slot(int which) { return which == 2 ? g_second : g_first; }
FrameGrabber *&GrabberSlot(int which) { return which == 2 ? g_secondGrabber : g_firstGrabber; }

namespace {

template <class F>
auto Guard(F &&f, decltype(f()) onError) noexcept -> decltype(f()) {
    try {
        return f();
    } catch (...) {
        return onError;
    }
}

bool CreateIn(int which) {
    return Guard([&] {
        GraphInstance *&slot = Slot(which);
        // A slot still holding an instance is emptied as DeleteFilterGraph does.
        if (slot) {
            if (slot->IsInState(State_Running)) slot->Stop();
            delete slot;
            slot = nullptr;
        }
        slot = new GraphInstance();
        return slot->CreateGraph();
    }, false);
}

bool DeleteIn(int which) {
    return Guard([&] {
        GraphInstance *&slot = Slot(which);
        if (!slot) return false;
        if (slot->IsInState(State_Running)) slot->Stop();
        GraphInstance *old = slot;
        slot = nullptr;
        delete old;
        return true;
    }, false);
}

// Calls `f` on the slot's instance; `onMissing` without instance.
template <class F>
auto With(int which, F &&f, decltype(f(std::declval<GraphInstance &>())) onMissing) noexcept {
    return Guard([&] {
        GraphInstance *g = Slot(which);
        return g ? f(*g) : onMissing;
    }, onMissing);
}

template <class F>
bool WithGrabber(int which, F &&f) noexcept {
    return Guard([&] {
        FrameGrabber *g = GrabberSlot(which);
        return g ? f(*g) : false;
    }, false);
}

}  // namespace
}  // namespace brantel

using namespace brantel;

extern "C" {

// ---- lifecycle -------------------------------------------------------------
BRANTEL_EXPORT bool BRANTEL_API Create(void) { return CreateIn(1); }
BRANTEL_EXPORT bool BRANTEL_API Create2(void) { return CreateIn(2); }
BRANTEL_EXPORT bool BRANTEL_API DeleteFilterGraph(void) { return DeleteIn(1); }
BRANTEL_EXPORT bool BRANTEL_API DeleteFilterGraph2(void) { return DeleteIn(2); }
BRANTEL_EXPORT bool BRANTEL_API IsGraphCreated(void) {
    return With(1, [](GraphInstance &g) { return g.HasGraph(); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API IsGraphCreated2(void) {
    return With(2, [](GraphInstance &g) { return g.HasGraph(); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API RenderFile(const char *path) {
    return With(1, [&](GraphInstance &g) { return g.RenderFile(path); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API RenderFile2(const char *path) {
    return With(2, [&](GraphInstance &g) { return g.RenderFile(path); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API RenderFileSet(std::int32_t, std::int32_t) { return false; }

// ---- playback and position ---------------------------------------------------
BRANTEL_EXPORT bool BRANTEL_API Run(void) {
    return With(1, [](GraphInstance &g) { return g.Run(); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API Pause(void) {
    return With(1, [](GraphInstance &g) { return g.Pause(); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API Pause2(void) {
    return With(2, [](GraphInstance &g) { return g.Pause(); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API Stop(void) {
    return With(1, [](GraphInstance &g) { return g.Stop(); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API IsRunning(void) {
    return With(1, [](GraphInstance &g) { return g.IsInState(State_Running); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API IsRunning2(void) {
    return With(2, [](GraphInstance &g) { return g.IsInState(State_Running); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API GetCurrentPosition(double *seconds) {
    return With(1, [&](GraphInstance &g) { return g.GetCurrentPosition(seconds); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SetCurrentPosition(double seconds) {
    return With(1, [&](GraphInstance &g) { return g.SetPosition(seconds); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SetCurrentPosition2(double seconds) {
    return With(2, [&](GraphInstance &g) { return g.SetPosition(seconds); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API GetDuration(double *seconds) {
    return With(1, [&](GraphInstance &g) { return g.GetDuration(seconds); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API GetDuration2(double *seconds) {
    return With(2, [&](GraphInstance &g) { return g.GetDuration(seconds); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SetStartStopPosition(double startSeconds, double stopSeconds) {
    return With(1, [&](GraphInstance &g) { return g.SetStartStop(startSeconds, stopSeconds); }, false);
}

// ---- video window ---------------------------------------------------------------
BRANTEL_EXPORT bool BRANTEL_API SetDisplayWindow(HWND window) {
    return With(1, [&](GraphInstance &g) { return g.SetDisplayWindow(window); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SetDisplayWindow2(HWND window) {
    return With(2, [&](GraphInstance &g) { return g.SetDisplayWindow(window); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API ResizeVideoWindow(std::int32_t left, std::int32_t top, std::int32_t width,
                                                  std::int32_t height) {
    return With(1, [&](GraphInstance &g) { return g.ResizeVideoWindow(left, top, width, height); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API ResizeVideoWindow2(std::int32_t left, std::int32_t top, std::int32_t width,
                                                   std::int32_t height) {
    return With(2, [&](GraphInstance &g) { return g.ResizeVideoWindow(left, top, width, height); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API GetVideoSize(std::int32_t *width, std::int32_t *height) {
    return With(1, [&](GraphInstance &g) { return g.GetVideoSize(width, height); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SnapshotBitmap(const char *bitmapPath) {
    return With(1, [&](GraphInstance &g) { return g.Snapshot(bitmapPath); }, false);
}

// ---- events ------------------------------------------------------------------------
BRANTEL_EXPORT bool BRANTEL_API SetNotifyWindow(HWND window) {
    return With(1, [&](GraphInstance &g) { return g.SetNotifyWindow(window); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SetNotifyWindow2(HWND window) {
    return With(2, [&](GraphInstance &g) { return g.SetNotifyWindow(window); }, false);
}

BRANTEL_EXPORT std::int32_t BRANTEL_API HandleEvent(WPARAM, LPARAM) {
    try {
        GraphInstance *g = g_first;
        if (!g || !g->MediaEvent()) return 0;
        IMediaEventEx *events = g->MediaEvent();
        for (;;) {
            long code = 0;
            LONG_PTR p1 = 0, p2 = 0;
            if (FAILED(events->GetEvent(&code, &p1, &p2, 0))) return 0;
            events->FreeEventParams(code, p1, p2);
            if (code == EC_COMPLETE) {
                // The callback may delete the instance: nothing of it is
                // touched once the callback has been called.
                BrantelCompletionCallback callback = g->CompletionCallback();
                return callback ? callback() : 0;
            }
        }
    } catch (...) {
        return 0;
    }
}

BRANTEL_EXPORT bool BRANTEL_API Set_CallBackEC_COMPLETE(BrantelCompletionCallback callback) {
    return With(1, [&](GraphInstance &g) {
        g.SetCompletionCallback(callback);
        return true;
    }, false);
}
BRANTEL_EXPORT bool BRANTEL_API NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return With(1, [&](GraphInstance &g) { return g.NotifyOwnerMessage(window, message, wparam, lparam); }, false);
}

// ---- conversion ------------------------------------------------------------------------
BRANTEL_EXPORT bool BRANTEL_API ReplaceRenderWithMpeg2Enc(std::uint32_t audioOnly) {
    // Only the low byte counts.
    const bool audio = (audioOnly & 0xFFu) != 0;
    return With(1, [&](GraphInstance &g) { return g.ReplaceRenderWithEncoder(audio); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API SetMpeg2Parameter(const Mpeg2Parameter *parameter) {
    return With(1, [&](GraphInstance &g) { return g.SetParameters(parameter); }, false);
}
BRANTEL_EXPORT bool BRANTEL_API GetVersionOfFFEncoder(char *buffer) {
    return With(1, [&](GraphInstance &g) { return g.GetEncoderVersion(buffer); }, false);
}

// ---- frame capture --------------------------------------------------------------------------
namespace {
void *CreateGrabber(int which) {
    try {
        FrameGrabber *&slot = GrabberSlot(which);
        delete slot;  // a second Create replaces the grabber
        slot = new FrameGrabber();
        return slot;
    } catch (...) {
        return nullptr;
    }
}
void FreeGrabber(int which) {
    FrameGrabber *&slot = GrabberSlot(which);
    FrameGrabber *old = slot;
    slot = nullptr;
    delete old;
}
}  // namespace

BRANTEL_EXPORT void *BRANTEL_API GrabAndDrawBitMap_Create(void) { return CreateGrabber(1); }
BRANTEL_EXPORT void *BRANTEL_API GrabAndDrawBitMap_Create2(void) { return CreateGrabber(2); }
BRANTEL_EXPORT std::int32_t BRANTEL_API GrabAndDrawBitMap_IsCreated(void) { return g_firstGrabber ? 1 : 0; }
BRANTEL_EXPORT std::int32_t BRANTEL_API GrabAndDrawBitMap_IsCreated2(void) { return g_secondGrabber ? 1 : 0; }
BRANTEL_EXPORT void BRANTEL_API GrabAndDrawBitMap_Free(void) { FreeGrabber(1); }
BRANTEL_EXPORT void BRANTEL_API GrabAndDrawBitMap_Free2(void) { FreeGrabber(2); }

BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_SetDisplayWindow(HWND window, std::int32_t grabWidth,
                                                                   std::int32_t grabHeight, std::int32_t drawLeft,
                                                                   std::int32_t drawTop) {
    return WithGrabber(1, [&](FrameGrabber &g) {
        g.SetDisplayWindow(window, grabWidth, grabHeight, drawLeft, drawTop);
        return true;
    });
}
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_SetDisplayWindow2(HWND window, std::int32_t grabWidth,
                                                                    std::int32_t grabHeight, std::int32_t drawLeft,
                                                                    std::int32_t drawTop) {
    return WithGrabber(2, [&](FrameGrabber &g) {
        g.SetDisplayWindow(window, grabWidth, grabHeight, drawLeft, drawTop);
        return true;
    });
}
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Grab(const char *path, double seconds) {
    return WithGrabber(1, [&](FrameGrabber &g) { return SUCCEEDED(g.Grab(path, seconds)); });
}
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Grab2(const char *path, double seconds) {
    return WithGrabber(2, [&](FrameGrabber &g) { return SUCCEEDED(g.Grab(path, seconds)); });
}
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Draw(void) {
    return WithGrabber(1, [](FrameGrabber &g) {
        g.Draw();
        return true;
    });
}
BRANTEL_EXPORT bool BRANTEL_API GrabAndDrawBitMap_Draw2(void) {
    return WithGrabber(2, [](FrameGrabber &g) {
        g.Draw();
        return true;
    });
}

BRANTEL_EXPORT bool BRANTEL_API GrabFrameFromMovie(const char *moviePath, const char *bitmapPath, double seconds) {
    try {
        if (!bitmapPath || !*bitmapPath || std::strlen(bitmapPath) >= kMaxPathBytes) return false;
        ComPtr<IMediaDet> det;
        VIDEOINFOHEADER vih{};
        bool hasVideoInfo = false;
        if (FAILED(OpenVideoStream(moviePath, CLSCTX_INPROC_SERVER, true, &det, &vih, &hasVideoInfo)) ||
            !hasVideoInfo)
            return false;
        std::u16string name = Utf8ToWide(bitmapPath);
        return SUCCEEDED(det->WriteBitmapBits(seconds, 160, 120, reinterpret_cast<BSTR>(name.data())));
    } catch (...) {
        return false;
    }
}

BRANTEL_EXPORT bool BRANTEL_API GrabFrameFromMovie_2(const char *moviePath, const char *bitmapPath, double seconds) {
    try {
        // A temporary instance in neither slot, destroyed on every path.
        auto g = std::make_unique<GraphInstance>();
        return g->CreateGraph() && g->RenderFile(moviePath) && g->PauseAndWait() && g->SetPosition(seconds) &&
               g->WaitForState(State_Paused) && g->Snapshot(bitmapPath);
    } catch (...) {
        return false;
    }
}

BRANTEL_EXPORT bool BRANTEL_API GetVideInfoQuick(const char *path, std::int32_t, std::int32_t *width,
                                                 std::int32_t *height) {
    try {
        if (!width || !height) return false;
        ComPtr<IMediaDet> det;
        VIDEOINFOHEADER vih{};
        bool hasVideoInfo = false;
        if (FAILED(OpenVideoStream(path, CLSCTX_ALL, false, &det, &vih, &hasVideoInfo)) || !hasVideoInfo)
            return false;
        *width = vih.bmiHeader.biWidth;
        *height = vih.bmiHeader.biHeight;
        return true;
    } catch (...) {
        return false;
    }
}

// ---- diagnostics ---------------------------------------------------------------------------------
BRANTEL_EXPORT void BRANTEL_API AddToObjectTable(void) {
    With(1, [](GraphInstance &g) {
        g.AddToObjectTable();
        return true;
    }, false);
}
BRANTEL_EXPORT const char *BRANTEL_API TestModule(void) { return "TestModule OK!"; }
BRANTEL_EXPORT const char *BRANTEL_API BCBLoadVCWin32Stdcall(void) {
    return "BCB Load VC_Win32 Dll by __stdcall mode is OK!";
}

BRANTEL_EXPORT void BRANTEL_API DoInOneStep(void) {
    try {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            std::printf("ERROR - Could not initialize COM library\n");
            return;
        }
        {
            ComPtr<IGraphBuilder> graph;
            if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                        graph.PutVoid())) ||
                !graph) {
                std::printf("ERROR - Could not create the Filter Graph Manager.\n");
                CoUninitialize();
                return;
            }
            ComPtr<IMediaControl> control;
            ComPtr<IMediaEvent> events;
            graph->QueryInterface(IID_IMediaControl, control.PutVoid());
            graph->QueryInterface(IID_IMediaEvent, events.PutVoid());
            // The fixed self-test file; "C:\" maps to the home folder.
            const char *home = std::getenv("HOME");
            const std::string path = std::string(home && *home ? home : ".") + "/Temp_Video/bobo.mpg";
            const std::u16string wide = Utf8ToWide(path);
            if (SUCCEEDED(graph->RenderFile(wide.c_str(), nullptr)) && control && events &&
                SUCCEEDED(control->Run())) {
                long code = 0;
                // INFINITE as a signed 32-bit timeout: no time limit.
                events->WaitForCompletion(static_cast<long>(static_cast<LONG>(INFINITE)), &code);
            }
            if (control) control->Stop();
        }
        CoUninitialize();
    } catch (...) {
    }
}

}  // extern "C"
