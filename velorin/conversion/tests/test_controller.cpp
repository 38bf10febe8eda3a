// The batch controller over a scripted graph: per-file steps, failures,
// stalls, cancel, progress display, the end of a batch.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QThread>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

#include "conversion/TfrmStart.h"
#include "core/VideoFileList.h"
#include "platform/window.h"
#include "qtwin/qtwin.h"
#include "support.h"

using namespace velorin::conv;
using convtest::FakeGraph;

namespace {

class Controller : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"a.avi", "b.avi", "c.avi"}) AddJob(dir.file(name), 1.0, 3.0);
    }

    void AddJob(const std::string &path, double start, double end) {
        const int i = jobs.AddJob(path);
        auto &job = jobs.Jobs[std::size_t(i)];
        job.StartTime = start;
        job.EndTime = end;
        job.Duration = end;
        job.VideoWidth = 320;
        job.VideoHeight = 240;
        job.Title = job.OutputName = velorin::DefaultJobName(path);
    }

    // Builds the window; the graph stays reachable through `graph`.
    TfrmStart &Make(Category category) {
        main.Select(category);
        ConversionEnv env;
        env.mainWindow = &main;
        env.jobs = &jobs;
        env.pspOutputFilenameIndex = &pspIndex;
        env.outputFilenameIndex = &outIndex;
        auto fake = std::make_unique<FakeGraph>();
        graph = fake.get();
        env.graph = std::move(fake);
        env.showFinishDialog = [this](const std::string &folder) {
            finishFolders.push_back(folder);
            return false;
        };
        env.watchdog = watchdog;
        form = std::make_unique<TfrmStart>(std::move(env));
        form->FormShow();
        form->txtTmpFolder->setText(QString::fromStdString(dir.file("out")));
        return *form;
    }

    QStringList Log() const { return form->memLog->toPlainText().split('\n'); }
    bool LogHas(const QString &text) const { return form->memLog->toPlainText().contains(text); }
    // The text of the last log line, without its time stamp.
    bool LastLogEndsWith(const QString &text) const { return Log().back().endsWith(text); }

    // Completes the current file and lets the queued next step run.
    void CompleteCurrent() {
        graph->Complete();
        QCoreApplication::processEvents();
    }

    convtest::TempDir dir;
    convtest::ScopedDialogs dialogs;
    convtest::FakeMainWindow main;
    velorin::TVideoFileList jobs;
    std::int32_t pspIndex = 20001;
    std::int32_t outIndex = 1;
    std::chrono::seconds watchdog{180};
    FakeGraph *graph = nullptr;
    std::vector<std::string> finishFolders;
    std::unique_ptr<TfrmStart> form;
};

}  // namespace

TEST_F(Controller, SecondSourceUnreadableTheOthersConvert) {
    TfrmStart &f = Make(Category::AVI);
    const std::string bad = dir.file("b.avi");
    graph->script.open = [bad](const std::string &p) { return p != bad; };
    f.btnStartClick();
    EXPECT_TRUE(f.BtnStop->isVisibleTo(&f));
    EXPECT_FALSE(f.btnStart->isVisibleTo(&f));
    ASSERT_EQ(graph->opened.size(), 1u);
    CompleteCurrent();
    // b fails to open and c starts at once.
    ASSERT_EQ(graph->opened.size(), 3u);
    EXPECT_TRUE(LogHas(QString("(1)Failed To Render file %1. You need to install corresponding codec.")
                           .arg(QString::fromStdString(bad))));
    CompleteCurrent();
    EXPECT_TRUE(LastLogEndsWith("All convert done."));
    EXPECT_FALSE(f.BatchRunning());
    EXPECT_FALSE(f.BtnStop->isVisibleTo(&f));
    const std::string out = dir.file("out") + "/";
    EXPECT_EQ(f.OutputFiles, QStringList({QString::fromStdString(out + "00002_a.avi"),
                                          QString::fromStdString(out + "00003_c.avi")}));
    EXPECT_EQ(outIndex, 3);
    EXPECT_EQ(graph->records.size(), 2u);
    EXPECT_EQ(graph->ranges.front(), std::make_pair(1.0, 3.0));
    // The folder opens in the shell; no finish dialog for AVI.
    ASSERT_EQ(dialogs->shellOpened.size(), 1u);
    EXPECT_EQ(dialogs->shellOpened[0], out);
    EXPECT_TRUE(finishFolders.empty());
    EXPECT_FALSE(f.btnUploadToPSP->isEnabled());
}

