// libbrantel.so as the program uses it: loaded with dlopen, every export
// found by name, the filter modules registered the way the program does at
// start-up (dlopen, DllRegisterServer). Real files made by ffmpeg; outputs
// checked with ffprobe.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <dlfcn.h>
#include <unistd.h>

#include "brantel/brantel.h"
#include "contract/mpeg2parameter.h"
#include "fixtures.h"
#include "com/com.h"
#include "platform/window.h"

using namespace brantel_test;

namespace {

// ---- the export table, by name ---------------------------------------------------
struct Api {
    void *module = nullptr;
#define BRANTEL_FN(name) decltype(&::name) name = nullptr;
    BRANTEL_FN(Initialize) BRANTEL_FN(Uninitialize) BRANTEL_FN(Create) BRANTEL_FN(Create2)
    BRANTEL_FN(DeleteFilterGraph) BRANTEL_FN(DeleteFilterGraph2) BRANTEL_FN(IsGraphCreated)
    BRANTEL_FN(IsGraphCreated2) BRANTEL_FN(RenderFile) BRANTEL_FN(RenderFile2) BRANTEL_FN(RenderFileSet)
    BRANTEL_FN(Run) BRANTEL_FN(Pause) BRANTEL_FN(Pause2) BRANTEL_FN(Stop) BRANTEL_FN(IsRunning)
    BRANTEL_FN(IsRunning2) BRANTEL_FN(GetCurrentPosition) BRANTEL_FN(SetCurrentPosition)
    BRANTEL_FN(SetCurrentPosition2) BRANTEL_FN(GetDuration) BRANTEL_FN(GetDuration2)
    BRANTEL_FN(SetStartStopPosition) BRANTEL_FN(SetDisplayWindow) BRANTEL_FN(SetDisplayWindow2)
    BRANTEL_FN(ResizeVideoWindow) BRANTEL_FN(ResizeVideoWindow2) BRANTEL_FN(GetVideoSize)
    BRANTEL_FN(SnapshotBitmap) BRANTEL_FN(SetNotifyWindow) BRANTEL_FN(SetNotifyWindow2) BRANTEL_FN(HandleEvent)
    BRANTEL_FN(Set_CallBackEC_COMPLETE) BRANTEL_FN(NotifyOwnerMessage) BRANTEL_FN(ReplaceRenderWithMpeg2Enc)
    BRANTEL_FN(SetMpeg2Parameter) BRANTEL_FN(GetVersionOfFFEncoder) BRANTEL_FN(GrabAndDrawBitMap_Create)
    BRANTEL_FN(GrabAndDrawBitMap_Create2) BRANTEL_FN(GrabAndDrawBitMap_IsCreated)
    BRANTEL_FN(GrabAndDrawBitMap_IsCreated2) BRANTEL_FN(GrabAndDrawBitMap_Free) BRANTEL_FN(GrabAndDrawBitMap_Free2)
    BRANTEL_FN(GrabAndDrawBitMap_SetDisplayWindow) BRANTEL_FN(GrabAndDrawBitMap_SetDisplayWindow2)
    BRANTEL_FN(GrabAndDrawBitMap_Grab) BRANTEL_FN(GrabAndDrawBitMap_Grab2) BRANTEL_FN(GrabAndDrawBitMap_Draw)
    BRANTEL_FN(GrabAndDrawBitMap_Draw2) BRANTEL_FN(GrabFrameFromMovie) BRANTEL_FN(GrabFrameFromMovie_2)
    BRANTEL_FN(GetVideInfoQuick) BRANTEL_FN(AddToObjectTable) BRANTEL_FN(TestModule)
    BRANTEL_FN(BCBLoadVCWin32Stdcall) BRANTEL_FN(DoInOneStep)
#undef BRANTEL_FN
    int found = 0;
    std::string missing;

    template <class T>
    void Bind(T *slot, const char *name) {
        *slot = reinterpret_cast<T>(dlsym(module, name));
        if (*slot)
            ++found;
        else
            missing += std::string(name) + " ";
    }

