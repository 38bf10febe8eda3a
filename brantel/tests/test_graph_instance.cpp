// GraphInstance and the export table over a fake graph: the state rules,
// position conversions, the video window, event draining, snapshots and the
// settings hand-over, checked call by call.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "brantel/brantel.h"
#include "contract/mpeg2parameter.h"
#include "fake_graph.h"
#include "fixtures.h"
#include "frame_grabber.h"
#include "graph_instance.h"
#include "module.h"

using brantel::GraphInstance;
using brantel_test::FakeGraph;

namespace {

// Puts an instance over `graph` into slot `which` (as Create would, minus
// the real graph manager).
GraphInstance *Install(int which, FakeGraph &graph) {
    GraphInstance *&slot = brantel::Slot(which);
    delete slot;
    slot = new GraphInstance();
    EXPECT_TRUE(slot->AttachGraph(&graph));
    return slot;
}

class ExportsOverFake : public ::testing::Test {
protected:
    void TearDown() override {
        DeleteFilterGraph();
        DeleteFilterGraph2();
    }
    FakeGraph first, second;
};

}  // namespace

TEST(GraphPlayer, AttachAcquiresEveryControlAndMediaTime) {
    FakeGraph graph;
    GraphInstance g;
    EXPECT_TRUE(g.AttachGraph(&graph));
    EXPECT_TRUE(g.HasGraph());
    EXPECT_TRUE(graph.timeFormatMediaTime);
    const long held = graph.refs;
    EXPECT_GE(held, 8);  // the test's own + graph builder + six interfaces
    // Attaching nothing releases the graph and every interface.
    EXPECT_TRUE(g.AttachGraph(nullptr));
    EXPECT_FALSE(g.HasGraph());
    EXPECT_EQ(graph.refs, 1);
}

TEST_F(ExportsOverFake, StateRequestsSkipTheControlWhenAlreadyThere) {
    struct Case {
        FILTER_STATE initial;
        bool (*op)();
        const char *name;
        int FakeGraph::*counter;
        FILTER_STATE after;
    };
    const Case cases[] = {
        {State_Running, &::Run, "Run", &FakeGraph::runCalls, State_Running},
        {State_Paused, &Pause, "Pause", &FakeGraph::pauseCalls, State_Paused},
        {State_Stopped, &Stop, "Stop", &FakeGraph::stopCalls, State_Stopped},
    };
    for (const Case &c : cases) {
        FakeGraph graph;
        Install(1, graph);
        graph.state = c.initial;
        EXPECT_TRUE(c.op()) << c.name;
        EXPECT_EQ(graph.*(c.counter), 0) << c.name << " called the control although already there";
        EXPECT_EQ(graph.lastStateTimeout, 10) << c.name;
        // From another state the control is asked once.
        graph.state = c.initial == State_Stopped ? State_Running : State_Stopped;
        EXPECT_TRUE(c.op()) << c.name;
        EXPECT_EQ(graph.*(c.counter), 1) << c.name;
        EXPECT_EQ(graph.state, c.after);
        DeleteFilterGraph();
    }
}

TEST_F(ExportsOverFake, FailedStateQueryCountsAsNotThereAndFailuresReport) {
    Install(1, first);
    first.state = State_Running;
    first.stateResult = E_FAIL;
    EXPECT_FALSE(IsRunning());
    EXPECT_TRUE(::Run());  // the query failed, so the control is asked
    EXPECT_EQ(first.runCalls, 1);
    first.controlResult = E_FAIL;
    EXPECT_FALSE(Pause());
    // An intermediate state counts as the state being changed to.
    first.stateResult = VFW_S_STATE_INTERMEDIATE;
    first.state = State_Paused;
    EXPECT_TRUE(Pause());
    EXPECT_EQ(first.pauseCalls, 1);
}

