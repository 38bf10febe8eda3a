// The graph manager over the stock FFmpeg filters on a short file made here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

#include <thread>

#include "harness.h"

using namespace mediatest;

namespace {

class RealFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/mediagraphXXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir_ = tmpl;
        const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                                "sine=frequency=440:sample_rate=44100 -t 2 -c:v mpeg4 -g 12 -c:a mp3 " +
                                dir_ + "/clip.avi";
        if (std::system(cmd.c_str()) == 0) file_ = dir_ + "/clip.avi";
    }
    static void TearDownTestSuite() {
        if (!file_.empty()) std::remove(file_.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    void SetUp() override {
        if (file_.empty()) GTEST_SKIP() << "the ffmpeg command could not make the fixture";
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid());
        graph.As(IID_IMediaControl, &control);
        graph.As(IID_IMediaEventEx, &events);
        graph.As(IID_IMediaSeeking, &seeking);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        ComPtr<IEnumFilters> e;
        graph->EnumFilters(e.PutAddr());
        IBaseFilter *f = nullptr;
        ULONG n = 0;
        while (e->Next(1, &f, &n) == S_OK && n == 1) {
            FILTER_INFO info{};
            f->QueryFilterInfo(&info);
            if (info.pGraph) info.pGraph->Release();
            names.push_back(WideToUtf8(info.achName));
            f->Release();
        }
        return names;
    }
    static bool Has(const std::vector<std::string> &names, const char *part) {
        return std::any_of(names.begin(), names.end(), [&](const std::string &n) { return n.find(part) != std::string::npos; });
    }

    static std::string dir_, file_;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaSeeking> seeking;
};
std::string RealFile::dir_, RealFile::file_;

}  // namespace

TEST_F(RealFile, RendersToBothRenderersAndCompletesOnceWithoutAClock) {
    ASSERT_EQ(graph->RenderFile(Utf8ToWide(file_).c_str(), nullptr), S_OK);
    auto names = Names();
    EXPECT_TRUE(Has(names, "Video Renderer"));
    EXPECT_TRUE(Has(names, "DirectSound"));
    LONGLONG duration = 0;
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_NEAR(static_cast<double>(duration) / UNITS, 2.0, 0.1);

    ComPtr<IMediaFilter> mf;
    graph.As(IID_IMediaFilter, &mf);
    ASSERT_EQ(mf->SetSyncSource(nullptr), S_OK);
    const HWND window = reinterpret_cast<HWND>(0x777);
    events->SetNotifyWindow(ToOAHWND(window), WM_USER + 20, 0);
    platform::TakeHeadlessPostedMessages();
    ASSERT_EQ(control->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(events->WaitForCompletion(20000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    LONG_PTR p1, p2;
    while (events->GetEvent(&code, &p1, &p2, 200) == S_OK) EXPECT_NE(code, EC_COMPLETE);
    bool posted = false;
    for (const auto &m : platform::TakeHeadlessPostedMessages())
        if (m.window == window && m.message == WM_USER + 20 && m.wparam == static_cast<WPARAM>(EC_COMPLETE)) posted = true;
    EXPECT_TRUE(posted);
    EXPECT_EQ(control->Stop(), S_OK);
}

TEST_F(RealFile, APausedSeekShowsTheFrameAtTheNewPosition) {
    ASSERT_EQ(graph->RenderFile(Utf8ToWide(file_).c_str(), nullptr), S_OK);
    ComPtr<IBasicVideo> video;
    graph.As(IID_IBasicVideo, &video);
    control->Pause();
    OAFilterState s;
    ASSERT_EQ(control->GetState(5000, &s), S_OK);
    long size = 0;
    ASSERT_EQ(video->GetCurrentImage(&size, nullptr), S_OK);
    EXPECT_EQ(size, 40 + 320 * 240 * 4);
    std::vector<long> first(static_cast<std::size_t>(size) / 4), later(first.size());
    ASSERT_EQ(video->GetCurrentImage(&size, first.data()), S_OK);

    LONGLONG at = 12 * UNITS / 10;   // key frames every 12 frames: 0.96 s
    ASSERT_EQ(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame, nullptr,
                                    AM_SEEKING_NoPositioning), S_OK);
    ASSERT_EQ(control->GetState(5000, &s), S_OK);
    EXPECT_EQ(s, State_Paused);
    ASSERT_EQ(video->GetCurrentImage(&size, later.data()), S_OK);
    EXPECT_NE(first, later);   // the test pattern's counter moved on
    control->Stop();
}

TEST_F(RealFile, ConnectInsertsTheAudioConverterWhenTheRatesDiffer) {
    const std::string mono = dir_ + "/mono.avi";
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
                            "sine=frequency=440:sample_rate=22050 -t 1 -ac 1 -c:v mpeg4 -c:a pcm_s16le " + mono;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_EQ(graph->RenderFile(Utf8ToWide(mono).c_str(), nullptr), S_OK);
    ComPtr<IBaseFilter> audioRenderer;
    ASSERT_EQ(graph->FindFilterByName(u"Default DirectSound Device", audioRenderer.PutAddr()), S_OK);
    ComPtr<IPin> rendererIn = FirstPin(audioRenderer.Get(), PINDIR_INPUT);
    ComPtr<IPin> decoderOut;
    ASSERT_EQ(rendererIn->ConnectedTo(decoderOut.PutAddr()), S_OK);
    ASSERT_EQ(graph->RemoveFilter(audioRenderer.Get()), S_OK);

    // Wants what the encoder wants: stereo at 44.1 kHz.
    FakeSink sink([](const CMediaType &mt) {
        if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.cbFormat < sizeof(WAVEFORMATEX)) return false;
        const auto *wf = reinterpret_cast<const WAVEFORMATEX *>(mt.pbFormat);
        return wf->nChannels == 2 && wf->nSamplesPerSec == 44100;
    });
    graph->AddFilter(sink.Filter(), u"sink");
    const std::size_t before = Names().size();
    ASSERT_EQ(graph->Connect(decoderOut.Get(), sink.Input()), S_OK);
    EXPECT_EQ(Names().size(), before + 1);   // one converter in between

    ComPtr<IMediaFilter> mf;
    graph.As(IID_IMediaFilter, &mf);
    mf->SetSyncSource(nullptr);
    ASSERT_EQ(control->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(events->WaitForCompletion(20000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    // About one second of stereo 16-bit at 44.1 kHz came through.
    std::size_t bytes = 0;
    for (const auto &s : sink.Input()->Samples()) bytes += s.data.size();
    EXPECT_NEAR(static_cast<double>(bytes) / (44100 * 4), 1.0, 0.1);
    control->Stop();
    std::remove(mono.c_str());
}

TEST_F(RealFile, RunsStoppedAndSeekedAtArbitraryMomentsNeitherHangNorLeak) {
    ASSERT_EQ(graph->RenderFile(Utf8ToWide(file_).c_str(), nullptr), S_OK);
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int i = 0; i < 40; ++i) {
        const bool clocked = (i % 4) == 0;
        ComPtr<IMediaFilter> mf;
        graph.As(IID_IMediaFilter, &mf);
        ComPtr<IReferenceClock> clock;
        if (clocked) CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock, clock.PutVoid());
        ASSERT_EQ(mf->SetSyncSource(clock.Get()), S_OK);
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        std::this_thread::sleep_for(std::chrono::milliseconds(next() % 15));
        if (next() % 2) {
            LONGLONG at = static_cast<LONGLONG>(next() % 20) * UNITS / 10;
            EXPECT_TRUE(SUCCEEDED(seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame, nullptr,
                                                        AM_SEEKING_NoPositioning)));
            std::this_thread::sleep_for(std::chrono::milliseconds(next() % 10));
        }
        if (next() % 3 == 0) control->Pause();
        ASSERT_EQ(control->Stop(), S_OK) << "iteration " << i;
        LONGLONG zero = 0;
        seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        long code;
        LONG_PTR p1, p2;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        }
    }
    // Still plays to the end afterwards.
    ComPtr<IMediaFilter> mf;
    graph.As(IID_IMediaFilter, &mf);
    mf->SetSyncSource(nullptr);
    ASSERT_EQ(control->Run(), S_OK);
    long code = 0;
    EXPECT_EQ(events->WaitForCompletion(20000, &code), S_OK);
    control->Stop();
}

