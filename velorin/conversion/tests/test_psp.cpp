// PSP thumbnails, finding the device, the copy with progress, the upload,
// and the finish dialog.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "conversion/PspTransfer.h"
#include "conversion/TfrmFinish.h"
#include "conversion/TfrmStart.h"
#include "core/VideoFileList.h"
#include "platform/shell.h"
#include "platform/volumes.h"
#include "platform/window.h"
#include "support.h"

using namespace velorin::conv;

namespace {

// A fake mount table and kernel device tree: each volume is a folder under
// the temporary folder, its disk marked removable or not.
class FakeVolumes {
public:
    explicit FakeVolumes(const convtest::TempDir &dir) : dir_(dir) {}
    ~FakeVolumes() { platform::SetVolumeSourcesForTest("", ""); }

    std::string Add(const std::string &disk, bool removable, bool withPspFolder) {
        const std::string mount = dir_.file("mnt/" + disk);
        std::filesystem::create_directories(mount);
        if (withPspFolder) std::filesystem::create_directories(mount + "/MP_ROOT/100MNV01");
        const std::string block = dir_.file("sys/block/" + disk);
        std::filesystem::create_directories(block);
        std::ofstream(block + "/removable") << (removable ? "1\n" : "0\n");
        table_ += "/dev/" + disk + "1 " + mount + " vfat rw 0 0\n";
        std::ofstream(dir_.file("mounts")) << table_;
        platform::SetVolumeSourcesForTest(dir_.file("mounts"), dir_.file("sys"));
        return mount;
    }

private:
    const convtest::TempDir &dir_;
    std::string table_;
};

struct Posted {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

// Without an installed window system the platform keeps posted messages.
std::vector<Posted> TakePosted(HWND window) {
    std::vector<Posted> out;
    for (const auto &m : platform::TakeHeadlessPostedMessages())
        if (m.window == window) out.push_back({m.message, m.wparam, m.lparam});
    return out;
}

HWND FakeWindow() { return reinterpret_cast<HWND>(std::uintptr_t(0x5150)); }

}  // namespace

TEST(PspFind, RemovableVolumeWithTheVideoFolder) {
    convtest::TempDir dir;
    FakeVolumes volumes(dir);
    std::string folder;
    EXPECT_FALSE(FindPSPVideoFolder(folder)) << "empty mount table";
    volumes.Add("sda", false, true);                 // fixed disk with the folder: not a PSP
    volumes.Add("sdb", true, false);                 // card reader without the folder
    const std::string psp = volumes.Add("sdc", true, true);
    ASSERT_TRUE(FindPSPVideoFolder(folder));
    EXPECT_EQ(folder, psp + "/MP_ROOT/100MNV01");
}

TEST(PspFind, MemoryStickWithoutTheFolderIsNoPsp) {
    convtest::TempDir dir;
    FakeVolumes volumes(dir);
    const std::string mount = volumes.Add("sdd", true, false);
    std::filesystem::create_directories(mount + "/MP_ROOT");
    std::string folder = "unchanged";
    EXPECT_FALSE(FindPSPVideoFolder(folder));
    EXPECT_EQ(folder, "unchanged");
}

TEST(PspCopy, ProgressThenCompletion) {
    struct Row {
        std::size_t bytes;
        std::vector<WPARAM> percents;
    };
    const Row rows[] = {{1000, {50, 100}}, {0, {}}, {250, {100}}, {1001, {49, 99, 100}}};
    for (const Row &row : rows) {
        convtest::TempDir dir;
        const std::string source = dir.file("in.mp4"), destination = dir.file("out.mp4");
        convtest::WriteFile(source, row.bytes);
        TakePosted(FakeWindow());
        CopyFileWithProgress(source, destination, FakeWindow());
        const auto posted = TakePosted(FakeWindow());
        ASSERT_EQ(posted.size(), row.percents.size() + 1) << row.bytes;
        for (std::size_t i = 0; i < row.percents.size(); ++i) {
            EXPECT_EQ(posted[i].message, kCopyProgressMessage);
            EXPECT_EQ(posted[i].wparam, row.percents[i]) << row.bytes;
            EXPECT_EQ(posted[i].lparam, 0);
        }
        EXPECT_EQ(posted.back().wparam, 0u);
        EXPECT_EQ(posted.back().lparam, 1);
        EXPECT_EQ(std::filesystem::file_size(destination), row.bytes);
        std::ifstream a(source, std::ios::binary), b(destination, std::ios::binary);
        EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b)));
    }
}