TEST_F(Controller, AudioOnlyGraphOnlyForMusic) {
    for (Category c : {Category::Music, Category::AVI, Category::ThreeGP}) {
        Make(c);
        form->btnStartClick();
        ASSERT_FALSE(graph->audioOnlyArgs.empty());
        EXPECT_EQ(graph->audioOnlyArgs.front(), c == Category::Music) << CategoryName(c);
    }
}

TEST_F(Controller, StallsAfterTheEncoderSteps) {
    // (2) encoder not inserted, (2.5) a control holds a non-number, (3) the
    // encoder refuses the settings: the batch stops and waits for the user.
    struct Row {
        const char *number;
        bool replace, settings;
        const char *videoBit;
    };
    const Row rows[] = {{"2", false, true, "900"}, {"2.5", true, true, "lots"}, {"3", true, false, "900"}};
    for (const Row &row : rows) {
        TfrmStart &f = Make(Category::AVI);
        graph->script.replace = row.replace;
        graph->script.settings = row.settings;
        main.edtVideoBit->setText(row.videoBit);
        f.btnStartClick();
        EXPECT_TRUE(LogHas(QString("(%1)Failed To Render file %2. You need to install corresponding codec.")
                               .arg(row.number, QString::fromStdString(dir.file("a.avi")))))
            << row.number;
        QCoreApplication::processEvents();
        EXPECT_EQ(graph->opened.size(), 1u) << "no further job starts";
        EXPECT_FALSE(f.Converting);
        EXPECT_TRUE(f.BatchRunning());
        EXPECT_TRUE(f.BtnStop->isVisibleTo(&f));
        EXPECT_TRUE(graph->created) << "the failed file's graph stays open";
        EXPECT_FALSE(graph->running);
        f.timPrgTimer();  // the timer does nothing while stalled
        EXPECT_EQ(f.prgFileConvert->value(), 0);

        // Stop, answered No, changes nothing; Yes ends the batch.
        dialogs->answers = {velorin::MsgResult::No};
        f.btnStartClick();
        EXPECT_TRUE(f.BatchRunning());
        dialogs->answers = {velorin::MsgResult::Yes};
        f.btnStartClick();
        EXPECT_FALSE(f.BatchRunning());
        EXPECT_FALSE(graph->created);
        EXPECT_EQ(dialogs->boxes.back().text, "Are you sure to cancel progress?");
        EXPECT_EQ(dialogs->boxes.back().caption, "Confirm");
        EXPECT_EQ(dialogs->boxes.back().icon, velorin::MsgIcon::Question);
        main.edtVideoBit->setText("900");
    }
}

TEST_F(Controller, CancelKeepsThePartAndANewStartBeginsAtTheFirstJob) {
    TfrmStart &f = Make(Category::MPEG4);
    f.btnStartClick();
    CompleteCurrent();
    ASSERT_EQ(graph->opened.size(), 2u);
    EXPECT_TRUE(f.Converting);
    dialogs->answers = {velorin::MsgResult::Yes};
    f.btnStartClick();
    EXPECT_FALSE(f.Converting);
    EXPECT_FALSE(graph->created);
    EXPECT_TRUE(LogHas(QString("Conversion of %1 cancelled.").arg(QString::fromStdString(dir.file("b.avi")))));
    EXPECT_EQ(f.OutputFiles.size(), 1) << "a cancelled file is not listed";
    // A completion that arrives late changes nothing.
    graph->Complete();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.OutputFiles.size(), 1);
    EXPECT_FALSE(LogHas("All convert done."));

    f.btnStartClick();
    ASSERT_EQ(graph->opened.size(), 3u);
    EXPECT_EQ(graph->opened.back(), dir.file("a.avi"));
    EXPECT_EQ(f.JobIndex, 0);
}

TEST_F(Controller, FailuresWhileRunningMoveOnToTheNextJob) {
    // A graph that does not run, and one that never ends (the watchdog).
    watchdog = std::chrono::seconds(1);
    TfrmStart &f = Make(Category::AVI);
    graph->script.run = false;
    f.btnStartClick();
    EXPECT_TRUE(LogHas(QString("Failed to convert %1: the conversion graph could not be started.")
                           .arg(QString::fromStdString(dir.file("a.avi")))));
    graph->script.run = true;
    QCoreApplication::processEvents();
    ASSERT_EQ(graph->opened.size(), 2u);
    EXPECT_TRUE(f.Converting);

    // b never moves: after the watchdog's time it is given up.
    graph->script.position = 0.5;
    f.timPrgTimer();
    ASSERT_TRUE(convtest::WaitFor([&] { f.timPrgTimer(); return graph->opened.size() == 3u; }, 5000));
    EXPECT_TRUE(LogHas(QString("Failed to convert %1: no progress for 1 seconds").arg(QString::fromStdString(dir.file("b.avi")))));
    CompleteCurrent();
    EXPECT_TRUE(LastLogEndsWith("All convert done."));
    EXPECT_EQ(f.OutputFiles.size(), 1);
}