    bool Load() {
        const std::string path = BinDir() + "/libbrantel.so";
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) return false;
#define BIND(name) Bind(&name, #name);
        BIND(Initialize) BIND(Uninitialize) BIND(Create) BIND(Create2) BIND(DeleteFilterGraph)
        BIND(DeleteFilterGraph2) BIND(IsGraphCreated) BIND(IsGraphCreated2) BIND(RenderFile) BIND(RenderFile2)
        BIND(RenderFileSet) BIND(Run) BIND(Pause) BIND(Pause2) BIND(Stop) BIND(IsRunning) BIND(IsRunning2)
        BIND(GetCurrentPosition) BIND(SetCurrentPosition) BIND(SetCurrentPosition2) BIND(GetDuration)
        BIND(GetDuration2) BIND(SetStartStopPosition) BIND(SetDisplayWindow) BIND(SetDisplayWindow2)
        BIND(ResizeVideoWindow) BIND(ResizeVideoWindow2) BIND(GetVideoSize) BIND(SnapshotBitmap)
        BIND(SetNotifyWindow) BIND(SetNotifyWindow2) BIND(HandleEvent) BIND(Set_CallBackEC_COMPLETE)
        BIND(NotifyOwnerMessage) BIND(ReplaceRenderWithMpeg2Enc) BIND(SetMpeg2Parameter)
        BIND(GetVersionOfFFEncoder) BIND(GrabAndDrawBitMap_Create) BIND(GrabAndDrawBitMap_Create2)
        BIND(GrabAndDrawBitMap_IsCreated) BIND(GrabAndDrawBitMap_IsCreated2) BIND(GrabAndDrawBitMap_Free)
        BIND(GrabAndDrawBitMap_Free2) BIND(GrabAndDrawBitMap_SetDisplayWindow)
        BIND(GrabAndDrawBitMap_SetDisplayWindow2) BIND(GrabAndDrawBitMap_Grab) BIND(GrabAndDrawBitMap_Grab2)
        BIND(GrabAndDrawBitMap_Draw) BIND(GrabAndDrawBitMap_Draw2) BIND(GrabFrameFromMovie)
        BIND(GrabFrameFromMovie_2) BIND(GetVideInfoQuick) BIND(AddToObjectTable) BIND(TestModule)
        BIND(BCBLoadVCWin32Stdcall) BIND(DoInOneStep)
#undef BIND
        return true;
    }
};

Api &Brantel() {
    static Api api;
    return api;
}

// The shared fixtures: each file is made on first use (ctest runs every
// test in its own process, so nothing is made that a test does not need).
class Media : public ::testing::Environment {
public:
    static TempDir *dir;
    static bool haveEncoder, haveQuickTime, haveRealMedia;

    static const std::string &Make(const char *name, const char *kind, const char *codecs) {
        static std::map<std::string, std::string> made;
        auto it = made.find(name);
        if (it != made.end()) return it->second;
        const std::string path = dir->File(name);
        bool ok = false;
        if (std::strcmp(kind, "av") == 0) ok = MakeAudioVideo(path, 2.0, codecs);
        else if (std::strcmp(kind, "v") == 0) ok = MakeVideoOnly(path, 2.0, codecs);
        else ok = MakeAudioOnly(path, 2.0, codecs);
        EXPECT_TRUE(ok) << "ffmpeg could not make " << name;
        return made.emplace(name, path).first->second;
    }
    static const std::string &avi() { return Make("clip.avi", "av", "-c:v mpeg4 -q:v 5 -c:a mp3"); }
    static const std::string &videoOnly() { return Make("silent.avi", "v", "-c:v mpeg4"); }
    static const std::string &audioOnly() { return Make("tone.mp4", "a", "-c:a aac"); }
    static const std::string &wmv() { return Make("clip.wmv", "av", "-c:v wmv2 -c:a wmav2"); }
    static const std::string &mov() { return Make("clip.mov", "av", "-c:v mpeg4 -c:a aac"); }
    static const std::string &rm() { return Make("clip.rm", "av", "-c:v rv10 -c:a ac3"); }
    static const std::string &mpg() { return Make("clip.mpg", "av", "-c:v mpeg1video -c:a mp2"); }

    void SetUp() override {
        dir = new TempDir();
        ASSERT_TRUE(Brantel().Load()) << dlerror();
        haveEncoder = RegisterModule("dravik.ax");
        haveQuickTime = RegisterModule("qtalt.ax");
        haveRealMedia = RegisterModule("rmsp.ax");
        ASSERT_TRUE(Brantel().Initialize());
    }
    void TearDown() override {
        Brantel().DeleteFilterGraph();
        Brantel().DeleteFilterGraph2();
        Brantel().Uninitialize();
        delete dir;
    }
};
TempDir *Media::dir = nullptr;
bool Media::haveEncoder = false, Media::haveQuickTime = false, Media::haveRealMedia = false;
const auto *const kMedia = ::testing::AddGlobalTestEnvironment(new Media);