TEST_F(ExportsOverFake, WithoutInstanceEverythingIsFalse) {
    EXPECT_FALSE(IsGraphCreated());
    EXPECT_FALSE(IsRunning());
    EXPECT_FALSE(DeleteFilterGraph());
    EXPECT_FALSE(::Run());
    EXPECT_FALSE(Pause2());
    double d = 7;
    EXPECT_FALSE(GetDuration(&d));
    EXPECT_EQ(d, 7);
    EXPECT_FALSE(SetCurrentPosition(1.0));
    EXPECT_FALSE(SetNotifyWindow(nullptr));
    EXPECT_FALSE(Set_CallBackEC_COMPLETE(nullptr));
    EXPECT_FALSE(NotifyOwnerMessage(nullptr, 3, 0, 0));
    EXPECT_FALSE(SnapshotBitmap("/tmp/x.bmp"));
    EXPECT_EQ(HandleEvent(0, 0), 0);
    EXPECT_FALSE(RenderFileSet(1, 2));
}

TEST_F(ExportsOverFake, DeleteStopsARunningGraphAndEmptiesTheSlot) {
    Install(1, first);
    first.state = State_Running;
    EXPECT_TRUE(IsGraphCreated());
    EXPECT_TRUE(DeleteFilterGraph());
    EXPECT_EQ(first.stopCalls, 1);
    EXPECT_FALSE(IsGraphCreated());
    EXPECT_FALSE(::Run());
    EXPECT_EQ(first.refs, 1);  // every reference was given back
    EXPECT_FALSE(DeleteFilterGraph());
}

TEST_F(ExportsOverFake, TheTwoInstancesAreIndependent) {
    Install(1, first);
    Install(2, second);
    EXPECT_TRUE(Pause2());
    EXPECT_EQ(second.pauseCalls, 1);
    EXPECT_EQ(first.pauseCalls, 0);
    EXPECT_TRUE(SetCurrentPosition2(2.0));
    EXPECT_TRUE(first.setCurrent.empty());
    ASSERT_EQ(second.setCurrent.size(), 1u);
    EXPECT_TRUE(DeleteFilterGraph2());
    EXPECT_TRUE(IsGraphCreated());
    EXPECT_FALSE(IsGraphCreated2());
}

TEST_F(ExportsOverFake, PositionsTruncateTowardZeroWithKeyFrameFlags) {
    Install(1, first);
    EXPECT_TRUE(SetCurrentPosition(-0.5));
    EXPECT_TRUE(SetCurrentPosition(1.23456789));
    ASSERT_EQ(first.setCurrent.size(), 2u);
    EXPECT_EQ(first.setCurrent[0], -5000000);
    EXPECT_EQ(first.setCurrent[1], 12345678);
    EXPECT_EQ(first.currentFlags[0], 5u);
    EXPECT_EQ(first.stopFlags[0], 0u);  // the stop is left alone
    EXPECT_EQ(first.setStop[0], -1);

    EXPECT_TRUE(SetStartStopPosition(12.5, 30.0));
    EXPECT_EQ(first.setCurrent.back(), 125000000);
    EXPECT_EQ(first.setStop.back(), 300000000);
    EXPECT_EQ(first.currentFlags.back(), 5u);
    EXPECT_EQ(first.stopFlags.back(), 5u);

    first.duration = 12345678;
    first.position = -5000000;
    double seconds = 0;
    EXPECT_TRUE(GetDuration(&seconds));
    EXPECT_DOUBLE_EQ(seconds, 1.2345678);
    EXPECT_TRUE(GetCurrentPosition(&seconds));
    EXPECT_DOUBLE_EQ(seconds, -0.5);
    EXPECT_FALSE(GetDuration(nullptr));

    first.seekResult = E_FAIL;
    EXPECT_FALSE(SetCurrentPosition(1.0));
    EXPECT_FALSE(SetStartStopPosition(1.0, 2.0));
    EXPECT_FALSE(GetDuration(&seconds));
}

namespace {
// A window system that knows one window with a 640x360 client area.
class OneWindow : public platform::WindowSystem {
public:
    bool PostMessage(HWND, UINT, WPARAM, LPARAM) override { return true; }
    bool GetClientRect(HWND w, RECT *r) override {
        if (w != Handle()) return false;
        *r = RECT{0, 0, 640, 360};
        return true;
    }
    bool IsWindow(HWND w) override { return w == Handle(); }
    std::unique_ptr<platform::VideoSurface> CreateVideoSurface() override { return nullptr; }
    static HWND Handle() { return reinterpret_cast<HWND>(0x1234); }
};
}  // namespace

