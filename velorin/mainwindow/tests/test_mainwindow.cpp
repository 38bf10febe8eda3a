// Main window tests: headless (offscreen), with the dialog double and, for
// the window logic, a scripted media graph; one suite adds real files made
// with the ffmpeg command through the graph library.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "core/SysConfigure.h"
#include "doubles.h"
#include "mainwindow/MainWindow.h"
#include "platform/window.h"
#include "qtwin/qtwin.h"
#include "settings/OutputSettings.h"

using namespace velorin;
using testing_doubles::DialogDouble;
using testing_doubles::FakeFile;
using testing_doubles::FakeGraph;
using testing_doubles::Message;

// ---- pure helpers ----------------------------------------------------------------
struct FitCase {
    int W, H, a, b;
    VideoRect expected;
};

TEST(FitVideoRect, PlacesPicturesInThePreviewPanel) {
    const FitCase cases[] = {
        // Wider than 4:3 fills the width and is centred vertically.
        {238, 160, 640, 360, {1, 14, 235, 134}},
        {238, 160, 1920, 1080, {1, 14, 235, 134}},
        // Exactly 4:3 fills the height; (238 - 213) / 2 = 12.5 rounds to 12.
        {238, 160, 320, 240, {13, 1, 210, 160}},
        // Narrower than 4:3 fills the height.
        {238, 160, 720, 576, {20, 1, 197, 160}},
        {238, 160, 240, 320, {60, 1, 117, 160}},
        // Audio only: no picture size, the whole panel.
        {238, 160, 0, 0, {1, 1, 235, 160}},
    };
    for (const FitCase &c : cases) {
        EXPECT_EQ(FitVideoRect(c.W, c.H, c.a, c.b), c.expected) << c.a << "x" << c.b;
    }
}

TEST(TimeBox, ReadsFieldsAsTypedAndBlanksAsZero) {
    const std::pair<const char *, int> cases[] = {
        {"00:00:00", 0}, {"00:00:50", 50}, {"01:02:03", 3723}, {"00:99:99", 6039},
        {"__:_1:__", 60}, {"1_:__:_5", 36005}, {"", 0},
    };
    for (const auto &[text, seconds] : cases) EXPECT_EQ(TimeBoxSeconds(text), seconds) << text;
}

TEST(ResizeBitmapFile, StretchesToTheAskedSizeInPlace) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.bmp");
    QImage image(320, 180, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    ASSERT_TRUE(image.save(path, "BMP"));
    ASSERT_TRUE(ResizeBitmapFile(path.toStdString(), path.toStdString(), 160, 120));
    QImage result(path);
    EXPECT_EQ(result.size(), QSize(160, 120));
    EXPECT_EQ(QColor(result.pixel(80, 60)), QColor(10, 200, 30));
    EXPECT_FALSE(ResizeBitmapFile(dir.filePath("missing.bmp").toStdString(), path.toStdString(), 160, 120));
    QFile garbage(dir.filePath("garbage.bmp"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("BM not really a bitmap");
    garbage.close();
    EXPECT_FALSE(ResizeBitmapFile(garbage.fileName().toStdString(), path.toStdString(), 160, 120));
}

// ---- the window with a scripted graph ---------------------------------------------------
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        InstallDialogService(&dialogs);
        for (const char *name : {"/clips/a.avi", "/clips/b.avi", "/clips/c.avi", "/clips/d.mpg"})
            graph.files[name] = FakeFile{};
    }
    void TearDown() override {
        window.reset();
        InstallDialogService(nullptr);
    }
    void Open() {
        TfrmMain::Options options;
        options.graph = &graph;
        options.showSplash = false;
        options.programFolder = dir.path().toStdString();
        options.registerFilterModules = false;
        window = std::make_unique<TfrmMain>(options);
        window->show();
    }
    void Add(std::vector<std::string> paths) {
        dialogs.openResult = std::move(paths);
        window->btnAddClick();
    }
    // Three 100-second jobs a, b, c; c is current and selected.
    void OpenWithThreeJobs() {
        Open();
        Add({"/clips/a.avi", "/clips/b.avi", "/clips/c.avi"});
        ASSERT_EQ(VideoFileList->Count(), 3);
    }
    FileInfo &Job(int i) { return VideoFileList->Jobs[i]; }

    QTemporaryDir dir;
    DialogDouble dialogs;
    FakeGraph graph;
    std::unique_ptr<TfrmMain> window;
};

