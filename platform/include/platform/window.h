// The window and message seam.
//
// HWND is an opaque handle. The GUI registers each of its windows and
// installs a WindowSystem at start-up; the media framework and the graph
// library only ever see handles and call the functions below, so they never
// include Qt. Without an installed window system (headless tests) posted
// messages are recorded in a small log that tests can read, client
// rectangles are empty, and video surfaces are invisible stand-ins that
// still remember their geometry and last picture.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct HWND__;
using HWND = HWND__ *;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using UINT = std::uint32_t;

struct RECT {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

constexpr UINT WM_USER = 0x0400;
constexpr std::uint32_t WS_CHILD = 0x40000000u;
constexpr std::uint32_t WS_CLIPSIBLINGS = 0x04000000u;
constexpr std::uint32_t WS_CLIPCHILDREN = 0x02000000u;

namespace platform {

// A picture handed to a video surface: packed 32-bit BGRA rows, top row
// first, `stride` bytes apart.
struct VideoPicture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
};

// A child area inside an owner window on which a video renderer paints.
// All calls are thread-safe: renderers present from streaming threads.
class VideoSurface {
public:
    virtual ~VideoSurface() = default;
    virtual void SetOwner(HWND owner) = 0;
    virtual HWND Owner() const = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual bool Visible() const = 0;
    // Position inside the owner's client area.
    virtual void SetGeometry(int left, int top, int width, int height) = 0;
    virtual RECT Geometry() const = 0;
    virtual void Present(const VideoPicture &picture) = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Thread-safe. Delivers the message on the GUI thread, later. False
    // when the handle names no live window.
    virtual bool PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
    virtual bool GetClientRect(HWND window, RECT *rect) = 0;
    virtual bool IsWindow(HWND window) = 0;
    virtual std::unique_ptr<VideoSurface> CreateVideoSurface() = 0;
};

// Installs the window system (the GUI does this at start-up; tests may
// install their own). Null restores the headless default. Not owned. Waits
// for calls into the previous system to return, so the caller may destroy
// it afterwards; the system's methods therefore must not wait for the GUI
// thread (post, answer from caches).
void InstallWindowSystem(WindowSystem *system);
WindowSystem *InstalledWindowSystem();

// Thread-safe front doors used by the media framework and the graph library.
bool PostMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
bool GetClientRect(HWND window, RECT *rect);
bool IsWindow(HWND window);
std::unique_ptr<VideoSurface> CreateVideoSurface();

// Headless default: the messages posted while no window system is
// installed (kept up to the last 1024).
struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};
std::vector<PostedMessage> TakeHeadlessPostedMessages();

}  // namespace platform

namespace platform {

// The invisible stand-in surface (also what CreateVideoSurface gives
// without a window system, or when the installed one returns null).
std::unique_ptr<VideoSurface> CreateHeadlessVideoSurface();
// The last picture presented to a headless surface; false when `surface` is
// not one.
bool HeadlessSurfaceLastPicture(const VideoSurface &surface, VideoPicture *picture);

}  // namespace platform
