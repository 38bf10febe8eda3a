// GraphInstance over the media framework's real graph manager, on files
// made by ffmpeg: what stays in the graph after rendering and rewiring.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures.h"
#include "frame_grabber.h"
#include "graph_instance.h"

using brantel::GraphInstance;
using namespace brantel_test;

namespace {

struct FilterView {
    std::string name;
    std::vector<std::pair<std::string, bool>> inputs;  // pin name, connected
    int outputs = 0;
};

std::vector<FilterView> FiltersOf(IGraphBuilder *graph) {
    std::vector<FilterView> out;
    ComPtr<IEnumFilters> e;
    if (FAILED(graph->EnumFilters(e.PutAddr()))) return out;
    IBaseFilter *raw = nullptr;
    ULONG n = 0;
    while (e->Next(1, &raw, &n) == S_OK) {
        ComPtr<IBaseFilter> f(raw, false);
        FilterView v;
        FILTER_INFO info{};
        f->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        v.name = WideToUtf8(info.achName);
        ComPtr<IEnumPins> pins;
        f->EnumPins(pins.PutAddr());
        IPin *pin = nullptr;
        while (pins && pins->Next(1, &pin, &n) == S_OK) {
            ComPtr<IPin> p(pin, false);
            PIN_INFO pi{};
            p->QueryPinInfo(&pi);
            if (pi.pFilter) pi.pFilter->Release();
            ComPtr<IPin> peer;
            const bool connected = SUCCEEDED(p->ConnectedTo(peer.PutAddr())) && peer;
            if (pi.dir == PINDIR_OUTPUT)
                ++v.outputs;
            else
                v.inputs.push_back({WideToUtf8(pi.achName), connected});
        }
        out.push_back(v);
    }
    return out;
}

bool HasFilterNamed(IGraphBuilder *graph, const std::string &part) {
    for (const auto &f : FiltersOf(graph))
        if (f.name.find(part) != std::string::npos) return true;
    return false;
}

bool AllPinsFree(IBaseFilter *filter) {
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.PutAddr());
    IPin *pin = nullptr;
    ULONG n = 0;
    while (pins && pins->Next(1, &pin, &n) == S_OK) {
        ComPtr<IPin> p(pin, false);
        ComPtr<IPin> peer;
        if (SUCCEEDED(p->ConnectedTo(peer.PutAddr())) && peer) return false;
    }
    return true;
}

class RealGraph : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        avi_ = dir_->File("clip.avi");
        MakeAudioVideo(avi_, 1.0, "-c:v mpeg4 -c:a mp3");
        wmv_ = dir_->File("clip.wmv");
        MakeAudioVideo(wmv_, 1.0, "-c:v wmv2 -c:a wmav2");
        rm_ = dir_->File("clip.rm");
        MakeAudioVideo(rm_, 1.0, "-c:v rv10 -c:a ac3");
        haveEncoder_ = RegisterModule("dravik.ax");
        haveRealMedia_ = RegisterModule("rmsp.ax");
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override {
        if (!ComIsClassRegistered(CLSID_FilterGraph)) GTEST_SKIP() << "libvelorin_media.so has no graph manager";
        ASSERT_TRUE(g.CreateGraph());
    }
    GraphInstance g;
    static TempDir *dir_;
    static std::string avi_, wmv_, rm_;
    static bool haveEncoder_, haveRealMedia_;
};
TempDir *RealGraph::dir_ = nullptr;
std::string RealGraph::avi_, RealGraph::wmv_, RealGraph::rm_;
bool RealGraph::haveEncoder_ = false, RealGraph::haveRealMedia_ = false;

}  // namespace

TEST_F(RealGraph, CreateTwiceRefusesTheSecondGraph) {
    EXPECT_FALSE(g.CreateGraph());
    EXPECT_TRUE(g.HasGraph());
}

TEST_F(RealGraph, WmvLeavesNoUnusedPreAddedFilter) {
    ASSERT_TRUE(g.RenderFile(wmv_.c_str()));
    for (IBaseFilter *f : {g.AviDecompressor(), g.ColourSpaceConverter()})
        if (f) {
            EXPECT_FALSE(AllPinsFree(f)) << "an unconnected pre-added filter stayed";
        }
    if (!g.AviDecompressor()) {
        EXPECT_FALSE(HasFilterNamed(g.Graph(), "AVIDecompressor"));
    }
    if (!g.ColourSpaceConverter()) {
        EXPECT_FALSE(HasFilterNamed(g.Graph(), "ColorSpaceConverter"));
    }
    EXPECT_TRUE(HasFilterNamed(g.Graph(), "Video Renderer"));
}

TEST_F(RealGraph, RealMediaFiltersStayOnlyWhenUsed) {
    if (!haveRealMedia_) GTEST_SKIP() << "rmsp.ax is not built in " << BinDir();
    ASSERT_TRUE(g.RenderFile(rm_.c_str()));
    for (IBaseFilter *f : {g.RealMediaSplitter(), g.RealMediaAudioDecoder(), g.RealMediaVideoDecoder()})
        if (f) {
            EXPECT_FALSE(AllPinsFree(f));
        }
    EXPECT_NE(g.RealMediaSplitter(), nullptr) << "the pre-added splitter was not the one used";
}