// The framework's graph manager and media detector live in
// libvelorin_media.so; a build without them cannot run graphs at all.
constexpr CLSID kFilterGraph{0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr CLSID kMediaDet{0x65BD0711, 0x24D2, 0x4FF7, {0x93, 0x24, 0xED, 0x2E, 0x5D, 0x3A, 0xBA, 0xFA}};
#define NEED_GRAPH() \
    if (!ComIsClassRegistered(kFilterGraph)) GTEST_SKIP() << "libvelorin_media.so has no graph manager"
#define NEED_DETECTOR() \
    if (!ComIsClassRegistered(kMediaDet)) GTEST_SKIP() << "libvelorin_media.so has no media detector"
#define NEED_ENCODER() \
    NEED_GRAPH();        \
    if (!Media::haveEncoder) GTEST_SKIP() << "dravik.ax is not built in " << BinDir()

class Exports : public ::testing::Test {
protected:
    Api &b = Brantel();
    void TearDown() override {
        if (b.IsGraphCreated()) {
            b.Stop();
            b.SetNotifyWindow(nullptr);
        }
        b.DeleteFilterGraph();
        b.DeleteFilterGraph2();
    }
    // Velorin's order for one source: close, Create, RenderFile.
    bool Open(const std::string &path) {
        if (b.IsGraphCreated()) {
            b.Stop();
            b.SetNotifyWindow(nullptr);
            b.DeleteFilterGraph();
        }
        return b.Create() && b.RenderFile(path.c_str());
    }
};

}  // namespace

TEST_F(Exports, EveryExportIsThereByName) {
    EXPECT_EQ(b.found, 56) << "missing: " << b.missing;
    EXPECT_STREQ(b.TestModule(), "TestModule OK!");
    EXPECT_STREQ(b.BCBLoadVCWin32Stdcall(), "BCB Load VC_Win32 Dll by __stdcall mode is OK!");
    EXPECT_FALSE(b.RenderFileSet(0, 0));
}

TEST_F(Exports, LifecycleAndSlots) {
    NEED_GRAPH();
    EXPECT_TRUE(b.Initialize());  // already initialised on this thread: still true
    EXPECT_TRUE(b.Uninitialize());
    EXPECT_FALSE(b.IsGraphCreated());
    EXPECT_FALSE(b.DeleteFilterGraph());
    EXPECT_TRUE(b.Create());
    EXPECT_TRUE(b.IsGraphCreated());
    EXPECT_FALSE(b.IsGraphCreated2());
    EXPECT_TRUE(b.Create2());
    EXPECT_TRUE(b.IsGraphCreated2());
    EXPECT_TRUE(b.DeleteFilterGraph());
    EXPECT_FALSE(b.IsGraphCreated());
    EXPECT_TRUE(b.IsGraphCreated2());
    EXPECT_FALSE(b.Run());
    EXPECT_TRUE(b.DeleteFilterGraph2());
    EXPECT_FALSE(b.DeleteFilterGraph2());
    // A Create over a live instance replaces it.
    EXPECT_TRUE(b.Create());
    EXPECT_TRUE(b.Create());
    EXPECT_TRUE(b.IsGraphCreated());
}

TEST_F(Exports, RenderRulesByExtension) {
    NEED_GRAPH();
    const std::string upper = Media::dir->File("UPPER.MPG");
    const std::string noDot = Media::dir->File("nodot");
    const std::string otherExt = Media::dir->File("clip.mkv");
    for (const auto &[from, to] : {std::pair{Media::mpg(), upper}, {Media::avi(), noDot}, {Media::avi(), otherExt}})
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);

    struct Case { std::string path; bool rendered; };
    const Case cases[] = {
        {Media::avi(), true}, {Media::mpg(), true}, {upper, true}, {Media::wmv(), true},
        {otherExt, true},  // unknown extension: plain render
        {noDot, false}, {Media::dir->File("missing.avi"), false},
    };
    for (const Case &c : cases) EXPECT_EQ(Open(c.path), c.rendered) << c.path;

    // A path whose only dot is its first character is not rendered.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(Media::dir->Path());
    std::filesystem::copy_file(Media::avi(), ".avi", std::filesystem::copy_options::overwrite_existing);
    EXPECT_FALSE(Open(".avi"));
    std::filesystem::current_path(cwd);

    // Without instance nothing renders.
    b.DeleteFilterGraph();
    EXPECT_FALSE(b.RenderFile(Media::avi().c_str()));
    EXPECT_FALSE(b.RenderFile2(Media::avi().c_str()));
}

TEST_F(Exports, BadFilesAreRefusedCleanly) {
    NEED_GRAPH();
    const std::string empty = Media::dir->File("empty.avi");
    const std::string garbage = Media::dir->File("garbage.mp4");
    const std::string cut = Media::dir->File("cut.avi");
    Shell("truncate -s 0 '" + empty + "'");
    Shell("head -c 200000 /dev/urandom > '" + garbage + "'");
    Shell("head -c 3000 '" + Media::avi() + "' > '" + cut + "'");
    for (const std::string &path : {empty, garbage}) EXPECT_FALSE(Open(path)) << path;
    // A file cut short either fails to render or plays to a clean end.
    if (Open(cut)) {
        double d = 0;
        b.GetDuration(&d);
        EXPECT_TRUE(std::isfinite(d));
    }
}

TEST_F(Exports, LongPathsBeyondTheOldLimitRender) {
    NEED_GRAPH();
    std::string deep = Media::dir->Path();
    while (deep.size() < 400) deep += "/a_rather_long_folder_name";
    std::filesystem::create_directories(deep);
    const std::string path = deep + "/clip.avi";
    std::filesystem::copy_file(Media::avi(), path, std::filesystem::copy_options::overwrite_existing);
    EXPECT_TRUE(Open(path));
}