TEST_F(MainWindowTest, EveryControlCarriesItsComponentName) {
    Open();
    for (const char *name : {"VT", "VTPM", "btnAdd", "btnDel", "btnClear", "btnUp", "btnDown", "Panel1", "Panel2",
                             "Image3", "ssPanel", "sPanel", "sImgBtn1", "sImgBtn2", "sPanelChild",
                             "suiImageButton6", "btnPlay", "btnStopPlay", "btnPSPPreview", "lblCurrent", "medtStart",
                             "medtEnd", "Label16", "timPlay", "Label10", "txtVideoTitle", "btnStart",
                             "suiImageButton1", "suiImageButton2", "suiImageButton3", "suiImageButton5",
                             "suiImageButton7", "BtnPSP", "BtnMOV", "cbbResolution", "edtVideoBit"}) {
        EXPECT_NE(window->findChild<QObject *>(name), nullptr) << name;
    }
    EXPECT_EQ(window->size(), QSize(840, 600));
    EXPECT_EQ(window->windowTitle(), "Velorin");
    EXPECT_EQ(window->Panel1->size(), QSize(238, 160));
    EXPECT_EQ(window->ssPanel->size(), QSize(252, 40));
    EXPECT_EQ(window->sPanel->geometry(), QRect(4, 16, 243, 11));
    ASSERT_NE(window->VT->findChild<THackVirtualTreeview *>(), nullptr);
    EXPECT_EQ(window->VT->header(), window->VT->findChild<THackVirtualTreeview *>());
    EXPECT_TRUE(window->VT->header()->isVisible());
    EXPECT_EQ(window->VT->header()->height(), 18);
    EXPECT_EQ(window->VT->header()->sectionSize(0), 150);
    EXPECT_EQ(window->VT->header()->sectionSize(1), 178);
    EXPECT_EQ(window->VT->header()->sectionSize(2), 188);
    EXPECT_EQ(window->timPlay->interval(), 1000);
    EXPECT_FALSE(window->timPlay->isActive());
    EXPECT_TRUE(window->Panel2->isVisible());
    EXPECT_FALSE(window->Panel1->isVisible());
    EXPECT_EQ(window->OpenFilter(), kDefaultOpenFilter);
    // The popup menu: five commands, separators after "Add" and after "Clear".
    QStringList items;
    for (QAction *action : window->VTPM->actions()) items << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(items, QStringList({"Add", "-", "Remove", "Clear", "-", "Move Up", "Move Down"}));
}

TEST_F(MainWindowTest, OpenFileFilterFileReplacesTheBuiltInFilter) {
    QFile filter(QDir(dir.path()).filePath("OpenFileFilter.dat"));
    ASSERT_TRUE(filter.open(QIODevice::WriteOnly));
    filter.write("AVI(*.avi)\r\n*.avi\r\n");
    filter.close();
    Open();
    Add({});
    ASSERT_EQ(dialogs.openRequests.size(), 1u);
    EXPECT_EQ(dialogs.openRequests[0].filter, "AVI(*.avi)|*.avi|");
    EXPECT_TRUE(dialogs.openRequests[0].multiSelect);
}

TEST_F(MainWindowTest, AddProbesEachFileAndRefusesTheOnesThatFail) {
    graph.files["/clips/broken.avi"].renders = false;
    graph.files["/clips/silent.avi"].routes = false;
    Open();
    window->Settings->cbbResolution->setCurrentIndex(0);  // "Original Size"
    std::vector<int> bar;
    QObject::connect(window.get(), &TfrmMain::loadingWindowShown, [&](TfrmLoadingMedia *loading) {
        EXPECT_EQ(loading->LoadBar->maximum(), 1000);
        QObject::connect(loading->LoadBar, &QProgressBar::valueChanged, [&](int v) { bar.push_back(v); });
    });
    Add({"/clips/a.avi", "/clips/broken.avi", "/clips/c.avi"});
    EXPECT_EQ(bar, (std::vector<int>{333, 667, 1000}));
    ASSERT_EQ(VideoFileList->Count(), 2);
    EXPECT_EQ(Job(0).SourceFile, "/clips/a.avi");
    EXPECT_EQ(Job(1).SourceFile, "/clips/c.avi");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const Message &refused = dialogs.messages[0];
    EXPECT_EQ(refused.caption, "Confirm");
    EXPECT_EQ(refused.buttons, MsgButtons::YesNo);
    EXPECT_EQ(refused.icon, MsgIcon::Question);
    EXPECT_EQ(refused.text,
              "Can't add the file /clips/broken.avi at this time.\nyou need to install corresponding codec.\r\n"
              "You can download codec from our homepage.\r\nDo you want to download codec now?\r\nError number: 1");
    EXPECT_TRUE(dialogs.shellOpened.empty());  // answered No

    // The last added job is selected and current, whole range, default names.
    EXPECT_EQ(window->SelectedRow(), 1);
    EXPECT_EQ(window->CurrentIndex, 1);
    EXPECT_EQ(Job(1).StartTime, 0);
    EXPECT_EQ(Job(1).EndTime, 100);
    EXPECT_EQ(Job(1).Title, "c");
    EXPECT_EQ(Job(1).OutputName, "c");
    EXPECT_EQ(Job(1).InfoText, "Video Size:320x240 Video Length:00:01:40");
    EXPECT_EQ(window->VT->topLevelItem(1)->text(2).toStdString(), "Begin: 00:00:00 End: 00:01:40");
    EXPECT_FALSE(window->Panel2->isVisible());
    EXPECT_TRUE(window->Panel1->isVisible());
    EXPECT_EQ(window->txtVideoTitle->text(), "c");
    EXPECT_EQ(window->Label10->text(), "Output File Name:");
    // Preview: the current file, paused, in Panel1, fitted; thumbnail taken.
    EXPECT_EQ(graph.rendered, "/clips/c.avi");
    EXPECT_EQ(graph.state, 1);
    EXPECT_EQ(graph.displayWindow, qtwin::HandleOf(window->Panel1));
    EXPECT_EQ(graph.notifyWindow, qtwin::HandleOf(window.get()));
    EXPECT_EQ(graph.resized, (std::vector<int>{13, 1, 210, 160}));
    ASSERT_TRUE(Job(1).Thumbnail.has_value());
    EXPECT_EQ(Job(1).Thumbnail->width, 160);
    EXPECT_EQ(Job(1).Thumbnail->height, 120);
    // The temporary picture lives in the temporary folder and is gone.
    ASSERT_FALSE(graph.snapshots.empty());
    EXPECT_TRUE(QString::fromStdString(graph.snapshots.back()).startsWith(QDir::tempPath()));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(graph.snapshots.back())));
    // Width and height follow "Original Size" for the selected job.
    EXPECT_EQ(window->Settings->WidthBit->value(), 320);
    EXPECT_EQ(window->Settings->HeightBit->value(), 240);
}