TEST_F(ExportsOverFake, DisplayWindowFillsTheClientAreaAsAChild) {
    OneWindow windows;
    platform::InstallWindowSystem(&windows);
    Install(1, first);
    EXPECT_TRUE(SetDisplayWindow(OneWindow::Handle()));
    platform::InstallWindowSystem(nullptr);
    const std::vector<std::string> expected = {"Visible=0", "Owner", "Position", "Style", "Drain", "Visible=-1"};
    EXPECT_EQ(first.windowCalls, expected);
    EXPECT_EQ(first.owner, ToOAHWND(OneWindow::Handle()));
    EXPECT_EQ(first.drain, ToOAHWND(OneWindow::Handle()));
    EXPECT_EQ(first.width, 640);
    EXPECT_EQ(first.height, 360);
    EXPECT_EQ(static_cast<std::uint32_t>(first.style), WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
}

TEST_F(ExportsOverFake, NullDisplayWindowStaysInvisibleWithoutOwner) {
    Install(1, first);
    first.visible = OATRUE;
    first.owner = 99;
    EXPECT_TRUE(SetDisplayWindow(nullptr));
    EXPECT_EQ(first.visible, OAFALSE);
    EXPECT_EQ(first.owner, 0);
    for (const auto &call : first.windowCalls) EXPECT_NE(call, "Visible=-1");
}

TEST_F(ExportsOverFake, ResizeSetsTheFourValuesAndRestoresVisibility) {
    Install(1, first);
    for (long before : {OATRUE, OAFALSE}) {
        first.windowCalls.clear();
        first.visible = before;
        EXPECT_TRUE(ResizeVideoWindow(5, 6, 300, 200));
        const std::vector<std::string> expected = {"Visible=0", "Left=5", "Top=6", "Width=300", "Height=200",
                                                   "Visible=" + std::to_string(before)};
        EXPECT_EQ(first.windowCalls, expected);
    }
    // Unknown visibility counts as visible.
    first.visibleReadResult = E_FAIL;
    first.visible = OAFALSE;
    EXPECT_TRUE(ResizeVideoWindow(0, 0, 1, 1));
    EXPECT_EQ(first.visible, OATRUE);
}

TEST_F(ExportsOverFake, OwnerMessagesAndVideoSizePassThrough) {
    Install(1, first);
    EXPECT_TRUE(NotifyOwnerMessage(reinterpret_cast<HWND>(0x55), 3, 0x10, 0x20));
    EXPECT_EQ(first.ownerMessage, (std::vector<LONG_PTR>{0x55, 3, 0x10, 0x20}));
    std::int32_t w = -1, h = -1;
    EXPECT_FALSE(GetVideoSize(&w, &h));  // no video renderer
    EXPECT_EQ(w, -1);
    first.videoWidth = 320;
    first.videoHeight = 240;
    EXPECT_TRUE(GetVideoSize(&w, &h));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
}

// ---- events ------------------------------------------------------------------
namespace {
int g_callbackCalls = 0;
std::int32_t BRANTEL_API CountingCallback() { return ++g_callbackCalls * 100; }
std::int32_t BRANTEL_API DeletingCallback() {
    ++g_callbackCalls;
    Stop();
    DeleteFilterGraph();
    return 7;
}
}  // namespace

TEST_F(ExportsOverFake, NotifyWindowUsesMessage1044AndInstanceZero) {
    Install(1, first);
    EXPECT_TRUE(SetNotifyWindow(reinterpret_cast<HWND>(0x77)));
    EXPECT_EQ(first.notifyWindow, 0x77);
    EXPECT_EQ(first.notifyMessage, 1044);
    EXPECT_EQ(first.notifyInstance, 0);
    EXPECT_TRUE(SetNotifyWindow(nullptr));
    EXPECT_EQ(first.notifyWindow, 0);
}

TEST_F(ExportsOverFake, HandleEventDrainsUpToTheFirstCompletion) {
    Install(1, first);
    g_callbackCalls = 0;
    EXPECT_TRUE(Set_CallBackEC_COMPLETE(&CountingCallback));

    // Empty queue: nothing happens.
    EXPECT_EQ(HandleEvent(0, 0), 0);
    EXPECT_EQ(g_callbackCalls, 0);

    // A state change, a completion, an error and a second completion.
    first.events = {{EC_PAUSED, 0, 0}, {EC_COMPLETE, 0, 0}, {EC_ERRORABORT, E_FAIL, 0}, {EC_COMPLETE, 0, 0}};
    EXPECT_EQ(HandleEvent(0, 0), 100);  // the callback's result
    EXPECT_EQ(g_callbackCalls, 1);
    EXPECT_EQ(first.freedEvents, 2);
    EXPECT_EQ(first.events.size(), 2u);  // left for the next notification
    EXPECT_EQ(HandleEvent(0, 0), 200);
    EXPECT_EQ(g_callbackCalls, 2);
    EXPECT_EQ(first.freedEvents, 4);
    EXPECT_TRUE(first.events.empty());

    // Without callback the completion is consumed without effect.
    EXPECT_TRUE(Set_CallBackEC_COMPLETE(nullptr));
    first.events = {{EC_COMPLETE, 0, 0}};
    EXPECT_EQ(HandleEvent(0, 0), 0);
    EXPECT_EQ(g_callbackCalls, 2);
    EXPECT_TRUE(first.events.empty());
}

TEST_F(ExportsOverFake, CallbackMayDeleteTheInstance) {
    Install(1, first);
    g_callbackCalls = 0;
    Set_CallBackEC_COMPLETE(&DeletingCallback);
    first.state = State_Running;
    first.events = {{EC_COMPLETE, 0, 0}, {EC_COMPLETE, 0, 0}};
    EXPECT_EQ(HandleEvent(0, 0), 7);
    EXPECT_EQ(g_callbackCalls, 1);
    EXPECT_FALSE(IsGraphCreated());
    // A late notification finds no instance.
    EXPECT_EQ(HandleEvent(0, 0), 0);
    EXPECT_EQ(first.refs, 1);
}

TEST_F(ExportsOverFake, NewInstanceStartsWithoutCallback) {
    Install(1, first);
    g_callbackCalls = 0;
    Set_CallBackEC_COMPLETE(&CountingCallback);
    Install(1, second);
    second.events = {{EC_COMPLETE, 0, 0}};
    EXPECT_EQ(HandleEvent(0, 0), 0);
    EXPECT_EQ(g_callbackCalls, 0);
}

// ---- snapshots -------------------------------------------------------------------
TEST_F(ExportsOverFake, SnapshotWritesHeaderAndImageAsGiven) {
    brantel_test::TempDir dir;
    Install(1, first);
    const std::string path = dir.File("snap.bmp");
    EXPECT_FALSE(SnapshotBitmap(path.c_str()));  // no picture yet

    struct Case { std::uint16_t bits; std::size_t tail; std::uint32_t offset; };
    for (const Case &c : {Case{24, 320 * 240 * 3, 54}, Case{32, 16 * 4, 54}, Case{8, 1024 + 64, 1078}}) {
        first.image.assign(40 + c.tail, 0);
        first.image[0] = 40;
        first.image[14] = std::uint8_t(c.bits);
        for (std::size_t i = 40; i < first.image.size(); ++i) first.image[i] = std::uint8_t(i * 7);
        ASSERT_TRUE(SnapshotBitmap(path.c_str())) << c.bits;
        auto bytes = brantel_test::ReadFileBytes(path);
        ASSERT_EQ(bytes.size(), first.image.size() + 14);
        EXPECT_EQ(bytes[0], 'B');
        EXPECT_EQ(bytes[1], 'M');
        EXPECT_EQ(brantel_test::LE32(bytes, 2), first.image.size() + 14);
        EXPECT_EQ(brantel_test::LE32(bytes, 6), 0u);
        EXPECT_EQ(brantel_test::LE32(bytes, 10), c.offset) << c.bits;
        EXPECT_EQ(0, std::memcmp(bytes.data() + 14, first.image.data(), first.image.size()));
    }
    EXPECT_FALSE(SnapshotBitmap((dir.Path() + "/no/such/dir/x.bmp").c_str()));
    EXPECT_FALSE(SnapshotBitmap(nullptr));
}

// ---- the settings hand-over ----------------------------------------------------------
namespace {

// An encoder stand-in: a filter object that records every setter call.
class RecordingEncoder : public IBaseFilter, public IFFEncoderSettings, public IFFEncoderInfo {
public:
    std::vector<std::pair<std::string, std::string>> calls;
    bool offerSettings = true;
    LONGLONG position = 0;
    std::atomic<long> refs{1};

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IBaseFilter) *ppv = static_cast<IBaseFilter *>(this);
        else if (riid == IID_IFFEncoderSettings && offerSettings) *ppv = static_cast<IFFEncoderSettings *>(this);
        else if (riid == IID_IFFEncoderInfo) *ppv = static_cast<IFFEncoderInfo *>(this);
        else return E_NOINTERFACE;
        ++refs;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--refs); }

