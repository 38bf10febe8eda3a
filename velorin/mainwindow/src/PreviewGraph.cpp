#include "mainwindow/PreviewGraph.h"

#include "brantel/brantel.h"

namespace velorin {
namespace {

class Brantel final : public PreviewGraph {
public:
    bool IsGraphCreated() override { return ::IsGraphCreated(); }
    bool Create() override { return ::Create(); }
    bool RenderFile(const std::string &path) override { return ::RenderFile(path.c_str()); }
    bool DeleteFilterGraph() override { return ::DeleteFilterGraph(); }
    bool Run() override { return ::Run(); }
    bool Pause() override { return ::Pause(); }
    bool Stop() override { return ::Stop(); }
    bool IsRunning() override { return ::IsRunning(); }
    bool GetCurrentPosition(double *seconds) override { return ::GetCurrentPosition(seconds); }
    bool SetCurrentPosition(double seconds) override { return ::SetCurrentPosition(seconds); }
    bool GetDuration(double *seconds) override { return ::GetDuration(seconds); }
    bool GetVideoSize(std::int32_t *width, std::int32_t *height) override { return ::GetVideoSize(width, height); }
    bool SetDisplayWindow(HWND window) override { return ::SetDisplayWindow(window); }
    bool ResizeVideoWindow(int left, int top, int width, int height) override {
        return ::ResizeVideoWindow(left, top, width, height);
    }
    bool SnapshotBitmap(const std::string &bitmapPath) override { return ::SnapshotBitmap(bitmapPath.c_str()); }
    bool SetNotifyWindow(HWND window) override { return ::SetNotifyWindow(window); }
    std::int32_t HandleEvent(WPARAM wparam, LPARAM lparam) override { return ::HandleEvent(wparam, lparam); }
    bool NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
        return ::NotifyOwnerMessage(window, message, wparam, lparam);
    }
    bool ReplaceRenderWithMpeg2Enc(std::uint32_t audioOnly) override { return ::ReplaceRenderWithMpeg2Enc(audioOnly); }
};

}  // namespace

PreviewGraph &BrantelGraph() {
    static Brantel graph;
    return graph;
}

}  // namespace velorin