TEST_F(MainWindowTest, RefusedFilesOfferOurDecoderPages) {
    graph.files["/clips/silent.avi"].routes = false;
    graph.files["/clips/movie.RMVB"].renders = false;
    Open();
    dialogs.answers = {MsgResult::Yes, MsgResult::Yes};
    Add({"/clips/silent.avi", "/clips/movie.RMVB"});
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(QString::fromStdString(dialogs.messages[0].text).endsWith("\r\nError number: 2"));
    EXPECT_TRUE(QString::fromStdString(dialogs.messages[1].text).endsWith("\r\nError number: 1"));
    ASSERT_EQ(dialogs.shellOpened.size(), 2u);
    EXPECT_TRUE(QString::fromStdString(dialogs.shellOpened[0]).endsWith("/help/codecs.html"));
    EXPECT_TRUE(QString::fromStdString(dialogs.shellOpened[1]).endsWith("/help/codecs-realmedia.html"));
    for (const std::string &page : dialogs.shellOpened) EXPECT_TRUE(QFile::exists(QString::fromStdString(page))) << page;
    EXPECT_EQ(VideoFileList->Count(), 0);
    EXPECT_TRUE(window->Panel2->isVisible());
}

TEST_F(MainWindowTest, TheFiveHundredFirstJobIsRefusedNamingTheLimit) {
    Open();
    for (int i = 0; i < 499; ++i) VideoFileList->AddJob("/clips/a.avi");
    Add({"/clips/b.avi", "/clips/c.avi"});
    EXPECT_EQ(VideoFileList->Count(), 500);
    EXPECT_EQ(Job(499).SourceFile, "/clips/b.avi");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("500"), std::string::npos);
    EXPECT_NE(dialogs.messages[0].text.find("/clips/c.avi"), std::string::npos);
}

TEST_F(MainWindowTest, RemoveKeepsThePreviewOnAJobThatExists) {
    OpenWithThreeJobs();
    // Remove b while b is current: c moves up, becomes selected and current.
    window->SelectRowAt(1);
    window->VTMouseUp();
    ASSERT_EQ(window->CurrentIndex, 1);
    dialogs.answers = {MsgResult::Yes};
    window->btnDelClick();
    EXPECT_EQ(dialogs.messages.back().text, "Are you sure to remove selected file from the list?");
    ASSERT_EQ(VideoFileList->Count(), 2);
    EXPECT_EQ(window->SelectedRow(), 1);
    EXPECT_EQ(window->CurrentIndex, 1);
    EXPECT_EQ(graph.rendered, "/clips/c.avi");
    EXPECT_EQ(window->txtVideoTitle->text(), "c");

    // Remove the last row: the new last row (a) is current and shown.
    dialogs.answers = {MsgResult::Yes};
    window->btnDelClick();
    ASSERT_EQ(VideoFileList->Count(), 1);
    EXPECT_EQ(window->CurrentIndex, 0);
    EXPECT_EQ(graph.rendered, "/clips/a.avi");

    // "No" changes nothing.
    dialogs.answers = {MsgResult::No};
    window->btnDelClick();
    EXPECT_EQ(VideoFileList->Count(), 1);

    // The last job: nothing is current, the graph is closed, the cover is back.
    dialogs.answers = {MsgResult::Yes};
    window->btnDelClick();
    EXPECT_EQ(VideoFileList->Count(), 0);
    EXPECT_EQ(window->CurrentIndex, -1);
    EXPECT_FALSE(graph.created);
    EXPECT_TRUE(window->Panel2->isVisible());
    EXPECT_FALSE(window->Panel1->isVisible());
    EXPECT_EQ(window->txtVideoTitle->text(), "");
    // The trim controls act on nothing now.
    window->medtStart->setText("00:00:10");
    window->medtStartExit();
    window->sImgBtn1MouseDown(0);
    EXPECT_FALSE(window->Dragging);
}

TEST_F(MainWindowTest, ClearEmptiesListAndPreview) {
    OpenWithThreeJobs();
    dialogs.answers = {MsgResult::Yes};
    window->btnClearClick();
    EXPECT_EQ(dialogs.messages.back().text, "Are you sure to remove all files from the list?");
    EXPECT_EQ(VideoFileList->Count(), 0);
    EXPECT_EQ(window->VT->topLevelItemCount(), 0);
    EXPECT_EQ(window->CurrentIndex, -1);
    EXPECT_FALSE(graph.created);
    EXPECT_TRUE(window->Panel2->isVisible());
    // Clear and Remove on an empty list ask nothing.
    const size_t asked = dialogs.messages.size();
    window->btnClearClick();
    window->btnDelClick();
    window->btnUpClick();
    EXPECT_EQ(dialogs.messages.size(), asked);
}