TEST(PspCopy, FailuresRaiseAndPostNothing) {
    convtest::TempDir dir;
    convtest::WriteFile(dir.file("in.mp4"), 100);
    TakePosted(FakeWindow());
    EXPECT_THROW(CopyFileWithProgress(dir.file("missing.mp4"), dir.file("o.mp4"), FakeWindow()), CopyError);
    EXPECT_THROW(CopyFileWithProgress(dir.file("in.mp4"), dir.file("no/such/dir/o.mp4"), FakeWindow()),
                 CopyError);
    EXPECT_TRUE(TakePosted(FakeWindow()).empty());
}

TEST(PspCopy, FullDeviceIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    convtest::TempDir dir;
    convtest::WriteFile(dir.file("in.mp4"), 2000);
    static std::string reported;
    reported.clear();
    EXPECT_THROW(CopyFileWithProgress(dir.file("in.mp4"), "/dev/full", FakeWindow(),
                                      [](const std::string &text) { reported = text; }),
                 CopyError);
    EXPECT_FALSE(reported.empty());
    for (const auto &m : TakePosted(FakeWindow())) EXPECT_NE(m.lparam, 1) << "no completion";
}

TEST(PspThumbnail, BaselineJpegFromBitmap) {
    convtest::TempDir dir;
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(QColor(10, 120, 240));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("t.bmp")), "BMP"));
    EXPECT_TRUE(BmpToJpeg(dir.file("t.bmp"), dir.file("t.THM")));
    QFile file(QString::fromStdString(dir.file("t.THM")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 4);
    EXPECT_EQ(uchar(bytes[0]), 0xFF);
    EXPECT_EQ(uchar(bytes[1]), 0xD8);
    EXPECT_TRUE(bytes.contains(QByteArray("\xFF\xC0", 2))) << "baseline frame header";
    EXPECT_FALSE(bytes.contains(QByteArray("\xFF\xC2", 2))) << "no progressive frame";
    const std::string probe = convtest::Capture(
        "ffprobe -v error -show_entries stream=codec_name,width,height,pix_fmt -of csv=p=0 '" +
        dir.file("t.THM") + "'");
    EXPECT_NE(probe.find("mjpeg,160,120"), std::string::npos) << probe;

    EXPECT_THROW(BmpToJpeg(dir.file("missing.bmp"), dir.file("x.THM")), CopyError);
    EXPECT_THROW(BmpToJpeg(dir.file("t.bmp"), dir.file("no/dir/x.THM")), CopyError);
    EXPECT_EQ(ReplaceLastFour("/t/PSP/M4V20002.mp4", ".THM"), "/t/PSP/M4V20002.THM");
    EXPECT_EQ(ReplaceLastFour("/t/PSP/M4V20002.mp4", ".bmp"), "/t/PSP/M4V20002.bmp");
}

namespace {

class Upload : public ::testing::Test {
protected:
    void SetUp() override {
        ConversionEnv env;
        env.mainWindow = &main;
        env.jobs = &jobs;
        env.graph = std::make_unique<convtest::FakeGraph>();
        form = std::make_unique<TfrmStart>(std::move(env));
        main.Select(Category::PSP);
    }
    bool LogHas(const QString &text) const { return form->memLog->toPlainText().contains(text); }

    convtest::TempDir dir;
    convtest::ScopedDialogs dialogs;
    convtest::FakeMainWindow main;
    velorin::TVideoFileList jobs;
    std::unique_ptr<TfrmStart> form;
};

}  // namespace

TEST_F(Upload, NoDeviceIsANotice) {
    FakeVolumes volumes(dir);
    volumes.Add("sdb", true, false);
    form->OutputFiles << QString::fromStdString(dir.file("M4V20002.mp4"));
    form->UploadToPSP();
    ASSERT_EQ(dialogs->boxes.size(), 1u);
    EXPECT_EQ(dialogs->boxes[0].text, "Faild to find PSP device.");
    EXPECT_EQ(dialogs->boxes[0].icon, velorin::MsgIcon::Information);
    EXPECT_FALSE(LogHas("Copy "));
}