TEST_F(RealFile, StopKeepsThePositionAndTheNextRunGoesOnFromThere) {
    ASSERT_EQ(graph->RenderFile(Utf8ToWide(file_).c_str(), nullptr), S_OK);
    ASSERT_EQ(control->Run(), S_OK);   // real time, on the default clock
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_EQ(control->Stop(), S_OK);
    LONGLONG stoppedAt = 0;
    ASSERT_EQ(seeking->GetCurrentPosition(&stoppedAt), S_OK);
    EXPECT_GT(stoppedAt, 2 * UNITS / 10);
    EXPECT_LT(stoppedAt, 15 * UNITS / 10);
    // Paused again, the picture is the one there (or at the key frame before).
    control->Pause();
    OAFilterState s;
    ASSERT_EQ(control->GetState(5000, &s), S_OK);
    LONGLONG shown = 0;
    ASSERT_EQ(seeking->GetCurrentPosition(&shown), S_OK);
    EXPECT_GE(shown, stoppedAt - 6 * UNITS / 10);
    EXPECT_LE(shown, stoppedAt + UNITS / 10);
    ASSERT_EQ(control->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(events->WaitForCompletion(10000, &code), S_OK);
    control->Stop();
}

TEST_F(RealFile, ReleasingAPlayingGraphLeavesNoThreadBehind) {
    auto threads = [] {
        int n = 0;
        if (DIR *d = opendir("/proc/self/task")) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.') ++n;
            closedir(d);
        }
        return n;
    };
    control = nullptr;
    events = nullptr;
    seeking = nullptr;
    graph = nullptr;
    const int before = threads();
    {
        ComPtr<IGraphBuilder> g;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, g.PutVoid());
        ASSERT_EQ(g->RenderFile(Utf8ToWide(file_).c_str(), nullptr), S_OK);
        ComPtr<IMediaControl> mc;
        g.As(IID_IMediaControl, &mc);
        ASSERT_EQ(mc->Run(), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_GT(threads(), before);   // the streams run on threads of their own
    }
    EXPECT_EQ(threads(), before);
}