#define REC_NUM(name)                                                          \
    STDMETHODIMP Set##name(LONG v) override { calls.push_back({#name, std::to_string(v)}); return S_OK; } \
    STDMETHODIMP Get##name(LONG *) override { return E_NOTIMPL; }
#define REC_TEXT(name)                                                         \
    STDMETHODIMP Set##name(const char *t) override { calls.push_back({#name, t}); return S_OK; } \
    STDMETHODIMP Get##name(char *) override { return E_NOTIMPL; }
    REC_NUM(OutputType) REC_TEXT(OutputPath) REC_NUM(MaxFileSize) REC_NUM(FrameRate) REC_NUM(FrameRateBase)
    REC_NUM(FrameRateMode) REC_NUM(AspectRatio) REC_NUM(VbrType) REC_NUM(VideoBitsPerSec) REC_NUM(ChannelMode)
    REC_NUM(AudioBitsPerSec) REC_NUM(SampleRate) REC_NUM(VolumeScale) REC_NUM(FrameWidth) REC_NUM(FrameHeight)
    REC_NUM(KeepInputRatio) REC_NUM(Reversal) REC_NUM(Reserved4) REC_NUM(OutputQuality) REC_TEXT(Reserved1)
    REC_TEXT(Title) REC_TEXT(Reserved2) REC_NUM(ThreeGpSize)