TEST_F(MainWindowTest, MovesKeepTheSelectedJobCurrentAndShown) {
    OpenWithThreeJobs();
    window->SelectRowAt(1);  // b, selected without a click: a is not current
    window->btnUpClick();
    EXPECT_EQ(Job(0).SourceFile, "/clips/b.avi");
    EXPECT_EQ(window->SelectedRow(), 0);
    EXPECT_EQ(window->CurrentIndex, 0);
    EXPECT_EQ(graph.rendered, "/clips/b.avi");
    window->btnUpClick();  // already first: order unchanged
    EXPECT_EQ(Job(0).SourceFile, "/clips/b.avi");
    window->SelectRowAt(2);
    window->btnDownClick();  // already last
    EXPECT_EQ(Job(2).SourceFile, "/clips/c.avi");
    EXPECT_EQ(window->CurrentIndex, 2);
}

TEST_F(MainWindowTest, ClickingTheCurrentRowDoesNotReopenTheFile) {
    OpenWithThreeJobs();
    const size_t renders = graph.renderCalls.size();
    window->SelectRowAt(2);
    window->VTMouseUp();
    EXPECT_EQ(graph.renderCalls.size(), renders);
    window->SelectRowAt(0);
    window->VTMouseUp();
    EXPECT_EQ(graph.renderCalls.size(), renders + 1);
    EXPECT_EQ(graph.rendered, "/clips/a.avi");
    EXPECT_EQ(window->CurrentIndex, 0);
    EXPECT_EQ(window->txtVideoTitle->text(), "a");
}

TEST_F(MainWindowTest, NameBoxRefusesTheNineCharacters) {
    OpenWithThreeJobs();
    window->txtVideoTitle->setFocus();
    const QString refused = QString::fromUtf8(kRefusedNameChars);
    ASSERT_EQ(refused.size(), 9);
    for (QChar c : refused) {
        dialogs.messages.clear();
        QTest::keyClicks(window->txtVideoTitle, QString(c));
        EXPECT_EQ(window->txtVideoTitle->text(), "c") << c.toLatin1();
        ASSERT_EQ(dialogs.messages.size(), 1u) << c.toLatin1();
        EXPECT_EQ(dialogs.messages[0].caption, "Information");
        EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
        EXPECT_EQ(dialogs.messages[0].text, "File name can not contain: \\/:\"?*<>| ");
    }
    dialogs.messages.clear();
    QTest::keyClicks(window->txtVideoTitle, "_x");
    EXPECT_EQ(window->txtVideoTitle->text(), "c_x");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Job(2).OutputName, "c_x");
    EXPECT_EQ(Job(2).Title, "c");
}

TEST_F(MainWindowTest, NameBoxEditsTitleForPSPAndOutputNameOtherwise) {
    OpenWithThreeJobs();
    window->Settings->BtnPSPClick();
    EXPECT_EQ(window->Label10->text(), "Video Title:");
    EXPECT_EQ(window->txtVideoTitle->text(), "c");
    window->txtVideoTitle->setText("Holiday");
    EXPECT_EQ(Job(2).Title, "Holiday");
    EXPECT_EQ(Job(2).OutputName, "c");
    window->Settings->BtnAVIClick();
    EXPECT_EQ(window->Label10->text(), "Output File Name:");
    EXPECT_EQ(window->txtVideoTitle->text(), "c");
    // No selected row: nothing is stored.
    window->VT->clearSelection();
    window->txtVideoTitle->setText("lost");
    EXPECT_EQ(Job(2).OutputName, "c");
}

// Slider drags on a 100-second job; each case starts from the full range.
struct DragCase {
    const char *name;
    int part;   // 1 start handle, 2 end handle, 3 bar, 4 knob
    int setupStart, setupEnd;  // handle positions made by earlier drags (-1: none)
    int dx;
    int h1, h2;
};

TEST_F(MainWindowTest, SliderDragsClampAsTheTrackAllows) {
    OpenWithThreeJobs();
    const DragCase cases[] = {
        {"start to 120", 1, -1, -1, 120, 120, 239},
        {"start left of 0", 1, -1, -1, -50, 0, 239},
        {"start not within 5 of end", 1, -1, 100, 200, 95, 100},
        {"end past 239", 2, -1, -1, 30, 0, 239},
        {"end not within 5 of start", 2, 50, -1, -239, 50, 55},
        {"full bar does not move", 3, -1, -1, 40, 0, 239},
        {"bar keeps its length", 3, 20, 80, 500, 179, 239},
        {"bar stops at the left", 3, 20, 80, -500, 0, 60},
    };
    for (const DragCase &c : cases) {
        SCOPED_TRACE(c.name);
        window->SelectRowAt(2);
        Job(2).StartTime = 0;
        Job(2).EndTime = 100;
        window->ShowJobRange();
        auto drag = [&](int part, int dx) {
            if (part == 1) {
                window->sImgBtn1MouseDown(3), window->sImgBtn1MouseMove(3 + dx), window->sImgBtn1MouseUp();
            } else if (part == 2) {
                window->sImgBtn2MouseDown(3), window->sImgBtn2MouseMove(3 + dx), window->sImgBtn2MouseUp();
            } else {
                window->sPanelChildMouseDown(3), window->sPanelChildMouseMove(3 + dx), window->sPanelChildMouseUp();
            }
        };
        if (c.setupEnd >= 0) drag(2, c.setupEnd - 239);
        if (c.setupStart >= 0) drag(1, c.setupStart);
        drag(c.part, c.dx);
        EXPECT_EQ(window->sImgBtn1->x(), c.h1);
        EXPECT_EQ(window->sImgBtn2->x(), c.h2);
        EXPECT_EQ(window->sPanelChild->x(), c.h1 + 6);
        EXPECT_EQ(window->sPanelChild->width(), c.h2 - c.h1);
        EXPECT_NEAR(Job(2).StartTime, 100.0 * c.h1 / 239, 1e-9);
        EXPECT_NEAR(Job(2).EndTime, 100.0 * c.h2 / 239, 1e-9);
    }
}