TEST_F(Controller, FolderIsCompletedAndCreated) {
    TfrmStart &f = Make(Category::AVI);
    const std::string nested = dir.file("x/y/z");
    f.txtTmpFolder->setText(QString::fromStdString(nested));
    EXPECT_TRUE(f.PrepareTmpFolder());
    EXPECT_EQ(f.txtTmpFolder->text().toStdString(), nested + "/");
    EXPECT_EQ(f.TmpFolder, nested + "/");
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    // A folder with a trailing separator is taken as it is.
    EXPECT_TRUE(f.PrepareTmpFolder());
    EXPECT_EQ(f.TmpFolder, nested + "/");
}

TEST_F(Controller, InvalidFoldersAreRefused) {
    const std::string file = dir.file("plain-file");
    convtest::WriteFile(file, 10);
    for (const std::string &text : {std::string(""), file + "/sub", std::string("/proc/velorin-out")}) {
        TfrmStart &f = Make(Category::AVI);
        f.txtTmpFolder->setText(QString::fromStdString(text));
        dialogs->boxes.clear();
        f.btnStartClick();
        ASSERT_EQ(dialogs->boxes.size(), 1u) << text;
        EXPECT_EQ(dialogs->boxes[0].caption, "Error");
        EXPECT_EQ(dialogs->boxes[0].icon, velorin::MsgIcon::Error);
        EXPECT_NE(dialogs->boxes[0].text.find(" is an invalid path.\r\nPlease select a valid path at first."),
                  std::string::npos);
        EXPECT_FALSE(f.BatchRunning());
        EXPECT_TRUE(graph->opened.empty());
    }
}

TEST_F(Controller, ProgressDisplay) {
    TfrmStart &f = Make(Category::AVI);
    f.btnStartClick();
    graph->script.position = 0.5;  // a quarter of the 2-second range
    f.StartedAt = QDateTime::currentDateTime().addSecs(-10);
    f.timPrgTimer();
    EXPECT_EQ(f.prgFileConvert->value(), 250);
    EXPECT_EQ(f.lblElapsed->text(), "Time Elapsed: 00:00:10");
    EXPECT_EQ(f.lblTotal->text(), "Total Time: 00:00:40");
    EXPECT_EQ(f.lblStartTime->text(), "Video Start Time: 00:00:01  ");
    EXPECT_EQ(f.lblEndTime->text(), "Video End Time: 00:00:03  ");
    EXPECT_EQ(f.lblDuration->text(), "Video Duration: 00:00:02  ");
    EXPECT_EQ(f.lblCurrentTime->text(), "Video Current Time: 00:00:01  ");
    EXPECT_EQ(f.lblCurrentFile->toolTip().toStdString(), dir.file("a.avi"));
    EXPECT_EQ(f.lblBatchFile->text(), "File 1 of 3");
    EXPECT_TRUE(f.lblBatchLeft->text().startsWith("Batch Time Left: "));

    // Past the range end: the bar stops at 990, the total never falls
    // below the elapsed time.
    graph->script.position = 5;
    f.timPrgTimer();
    EXPECT_EQ(f.prgFileConvert->value(), 990);
    EXPECT_EQ(f.lblTotal->text(), "Total Time: 00:00:10");
    EXPECT_EQ(f.lblCurrentTime->text(), "Video Current Time: 00:00:06  ");
}

TEST_F(Controller, BatchEstimateFromTheSpeedSoFar) {
    TfrmStart &f = Make(Category::AVI);
    f.btnStartClick();
    // One second of a two-second range converted: 1 s of this file and
    // 4 s of the next two jobs are left; the estimate is positive and the
    // file counter follows the jobs.
    graph->script.position = 1.0;
    QThread::msleep(50);
    f.timPrgTimer();
    const QString left = f.lblBatchLeft->text();
    ASSERT_TRUE(left.startsWith("Batch Time Left: "));
    CompleteCurrent();
    f.timPrgTimer();
    EXPECT_EQ(f.lblBatchFile->text(), "File 2 of 3");
}