TEST_F(Exports, MovNeedsTheQuickTimeSource) {
    NEED_GRAPH();
    if (!Media::haveQuickTime) GTEST_SKIP() << "qtalt.ax is not built in " << BinDir();
    EXPECT_TRUE(Open(Media::mov()));
    double d = 0;
    EXPECT_TRUE(b.GetDuration(&d));
    EXPECT_NEAR(d, 2.0, 0.2);
    if (Media::haveEncoder) {
        EXPECT_TRUE(b.ReplaceRenderWithMpeg2Enc(0));
    }
    // A .mov the source cannot open is not reported as rendered.
    const std::string garbage = Media::dir->File("garbage.mov");
    Shell("head -c 50000 /dev/urandom > '" + garbage + "'");
    EXPECT_FALSE(Open(garbage));
    EXPECT_FALSE(Open(Media::dir->File("missing.mov")));
}

TEST_F(Exports, RealMediaThroughThePreAddedFilters) {
    NEED_GRAPH();
    if (!Media::haveRealMedia) GTEST_SKIP() << "rmsp.ax is not built in " << BinDir();
    EXPECT_TRUE(Open(Media::rm()));
    std::int32_t w = 0, h = 0;
    EXPECT_TRUE(b.GetVideoSize(&w, &h));
    EXPECT_EQ(w, 320);
    if (Media::haveEncoder) {
        EXPECT_TRUE(b.ReplaceRenderWithMpeg2Enc(0));
    }
}

TEST_F(Exports, DurationAndVideoSizeOfRealFiles) {
    NEED_GRAPH();
    for (const std::string &path : {Media::avi(), Media::mpg(), Media::wmv()}) {
        ASSERT_TRUE(Open(path)) << path;
        double d = 0;
        EXPECT_TRUE(b.GetDuration(&d)) << path;
        EXPECT_NEAR(d, ProbeDouble(path, "", "duration"), 0.15) << path;
        std::int32_t w = 0, h = 0;
        EXPECT_TRUE(b.GetVideoSize(&w, &h)) << path;
        EXPECT_EQ(w, 320) << path;
        EXPECT_EQ(h, 240) << path;
    }
    // The second instance answers for its own file only.
    ASSERT_TRUE(b.Create2());
    ASSERT_TRUE(b.RenderFile2(Media::audioOnly().c_str()));
    double d2 = 0;
    EXPECT_TRUE(b.GetDuration2(&d2));
    EXPECT_NEAR(d2, 2.0, 0.15);
}

TEST_F(Exports, RunPauseStopAndSeeking) {
    NEED_GRAPH();
    ASSERT_TRUE(Open(Media::avi()));
    EXPECT_FALSE(b.IsRunning());
    EXPECT_TRUE(b.Pause());
    EXPECT_TRUE(b.Pause());
    EXPECT_TRUE(b.SetCurrentPosition(1.0));
    EXPECT_TRUE(b.Run());
    EXPECT_TRUE(b.Run());
    EXPECT_TRUE(b.IsRunning());
    double pos = -1;
    EXPECT_TRUE(b.GetCurrentPosition(&pos));
    EXPECT_GE(pos, 0.0);
    EXPECT_LE(pos, 2.1);
    EXPECT_TRUE(b.Stop());
    EXPECT_FALSE(b.IsRunning());
    EXPECT_TRUE(b.Stop());
    EXPECT_FALSE(b.IsRunning2());
}

TEST_F(Exports, VideoWindowWithoutOwnerAndForwardedMessages) {
    NEED_GRAPH();
    ASSERT_TRUE(Open(Media::avi()));
    EXPECT_TRUE(b.SetDisplayWindow(nullptr));
    EXPECT_TRUE(b.ResizeVideoWindow(0, 0, 320, 240));
    EXPECT_TRUE(b.NotifyOwnerMessage(nullptr, 3, 0, 0));
    EXPECT_FALSE(b.SetDisplayWindow2(nullptr));  // no second instance
}