TEST_F(Upload, CopiesVideosAndThumbnailsAndReportsEach) {
    FakeVolumes volumes(dir);
    const std::string psp = volumes.Add("sdc", true, true) + "/MP_ROOT/100MNV01";
    const std::string out = dir.file("out");
    std::filesystem::create_directories(out);
    convtest::WriteFile(out + "/M4V20002.mp4", 1200);
    convtest::WriteFile(out + "/M4V20002.THM", 300);
    convtest::WriteFile(out + "/M4V20003.mp4", 800);  // its thumbnail is missing
    form->OutputFiles << QString::fromStdString(out + "/M4V20002.mp4")
                      << QString::fromStdString(out + "/M4V20003.mp4");
    // A second press while the copy runs is refused.
    QTimer::singleShot(0, form.get(), [this] { form->UploadToPSP(); });
    form->UploadToPSP();
    EXPECT_TRUE(LogHas("An upload to the PSP is already running."));
    EXPECT_TRUE(LogHas(QString::fromStdString("Find video folder on PSP: " + psp)));
    for (const char *name : {"M4V20002.mp4", "M4V20002.THM", "M4V20003.mp4"}) {
        EXPECT_TRUE(LogHas(QString::fromStdString("Copy " + out + "/" + name + " to " + psp + "/" + name +
                                                  " successful.")))
            << name;
        EXPECT_EQ(std::filesystem::file_size(psp + "/" + name), std::filesystem::file_size(out + "/" + name));
    }
    EXPECT_TRUE(LogHas(QString::fromStdString("Copy " + out + "/M4V20003.THM to " + psp + "/M4V20003.THM failed.")));
    ASSERT_FALSE(dialogs->boxes.empty());
    EXPECT_EQ(dialogs->boxes.back().text, "Copy to PSP device successful.");
    EXPECT_FALSE(form->Uploading());
}

TEST(FinishDialog, CaptionButtonsAndAnswer) {
    convtest::ScopedDialogs dialogs;
    TfrmFinish finish;
    EXPECT_EQ(finish.objectName(), "frmFinish");
    EXPECT_FALSE(finish.UploadRequested);
    EXPECT_TRUE(finish.OutputFolder.empty());
    finish.OutputFolder = "/home/u/Tarvextemp/PSP/";
    finish.FormShow();
    const QStringList lines = finish.lblMain->text().split("\r\n");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "All process finish!");
    EXPECT_EQ(lines[1], "Output video folder: /home/u/Tarvextemp/PSP/");
    EXPECT_EQ(lines[2], "Next step: Connect your PSP to your PC via USB cable, ");
    EXPECT_EQ(lines[3], "and then click \"Upload to PSP\" button.");

    finish.show();
    for (int i = 0; i < 3; ++i) finish.btnOpenFolder->click();
    EXPECT_TRUE(finish.isVisible()) << "opening the folder keeps the dialog open";
    EXPECT_EQ(dialogs->shellOpened, std::vector<std::string>(3, "/home/u/Tarvextemp/PSP/"));
    finish.btnCancel->click();
    EXPECT_FALSE(finish.isVisible());
    EXPECT_FALSE(finish.UploadRequested);

    finish.show();
    finish.suiImageButton2->click();
    EXPECT_FALSE(finish.UploadRequested);
    finish.show();
    finish.btnUploadToPSP->click();
    EXPECT_TRUE(finish.UploadRequested);
    EXPECT_EQ(finish.result(), QDialog::Accepted);
}

TEST(OpenInShellModes, FallsBackInTurn) {
    convtest::ScopedDialogs dialogs;
    dialogs->shellResult = true;
    EXPECT_TRUE(OpenInShell("/tmp", 0));
    EXPECT_EQ(dialogs->shellOpened.size(), 1u);
    EXPECT_TRUE(OpenInShell("/tmp", 1));
    EXPECT_EQ(dialogs->shellOpened.size(), 2u);
    // Mode 2 skips the dialog service and uses the platform's opener.
    platform::SetShellOpenerForTest("true");
    EXPECT_TRUE(OpenInShell("/tmp", 2));
    EXPECT_EQ(dialogs->shellOpened.size(), 2u);
    // When the service fails, mode 0 goes on to the platform's opener.
    dialogs->shellResult = false;
    EXPECT_TRUE(OpenInShell("/tmp", 0));
    platform::SetShellOpenerForTest("false");
    EXPECT_FALSE(OpenInShell("/tmp", 1));
    platform::SetShellOpenerForTest("");
}

TEST_F(Upload, ClosingTheWindowStopsTheCopy) {
    FakeVolumes volumes(dir);
    const std::string psp = volumes.Add("sde", true, true) + "/MP_ROOT/100MNV01";
    const std::string out = dir.file("out");
    std::filesystem::create_directories(out);
    convtest::WriteFile(out + "/M4V20002.mp4", 200000);
    convtest::WriteFile(out + "/M4V20002.THM", 300);
    form->OutputFiles << QString::fromStdString(out + "/M4V20002.mp4");
    form->show();
    QTimer::singleShot(0, form.get(), [this] { form->reject(); });
    form->UploadToPSP();
    EXPECT_TRUE(LogHas("The upload to the PSP was cancelled."));
    EXPECT_FALSE(LogHas("M4V20002.THM successful."));
    for (const auto &box : dialogs->boxes) EXPECT_NE(box.text, "Copy to PSP device successful.");
    EXPECT_FALSE(form->isVisible()) << "the window closes once the copy has stopped";
    EXPECT_FALSE(form->Uploading());
}
