// One job per category through the real stack (graph library, media
// framework, encoder filter), each output checked with ffprobe.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "brantel/brantel.h"
#include "conversion/TfrmStart.h"
#include "core/SysConfigure.h"
#include "core/VideoFileList.h"
#include "qtwin/qtwin.h"
#include "support.h"

using namespace velorin::conv;

namespace {

std::string BinFolder() {
    if (const char *bin = std::getenv("VELORIN_BIN")) return bin;
    return QCoreApplication::applicationDirPath().toStdString();
}

// Registers the encoder once per process; empty when that worked.
const std::string &StackProblem() {
    static const std::string problem = [] {
        const std::string dravik = BinFolder() + "/dravik.ax";
        if (!std::filesystem::exists(dravik)) return "the encoder module " + dravik + " is not built";
        ::Initialize();
        if (!velorin::RegisterComModule(dravik)) return "registering " + dravik + " failed";
        qtwin::InstallQtWindowSystem();
        return std::string();
    }();
    return problem;
}

struct CategoryCase {
    const char *name;
    Category category;
    int videoCode, outputType;
    int width, height;         // asked for
    const char *formatName;    // ffprobe format_name contains this
    const char *videoCodec;    // "" for none
    const char *audioCodec;
    int expectWidth, expectHeight;
};

std::ostream &operator<<(std::ostream &out, const CategoryCase &c) { return out << c.name; }

const CategoryCase kCases[] = {
    {"PSP", Category::PSP, 0, 0, 320, 240, "mp4", "mpeg4", "aac", 320, 240},
    {"iPod", Category::iPod, 0, 0, 320, 240, "mp4", "mpeg4", "aac", 320, 240},
    {"iPhone", Category::iPhone, 0, 0, 480, 320, "mp4", "mpeg4", "aac", 480, 320},
    {"ThreeGP_H263", Category::ThreeGP, 0, 0, 176, 144, "3gp", "h263", "amr_nb", 176, 144},
    {"ThreeGP_Mpeg4_3g2", Category::ThreeGP, 1, 1, 320, 240, "3g2", "mpeg4", "amr_nb", 320, 240},
    {"Zune", Category::Zune, 0, 0, 320, 240, "mp4", "mpeg4", "aac", 320, 240},
    {"PDA_WMV", Category::PDA, 1, 1, 320, 240, "asf", "wmv2", "wmav2", 320, 240},
    {"Music_MP3", Category::Music, 0, 0, 0, 0, "mp3", "", "mp3", 0, 0},
    {"Music_WMA", Category::Music, 1, 1, 0, 0, "asf", "", "wmav2", 0, 0},
    {"AVI", Category::AVI, 0, 0, 640, 480, "avi", "mpeg4", "mp3", 320, 240},  // original size
    {"MPEG4", Category::MPEG4, 0, 0, 640, 480, "mp4", "mpeg4", "aac", 320, 240},
    {"MPEG2", Category::MPEG2, 0, 0, 640, 480, "mpeg", "mpeg2video", "mp2", 320, 240},
    {"VOB", Category::VOB, 0, 0, 720, 480, "mpeg", "mpeg2video", "ac3", 0, 0},
    {"WMV", Category::WMV, 0, 0, 640, 480, "asf", "wmv2", "wmav2", 320, 240},
    {"SWF", Category::SWF, 0, 0, 640, 480, "swf", "flv1", "mp3", 320, 240},
    {"MOV", Category::MOV, 0, 0, 640, 480, "mov", "mpeg4", "aac", 320, 240},
};

struct Probe {
    std::string format;
    double duration = -1;
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
};

Probe ProbeFile(const std::string &path) {
    Probe p;
    std::istringstream lines(convtest::Capture(
        "ffprobe -v error -show_entries format=format_name,duration:stream=codec_type,codec_name,width,height "
        "-of default=nw=0 '" + path + "'"));
    std::string line, type, codec;
    int width = 0, height = 0;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (line == "[/STREAM]") {
            if (type == "video") p.videoCodec = codec, p.width = width, p.height = height;
            if (type == "audio") p.audioCodec = codec;
            type.clear();
            continue;
        }
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "format_name") p.format = value;
        else if (key == "duration" && value != "N/A") p.duration = std::stod(value);
        else if (key == "codec_type") type = value;
        else if (key == "codec_name") codec = value;
        else if (key == "width") width = std::atoi(value.c_str());
        else if (key == "height") height = std::atoi(value.c_str());
    }
    if (p.duration < 0) {
        // Some containers (SWF) carry no duration: the end of the last packet.
        std::istringstream packets(convtest::Capture("ffprobe -v error -show_entries packet=pts_time,duration_time "
                                                     "-of csv=p=0 '" + path + "'"));
        double end = -1;
        while (std::getline(packets, line)) {
            double pts = 0, duration = 0;
            if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &duration) >= 1) end = std::max(end, pts + duration);
        }
        p.duration = end;
    }
    return p;
}