namespace {
// A window system with one 640x360 window whose video surfaces record what
// the renderer does with them.
class RecordingWindows : public platform::WindowSystem {
public:
    struct Surface : platform::VideoSurface {
        mutable std::mutex lock;
        HWND owner = nullptr;
        bool visible = false;
        RECT geometry{};
        int presented = 0, lastWidth = 0, lastHeight = 0;
        void SetOwner(HWND o) override { std::lock_guard<std::mutex> g(lock); owner = o; }
        HWND Owner() const override { std::lock_guard<std::mutex> g(lock); return owner; }
        void SetVisible(bool v) override { std::lock_guard<std::mutex> g(lock); visible = v; }
        bool Visible() const override { std::lock_guard<std::mutex> g(lock); return visible; }
        void SetGeometry(int l, int t, int w, int h) override {
            std::lock_guard<std::mutex> g(lock);
            geometry = RECT{l, t, l + w, t + h};
        }
        RECT Geometry() const override { std::lock_guard<std::mutex> g(lock); return geometry; }
        // Pictures presented so far and the size of the last one.
        int Presented(int *w = nullptr, int *h = nullptr) const {
            std::lock_guard<std::mutex> g(lock);
            if (w) *w = lastWidth;
            if (h) *h = lastHeight;
            return presented;
        }
        void Present(const platform::VideoPicture &p) override {
            std::lock_guard<std::mutex> g(lock);
            ++presented;
            lastWidth = p.width;
            lastHeight = p.height;
        }
    };
    static HWND Window() { return reinterpret_cast<HWND>(0x5150); }
    bool PostMessage(HWND, UINT, WPARAM, LPARAM) override { return true; }
    bool GetClientRect(HWND w, RECT *r) override {
        if (w != Window()) return false;
        *r = RECT{0, 0, 640, 360};
        return true;
    }
    bool IsWindow(HWND w) override { return w == Window(); }
    std::unique_ptr<platform::VideoSurface> CreateVideoSurface() override {
        auto s = std::make_unique<Surface>();
        std::lock_guard<std::mutex> g(lock_);
        surfaces_.push_back(s.get());
        return s;
    }
    Surface *Last() {
        std::lock_guard<std::mutex> g(lock_);
        return surfaces_.empty() ? nullptr : surfaces_.back();
    }

private:
    std::mutex lock_;
    std::vector<Surface *> surfaces_;
};
}  // namespace

TEST_F(Exports, VideoIsPlacedInTheOwnerWindow) {
    NEED_GRAPH();
    RecordingWindows windows;
    platform::InstallWindowSystem(&windows);
    ASSERT_TRUE(Open(Media::avi()));
    RecordingWindows::Surface *surface = windows.Last();
    ASSERT_NE(surface, nullptr) << "the video renderer made no surface";
    EXPECT_TRUE(b.SetDisplayWindow(RecordingWindows::Window()));
    EXPECT_EQ(surface->Owner(), RecordingWindows::Window());
    EXPECT_TRUE(surface->Visible());
    RECT r = surface->Geometry();
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 360);
    EXPECT_TRUE(b.ResizeVideoWindow(10, 20, 300, 200));
    r = surface->Geometry();
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right, 310);
    EXPECT_EQ(r.bottom, 220);
    EXPECT_TRUE(surface->Visible());  // visibility is restored
    ASSERT_TRUE(b.Pause());
    const std::string ignored = Media::dir->File("wait.bmp");
    b.SnapshotBitmap(ignored.c_str());  // returns once the paused picture is there
    for (int i = 0; i < 100 && surface->Presented() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int w = 0, h = 0;
    EXPECT_GT(surface->Presented(&w, &h), 0);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    // The surface goes with the renderer; restore the headless default.
    b.Stop();
    b.DeleteFilterGraph();
    platform::InstallWindowSystem(nullptr);
}

TEST_F(Exports, SnapshotOfThePausedPicture) {
    NEED_GRAPH();
    ASSERT_TRUE(Open(Media::avi()));
    const std::string bmp = Media::dir->File("snap.bmp");
    ASSERT_TRUE(b.Pause());
    ASSERT_TRUE(b.SnapshotBitmap(bmp.c_str()));
    auto bytes = ReadFileBytes(bmp);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(LE32(bytes, 2), bytes.size());  // image size + 14
    const std::uint16_t bits = LE16(bytes, 14 + 14);
    EXPECT_EQ(LE32(bytes, 10), bits <= 8 ? 14 + 40 + 4u * (1u << bits) : 54u);
    EXPECT_EQ(Probe(bmp, "v:0", "width"), "320");
    EXPECT_EQ(Probe(bmp, "v:0", "height"), "240");
    EXPECT_FALSE(b.SnapshotBitmap(Media::dir->File("no/such/folder/x.bmp").c_str()));

    // After a seek of the paused graph the snapshot shows the new position.
    ASSERT_TRUE(b.SetCurrentPosition(1.5));
    const std::string later = Media::dir->File("later.bmp");
    ASSERT_TRUE(b.SnapshotBitmap(later.c_str()));
    auto laterBytes = ReadFileBytes(later);
    ASSERT_EQ(laterBytes.size(), bytes.size());
    EXPECT_NE(laterBytes, bytes);
}