TEST_F(MainWindowTest, StartHandleAt120ShowsFiftySecondsAndSetsTheJob) {
    OpenWithThreeJobs();
    window->sImgBtn1MouseDown(5);
    EXPECT_TRUE(window->Dragging);
    EXPECT_EQ(window->medtStart->styleSheet(), "background: rgb(198, 226, 82);");
    window->sImgBtn1MouseMove(125);
    EXPECT_EQ(window->medtStart->text(), "00:00:50");
    EXPECT_EQ(window->Label16->text(), "Current Length: 00:00:50");
    EXPECT_EQ(Job(2).StartTime, 0);  // not before mouse-up
    window->sImgBtn1MouseUp();
    EXPECT_FALSE(window->Dragging);
    EXPECT_EQ(window->medtStart->styleSheet(), "background: rgb(235, 246, 255);");
    EXPECT_NEAR(Job(2).StartTime, 50.2092050209, 1e-9);
    EXPECT_EQ(Job(2).RangeText, "Begin: 00:00:50 End: 00:01:40");
    EXPECT_EQ(window->VT->topLevelItem(2)->text(2), "Begin: 00:00:50 End: 00:01:40");
    EXPECT_EQ(window->SelectedRow(), 2);
    EXPECT_EQ(Job(2).OutputName, "c");  // names kept
    EXPECT_NEAR(graph.position, 50.2092050209, 1e-9);  // the preview seeks there
    EXPECT_EQ(graph.state, 1);
}

TEST_F(MainWindowTest, SliderPartsFollowTheMouse) {
    OpenWithThreeJobs();
    QTest::mousePress(window->sImgBtn1, Qt::LeftButton, {}, QPoint(6, 5));
    QTest::mouseMove(window->sImgBtn1, QPoint(66, 5));
    QTest::mouseRelease(window->sImgBtn1, Qt::LeftButton, {}, QPoint(6, 5));
    EXPECT_EQ(window->sImgBtn1->x(), 60);
    EXPECT_NEAR(Job(2).StartTime, 100.0 * 60 / 239, 1e-9);
    EXPECT_FALSE(window->Dragging);
}

TEST_F(MainWindowTest, KnobMovesThePlayPositionOnly) {
    OpenWithThreeJobs();
    window->suiImageButton6MouseDown(2);
    window->suiImageButton6MouseMove(2 + 300);  // clamped to 239
    EXPECT_EQ(window->suiImageButton6->x(), 239);
    EXPECT_EQ(window->lblCurrent->text(), "00:01:40");
    window->suiImageButton6MouseUp();
    EXPECT_NEAR(graph.position, 100, 1e-9);
    window->suiImageButton6MouseDown(0);
    window->suiImageButton6MouseMove(-120);
    window->suiImageButton6MouseUp();
    EXPECT_EQ(window->suiImageButton6->x(), 119);
    EXPECT_EQ(window->lblCurrent->text(), "00:00:50");
    EXPECT_EQ(Job(2).StartTime, 0);
    EXPECT_EQ(Job(2).EndTime, 100);
}

TEST_F(MainWindowTest, DragOnAnotherRowAdoptsItAndShowsItsFile) {
    OpenWithThreeJobs();
    window->SelectRowAt(0);  // selected, not clicked: c is still current
    ASSERT_EQ(window->CurrentIndex, 2);
    window->sImgBtn2MouseDown(0);
    EXPECT_EQ(window->CurrentIndex, 0);
    EXPECT_EQ(graph.rendered, "/clips/a.avi");
    EXPECT_EQ(window->txtVideoTitle->text(), "a");
    window->sImgBtn2MouseMove(-119);
    window->sImgBtn2MouseUp();
    EXPECT_NEAR(Job(0).EndTime, 100.0 * 120 / 239, 1e-9);
    EXPECT_EQ(Job(2).EndTime, 100);
}

struct TimeBoxCase {
    const char *name;
    bool startBox;
    const char *typed;
    const char *shown;
    double start, end;  // the job's range afterwards, from 10..60
};

TEST_F(MainWindowTest, TimeBoxesApplyTheirRules) {
    OpenWithThreeJobs();
    const TimeBoxCase cases[] = {
        {"start inside", true, "00:00:30", "00:00:30", 30, 60},
        {"start after end resets to 0", true, "00:00:61", "00:00:00", 0, 60},
        {"start at the length resets", true, "00:01:40", "00:00:00", 0, 60},
        {"blanks count as 0", true, "00:0_:2_", "00:0_:2_", 20, 60},
        {"end inside", false, "00:00:45", "00:00:45", 10, 45},
        {"end past the length is the length", false, "00:02:00", "00:01:40", 10, 100},
        {"end before start is the length", false, "00:00:05", "00:01:40", 10, 100},
        {"minutes above 59 count", false, "00:00:99", "00:00:99", 10, 99},
    };
    for (const TimeBoxCase &c : cases) {
        SCOPED_TRACE(c.name);
        Job(2).StartTime = 10;
        Job(2).EndTime = 60;
        window->ShowJobRange();
        QLineEdit *box = c.startBox ? window->medtStart : window->medtEnd;
        box->setText(c.typed);
        c.startBox ? window->medtStartExit() : window->medtEndExit();
        EXPECT_EQ(box->displayText(), c.shown);
        EXPECT_NEAR(Job(2).StartTime, c.start, 1e-9);
        EXPECT_NEAR(Job(2).EndTime, c.end, 1e-9);
        EXPECT_EQ(window->sImgBtn1->x(), qRound(c.start / 100 * 239));
        EXPECT_EQ(window->sImgBtn2->x(), qRound(c.end / 100 * 239));
    }
}