class EndToEnd : public ::testing::TestWithParam<CategoryCase> {};

}  // namespace

TEST_P(EndToEnd, OneJobConvertedAndProbed) {
    if (!StackProblem().empty()) GTEST_SKIP() << StackProblem();
    const CategoryCase &c = GetParam();
    convtest::TempDir dir;
    const std::string source = dir.file("clip.avi");
    ASSERT_TRUE(convtest::MakeClip(source, 4.0));

    convtest::ScopedDialogs dialogs;
    convtest::FakeMainWindow main;
    main.Select(c.category);
    main.cbbVideoCode->setCurrentIndex(c.videoCode);
    main.cbbOutoutType->setCurrentIndex(c.outputType);
    main.cbbResolution->setCurrentIndex(c.category == Category::AVI || c.category == Category::MPEG4 ||
                                                c.category == Category::MPEG2 || c.category == Category::WMV ||
                                                c.category == Category::SWF || c.category == Category::MOV
                                            ? 0
                                            : 2);
    main.WidthBit->setValue(c.width);
    main.HeightBit->setValue(c.height);
    main.cbbFrameRate->setCurrentIndex(2);  // "25"
    if (c.category == Category::ThreeGP) {
        main.edtVideoBit->setText("128");
        main.edtAudioBit->setText("12");
        main.cbbChannels->setCurrentIndex(0);
        main.cbbFrameRate->setCurrentIndex(0);  // "14.985"
    }
    if (c.category == Category::Music) main.edtVideoBit->setText("0");

    velorin::TVideoFileList jobs;
    const int index = jobs.AddJob(source);
    auto &job = jobs.Jobs[std::size_t(index)];
    job.StartTime = 1.0;
    job.EndTime = 3.0;
    job.Duration = 4.0;
    job.VideoWidth = 320;
    job.VideoHeight = 240;
    job.Title = job.OutputName = "clip";
    velorin::JobThumbnail thumb;
    thumb.width = 160;
    thumb.height = 120;
    thumb.stride = 640;
    thumb.pixels.assign(std::size_t(640 * 120), 0x80);
    job.Thumbnail = thumb;

    std::int32_t psp = 20001, numbered = 1;
    ConversionEnv env;
    env.mainWindow = &main;
    env.jobs = &jobs;
    env.pspOutputFilenameIndex = &psp;
    env.outputFilenameIndex = &numbered;
    env.graph = MakeBrantelGraph();
    env.showFinishDialog = [](const std::string &) { return false; };
    env.watchdog = std::chrono::seconds(30);
    TfrmStart form(std::move(env));
    form.show();
    form.txtTmpFolder->setText(QString::fromStdString(dir.file("out")));
    bool finished = false;
    QObject::connect(&form, &TfrmStart::batchFinished, [&] { finished = true; });
    form.btnStartClick();
    ASSERT_TRUE(convtest::WaitFor([&] { return finished; }, 90000)) << form.memLog->toPlainText().toStdString();
    const std::string log = form.memLog->toPlainText().toStdString();
    if (std::getenv("CONV_TEST_PRINT_LOG")) std::cerr << log << "\n";
    ASSERT_EQ(form.OutputFiles.size(), 1) << log;
    EXPECT_EQ(log.find("Failed"), std::string::npos) << log;
    EXPECT_EQ(log.find("shorter than"), std::string::npos) << log;

    const std::string output = form.OutputFiles.front().toStdString();
    // The log names the output with its size and the duration it reports.
    const auto report = log.find("Output " + output + ": ");
    ASSERT_NE(report, std::string::npos) << log;
    EXPECT_NE(log.find(" bytes, duration ", report), std::string::npos) << log;
    const Probe p = ProbeFile(output);
    EXPECT_NE(p.format.find(c.formatName), std::string::npos) << p.format;
    EXPECT_EQ(p.videoCodec, c.videoCodec);
    EXPECT_EQ(p.audioCodec, c.audioCodec);
    if (c.expectWidth) {
        EXPECT_EQ(p.width, c.expectWidth);
        EXPECT_EQ(p.height, c.expectHeight);
    } else if (c.category == Category::VOB) {
        EXPECT_EQ(p.width, 720);
        EXPECT_TRUE(p.height == 480 || p.height == 576) << p.height;
        EXPECT_EQ(output, dir.file("out") + "/00002_clip/MPEG2_1.vob");
    }
    EXPECT_NEAR(p.duration, 2.0, 0.3) << output;
    if (c.category == Category::PSP) {
        EXPECT_EQ(output, dir.file("out") + "/M4V20002.mp4");
        const Probe thm = ProbeFile(dir.file("out") + "/M4V20002.THM");
        EXPECT_EQ(thm.videoCodec, "mjpeg");
        EXPECT_EQ(thm.width, 160);
        EXPECT_EQ(thm.height, 120);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out") + "/M4V20002.bmp"));
    }
}