// ---- conversion ----------------------------------------------------------------------
namespace {
int g_completions = 0;
std::int32_t BRANTEL_API OnComplete() {
    ++g_completions;
    return 1;
}

Mpeg2Parameter Record(std::int32_t outputType, const std::string &out) {
    static std::string keep;
    keep = out;
    Mpeg2Parameter p;
    std::memset(&p, 0, sizeof p);
    p.SourcePath = "";
    p.OutputPath = keep.c_str();
    p.OutputType = outputType;
    p.FrameRateMode = 2;
    p.AspectRatio = 1;
    p.VbrType = 1;
    p.ChannelMode = 2;
    p.VideoBitsPerSec = 400000;
    p.AudioBitsPerSec = 128000;
    p.Reserved1 = "";
    p.Reserved2 = "";
    p.Title = "brantel test";
    p.MaxFileSize = static_cast<std::int32_t>(3145728000u);
    p.FrameRate = 25;
    p.FrameRateBase = 1;
    p.FrameWidth = 176;
    p.FrameHeight = 144;
    p.OutputQuality = 6;
    p.Reversal = 1;
    p.SampleRate = 44100;
    p.VolumeScale = 256;
    p.ThreeGpSize = 3;
    return p;
}
}  // namespace

class Conversion : public Exports {
protected:
    HWND notify = reinterpret_cast<HWND>(0x4242);

