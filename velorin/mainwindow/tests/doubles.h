// Doubles for the main window tests: a dialog service that records every
// call and answers from a script, and a media graph that plays scripted
// files.
#pragma once

#include <QColor>
#include <QImage>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/DialogService.h"
#include "mainwindow/PreviewGraph.h"

namespace testing_doubles {

struct Message {
    std::string text, caption;
    velorin::MsgButtons buttons;
    velorin::MsgIcon icon;
};

class DialogDouble : public velorin::DialogService {
public:
    std::vector<Message> messages;
    std::deque<velorin::MsgResult> answers;  // then `defaultAnswer`
    velorin::MsgResult defaultAnswer = velorin::MsgResult::No;
    std::vector<std::string> openResult;
    std::vector<velorin::FileDialogRequest> openRequests, saveRequests;
    std::string saveResult;
    std::vector<std::string> shellOpened;

    velorin::MsgResult MessageBox(const std::string &text, const std::string &caption, velorin::MsgButtons buttons,
                                  velorin::MsgIcon icon) override {
        messages.push_back({text, caption, buttons, icon});
        if (buttons == velorin::MsgButtons::Ok) return velorin::MsgResult::Ok;
        if (answers.empty()) return defaultAnswer;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<std::string> OpenFiles(const velorin::FileDialogRequest &request) override {
        openRequests.push_back(request);
        return openResult;
    }
    std::string SaveFile(const velorin::FileDialogRequest &request) override {
        saveRequests.push_back(request);
        return saveResult;
    }
    std::string SelectFolder(const std::string &, const std::string &) override { return {}; }
    bool ShellOpen(const std::string &target) override {
        shellOpened.push_back(target);
        return true;
    }
};

struct FakeFile {
    bool renders = true;
    bool routes = true;
    double duration = 100;
    int width = 320, height = 240;
};

// Plays scripted files: states, positions and snapshots as the graph
// library reports them.
class FakeGraph : public velorin::PreviewGraph {
public:
    std::map<std::string, FakeFile> files;
    bool created = false;
    std::string rendered;
    std::vector<std::string> renderCalls;
    int state = 0;  // 0 stopped, 1 paused, 2 running
    double position = 0;
    bool positionFails = false;
    std::vector<std::string> snapshots;
    bool snapshotFails = false;
    int handledEvents = 0;
    int runCalls = 0, pauseCalls = 0, stopCalls = 0;
    HWND displayWindow = nullptr, notifyWindow = nullptr;
    std::vector<int> resized;  // left, top, width, height of the last resize

    bool IsGraphCreated() override { return created; }
    bool Create() override {
        created = true;
        rendered.clear();
        state = 0;
        return true;
    }
    bool RenderFile(const std::string &path) override {
        renderCalls.push_back(path);
        auto it = files.find(path);
        if (!created || it == files.end() || !it->second.renders) return false;
        rendered = path;
        return true;
    }
    bool DeleteFilterGraph() override {
        const bool was = created;
        created = false;
        rendered.clear();
        state = 0;
        return was;
    }
    bool Run() override {
        ++runCalls;
        if (!created) return false;
        state = 2;
        return true;
    }
    bool Pause() override {
        ++pauseCalls;
        if (!created) return false;
        state = 1;
        return true;
    }
    bool Stop() override {
        ++stopCalls;
        if (!created) return false;
        state = 0;
        return true;
    }
    bool IsRunning() override { return state == 2; }
    bool GetCurrentPosition(double *seconds) override {
        if (positionFails || rendered.empty()) return false;
        *seconds = position;
        return true;
    }
    bool SetCurrentPosition(double seconds) override {
        if (rendered.empty()) return false;
        position = seconds;
        return true;
    }
    bool GetDuration(double *seconds) override {
        if (rendered.empty()) return false;
        *seconds = files[rendered].duration;
        return true;
    }
    bool GetVideoSize(std::int32_t *width, std::int32_t *height) override {
        if (rendered.empty()) return false;
        *width = files[rendered].width;
        *height = files[rendered].height;
        return true;
    }
    bool SetDisplayWindow(HWND window) override {
        displayWindow = window;
        return created;
    }
    bool ResizeVideoWindow(int left, int top, int width, int height) override {
        resized = {left, top, width, height};
        return created;
    }
    bool SnapshotBitmap(const std::string &path) override {
        snapshots.push_back(path);
        if (snapshotFails || rendered.empty()) return false;
        QImage image(files[rendered].width, files[rendered].height, QImage::Format_RGB32);
        image.fill(QColor(200, 30, 40));
        return image.save(QString::fromStdString(path), "BMP");
    }
    bool SetNotifyWindow(HWND window) override {
        notifyWindow = window;
        return created;
    }
    std::int32_t HandleEvent(WPARAM, LPARAM) override {
        ++handledEvents;
        return 0;
    }
    std::vector<UINT> ownerMessages;
    LPARAM lastOwnerLparam = 0;
    bool NotifyOwnerMessage(HWND, UINT message, WPARAM, LPARAM lparam) override {
        ownerMessages.push_back(message);
        lastOwnerLparam = lparam;
        return created;
    }
    bool ReplaceRenderWithMpeg2Enc(std::uint32_t) override {
        if (rendered.empty()) return false;
        return files[rendered].routes;
    }
};

}  // namespace testing_doubles
