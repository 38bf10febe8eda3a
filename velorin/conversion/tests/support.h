// Doubles and fixtures shared by the conversion tests.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "contract/mpeg2parameter.h"
#include "conversion/ConversionGraph.h"
#include "conversion/EncoderSettings.h"
#include "core/DialogService.h"

namespace convtest {

using velorin::conv::Category;

// Records every message box and shell open, answers from a script.
class DialogDouble : public velorin::DialogService {
public:
    struct Box {
        std::string text, caption;
        velorin::MsgButtons buttons;
        velorin::MsgIcon icon;
    };
    std::vector<Box> boxes;
    std::deque<velorin::MsgResult> answers;  // empty: Ok / Yes
    std::vector<std::string> shellOpened;
    bool shellResult = true;
    std::string folderAnswer;

    velorin::MsgResult MessageBox(const std::string &text, const std::string &caption,
                                  velorin::MsgButtons buttons, velorin::MsgIcon icon) override;
    std::vector<std::string> OpenFiles(const velorin::FileDialogRequest &) override { return {}; }
    std::string SaveFile(const velorin::FileDialogRequest &) override { return {}; }
    std::string SelectFolder(const std::string &, const std::string &) override {
        return folderAnswer;
    }
    bool ShellOpen(const std::string &pathOrUrl) override {
        shellOpened.push_back(pathOrUrl);
        return shellResult;
    }
};

// Installs a DialogDouble for the life of the object.
class ScopedDialogs {
public:
    ScopedDialogs() { velorin::InstallDialogService(&double_); }
    ~ScopedDialogs() { velorin::InstallDialogService(nullptr); }
    DialogDouble *operator->() { return &double_; }
    DialogDouble &get() { return double_; }

private:
    DialogDouble double_;
};

// A scripted graph: opens, rewires, accepts settings and runs as told, and
// records what it was asked.
class FakeGraph : public velorin::conv::ConversionGraph {
public:
    struct Script {
        std::function<bool(const std::string &)> open = [](const std::string &) { return true; };
        bool replace = true;
        bool settings = true;
        bool run = true;
        bool writes = true;  // Run creates the output as the encoder would
        std::function<void(const std::string &output)> onRun;  // instead of an empty file
        double position = 0;
    };
    Script script;
    bool created = false;
    bool running = false;
    std::vector<std::string> opened;
    std::vector<bool> audioOnlyArgs;
    std::vector<Mpeg2Parameter> records;
    std::vector<std::string> outputPaths;
    std::vector<std::pair<double, double>> ranges;
    int closes = 0;
    int stops = 0;
    velorin::conv::CompletionCallback callback = nullptr;

    bool OpenSource(const std::string &path) override;
    void Close() override;
    bool IsCreated() override { return created; }
    bool SetNotifyWindow(HWND) override { return created; }
    bool SetCompletionCallback(velorin::conv::CompletionCallback cb) override;
    bool ReplaceRenderWithEncoder(bool audioOnly) override;
    bool SetEncoderSettings(const Mpeg2Parameter &record) override;
    bool SetStartStopPosition(double start, double stop) override;
    bool Run() override;
    bool Stop() override;
    bool GetCurrentPosition(double *seconds) override;
    void HandleEvent(WPARAM, LPARAM) override {}
    bool NotifyOwnerMessage(HWND, UINT, WPARAM, LPARAM) override { return created; }

    // The end of the stream, as the graph library reports it.
    void Complete() {
        if (callback) callback();
    }
};

// A main window with the output controls by name, set to one category.
class FakeMainWindow : public QWidget {
public:
    FakeMainWindow();
    void Select(Category category);
    QComboBox *cbbResolution, *cbbFrameRate, *cbbChannels, *cbbKeepAspect, *cbbVideoCode,
        *cbbOutoutType;
    QSpinBox *WidthBit, *HeightBit;
    QLineEdit *edtVideoBit, *edtAudioBit, *iQuality;
    QSlider *trckbrVolume;
    std::vector<QPushButton *> buttons;
};

// A fresh temporary folder, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs a command, returns its standard output.
std::string Capture(const std::string &command);
// Writes a small A/V file with the ffmpeg tool; false when it failed.
bool MakeClip(const std::string &path, double seconds, int width = 320, int height = 240);
void WriteFile(const std::string &path, std::size_t bytes);

// Pumps the event loop until `done` or the timeout; true when done.
bool WaitFor(const std::function<bool()> &done, int timeoutMs);

}  // namespace convtest
