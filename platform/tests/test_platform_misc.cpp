// Modules, version label, FPU state, the headless window seam, paths,
// volumes and the shell helpers.
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "platform/fpu.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/volumes.h"
#include "platform/window.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "platform-misc-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string &name) const { return (fs::path(path_) / name).string(); }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

void WriteRaw(const std::string &path, const std::string &data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << data;
}

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        if (const char *old = std::getenv(name)) old_ = old, had_ = true;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) ::setenv(name_, old_.c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char *name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace

TEST(Module, LoadFindCallUnload) {
    std::string error;
    platform::ModuleHandle m = platform::LoadModule(PLATFORM_TEST_MODULE, &error);
    ASSERT_NE(m, nullptr) << error;
    auto answer = reinterpret_cast<int (*)()>(platform::FindExport(m, "TestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_NE(platform::FindExport(m, "DllRegisterServer"), nullptr);
    EXPECT_EQ(platform::FindExport(m, "NoSuchExport"), nullptr);
    EXPECT_TRUE(platform::UnloadModule(m));

    TempDir dir;
    EXPECT_EQ(platform::LoadModule(dir.File("missing.ax"), &error), nullptr);
    EXPECT_FALSE(error.empty());
    WriteRaw(dir.File("garbage.ax"), "this is not a shared object");
    EXPECT_EQ(platform::LoadModule(dir.File("garbage.ax")), nullptr);
    EXPECT_EQ(platform::FindExport(nullptr, "x"), nullptr);
    EXPECT_TRUE(platform::UnloadModule(nullptr));
}

TEST(Module, VersionAndBuildLabel) {
    ASSERT_TRUE(platform::HasProgramVersion());
    platform::ModuleVersion v = platform::ProgramVersion();
    EXPECT_EQ(v.major, 1u);
    EXPECT_EQ(v.build, 33u);
    struct Case {
        platform::ModuleVersion version;
        const char *label;
    } cases[] = {
        {{1, 0, 0, 33}, "Build: 1.33"},
        {{2, 0, 0, 2}, "Build: 2.02"},
        {{3, 1, 4, 10}, "Build: 3.10"},
        {{1, 0, 0, 0}, "Build: 1.00"},
        {{10, 0, 0, 123}, "Build: 10.123"},
    };
    for (const Case &c : cases) EXPECT_EQ(platform::FormatBuildLabel(c.version), c.label);
}

TEST(Fpu, MaskAndRestoreRoundTrip) {
    const platform::FpuState original = platform::SaveFpuState();
    platform::FpuState before = platform::MaskAllFpuExceptions();
    EXPECT_EQ(before.x87, original.x87);
    EXPECT_EQ(before.mxcsr, original.mxcsr);
    EXPECT_EQ(platform::GetX87ControlWord() & platform::kX87DefinedBits, platform::kX87AllMasked);
    EXPECT_EQ(platform::GetMxcsr() & platform::kMxcsrAllMasks, platform::kMxcsrAllMasks);
    // Rounding mode of MXCSR is kept.
    EXPECT_EQ(platform::GetMxcsr() & 0x6000u, original.mxcsr & 0x6000u);

    // With everything masked a division by zero gives infinity, not a trap.
    volatile double zero = 0.0;
    volatile double one = 1.0;
    EXPECT_TRUE(std::isinf(one / zero));
    volatile long double lzero = 0.0L;
    EXPECT_TRUE(std::isinf(1.0L / lzero));

    // Unmasked words are set and read back exactly, then restored.
    platform::SetX87ControlWord(0x1332);
    EXPECT_EQ(platform::GetX87ControlWord() & platform::kX87DefinedBits, 0x1332);
    platform::RestoreFpuState(before);
    EXPECT_EQ(platform::GetX87ControlWord(), original.x87);
    EXPECT_EQ(platform::GetMxcsr(), original.mxcsr);
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(Window, HeadlessPostingKeepsTheLast1024) {
    platform::InstallWindowSystem(nullptr);
    (void)platform::TakeHeadlessPostedMessages();
    HWND h = reinterpret_cast<HWND>(0x1234);
    for (int i = 0; i < 1500; ++i) EXPECT_TRUE(platform::PostMessage(h, 0x0414, WPARAM(i), LPARAM(-i)));
    auto log = platform::TakeHeadlessPostedMessages();
    ASSERT_EQ(log.size(), 1024u);
    EXPECT_EQ(log.front().wparam, WPARAM(1500 - 1024));
    EXPECT_EQ(log.back().wparam, WPARAM(1499));
    EXPECT_EQ(log.back().lparam, LPARAM(-1499));
    EXPECT_EQ(log.back().window, h);
    EXPECT_EQ(log.back().message, 0x0414u);
    EXPECT_TRUE(platform::TakeHeadlessPostedMessages().empty());

    // Posting from several threads loses nothing below the cap.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, h] {
            for (int i = 0; i < 200; ++i) platform::PostMessage(h, WM_USER + UINT(t), 0, 0);
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(platform::TakeHeadlessPostedMessages().size(), 800u);

    RECT r{1, 2, 3, 4};
    EXPECT_FALSE(platform::GetClientRect(h, &r));
    EXPECT_EQ(r.right, 0);
    EXPECT_FALSE(platform::IsWindow(h));
}

namespace {
class RecordingWindowSystem final : public platform::WindowSystem {
public:
    bool PostMessage(HWND w, UINT m, WPARAM wp, LPARAM lp) override {
        posted.push_back({w, m, wp, lp});
        return w != nullptr;
    }
    bool GetClientRect(HWND, RECT *rect) override {
        *rect = RECT{0, 0, 640, 480};
        return true;
    }
    bool IsWindow(HWND w) override { return w != nullptr; }
    std::unique_ptr<platform::VideoSurface> CreateVideoSurface() override { return nullptr; }
    std::vector<platform::PostedMessage> posted;
};
}  // namespace

TEST(Window, DispatchesToInstalledSystem) {
    RecordingWindowSystem sys;
    platform::InstallWindowSystem(&sys);
    HWND h = reinterpret_cast<HWND>(0x99);
    EXPECT_TRUE(platform::PostMessage(h, 0x046E, 7, 8));
    EXPECT_FALSE(platform::PostMessage(nullptr, 0x046E, 7, 8));
    RECT r;
    EXPECT_TRUE(platform::GetClientRect(h, &r));
    EXPECT_EQ(r.right, 640);
    EXPECT_TRUE(platform::IsWindow(h));
    // A system without surfaces still gets a stand-in.
    EXPECT_NE(platform::CreateVideoSurface(), nullptr);
    platform::InstallWindowSystem(nullptr);
    ASSERT_EQ(sys.posted.size(), 2u);
    EXPECT_EQ(sys.posted[0].wparam, 7u);
    EXPECT_TRUE(platform::TakeHeadlessPostedMessages().empty());
}

namespace {
// Counts calls that arrive after it was uninstalled (it must see none).
class SlowWindowSystem final : public platform::WindowSystem {
public:
    bool PostMessage(HWND, UINT, WPARAM, LPARAM) override {
        if (retired.load()) late.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (retired.load()) late.fetch_add(1);
        calls.fetch_add(1);
        return true;
    }
    bool GetClientRect(HWND, RECT *) override { return false; }
    bool IsWindow(HWND) override { return true; }
    std::unique_ptr<platform::VideoSurface> CreateVideoSurface() override { return nullptr; }
    std::atomic<bool> retired{false};
    std::atomic<int> late{0}, calls{0};
};
}  // namespace

TEST(Window, UninstallWaitsForCallsInFlight) {
    SlowWindowSystem sys;
    platform::InstallWindowSystem(&sys);
    std::atomic<bool> stop{false};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&] {
            while (!stop.load()) platform::PostMessage(reinterpret_cast<HWND>(1), WM_USER, 0, 0);
        });
    while (sys.calls.load() < 20) std::this_thread::yield();
    platform::InstallWindowSystem(nullptr);
    sys.retired = true;  // from here the GUI could destroy it
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    for (auto &t : posters) t.join();
    EXPECT_EQ(sys.late.load(), 0);
    EXPECT_FALSE(platform::TakeHeadlessPostedMessages().empty());  // the rest went headless
}

TEST(Window, HeadlessSurfaceRemembersState) {
    platform::InstallWindowSystem(nullptr);
    auto s = platform::CreateVideoSurface();
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->Visible());
    HWND owner = reinterpret_cast<HWND>(0x55);
    s->SetOwner(owner);
    s->SetVisible(true);
    s->SetGeometry(10, 20, 320, 240);
    platform::VideoPicture pic;
    pic.width = 2;
    pic.height = 1;
    pic.stride = 8;
    pic.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    s->Present(pic);
    EXPECT_EQ(s->Owner(), owner);
    EXPECT_TRUE(s->Visible());
    RECT g = s->Geometry();
    EXPECT_EQ(g.left, 10);
    EXPECT_EQ(g.top, 20);
    EXPECT_EQ(g.right, 330);
    EXPECT_EQ(g.bottom, 260);
    platform::VideoPicture last;
    ASSERT_TRUE(platform::HeadlessSurfaceLastPicture(*s, &last));
    EXPECT_EQ(last.pixels, pic.pixels);
}

TEST(Paths, MappingJoiningAndParts) {
    ScopedEnv home("HOME", "/home/tester");
    struct Case {
        const char *in, *out;
    } map[] = {
        {"c:\\Tarvextemp\\PSP", "/home/tester/Tarvextemp/PSP"},
        {"C:\\Tarvextemp\\PSP\\", "/home/tester/Tarvextemp/PSP/"},
        {"c:/mysnapshot.bmp", "/home/tester/mysnapshot.bmp"},
        {"c:\\", "/home/tester"},
        {"c:", "/home/tester"},
        {"d:\\x", "d:/x"},
        {"/already/unix", "/already/unix"},
        {"cd:\\x", "cd:/x"},
    };
    for (const Case &c : map) EXPECT_EQ(platform::MapSystemPath(c.in), c.out) << c.in;

    struct Join {
        const char *a, *b, *out;
    } joins[] = {
        {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"}, {"/a//", "/b", "/a/b"},
        {"/", "b", "/b"},    {"", "b", "b"},       {"/a", "", "/a"},
    };
    for (const Join &j : joins) EXPECT_EQ(platform::JoinPath(j.a, j.b), j.out);
    EXPECT_EQ(platform::FileNamePart("/x/y/Holiday.avi"), "Holiday.avi");
    EXPECT_EQ(platform::FileNamePart("C:\\v\\a.avi"), "a.avi");
    EXPECT_EQ(platform::FolderPart("/x/y/Holiday.avi"), "/x/y/");
    EXPECT_EQ(platform::WithTrailingSlash("/x"), "/x/");
    EXPECT_EQ(platform::WithTrailingSlash("/x/"), "/x/");
}

TEST(Paths, ExecutableFolderAndFallbackConfig) {
    std::string exe = platform::ExecutableFolder();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.back(), '/');
    EXPECT_TRUE(platform::FolderExists(exe));
    EXPECT_TRUE(platform::FileExists(exe + "test_platform"));

    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(platform::FallbackConfigFile(), "/cfg/velorin/config.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/not/allowed");
        EXPECT_EQ(platform::FallbackConfigFile(), "/home/tester/.config/velorin/config.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(platform::FallbackConfigFile(), "/home/tester/.config/velorin/config.ini");
    }
}

TEST(Paths, WritableFolderProbe) {
    TempDir dir;
    EXPECT_TRUE(platform::IsFolderWritable(dir.Path()));
    WriteRaw(dir.File("file"), "x");
    EXPECT_FALSE(platform::IsFolderWritable(dir.File("file")));
    EXPECT_FALSE(platform::IsFolderWritable(dir.File("missing")));
    EXPECT_FALSE(platform::IsFolderWritable(""));
    // The probe leaves nothing behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(Shell, FoldersAndFiles) {
    TempDir dir;
    const std::string deep = dir.File("a/b/c");
    EXPECT_TRUE(platform::CreateFolders(deep));
    EXPECT_TRUE(platform::CreateFolders(deep));  // already there
    WriteRaw(dir.File("a/b/c/f.txt"), "x");
    WriteRaw(dir.File("outside/keep.txt"), "keep");
    fs::create_symlink(dir.File("outside"), dir.File("a/b/link"));
    EXPECT_TRUE(platform::DeleteFolderTree(dir.File("a")));
    EXPECT_FALSE(fs::exists(dir.File("a")));
    EXPECT_TRUE(fs::exists(dir.File("outside/keep.txt")));  // links are not followed
    EXPECT_TRUE(platform::DeleteFolderTree(dir.File("a")));  // missing counts as gone
    WriteRaw(dir.File("blocker"), "x");
    EXPECT_FALSE(platform::CreateFolders(dir.File("blocker/sub")));
    EXPECT_TRUE(platform::DeleteFileAt(dir.File("blocker")));
    EXPECT_TRUE(platform::DeleteFileAt(dir.File("blocker")));
    EXPECT_FALSE(platform::DeleteFolderTree(""));
}

TEST(Shell, OpenReportsTheOpenersResult) {
    TempDir dir;
    const std::string log = dir.File("opened.txt");
    const std::string ok = dir.File("opener-ok.sh");
    WriteRaw(ok, "#!/bin/sh\necho \"$1\" > '" + log + "'\nexit 0\n");
    const std::string fail = dir.File("opener-fail.sh");
    WriteRaw(fail, "#!/bin/sh\nexit 3\n");
    const std::string slow = dir.File("opener-slow.sh");
    WriteRaw(slow, "#!/bin/sh\nexec >/dev/null 2>&1\nsleep 5\n");
    for (const auto &p : {ok, fail, slow}) fs::permissions(p, fs::perms::owner_all);

    platform::SetShellOpenerForTest(ok);
    EXPECT_TRUE(platform::ShellOpen("/some/folder with blanks"));
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "/some/folder with blanks");
    EXPECT_FALSE(platform::ShellOpen(""));

    platform::SetShellOpenerForTest(fail);
    EXPECT_FALSE(platform::ShellOpen("/x"));
    platform::SetShellOpenerForTest(dir.File("no-such-opener"));
    EXPECT_FALSE(platform::ShellOpen("/x"));
    // A handler that keeps running counts as started.
    platform::SetShellOpenerForTest(slow);
    EXPECT_TRUE(platform::ShellOpen("/x"));
    platform::SetShellOpenerForTest("");
}

