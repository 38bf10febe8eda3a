#include "brantel/brantel.h"
#include "contract/mpeg2parameter.h"
#include "conversion/ConversionGraph.h"

namespace velorin::conv {

namespace {

class BrantelGraph final : public ConversionGraph {
public:
    bool OpenSource(const std::string &path) override {
        Close();
        if (!::Create()) return false;
        return ::RenderFile(path.c_str());
    }
    void Close() override {
        if (::IsGraphCreated()) {
            ::Stop();
            ::SetNotifyWindow(nullptr);
        }
        ::DeleteFilterGraph();
    }
    bool IsCreated() override { return ::IsGraphCreated(); }
    bool SetNotifyWindow(HWND window) override { return ::SetNotifyWindow(window); }
    bool SetCompletionCallback(CompletionCallback callback) override {
        return ::Set_CallBackEC_COMPLETE(callback);
    }
    bool ReplaceRenderWithEncoder(bool audioOnly) override {
        return ::ReplaceRenderWithMpeg2Enc(audioOnly ? 1u : 0u);
    }
    bool SetEncoderSettings(const Mpeg2Parameter &record) override {
        return ::SetMpeg2Parameter(&record);
    }
    bool SetStartStopPosition(double start, double stop) override {
        return ::SetStartStopPosition(start, stop);
    }
    bool Run() override { return ::Run(); }
    bool Stop() override { return ::Stop(); }
    bool GetCurrentPosition(double *seconds) override { return ::GetCurrentPosition(seconds); }
    void HandleEvent(WPARAM wparam, LPARAM lparam) override { ::HandleEvent(wparam, lparam); }
    bool NotifyOwnerMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
        return ::NotifyOwnerMessage(window, message, wparam, lparam);
    }
};

}  // namespace

std::unique_ptr<ConversionGraph> MakeBrantelGraph() { return std::make_unique<BrantelGraph>(); }

}  // namespace velorin::conv