#undef REC_NUM
#undef REC_TEXT

    STDMETHODIMP GetEncodedPosition(LONGLONG *p) override { *p = position; return S_OK; }
    STDMETHODIMP GetSourceDuration(LONGLONG *d) override { *d = -1; return S_OK; }
    STDMETHODIMP GetVersionText(char *buffer) override {
        std::memcpy(buffer, "Version2008101A)", 17);
        return S_OK;
    }

    STDMETHODIMP GetClassID(CLSID *c) override { *c = CLSID_FFEncoder; return S_OK; }
    STDMETHODIMP Stop() override { return S_OK; }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
    STDMETHODIMP GetState(DWORD, FILTER_STATE *s) override { *s = State_Stopped; return S_OK; }
    STDMETHODIMP SetSyncSource(IReferenceClock *) override { return S_OK; }
    STDMETHODIMP GetSyncSource(IReferenceClock **) override { return E_NOTIMPL; }
    STDMETHODIMP EnumPins(IEnumPins **) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(LPCWSTR, IPin **) override { return E_NOTIMPL; }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO *) override { return E_NOTIMPL; }
    STDMETHODIMP JoinFilterGraph(IFilterGraph *, LPCWSTR) override { return S_OK; }
    STDMETHODIMP QueryVendorInfo(LPWSTR *) override { return E_NOTIMPL; }
};

