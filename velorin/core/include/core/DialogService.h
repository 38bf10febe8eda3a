// Everything that asks the user something or hands a path to the desktop
// goes through one service object, so tests can replace it with a double
// that records each call and returns a scripted answer.
#pragma once

#include <string>
#include <vector>

namespace velorin {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    std::string title;
    std::string folder;       // initial folder, may be empty
    std::string fileName;     // initial name (save dialogs)
    std::string filter;       // "Desc|*.a;*.b|Desc2|*.c|" as the program keeps it
    int filterIndex = 1;      // 1-based, as the program keeps it
    bool multiSelect = false;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    // Modal message box. `caption` is the window title.
    virtual MsgResult MessageBox(const std::string &text, const std::string &caption,
                                 MsgButtons buttons, MsgIcon icon) = 0;
    // Empty result: cancelled.
    virtual std::vector<std::string> OpenFiles(const FileDialogRequest &request) = 0;
    virtual std::string SaveFile(const FileDialogRequest &request) = 0;
    virtual std::string SelectFolder(const std::string &title, const std::string &start) = 0;
    // Opens a file, folder or address with the desktop's handler; false on failure.
    virtual bool ShellOpen(const std::string &pathOrUrl) = 0;
};

// The installed service (never null once the program or a test installed
// one; not owned). Installing null restores a silent default that answers
// Ok/Yes and cancels every dialog.
void InstallDialogService(DialogService *service);
DialogService &Dialogs();

}  // namespace velorin
