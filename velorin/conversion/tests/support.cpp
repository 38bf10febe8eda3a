#include "support.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace convtest {

velorin::MsgResult DialogDouble::MessageBox(const std::string &text, const std::string &caption,
                                            velorin::MsgButtons buttons, velorin::MsgIcon icon) {
    boxes.push_back({text, caption, buttons, icon});
    if (!answers.empty()) {
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == velorin::MsgButtons::YesNo || buttons == velorin::MsgButtons::YesNoCancel
               ? velorin::MsgResult::Yes
               : velorin::MsgResult::Ok;
}

bool FakeGraph::OpenSource(const std::string &path) {
    Close();
    opened.push_back(path);
    created = true;
    callback = nullptr;
    return script.open(path);
}
void FakeGraph::Close() {
    if (created) ++closes;
    created = false;
    running = false;
}
bool FakeGraph::SetCompletionCallback(velorin::conv::CompletionCallback cb) {
    if (!created) return false;
    callback = cb;
    return true;
}
bool FakeGraph::ReplaceRenderWithEncoder(bool audioOnly) {
    audioOnlyArgs.push_back(audioOnly);
    return created && script.replace;
}
bool FakeGraph::SetEncoderSettings(const Mpeg2Parameter &record) {
    records.push_back(record);
    outputPaths.push_back(record.OutputPath ? record.OutputPath : "");
    return created && script.settings;
}
bool FakeGraph::SetStartStopPosition(double start, double stop) {
    ranges.emplace_back(start, stop);
    return created;
}
bool FakeGraph::Run() {
    running = created && script.run;
    // The encoder opens its output when the graph runs.
    if (running && script.writes && !outputPaths.empty()) {
        const std::string &path = outputPaths.back();
        if (script.onRun)
            script.onRun(path);
        else if (!path.empty() && path.back() == '/')
            WriteFile(path + "MPEG2_1.vob", 0);
        else
            WriteFile(path, 0);
    }
    return running;
}
bool FakeGraph::Stop() {
    ++stops;
    running = false;
    return created;
}
bool FakeGraph::GetCurrentPosition(double *seconds) {
    if (!created) return false;
    *seconds = script.position;
    return true;
}

FakeMainWindow::FakeMainWindow() {
    auto combo = [this](const char *name, QStringList items, int index) {
        auto *c = new QComboBox(this);
        c->setObjectName(name);
        c->addItems(items);
        c->setCurrentIndex(index);
        return c;
    };
    cbbResolution = combo("cbbResolution", {"Original Size", "Costom Size", "320 X 240"}, 2);
    cbbFrameRate = combo("cbbFrameRate", {"14.985", "23.97", "25", "29.97", "30"}, 2);
    cbbChannels = combo("cbbChannels", {"Mono", "Stereo"}, 1);
    cbbKeepAspect = combo("cbbKeepAspect", {"False", "True"}, 1);
    cbbVideoCode = combo("cbbVideoCode", {"A", "B"}, 0);
    cbbOutoutType = combo("cbbOutoutType", {"*.a", "*.b"}, 0);
    WidthBit = new QSpinBox(this);
    WidthBit->setObjectName("WidthBit");
    WidthBit->setRange(0, 4096);
    WidthBit->setValue(320);
    HeightBit = new QSpinBox(this);
    HeightBit->setObjectName("HeightBit");
    HeightBit->setRange(0, 4096);
    HeightBit->setValue(240);
    edtVideoBit = new QLineEdit("900", this);
    edtVideoBit->setObjectName("edtVideoBit");
    edtAudioBit = new QLineEdit("96", this);
    edtAudioBit->setObjectName("edtAudioBit");
    iQuality = new QLineEdit("3", this);
    iQuality->setObjectName("iQuality");
    trckbrVolume = new QSlider(this);
    trckbrVolume->setObjectName("trckbrVolume");
    trckbrVolume->setRange(0, 200);
    trckbrVolume->setValue(100);
    for (int i = 0; i < velorin::conv::kCategoryCount; ++i) {
        auto *b = new QPushButton(this);
        b->setObjectName(QString("Btn") + velorin::conv::CategoryName(Category(i)));
        buttons.push_back(b);
    }
    Select(Category::AVI);
}

void FakeMainWindow::Select(Category category) {
    for (int i = 0; i < int(buttons.size()); ++i) buttons[i]->setEnabled(i != int(category));
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "convtest-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
}
TempDir::~TempDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

std::string Capture(const std::string &command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), &::pclose);
    if (!pipe) return out;
    std::array<char, 512> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get()))
        out.append(buffer.data(), n);
    return out;
}

bool MakeClip(const std::string &path, double seconds, int width, int height) {
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(width) + "x" +
        std::to_string(height) + ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t " +
        std::to_string(seconds) + " -c:v mpeg4 -q:v 5 -c:a mp3 -b:a 96k '" + path + "' 2>&1";
    const int rc = std::system(command.c_str());
    return rc == 0 && std::filesystem::exists(path);
}

void WriteFile(const std::string &path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < bytes; ++i) out.put(char(i * 31 + 7));
}

bool WaitFor(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace convtest

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