Mpeg2Parameter SampleRecord() {
    Mpeg2Parameter p;
    std::memset(&p, 0, sizeof p);
    p.SourcePath = "/src.avi";
    p.OutputPath = "/out/00001_clip.mp4";
    p.OutputType = 6;
    p.FrameRateMode = 1;
    p.AspectRatio = 2;
    p.VbrType = 3;
    p.ChannelMode = 4;
    p.VideoBitsPerSec = 500000;
    p.AudioBitsPerSec = 96000;
    p.Reserved1 = "";
    p.Reserved2 = nullptr;  // a missing text travels as empty text
    p.Title = "clip";
    p.MaxFileSize = static_cast<std::int32_t>(3145728000u);
    p.FrameRate = 30000;
    p.FrameRateBase = 1001;
    p.FrameWidth = 320;
    p.FrameHeight = 240;
    p.OutputQuality = 5;
    p.KeepInputRatio = 1;
    p.Reserved4 = 0xFF;  // a byte of all ones must arrive as 255, not -1
    p.Reversal = 1;
    p.SampleRate = 44100;
    p.VolumeScale = 512;
    p.ThreeGpSize = 3;
    return p;
}

}  // namespace

TEST_F(ExportsOverFake, SettingsAreDeliveredInOrderAndTheGraphRegistered) {
    GraphInstance *g = Install(1, first);
    RecordingEncoder encoder;
    const Mpeg2Parameter record = SampleRecord();

    // Before the rewiring there is no encoder: false, but the record is kept.
    EXPECT_FALSE(SetMpeg2Parameter(&record));
    ASSERT_NE(g->SettingsRecord(), nullptr);
    EXPECT_EQ(g->SettingsRecord()->OutputType, 6);
    EXPECT_EQ(g->SettingsRecord()->VolumeScale, 512);

    g->AdoptEncoderFilter(&encoder);
    const int tableBefore = RunningObjectTableCount();
    EXPECT_TRUE(SetMpeg2Parameter(&record));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"OutputType", "6"}, {"FrameRateMode", "1"}, {"AspectRatio", "2"}, {"VbrType", "3"},
        {"ChannelMode", "4"}, {"VideoBitsPerSec", "500000"}, {"AudioBitsPerSec", "96000"},
        {"OutputPath", "/out/00001_clip.mp4"}, {"Reserved1", ""}, {"Reserved2", ""}, {"Title", "clip"},
        {"MaxFileSize", "-1149239296"}, {"FrameRate", "30000"}, {"FrameRateBase", "1001"},
        {"FrameWidth", "320"}, {"FrameHeight", "240"}, {"OutputQuality", "5"}, {"KeepInputRatio", "1"},
        {"Reserved4", "255"}, {"Reversal", "1"}, {"SampleRate", "44100"}, {"VolumeScale", "512"},
        {"ThreeGpSize", "3"},
    };
    EXPECT_EQ(encoder.calls, expected);
    EXPECT_NE(g->ObjectTableCookie(), 0u);
    EXPECT_EQ(RunningObjectTableCount(), tableBefore + 1);
    // A second hand-over keeps one entry, not two.
    EXPECT_TRUE(SetMpeg2Parameter(&record));
    EXPECT_EQ(RunningObjectTableCount(), tableBefore + 1);

    // Encoder position and version come from the encoder once it is there.
    encoder.position = 25000000;
    double seconds = 0;
    EXPECT_TRUE(GetCurrentPosition(&seconds));
    EXPECT_DOUBLE_EQ(seconds, 2.5);
    char version[32];
    std::memset(version, 'x', sizeof version);
    EXPECT_TRUE(GetVersionOfFFEncoder(version));
    EXPECT_STREQ(version, "Version2008101A)");
    EXPECT_EQ(version[17], 'x');

    // Teardown revokes the entry and gives every reference back.
    EXPECT_TRUE(DeleteFilterGraph());
    EXPECT_EQ(RunningObjectTableCount(), tableBefore);
    EXPECT_EQ(encoder.refs, 1);
    EXPECT_EQ(first.refs, 1);
}