INSTANTIATE_TEST_SUITE_P(Categories, EndToEnd, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(EndToEndCancel, PartialOutputStaysPlayable) {
    if (!StackProblem().empty()) GTEST_SKIP() << StackProblem();
    convtest::TempDir dir;
    const std::string source = dir.file("long.avi");
    ASSERT_TRUE(convtest::MakeClip(source, 20.0, 640, 480));
    convtest::ScopedDialogs dialogs;
    convtest::FakeMainWindow main;
    main.Select(Category::MPEG4);
    main.cbbResolution->setCurrentIndex(0);
    velorin::TVideoFileList jobs;
    auto &job = jobs.Jobs[std::size_t(jobs.AddJob(source))];
    job.EndTime = job.Duration = 20.0;
    job.VideoWidth = 640;
    job.VideoHeight = 480;
    job.OutputName = job.Title = "long";
    std::int32_t psp = 20001, numbered = 1;
    ConversionEnv env;
    env.mainWindow = &main;
    env.jobs = &jobs;
    env.pspOutputFilenameIndex = &psp;
    env.outputFilenameIndex = &numbered;
    env.graph = MakeBrantelGraph();
    TfrmStart form(std::move(env));
    form.show();
    form.txtTmpFolder->setText(QString::fromStdString(dir.file("out")));
    form.btnStartClick();
    ASSERT_TRUE(form.Converting) << form.memLog->toPlainText().toStdString();
    // Wait until some of it has been converted, then cancel.
    double position = 0;
    ASSERT_TRUE(convtest::WaitFor([&] { return form.Graph().GetCurrentPosition(&position) && position > 1.0; },
                                  30000));
    dialogs->answers = {velorin::MsgResult::Yes};
    form.btnStartClick();
    ASSERT_FALSE(form.BatchRunning());
    const std::string output = dir.file("out") + "/00002_long.mp4";
    const Probe p = ProbeFile(output);
    EXPECT_EQ(p.videoCodec, "mpeg4") << form.memLog->toPlainText().toStdString();
    EXPECT_GT(p.duration, 0.5);
    EXPECT_LT(p.duration, 20.0);
    EXPECT_NE(form.memLog->toPlainText().toStdString().find("cancelled"), std::string::npos);
}

namespace {

// A conversion window over the real graph library for a list of sources.
struct RealBatch {
    explicit RealBatch(Category category) {
        main.Select(category);
        main.cbbResolution->setCurrentIndex(0);
    }
    void Add(const std::string &path, double start, double end) {
        auto &job = jobs.Jobs[std::size_t(jobs.AddJob(path))];
        job.StartTime = start;
        job.EndTime = job.Duration = end;
        job.VideoWidth = 320;
        job.VideoHeight = 240;
        job.Title = job.OutputName = velorin::DefaultJobName(path);
    }
    TfrmStart &Start(const std::string &folder) {
        ConversionEnv env;
        env.mainWindow = &main;
        env.jobs = &jobs;
        env.pspOutputFilenameIndex = &psp;
        env.outputFilenameIndex = &numbered;
        env.graph = MakeBrantelGraph();
        env.watchdog = std::chrono::seconds(30);
        form = std::make_unique<TfrmStart>(std::move(env));
        form->show();
        form->txtTmpFolder->setText(QString::fromStdString(folder));
        QObject::connect(form.get(), &TfrmStart::batchFinished, [this] { finished = true; });
        form->btnStartClick();
        return *form;
    }
    std::string Log() const { return form->memLog->toPlainText().toStdString(); }

    convtest::ScopedDialogs dialogs;
    convtest::FakeMainWindow main;
    velorin::TVideoFileList jobs;
    std::int32_t psp = 20001, numbered = 1;
    std::unique_ptr<TfrmStart> form;
    bool finished = false;
};

}  // namespace

TEST(EndToEndBatch, UnreadableSecondJobIsSkipped) {
    if (!StackProblem().empty()) GTEST_SKIP() << StackProblem();
    convtest::TempDir dir;
    ASSERT_TRUE(convtest::MakeClip(dir.file("one.avi"), 2.0));
    convtest::WriteFile(dir.file("two.avi"), 4096);  // not a media file
    ASSERT_TRUE(convtest::MakeClip(dir.file("three.avi"), 2.0));
    RealBatch batch(Category::MPEG4);
    batch.Add(dir.file("one.avi"), 0, 2);
    batch.Add(dir.file("two.avi"), 0, 2);
    batch.Add(dir.file("three.avi"), 0, 2);
    batch.Start(dir.file("out"));
    ASSERT_TRUE(convtest::WaitFor([&] { return batch.finished; }, 90000)) << batch.Log();
    const std::string log = batch.Log();
    EXPECT_NE(log.find("(1)Failed To Render file " + dir.file("two.avi")), std::string::npos) << log;
    EXPECT_TRUE(batch.form->memLog->toPlainText().endsWith("All convert done.")) << log;
    ASSERT_EQ(batch.form->OutputFiles.size(), 2) << log;
    for (const QString &file : batch.form->OutputFiles) {
        const Probe p = ProbeFile(file.toStdString());
        EXPECT_EQ(p.videoCodec, "mpeg4") << file.toStdString();
        EXPECT_NEAR(p.duration, 2.0, 0.3) << file.toStdString();
    }
    EXPECT_EQ(batch.form->OutputFiles[1].toStdString(), dir.file("out") + "/00003_three.mp4");
}

TEST(EndToEndBatch, SourceWithoutSoundStallsAtTheEncoder) {
    if (!StackProblem().empty()) GTEST_SKIP() << StackProblem();
    convtest::TempDir dir;
    const std::string silent = dir.file("silent.avi");
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 2 -c:v mpeg4 '" +
                           silent + "'").c_str()),
              0);
    ASSERT_TRUE(convtest::MakeClip(dir.file("next.avi"), 2.0));
    RealBatch batch(Category::AVI);
    batch.Add(silent, 0, 2);
    batch.Add(dir.file("next.avi"), 0, 2);
    TfrmStart &form = batch.Start(dir.file("out"));
    const std::string log = batch.Log();
    EXPECT_NE(log.find("(2)Failed To Render file " + silent), std::string::npos) << log;
    // The batch waits for the user: no further job, stop button shown.
    convtest::WaitFor([] { return false; }, 500);
    EXPECT_FALSE(batch.finished);
    EXPECT_TRUE(form.BatchRunning());
    EXPECT_FALSE(form.Converting);
    EXPECT_EQ(batch.Log().find("next.avi"), std::string::npos);
    batch.dialogs->answers = {velorin::MsgResult::Yes};
    form.btnStartClick();
    EXPECT_FALSE(form.BatchRunning());
}