TEST_F(Controller, CopyProgressMessage) {
    TfrmStart &f = Make(Category::PSP);
    f.HandleWindowMessage(0x046E, 37, 0);
    EXPECT_EQ(f.prgFileCopy->value(), 370);
    f.HandleWindowMessage(0x046E, 0, 1);
    EXPECT_EQ(f.prgFileCopy->value(), 1000);
    f.HandleWindowMessage(0x046E, 5, 2);  // other values change nothing
    EXPECT_EQ(f.prgFileCopy->value(), 1000);
}

TEST_F(Controller, PspBatchMakesThumbnailsAndShowsTheFinishDialog) {
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 60));
    for (int i = 0; i <= jobs.LastIndex; ++i) {
        velorin::JobThumbnail thumb;
        thumb.width = 160;
        thumb.height = 120;
        thumb.stride = 160 * 4;
        thumb.pixels.assign(picture.constBits(), picture.constBits() + picture.sizeInBytes());
        if (i != 1) jobs.Jobs[std::size_t(i)].Thumbnail = thumb;  // b has none
    }
    TfrmStart &f = Make(Category::PSP);
    EXPECT_TRUE(f.btnUploadToPSP->isVisibleTo(&f));
    EXPECT_EQ(f.memLog->y(), 384);
    EXPECT_EQ(f.memLog->height(), 79);
    f.txtTmpFolder->setText(QString::fromStdString(dir.file("psp")));
    f.btnStartClick();
    CompleteCurrent();
    CompleteCurrent();
    CompleteCurrent();
    ASSERT_TRUE(LastLogEndsWith("All convert done."));
    const std::string out = dir.file("psp") + "/";
    EXPECT_EQ(graph->outputPaths, (std::vector<std::string>{out + "M4V20002.mp4", out + "M4V20003.mp4",
                                                            out + "M4V20004.mp4"}));
    EXPECT_EQ(pspIndex, 20004);
    EXPECT_EQ(outIndex, 1);

    QImage thumb(QString::fromStdString(out + "M4V20002.THM"), "JPEG");
    ASSERT_FALSE(thumb.isNull());
    EXPECT_EQ(thumb.size(), QSize(160, 120));
    EXPECT_NEAR(QColor(thumb.pixel(80, 60)).red(), 200, 8);
    EXPECT_FALSE(std::filesystem::exists(out + "M4V20002.bmp"));
    EXPECT_TRUE(LogHas(QString("Generate psp preview file %1 successful.").arg(QString::fromStdString(out + "M4V20002.THM"))));
    EXPECT_TRUE(LogHas(QString("Failed to generate psp preview file %1.").arg(QString::fromStdString(out + "M4V20003.THM"))));
    EXPECT_FALSE(std::filesystem::exists(out + "M4V20003.bmp"));

    ASSERT_EQ(finishFolders.size(), 1u);
    EXPECT_EQ(finishFolders[0], out);
    EXPECT_TRUE(f.btnUploadToPSP->isEnabled());
    EXPECT_TRUE(dialogs->shellOpened.empty());
}

TEST_F(Controller, FormShowPicksTheCategoryFolder) {
    for (auto [category, sub] : {std::pair{Category::ThreeGP, "3GP"}, {Category::iPhone, "iPhone"},
                                 {Category::Music, "Music"}}) {
        TfrmStart &f = Make(category);
        f.FormShow();
        EXPECT_EQ(f.txtTmpFolder->text(), QDir::homePath() + "/Tarvextemp/" + sub);
        EXPECT_FALSE(f.btnUploadToPSP->isVisibleTo(&f));
        EXPECT_EQ(f.memLog->y(), 360);
        EXPECT_EQ(f.memLog->height(), 103);
    }
}

TEST_F(Controller, DeleteFolderAsksAndReports) {
    TfrmStart &f = Make(Category::AVI);
    const std::string target = dir.file("del/inner");
    std::filesystem::create_directories(target);
    convtest::WriteFile(target + "/f.bin", 10);
    f.txtTmpFolder->setText(QString::fromStdString(dir.file("del")));
    dialogs->answers = {velorin::MsgResult::No};
    f.btnDelDirClick();
    EXPECT_TRUE(std::filesystem::exists(target));
    f.btnDelDirClick();
    EXPECT_FALSE(std::filesystem::exists(dir.file("del")));
    EXPECT_EQ(dialogs->boxes.back().text, "Delete folder " + dir.file("del") + " Successful.");
    EXPECT_EQ(dialogs->boxes.back().caption, "Successful");
    f.btnDelDirClick();
    EXPECT_EQ(dialogs->boxes.back().text, dir.file("del") + " does not existent.");
    EXPECT_EQ(dialogs->boxes.back().caption, "Infomation");
}