TEST_F(ExportsOverFake, EncoderWithoutSettingsInterfaceStillSucceeds) {
    GraphInstance *g = Install(1, first);
    RecordingEncoder encoder;
    encoder.offerSettings = false;
    g->AdoptEncoderFilter(&encoder);
    const Mpeg2Parameter record = SampleRecord();
    EXPECT_TRUE(SetMpeg2Parameter(&record));
    EXPECT_TRUE(encoder.calls.empty());
    EXPECT_FALSE(SetMpeg2Parameter(nullptr));
    EXPECT_TRUE(DeleteFilterGraph());  // before the encoder goes out of scope
    EXPECT_EQ(encoder.refs, 1);
}

TEST_F(ExportsOverFake, VersionAndEncoderPositionNeedAnEncoder) {
    Install(1, first);
    char version[17];
    EXPECT_FALSE(GetVersionOfFFEncoder(version));
    first.position = 10000000;
    double seconds = 0;
    EXPECT_TRUE(GetCurrentPosition(&seconds));  // playback position instead
    EXPECT_DOUBLE_EQ(seconds, 1.0);
}

TEST(Diagnostics, ConstantTexts) {
    EXPECT_STREQ(TestModule(), "TestModule OK!");
    EXPECT_STREQ(BCBLoadVCWin32Stdcall(), "BCB Load VC_Win32 Dll by __stdcall mode is OK!");
}

TEST(Grabbers, SlotsAndCallsWithoutGrabber) {
    EXPECT_EQ(GrabAndDrawBitMap_IsCreated(), 0);
    EXPECT_FALSE(GrabAndDrawBitMap_SetDisplayWindow(nullptr, 160, 120, 0, 0));
    EXPECT_FALSE(GrabAndDrawBitMap_Draw());
    EXPECT_FALSE(GrabAndDrawBitMap_Grab("/x.avi", 0));
    void *grabber = GrabAndDrawBitMap_Create();
    EXPECT_NE(grabber, nullptr);
    EXPECT_EQ(GrabAndDrawBitMap_IsCreated(), 1);
    EXPECT_EQ(GrabAndDrawBitMap_IsCreated2(), 0);
    // Before any grab, drawing paints nothing and reports true.
    EXPECT_TRUE(GrabAndDrawBitMap_SetDisplayWindow(reinterpret_cast<HWND>(1), 160, 120, 0, 0));
    EXPECT_TRUE(GrabAndDrawBitMap_Draw());
    GrabAndDrawBitMap_Free();
    EXPECT_EQ(GrabAndDrawBitMap_IsCreated(), 0);
    GrabAndDrawBitMap_Free();  // freeing twice is harmless
}

// ---- rendering rules over the fake graph ------------------------------------------------
TEST(RenderRules, ExtensionDecidesWhetherAndHowOftenToRender) {
    struct Case {
        const char *path;
        HRESULT result;
        bool rendered;
        std::size_t calls;
    };
    const Case cases[] = {
        {"/m/clip.avi", S_OK, true, 1},
        {"/m/CLIP.MPG", S_OK, true, 1},
        {"/m/clip.mkv", S_OK, true, 1},                    // unknown: plain render
        {"/m/clip.avi", VFW_S_PARTIAL_RENDER, false, 2},   // partial success is failure, tried twice
        {"/m/clip.asf", VFW_E_CANNOT_RENDER, false, 2},
        {"/m/clip.mkv", VFW_S_AUDIO_NOT_RENDERED, false, 1},
        {"/m/clip.wmv", S_OK, true, 1},
        {"/m/noext", S_OK, false, 0},
        {".avi", S_OK, false, 0},                           // the only dot is the first character
        {"/m/clip.", S_OK, true, 1},                        // empty extension is just unknown
    };
    for (const Case &c : cases) {
        FakeGraph graph;
        GraphInstance g;
        ASSERT_TRUE(g.AttachGraph(&graph));
        graph.renderResult = c.result;
        EXPECT_EQ(g.RenderFile(c.path), c.rendered) << c.path;
        EXPECT_EQ(graph.renderedFiles.size(), c.calls) << c.path;
        for (const auto &f : graph.renderedFiles) EXPECT_EQ(f, c.path);
    }
}