TEST_F(MainWindowTest, EnterInATimeBoxAppliesIt) {
    OpenWithThreeJobs();
    window->medtEnd->setFocus();
    window->medtEnd->selectAll();
    QTest::keyClicks(window->medtEnd, "000050");
    QTest::keyClick(window->medtEnd, Qt::Key_Return);
    EXPECT_NEAR(Job(2).EndTime, 50, 1e-9);
    EXPECT_EQ(Job(2).RangeText, "Begin: 00:00:00 End: 00:00:50");
}

TEST_F(MainWindowTest, PlayingToTheEndStopsAndRewinds) {
    OpenWithThreeJobs();
    window->btnPlayClick();
    EXPECT_EQ(graph.state, 2);
    EXPECT_TRUE(window->timPlay->isActive());
    graph.position = 50;
    window->timPlayTimer();
    EXPECT_EQ(window->lblCurrent->text(), "00:00:50");
    EXPECT_EQ(window->suiImageButton6->x(), 120);  // 119.5 rounds to even
    graph.position = 100;
    window->timPlayTimer();
    EXPECT_EQ(window->suiImageButton6->x(), 0);
    EXPECT_EQ(graph.position, 0);
    EXPECT_EQ(graph.state, 0);
    EXPECT_FALSE(window->timPlay->isActive());
    // A failing position read counts as 0.
    window->btnPlayClick();
    graph.positionFails = true;
    window->timPlayTimer();
    EXPECT_EQ(window->lblCurrent->text(), "00:00:00");
    window->btnStopPlayClick();
    EXPECT_FALSE(window->timPlay->isActive());
}

TEST_F(MainWindowTest, PlayWithoutGraphReopensTheSelectedFile) {
    OpenWithThreeJobs();
    graph.DeleteFilterGraph();
    window->SelectRowAt(1);
    window->btnPlayClick();
    EXPECT_EQ(graph.rendered, "/clips/b.avi");
    EXPECT_EQ(graph.state, 2);
    EXPECT_TRUE(window->timPlay->isActive());
}

TEST_F(MainWindowTest, PSPThumbnailButtonReplacesTheThumbnail) {
    OpenWithThreeJobs();
    window->Settings->BtnPSPClick();
    Job(2).Thumbnail.reset();
    window->btnPSPPreviewClick();
    ASSERT_TRUE(Job(2).Thumbnail.has_value());
    EXPECT_EQ(Job(2).Thumbnail->width, 160);
    // BGRA bytes of the red frame the double grabs.
    EXPECT_EQ(Job(2).Thumbnail->pixels[2], 200);
    EXPECT_EQ(dialogs.messages.back().text, "PSP thumbnail image setted successful.");
    graph.snapshotFails = true;
    window->btnPSPPreviewClick();
    EXPECT_EQ(dialogs.messages.back().text, "PSP thumbnail image setted failed.");
    EXPECT_TRUE(Job(2).Thumbnail.has_value());  // kept
}

TEST_F(MainWindowTest, SnapshotCleansUpAndResumesAlsoWhenCancelled) {
    OpenWithThreeJobs();
    window->btnPlayClick();
    ASSERT_EQ(graph.state, 2);
    // Cancelled: nothing saved, temporary picture gone, playback resumed.
    dialogs.saveResult.clear();
    const int runs = graph.runCalls;
    window->btnPSPPreviewClick();  // AVI is selected: the snapshot
    ASSERT_EQ(dialogs.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs.saveRequests[0].title, "Save current frame to a bitmap picture");
    EXPECT_EQ(dialogs.saveRequests[0].filter, "bmp file(*.bmp)|*.bmp");
    ASSERT_FALSE(graph.snapshots.empty());
    const QString temp = QString::fromStdString(graph.snapshots.back());
    EXPECT_TRUE(temp.startsWith(QDir::tempPath()));
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_EQ(graph.state, 2);
    EXPECT_EQ(graph.runCalls, runs + 1);

    // Confirmed, without extension: saved as .bmp over an existing file.
    const QString target = QDir(dir.path()).filePath("frame");
    QFile old(target + ".bmp");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    dialogs.saveResult = target.toStdString();
    window->SaveSnapshot();
    QImage saved(target + ".bmp");
    EXPECT_EQ(saved.size(), QSize(320, 240));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(graph.snapshots.back())));
    EXPECT_EQ(graph.state, 2);

    // Paused preview stays paused.
    graph.Pause();
    window->SaveSnapshot();
    EXPECT_EQ(graph.state, 1);
}

TEST_F(MainWindowTest, StartNeedsAJob) {
    Open();
    window->btnStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Please click [Add] button to add a file before this operation.");
    EXPECT_EQ(dialogs.messages[0].caption, "Information");
}

