// The main window's door onto the first graph instance of libbrantel.
//
// The window drives its preview through this small interface instead of the
// exports themselves so that window tests can replace the media graph with a
// scripted double; the program uses BrantelGraph(), which forwards every call
// to the export of the same name. GUI thread only, like the exports.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

namespace velorin {

class PreviewGraph {
public:
    virtual ~PreviewGraph() = default;
    virtual bool IsGraphCreated() = 0;
    virtual bool Create() = 0;
    virtual bool RenderFile(const std::string &path) = 0;
    virtual bool DeleteFilterGraph() = 0;
    virtual bool Run() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    virtual bool IsRunning() = 0;
    virtual bool GetCurrentPosition(double *seconds) = 0;
    virtual bool SetCurrentPosition(double seconds) = 0;
    virtual bool GetDuration(double *seconds) = 0;
    virtual bool GetVideoSize(std::int32_t *width, std::int32_t *height) = 0;
    virtual bool SetDisplayWindow(HWND window) = 0;
    virtual bool ResizeVideoWindow(int left, int top, int width, int height) = 0;
    virtual bool SnapshotBitmap(const std::string &bitmapPath) = 0;
    virtual bool SetNotifyWindow(HWND window) = 0;
    virtual std::int32_t HandleEvent(WPARAM wparam, LPARAM lparam) = 0;
    virtual bool NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
    virtual bool ReplaceRenderWithMpeg2Enc(std::uint32_t audioOnly) = 0;
};

// The libbrantel implementation (one program-wide object).
PreviewGraph &BrantelGraph();

}  // namespace velorin