TEST_F(RealGraph, SecondRenderGoesBesideTheFirst) {
    ASSERT_TRUE(g.RenderFile(avi_.c_str()));
    const std::size_t once = FiltersOf(g.Graph()).size();
    EXPECT_TRUE(g.RenderFile(avi_.c_str()));
    EXPECT_GT(FiltersOf(g.Graph()).size(), once);
}

TEST_F(RealGraph, RewiringToTheEncoder) {
    if (!haveEncoder_) GTEST_SKIP() << "dravik.ax is not built in " << BinDir();
    ASSERT_TRUE(g.RenderFile(avi_.c_str()));
    ASSERT_TRUE(g.ReplaceRenderWithEncoder(false));
    EXPECT_NE(g.EncoderFilter(), nullptr);
    EXPECT_EQ(g.NullRenderer(), nullptr);
    EXPECT_FALSE(HasFilterNamed(g.Graph(), "Video Renderer"));
    EXPECT_FALSE(HasFilterNamed(g.Graph(), "DirectSound"));
    bool found = false;
    for (const auto &f : FiltersOf(g.Graph())) {
        if (f.name != "FFEncoder") continue;
        found = true;
        ASSERT_EQ(f.inputs.size(), 2u);
        for (const auto &[pin, connected] : f.inputs) EXPECT_TRUE(connected) << pin;
    }
    EXPECT_TRUE(found);
    // The conversion runs without a clock.
    ComPtr<IMediaFilter> mf;
    ASSERT_TRUE(SUCCEEDED(g.Graph()->QueryInterface(IID_IMediaFilter, mf.PutVoid())));
    ComPtr<IReferenceClock> clock;
    mf->GetSyncSource(clock.PutAddr());
    EXPECT_FALSE(clock);
    EXPECT_TRUE(g.IsInState(State_Stopped));
}

TEST_F(RealGraph, AudioOnlyRewiringEndsTheVideoInTheNullRenderer) {
    if (!haveEncoder_) GTEST_SKIP() << "dravik.ax is not built in " << BinDir();
    ASSERT_TRUE(g.RenderFile(avi_.c_str()));
    ASSERT_TRUE(g.ReplaceRenderWithEncoder(true));
    ASSERT_NE(g.NullRenderer(), nullptr);
    EXPECT_FALSE(AllPinsFree(g.NullRenderer()));
    for (const auto &f : FiltersOf(g.Graph())) {
        if (f.name != "FFEncoder") continue;
        for (const auto &[pin, connected] : f.inputs) {
            const bool video = pin.find("ideo") != std::string::npos;
            EXPECT_EQ(connected, !video) << pin;
        }
    }
    EXPECT_FALSE(g.ReplaceRenderWithEncoder(true));  // nothing left to find
}

TEST_F(RealGraph, TeardownEmptiesTheGraph) {
    ASSERT_TRUE(g.RenderFile(avi_.c_str()));
    ComPtr<IGraphBuilder> keep(g.Graph());
    ASSERT_TRUE(g.PauseAndWait());
    g.ReleaseGraph();
    EXPECT_FALSE(g.HasGraph());
    EXPECT_TRUE(FiltersOf(keep.Get()).empty());
}

// ---- the frame grabber on the media detector --------------------------------------------

TEST_F(RealGraph, GrabberKeepsTheLastGoodFrameAndDrawsIt) {
    if (!ComIsClassRegistered(CLSID_MediaDet)) GTEST_SKIP() << "libvelorin_media.so has no media detector";
    brantel::FrameGrabber grabber;
    const HWND window = reinterpret_cast<HWND>(0x321);
    grabber.SetDisplayWindow(window, 160, 120, 4, 8);
    grabber.Draw();  // no frame: nothing is drawn
    EXPECT_EQ(grabber.Surface(), nullptr);
    ASSERT_TRUE(SUCCEEDED(grabber.Grab(avi_.c_str(), 0.5)));
    ASSERT_TRUE(grabber.HasFrame());
    EXPECT_EQ(grabber.BitmapInfo().bmiHeader.biWidth, 160);
    EXPECT_EQ(std::abs(grabber.BitmapInfo().bmiHeader.biHeight), 120);
    const std::vector<std::uint8_t> good = grabber.Frame();

    const std::string audio = dir_->File("tone.mp4");
    ASSERT_TRUE(MakeAudioOnly(audio, 1.0, "-c:a aac"));
    EXPECT_EQ(grabber.Grab(audio.c_str(), 0.5), VFW_E_INVALIDMEDIATYPE);
    EXPECT_TRUE(FAILED(grabber.Grab(dir_->File("missing.avi").c_str(), 0.5)));
    EXPECT_EQ(grabber.Frame(), good);

    grabber.Draw();
    ASSERT_NE(grabber.Surface(), nullptr);
    EXPECT_EQ(grabber.Surface()->Owner(), window);
    EXPECT_TRUE(grabber.Surface()->Visible());
    const RECT r = grabber.Surface()->Geometry();
    EXPECT_EQ(r.left, 4);
    EXPECT_EQ(r.top, 8);
    EXPECT_EQ(r.right - r.left, 160);
    EXPECT_EQ(r.bottom - r.top, 120);
}