TEST(Volumes, RemovableFlagsFromAFakeDeviceTree) {
    TempDir dir;
    const std::string sys = dir.File("sys");
    WriteRaw(sys + "/block/sda/removable", "0\n");
    WriteRaw(sys + "/block/sdb/removable", "1\n");
    WriteRaw(sys + "/block/mmcblk0/removable", "1\n");
    WriteRaw(sys + "/block/nvme0n1/removable", "0\n");
    const std::string psp = dir.File("media/PSP STICK");
    const std::string card = dir.File("media/card");
    fs::create_directories(psp + "/MP_ROOT/100MNV01");
    fs::create_directories(card);
    fs::create_directories(dir.File("fixed/MP_ROOT/100MNV01"));
    std::string pspEscaped = psp;
    pspEscaped.replace(pspEscaped.find(' '), 1, "\\040");
    const std::string mounts = dir.File("mounts");
    WriteRaw(mounts, "proc /proc proc rw 0 0\n"
                     "/dev/nvme0n1p2 / ext4 rw 0 0\n"
                     "/dev/sda1 " + dir.File("fixed") + " ext4 rw 0 0\n"
                     "/dev/mmcblk0p1 " + card + " vfat rw 0 0\n"
                     "/dev/sdb1 " + pspEscaped + " vfat rw 0 0\n"
                     "tmpfs /tmp tmpfs rw 0 0\n"
                     "garbage\n"
                     "/dev/sdz9 /nowhere vfat rw 0 0\n");
    platform::SetVolumeSourcesForTest(mounts, sys);
    auto volumes = platform::ListVolumes();
    ASSERT_EQ(volumes.size(), 5u);
    EXPECT_EQ(volumes[0].mountPoint, "/");
    EXPECT_FALSE(volumes[0].removable);
    EXPECT_FALSE(volumes[1].removable);
    EXPECT_TRUE(volumes[2].removable);
    EXPECT_EQ(volumes[3].mountPoint, psp);
    EXPECT_EQ(volumes[3].device, "/dev/sdb1");
    EXPECT_EQ(volumes[3].fsType, "vfat");
    EXPECT_TRUE(volumes[3].removable);
    EXPECT_FALSE(volumes[4].removable);  // unknown device

    // Only the removable stick with the folder qualifies, not the fixed
    // disk that also has one, nor the card reader without it.
    auto found = platform::FindRemovableFolders("MP_ROOT/100MNV01");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], psp + "/MP_ROOT/100MNV01");

    platform::SetVolumeSourcesForTest(dir.File("no-mounts"), sys);
    EXPECT_TRUE(platform::ListVolumes().empty());
    platform::SetVolumeSourcesForTest("", "");
    for (const auto &v : platform::ListVolumes()) EXPECT_EQ(v.device.rfind("/dev/", 0), 0u);

    auto free = platform::FreeSpaceOf(dir.Path());
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(platform::FreeSpaceOf(dir.File("missing")).has_value());
}