TEST_F(MainWindowTest, StartOpensTheConversionWindowAndReopensThePreview) {
    OpenWithThreeJobs();
    window->SelectRowAt(0);
    window->btnPlayClick();
    QString seen;
    QTimer::singleShot(300, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seen = modal->objectName();
            modal->close();
        }
    });
    window->btnStartClick();
    EXPECT_EQ(seen, "frmStart");
    EXPECT_FALSE(window->timPlay->isActive());  // playback stopped for the run
    // Afterwards the selected row's file is the preview again, paused at 0.
    EXPECT_EQ(graph.rendered, "/clips/a.avi");
    EXPECT_EQ(graph.state, 1);
    EXPECT_EQ(window->CurrentIndex, 0);
    EXPECT_EQ(window->lblCurrent->text(), "00:00:00");
}

TEST_F(MainWindowTest, HelpAndWebsiteOpenOurPages) {
    Open();
    window->suiImageButton5Click();
    ASSERT_EQ(dialogs.shellOpened.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(dialogs.shellOpened[0]).endsWith("/help/index.html"));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dialogs.shellOpened[0])));
    window->suiImageButton7Click();
    ASSERT_EQ(dialogs.shellOpened.size(), 2u);
    EXPECT_EQ(dialogs.shellOpened[1], "https://velorin.example.org");
}

TEST_F(MainWindowTest, GraphNotificationsReachHandleEvent) {
    Open();
    // Posted from another thread, delivered on the GUI thread.
    std::thread poster([&] { platform::PostMessage(qtwin::HandleOf(window.get()), 0x0414, 0, 0); });
    poster.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(graph.handledEvents, 1);
}

TEST_F(MainWindowTest, MovesAreForwardedToTheVideoWindow) {
    OpenWithThreeJobs();
    graph.ownerMessages.clear();
    window->move(40, 30);
    QCoreApplication::processEvents();
    ASSERT_FALSE(graph.ownerMessages.empty());
    EXPECT_EQ(graph.ownerMessages.back(), TfrmMain::kMoveMessage);
    EXPECT_EQ(graph.lastOwnerLparam & 0xFFFF, window->x());
    EXPECT_EQ(graph.lastOwnerLparam >> 16, window->y());
}

TEST_F(MainWindowTest, SettingsRoundTripThroughConfigIni) {
    const QString ini = QDir(dir.path()).filePath("config.ini");
    {
        Open();
        // First run: the defaults.
        EXPECT_EQ(window->Settings->edtVideoBit->value(), 900);
        EXPECT_EQ(window->Settings->edtAudioBit->value(), 96);
        EXPECT_EQ(window->Settings->trckbrVolume->value(), 100);
        EXPECT_EQ(window->Settings->cbbKeepAspect->currentText(), "True");
        EXPECT_EQ(window->Settings->lblVolumePercent->text(), "100%");
        window->Settings->edtVideoBit->setValue(1234);
        window->Settings->trckbrVolume->setValue(150);
        window->Settings->cbbKeepAspect->setCurrentIndex(0);
        window->close();
        EXPECT_TRUE(window->FormClosed());
        window.reset();
    }
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("[AppData]"));
    EXPECT_TRUE(text.contains("VideoQuality=1234"));
    EXPECT_TRUE(text.contains("Volume=150"));
    EXPECT_TRUE(text.contains("Addletterboxtokeepaspectratio=0"));
    Open();
    EXPECT_EQ(window->Settings->edtVideoBit->value(), 1234);
    EXPECT_EQ(window->Settings->trckbrVolume->value(), 150);
    EXPECT_EQ(window->Settings->cbbKeepAspect->currentIndex(), 0);
    EXPECT_EQ(window->Settings->lblVolumePercent->text(), "150%");
}

TEST_F(MainWindowTest, CloseWaitsForABusyCommand) {
    OpenWithThreeJobs();
    // A close arriving while a message box of a command is open (a signal,
    // say) runs once the command is done.
    dialogs.answers.clear();
    struct Closer : DialogDouble {
        TfrmMain *window = nullptr;
        MsgResult MessageBox(const std::string &t, const std::string &c, MsgButtons b, MsgIcon i) override {
            window->close();
            EXPECT_FALSE(window->FormClosed());
            return DialogDouble::MessageBox(t, c, b, i);
        }
    } closer;
    closer.window = window.get();
    closer.defaultAnswer = MsgResult::Yes;
    InstallDialogService(&closer);
    window->btnDelClick();
    EXPECT_EQ(VideoFileList ? VideoFileList->Count() : -1, 2);
    EXPECT_FALSE(window->FormClosed());
    QTest::qWait(20);
    EXPECT_TRUE(window->FormClosed());
    InstallDialogService(&dialogs);
}

// ---- real files through the graph library ------------------------------------------------
// The build's bin folder: VELORIN_BIN, else the folder of this test, which
// the build puts there too.
QString BinFolder() {
    const char *bin = std::getenv("VELORIN_BIN");
    return bin && *bin ? QString::fromLocal8Bit(bin) : QCoreApplication::applicationDirPath();
}

class RealFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        auto make = [](const QStringList &args) {
            QProcess ffmpeg;
            ffmpeg.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
            return ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0;
        };
        const QString d = folder->path();
        ok = make({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                   "sine=frequency=440:sample_rate=44100", "-t", "3", "-c:v", "mpeg4", "-c:a", "mp3",
                   d + "/clip.avi"}) &&
             make({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25", "-t", "2", "-an", "-c:v", "mpeg4",
                   d + "/mute.avi"});
        QFile garbage(d + "/garbage.avi");
        ok = ok && garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, 'x')) == 4096;
        garbage.close();
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }
    static QTemporaryDir *folder;
    static bool ok;
};
QTemporaryDir *RealFilesTest::folder = nullptr;
bool RealFilesTest::ok = false;

TEST_F(RealFilesTest, AddsPlayableFilesAndRefusesBrokenAndSilentOnes) {
    ASSERT_TRUE(ok) << "ffmpeg could not make the fixtures";
    // A program folder of its own (config.ini) with the build's filter modules.
    QTemporaryDir program;
    const QString bin = BinFolder();
    ASSERT_FALSE(bin.isEmpty()) << "VELORIN_BIN names the build's bin folder";
    for (const QFileInfo &module : QDir(bin).entryInfoList({"*.ax"}))
        QFile::link(module.absoluteFilePath(), QDir(program.path()).filePath(module.fileName()));
    ASSERT_TRUE(QFile::exists(QDir(program.path()).filePath("dravik.ax")));
    DialogDouble dialogs;
    InstallDialogService(&dialogs);
    {
        TfrmMain::Options options;
        options.showSplash = false;
        options.programFolder = program.path().toStdString();
        options.registerFilterModules = true;
        TfrmMain window(options);
        window.show();
        for (const Message &m : dialogs.messages) ADD_FAILURE() << "start-up: " << m.text;
        dialogs.messages.clear();
        const std::string d = folder->path().toStdString();
        dialogs.openResult = {d + "/clip.avi", d + "/garbage.avi", d + "/mute.avi"};
        window.btnAddClick();
        ASSERT_EQ(VideoFileList->Count(), 1);
        const FileInfo &job = VideoFileList->Jobs[0];
        EXPECT_EQ(job.SourceFile, d + "/clip.avi");
        EXPECT_NEAR(job.Duration, 3.0, 0.1);
        EXPECT_EQ(job.VideoWidth, 320);
        EXPECT_EQ(job.VideoHeight, 240);
        EXPECT_EQ(job.InfoText, "Video Size:320x240 Video Length:00:00:03");
        EXPECT_EQ(job.Title, "clip");
        ASSERT_EQ(dialogs.messages.size(), 2u);
        EXPECT_NE(dialogs.messages[0].text.find(d + "/garbage.avi"), std::string::npos);
        EXPECT_TRUE(QString::fromStdString(dialogs.messages[0].text).endsWith("Error number: 1"));
        EXPECT_NE(dialogs.messages[1].text.find(d + "/mute.avi"), std::string::npos);
        EXPECT_TRUE(QString::fromStdString(dialogs.messages[1].text).endsWith("Error number: 2"));
        // The preview holds the accepted file again, with a thumbnail.
        EXPECT_EQ(window.PreviewPath(), d + "/clip.avi");
        EXPECT_TRUE(job.Thumbnail.has_value());
        window.close();
    }
    InstallDialogService(nullptr);
}

TEST_F(RealFilesTest, PreviewShowsTheCurrentFrameInPanel1) {
    ASSERT_TRUE(ok) << "ffmpeg could not make the fixtures";
    QTemporaryDir program;
    const QString bin = BinFolder();
    for (const QFileInfo &module : QDir(bin).entryInfoList({"*.ax"}))
        QFile::link(module.absoluteFilePath(), QDir(program.path()).filePath(module.fileName()));
    DialogDouble dialogs;
    InstallDialogService(&dialogs);
    {
        TfrmMain::Options options;
        options.showSplash = false;
        options.programFolder = program.path().toStdString();
        TfrmMain window(options);
        window.show();
        const std::string d = folder->path().toStdString();
        dialogs.openResult = {d + "/clip.avi", d + "/clip.avi", d + "/clip.avi"};
        window.btnAddClick();
        ASSERT_EQ(VideoFileList->Count(), 3);
        QTest::qWait(300);
        auto *surface = window.Panel1->findChild<QWidget *>("VideoSurface");
        ASSERT_NE(surface, nullptr);
        EXPECT_TRUE(surface->isVisible());
        // 320x240 is 4:3: the frame fills the panel's height, centred.
        EXPECT_EQ(surface->geometry(), QRect(13, 1, 210, 160));
        const QImage shown = surface->grab().toImage();
        ASSERT_FALSE(shown.isNull());
        int coloured = 0;
        for (int y = 0; y < shown.height(); y += 8)
            for (int x = 0; x < shown.width(); x += 8)
                if (qGray(shown.pixel(x, y)) > 40) ++coloured;
        EXPECT_GT(coloured, 50) << "the preview shows no picture";
        if (const char *shots = std::getenv("VELORIN_SHOT_DIR")) {
            window.grab().save(QDir(shots).filePath("main-three-jobs.png"));
            window.Settings->BtnPSPClick();
            window.grab().save(QDir(shots).filePath("main-psp.png"));
        }
        window.close();
    }
    InstallDialogService(nullptr);
}

int main(int argc, char **argv) {
    // Also for test discovery, which runs without the test environment.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    qtwin::InstallQtWindowSystem();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    qtwin::UninstallQtWindowSystem();
    return result;
}
