#include "core/DialogService.h"

#include <atomic>

namespace velorin {
namespace {

// Answers as a user who always agrees and cancels every dialog: the program
// runs on without a display (tests, before the GUI installs its service).
class SilentDialogService final : public DialogService {
public:
    MsgResult MessageBox(const std::string &, const std::string &, MsgButtons buttons, MsgIcon) override {
        switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgResult::Yes;
        case MsgButtons::Ok:
        case MsgButtons::OkCancel:
            break;
        }
        return MsgResult::Ok;
    }
    std::vector<std::string> OpenFiles(const FileDialogRequest &) override { return {}; }
    std::string SaveFile(const FileDialogRequest &) override { return {}; }
    std::string SelectFolder(const std::string &, const std::string &) override { return {}; }
    bool ShellOpen(const std::string &) override { return false; }
};

SilentDialogService g_silent;
std::atomic<DialogService *> g_service{nullptr};

}  // namespace

void InstallDialogService(DialogService *service) { g_service.store(service); }

DialogService &Dialogs() {
    DialogService *s = g_service.load();
    return s ? *s : g_silent;
}

}  // namespace velorin