    // The controller's steps up to Run; then HandleEvent answers the posted
    // notifications until the completion callback arrives.
    bool Convert(const std::string &source, std::uint32_t mode, const Mpeg2Parameter &record, double start,
                 double stop, std::string *problem, bool checkLength = true) {
        g_completions = 0;
        platform::TakeHeadlessPostedMessages();
        if (!Open(source)) return *problem = "RenderFile", false;
        b.SetNotifyWindow(notify);
        b.Set_CallBackEC_COMPLETE(&OnComplete);
        if (!b.ReplaceRenderWithMpeg2Enc(mode)) return *problem = "ReplaceRenderWithMpeg2Enc", false;
        if (!b.SetMpeg2Parameter(&record)) return *problem = "SetMpeg2Parameter", false;
        if (!b.SetStartStopPosition(start, stop)) return *problem = "SetStartStopPosition", false;
        if (!b.Run()) return *problem = "Run", false;
        double last = 0;
        bool notified = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (g_completions == 0 && std::chrono::steady_clock::now() < deadline) {
            for (const auto &m : platform::TakeHeadlessPostedMessages())
                if (m.window == notify && m.message == 1044) notified = true;
            double pos = 0;
            if (b.GetCurrentPosition(&pos)) {
                EXPECT_GE(pos + 1e-9, last) << "encoder position went back";
                last = pos;
            }
            b.HandleEvent(0, 0);
            if (g_completions == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (g_completions != 1) return *problem = "no completion callback", false;
        // The event may be taken before its notification is posted.
        for (int i = 0; i < 50 && !notified; ++i) {
            for (const auto &m : platform::TakeHeadlessPostedMessages())
                if (m.window == notify && m.message == 1044) notified = true;
            if (!notified) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(notified) << "message 1044 was not posted to the notify window";
        // The start snaps to the key frame at or before it; the encoder
        // counts from there (a source that ends early stops sooner).
        EXPECT_LE(last, stop - KeyFrameAtOrBefore(source, start) + 0.3);
        if (checkLength) {
            EXPECT_NEAR(last, stop - KeyFrameAtOrBefore(source, start), 0.3);
        }
        b.Stop();  // writes the trailer
        b.SetNotifyWindow(nullptr);
        b.DeleteFilterGraph();
        return true;
    }
};

TEST_F(Conversion, VideoAndAudioToMp4WithinTheTrimRange) {
    NEED_ENCODER();
    const std::string out = Media::dir->File("out.mp4");
    std::string problem;
    ASSERT_TRUE(Convert(Media::avi(), 0, Record(6, out), 0.7, 1.7, &problem)) << problem;
    EXPECT_EQ(Probe(out, "v:0", "codec_name"), "mpeg4");
    EXPECT_EQ(Probe(out, "a:0", "codec_name"), "aac");
    EXPECT_EQ(Probe(out, "v:0", "width"), "176");
    EXPECT_EQ(Probe(out, "v:0", "height"), "144");
    EXPECT_EQ(Probe(out, "v:0", "r_frame_rate"), "25/1");
    EXPECT_EQ(Probe(out, "tags", "title"), "brantel test");
    EXPECT_NEAR(ProbeDouble(out, "", "duration"), 1.7 - KeyFrameAtOrBefore(Media::avi(), 0.7), 0.25);
}

TEST_F(Conversion, OnlyTheLowByteSelectsTheMode) {
    NEED_ENCODER();
    const std::string out = Media::dir->File("out256.avi");
    std::string problem;
    ASSERT_TRUE(Convert(Media::mpg(), 256, Record(3, out), 0.0, 1.0, &problem)) << problem;
    EXPECT_EQ(Probe(out, "v:0", "codec_name"), "mpeg4");
    EXPECT_EQ(Probe(out, "a:0", "codec_name"), "mp3");
}

TEST_F(Conversion, AudioOnlyModeLeavesTheVideoToTheNullRenderer) {
    NEED_ENCODER();
    const std::string out = Media::dir->File("music.mp3");
    std::string problem;
    ASSERT_TRUE(Convert(Media::avi(), 1, Record(19, out), 0.0, 1.5, &problem)) << problem;
    EXPECT_EQ(Probe(out, "a:0", "codec_name"), "mp3");
    EXPECT_EQ(Probe(out, "v:0", "codec_name"), "");
    EXPECT_NEAR(ProbeDouble(out, "", "duration"), 1.5, 0.3);
}

TEST_F(Conversion, RunningGraphIsStoppedBeforeTheRewiring) {
    NEED_ENCODER();
    ASSERT_TRUE(Open(Media::avi()));
    ASSERT_TRUE(b.Run());
    EXPECT_TRUE(b.ReplaceRenderWithMpeg2Enc(0));
    EXPECT_FALSE(b.IsRunning());
}

TEST_F(Conversion, SourceCutOffHalfWayStillCompletes) {
    NEED_ENCODER();
    const std::string cut = Media::dir->File("half.avi");
    const auto size = std::filesystem::file_size(Media::avi());
    std::filesystem::copy_file(Media::avi(), cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, size / 2);
    const std::string out = Media::dir->File("half.mp4");
    std::string problem;
    // Either the cut file is refused up front, or the conversion ends with
    // the completion callback and a playable (shorter) output.
    if (Convert(cut, 0, Record(6, out), 0.0, 2.0, &problem, false)) {
        EXPECT_EQ(Probe(out, "v:0", "codec_name"), "mpeg4");
        EXPECT_LT(ProbeDouble(out, "", "duration"), 2.0);
    } else {
        EXPECT_NE(problem, "no completion callback") << "the conversion of a cut file never ended";
    }
}

TEST_F(Conversion, RefusedSourcesAndSecondRewiring) {
    NEED_ENCODER();
    for (const std::string &path : {Media::audioOnly(), Media::videoOnly()}) {
        for (std::uint32_t mode : {0u, 1u}) {
            ASSERT_TRUE(Open(path)) << path;
            EXPECT_FALSE(b.ReplaceRenderWithMpeg2Enc(mode)) << path << " mode " << mode;
        }
    }
    ASSERT_TRUE(Open(Media::avi()));
    EXPECT_TRUE(b.ReplaceRenderWithMpeg2Enc(0));
    EXPECT_FALSE(b.ReplaceRenderWithMpeg2Enc(0));
    ASSERT_TRUE(Open(Media::avi()));
    EXPECT_TRUE(b.ReplaceRenderWithMpeg2Enc(1));
    EXPECT_FALSE(b.ReplaceRenderWithMpeg2Enc(1));
}

TEST_F(Conversion, SettingsNeedTheEncoderAndItsVersionText) {
    NEED_ENCODER();
    ASSERT_TRUE(Open(Media::avi()));
    const Mpeg2Parameter record = Record(6, Media::dir->File("unused.mp4"));
    char version[32];
    std::memset(version, 'x', sizeof version);
    EXPECT_FALSE(b.SetMpeg2Parameter(&record));  // before the rewiring
    EXPECT_FALSE(b.GetVersionOfFFEncoder(version));
    ASSERT_TRUE(b.ReplaceRenderWithMpeg2Enc(0));
    EXPECT_TRUE(b.SetMpeg2Parameter(&record));
    EXPECT_TRUE(b.GetVersionOfFFEncoder(version));
    EXPECT_STREQ(version, "Version2008101A)");
    EXPECT_EQ(version[16], '\0');
    EXPECT_EQ(version[17], 'x');  // exactly 17 bytes written
    double pos = -1;
    EXPECT_TRUE(b.GetCurrentPosition(&pos));  // from the encoder now
    EXPECT_EQ(pos, 0.0);
}

// ---- frame capture ------------------------------------------------------------------------
TEST_F(Exports, GrabberKeepsItsFrameWhenAGrabFails) {
    NEED_DETECTOR();
    ASSERT_EQ(b.GrabAndDrawBitMap_IsCreated(), 0);
    ASSERT_NE(b.GrabAndDrawBitMap_Create(), nullptr);
    EXPECT_EQ(b.GrabAndDrawBitMap_IsCreated(), 1);
    EXPECT_TRUE(b.GrabAndDrawBitMap_SetDisplayWindow(reinterpret_cast<HWND>(0x99), 160, 120, 4, 4));
    EXPECT_TRUE(b.GrabAndDrawBitMap_Draw());  // nothing yet: paints nothing
    EXPECT_TRUE(b.GrabAndDrawBitMap_Grab(Media::avi().c_str(), 1.0));
    EXPECT_FALSE(b.GrabAndDrawBitMap_Grab(Media::audioOnly().c_str(), 1.0));
    EXPECT_FALSE(b.GrabAndDrawBitMap_Grab(Media::dir->File("missing.avi").c_str(), 1.0));
    EXPECT_TRUE(b.GrabAndDrawBitMap_Draw());
    EXPECT_FALSE(b.GrabAndDrawBitMap_Grab2(Media::avi().c_str(), 1.0));  // no second grabber
    b.GrabAndDrawBitMap_Free();
    EXPECT_EQ(b.GrabAndDrawBitMap_IsCreated(), 0);
    EXPECT_FALSE(b.GrabAndDrawBitMap_Draw());
}

TEST_F(Exports, FramesPastTheEndDoNotHang) {
    NEED_GRAPH();
    NEED_DETECTOR();
    const std::string bmp = Media::dir->File("late.bmp");
    const auto t0 = std::chrono::steady_clock::now();
    b.GrabFrameFromMovie(Media::avi().c_str(), bmp.c_str(), 60.0);
    b.GrabFrameFromMovie_2(Media::avi().c_str(), bmp.c_str(), 60.0);
    ASSERT_NE(b.GrabAndDrawBitMap_Create2(), nullptr);
    b.GrabAndDrawBitMap_SetDisplayWindow2(nullptr, 160, 120, 0, 0);
    b.GrabAndDrawBitMap_Grab2(Media::avi().c_str(), 60.0);
    b.GrabAndDrawBitMap_Free2();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
}

TEST_F(Exports, FramesFromMoviesAsBitmapFiles) {
    NEED_GRAPH();
    NEED_DETECTOR();
    const std::string small = Media::dir->File("small.bmp");
    const std::string full = Media::dir->File("full.bmp");
    EXPECT_TRUE(b.GrabFrameFromMovie(Media::avi().c_str(), small.c_str(), 1.0));
    EXPECT_EQ(Probe(small, "v:0", "width"), "160");
    EXPECT_EQ(Probe(small, "v:0", "height"), "120");
    EXPECT_TRUE(b.GrabFrameFromMovie_2(Media::avi().c_str(), full.c_str(), 1.0));
    EXPECT_EQ(Probe(full, "v:0", "width"), "320");
    EXPECT_EQ(Probe(full, "v:0", "height"), "240");
    EXPECT_FALSE(b.IsGraphCreated());  // the temporary graph took no slot
    EXPECT_FALSE(b.GrabFrameFromMovie(Media::audioOnly().c_str(), small.c_str(), 1.0));
    EXPECT_FALSE(b.GrabFrameFromMovie_2(Media::audioOnly().c_str(), full.c_str(), 1.0));
}

TEST_F(Exports, QuickInfoOfTheFirstVideoStream) {
    NEED_DETECTOR();
    std::int32_t w = -1, h = -1;
    EXPECT_TRUE(b.GetVideInfoQuick(Media::avi().c_str(), 0, &w, &h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    w = h = -1;
    EXPECT_FALSE(b.GetVideInfoQuick(Media::audioOnly().c_str(), 0, &w, &h));
    EXPECT_FALSE(b.GetVideInfoQuick(Media::dir->File("missing.avi").c_str(), 0, &w, &h));
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
}

// ---- diagnostics ---------------------------------------------------------------------------
TEST_F(Exports, ObjectTableEntryLivesWithTheInstance) {
    NEED_GRAPH();
    const int before = RunningObjectTableCount();
    b.AddToObjectTable();  // no instance: nothing
    EXPECT_EQ(RunningObjectTableCount(), before);
    ASSERT_TRUE(b.Create());
    b.AddToObjectTable();
    b.AddToObjectTable();  // replaces its own entry
    EXPECT_EQ(RunningObjectTableCount(), before + 1);
    EXPECT_TRUE(b.DeleteFilterGraph());
    EXPECT_EQ(RunningObjectTableCount(), before);
}

TEST_F(Exports, SelfTestPlaysTheFixedFileToItsEnd) {
    NEED_GRAPH();
    const char *oldHome = std::getenv("HOME");
    const std::string saved = oldHome ? oldHome : "";
    TempDir home;
    setenv("HOME", home.Path().c_str(), 1);
    // Without the file it returns at once.
    auto t0 = std::chrono::steady_clock::now();
    b.DoInOneStep();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    std::filesystem::create_directories(home.File("Temp_Video"));
    ASSERT_TRUE(MakeAudioVideo(home.File("Temp_Video/bobo.mpg"), 1.0, "-c:v mpeg1video -c:a mp2"));
    t0 = std::chrono::steady_clock::now();
    b.DoInOneStep();
    const auto took = std::chrono::steady_clock::now() - t0;
    if (oldHome) setenv("HOME", saved.c_str(), 1); else unsetenv("HOME");
    // Played in real time, so it took about the clip's length.
    EXPECT_GE(took, std::chrono::milliseconds(700));
    EXPECT_LT(took, std::chrono::seconds(30));
}