TEST_F(Controller, BrowseAndClipboard) {
    TfrmStart &f = Make(Category::AVI);
    dialogs->folderAnswer = "/chosen/folder";
    f.btnTmpFolderBrowseClick();
    EXPECT_EQ(f.txtTmpFolder->text(), "/chosen/folder");
    dialogs->folderAnswer.clear();
    f.btnTmpFolderBrowseClick();
    EXPECT_EQ(f.txtTmpFolder->text(), "/chosen/folder") << "a cancelled dialog changes nothing";
    f.AddLog(QStringLiteral("first line"));
    f.btnCopyToClipboardClick();
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith("first line"));
}

TEST_F(Controller, VobJobsWriteIntoFoldersOfTheirOwn) {
    TfrmStart &f = Make(Category::VOB);
    f.btnStartClick();
    CompleteCurrent();
    CompleteCurrent();
    CompleteCurrent();
    ASSERT_TRUE(LastLogEndsWith("All convert done."));
    const std::string out = dir.file("out") + "/";
    EXPECT_EQ(graph->outputPaths,
              (std::vector<std::string>{out + "00002_a/", out + "00003_b/", out + "00004_c/"}));
    EXPECT_EQ(f.OutputFiles, QStringList({QString::fromStdString(out + "00002_a/MPEG2_1.vob"),
                                          QString::fromStdString(out + "00003_b/MPEG2_1.vob"),
                                          QString::fromStdString(out + "00004_c/MPEG2_1.vob")}));
}

TEST_F(Controller, MissingOutputIsReportedAndNotListed) {
    TfrmStart &f = Make(Category::AVI);
    graph->script.writes = false;
    f.btnStartClick();
    CompleteCurrent();
    EXPECT_TRUE(LogHas(QString("Failed to convert %1: the encoder wrote no output file")
                           .arg(QString::fromStdString(dir.file("a.avi")))));
    EXPECT_TRUE(f.OutputFiles.isEmpty());
    EXPECT_EQ(graph->opened.size(), 2u) << "the batch goes on";
}

TEST_F(Controller, PostedMessagesReachTheWindow) {
    qtwin::InstallQtWindowSystem();
    TfrmStart &f = Make(Category::PSP);
    const HWND self = qtwin::HandleOf(&f);
    ASSERT_TRUE(platform::PostMessage(self, 0x046E, 42, 0));
    EXPECT_TRUE(convtest::WaitFor([&] { return f.prgFileCopy->value() == 420; }, 2000));
    ASSERT_TRUE(platform::PostMessage(self, 0x046E, 0, 1));
    EXPECT_TRUE(convtest::WaitFor([&] { return f.prgFileCopy->value() == 1000; }, 2000));
    qtwin::UninstallQtWindowSystem();
}

TEST_F(Controller, EndOfFileReportNamesSizeDurationAndShortOutput) {
    const std::string clip = dir.file("half.avi");
    ASSERT_TRUE(convtest::MakeClip(clip, 0.5));
    const std::string full = dir.file("full.avi");
    ASSERT_TRUE(convtest::MakeClip(full, 2.0));
    TfrmStart &f = Make(Category::AVI);
    int run = 0;
    // The first output comes out 1.5 s short, the second complete.
    graph->script.onRun = [&](const std::string &output) {
        std::filesystem::copy_file(run++ == 0 ? clip : full, output);
    };
    f.btnStartClick();
    CompleteCurrent();
    CompleteCurrent();
    const std::string first = dir.file("out") + "/00002_a.avi";
    const std::string second = dir.file("out") + "/00003_b.avi";
    const QString log = f.memLog->toPlainText();
    EXPECT_TRUE(log.contains(QString("Output %1: %2 bytes, duration 0.5")
                                 .arg(QString::fromStdString(first))
                                 .arg(std::filesystem::file_size(first))))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QString("Warning: output %1 is 1.").arg(QString::fromStdString(first))));
    EXPECT_TRUE(log.contains("shorter than the converted range of 2.00 s."));
    EXPECT_TRUE(log.contains(QString("Output %1: ").arg(QString::fromStdString(second))));
    EXPECT_FALSE(log.contains(QString("Warning: output %1").arg(QString::fromStdString(second))));
}

TEST_F(Controller, AllCategoryButtonsDisabledKeepsTheLastChoice) {
    TfrmStart &f = Make(Category::MPEG2);
    for (auto *button : main.buttons) button->setEnabled(false);
    EXPECT_EQ(f.SelectedCategory(), Category::MPEG2);
    f.btnStartClick();
    ASSERT_EQ(graph->outputPaths.size(), 1u);
    EXPECT_EQ(graph->outputPaths[0], dir.file("out") + "/00002_a.mpg");
}
