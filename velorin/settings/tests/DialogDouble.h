// A dialog service for tests: records every message box and shell call and
// answers questions from a script (Yes when the script is empty).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/DialogService.h"

namespace velorin::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MsgButtons buttons;
    MsgIcon icon;
};

class DialogDouble : public DialogService {
public:
    DialogDouble() { InstallDialogService(this); }
    ~DialogDouble() override { InstallDialogService(nullptr); }

    MsgResult MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons,
                         MsgIcon icon) override {
        messages.push_back({text, caption, buttons, icon});
        if (buttons == MsgButtons::Ok) return MsgResult::Ok;
        if (answers.empty()) return MsgResult::Yes;
        const MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    std::vector<std::string> OpenFiles(const FileDialogRequest &) override { return {}; }
    std::string SaveFile(const FileDialogRequest &) override { return {}; }
    std::string SelectFolder(const std::string &, const std::string &) override { return {}; }
    bool ShellOpen(const std::string &target) override {
        opened.push_back(target);
        return true;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto &m : messages) out.push_back(m.text);
        return out;
    }

    std::deque<MsgResult> answers;
    std::vector<RecordedMessage> messages;
    std::vector<std::string> opened;
};

}  // namespace velorin::test