TEST(RenderRules, LongPathsUpToThePlatformLimit) {
    FakeGraph graph;
    GraphInstance g;
    ASSERT_TRUE(g.AttachGraph(&graph));
    std::string deep = "/home/user";
    while (deep.size() < 1000) deep += "/folder";
    EXPECT_TRUE(g.RenderFile((deep + "/clip.avi").c_str()));
    std::string tooLong(5000, 'a');
    EXPECT_FALSE(g.RenderFile(("/" + tooLong + ".avi").c_str()));
    EXPECT_FALSE(g.RenderFile(nullptr));
}

TEST(RenderRules, UnavailablePreAddedFiltersAreSkipped) {
    // The fake graph refuses every AddFilter: nothing pre-added stays.
    FakeGraph graph;
    GraphInstance g;
    ASSERT_TRUE(g.AttachGraph(&graph));
    EXPECT_TRUE(g.RenderFile("/m/clip.wmv"));
    EXPECT_EQ(g.AviDecompressor(), nullptr);
    EXPECT_EQ(g.ColourSpaceConverter(), nullptr);
    EXPECT_TRUE(g.RenderFile("/m/clip.RMVB"));
    EXPECT_EQ(g.RealMediaSplitter(), nullptr);
    EXPECT_EQ(g.RealMediaAudioDecoder(), nullptr);
    EXPECT_EQ(g.RealMediaVideoDecoder(), nullptr);
    EXPECT_EQ(graph.renderedFiles.size(), 2u);
}

TEST(RenderRules, MovWithoutQuickTimeSourceIsNotRendered) {
    FakeGraph graph;
    GraphInstance g;
    ASSERT_TRUE(g.AttachGraph(&graph));
    EXPECT_FALSE(g.RenderFile("/m/clip.mov"));
    EXPECT_TRUE(graph.renderedFiles.empty());  // no plain render behind it
}

TEST(RenderRules, WithoutGraphNothingHappens) {
    GraphInstance g;
    EXPECT_FALSE(g.RenderFile("/m/clip.avi"));
    EXPECT_FALSE(g.ReplaceRenderWithEncoder(false));
    double d;
    EXPECT_FALSE(g.GetCurrentPosition(&d));
}

// ---- bitmaps onto video surfaces ------------------------------------------------------------

TEST(DibToPicture, BottomUpRowsArriveTopFirstWithPadding) {
    // 3x2 pixels, 24 bits: rows padded to 12 bytes, bottom row stored first.
    std::vector<std::uint8_t> dib(40 + 2 * 12, 0);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = 3;
    h.biHeight = 2;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::memcpy(dib.data(), &h, 40);
    dib[40] = 0x11;       // bottom row, first pixel, blue
    dib[40 + 12] = 0x22;  // top row, first pixel, blue
    platform::VideoPicture picture;
    ASSERT_TRUE(brantel::DibToPicture(dib.data(), dib.size(), &picture));
    EXPECT_EQ(picture.width, 3);
    EXPECT_EQ(picture.height, 2);
    EXPECT_EQ(picture.pixels[0], 0x22);
    EXPECT_EQ(picture.pixels[picture.stride], 0x11);
    EXPECT_EQ(picture.pixels[3], 0xFF);  // opaque

    // Sizes that do not fit the data, and formats it cannot show, are refused.
    EXPECT_FALSE(brantel::DibToPicture(dib.data(), dib.size() - 1, &picture));
    h.biBitCount = 8;
    std::memcpy(dib.data(), &h, 40);
    EXPECT_FALSE(brantel::DibToPicture(dib.data(), dib.size(), &picture));
    h.biBitCount = 24;
    h.biWidth = 1 << 30;
    std::memcpy(dib.data(), &h, 40);
    EXPECT_FALSE(brantel::DibToPicture(dib.data(), dib.size(), &picture));
}
