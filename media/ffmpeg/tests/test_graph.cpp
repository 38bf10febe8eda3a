// The stock filters in real graphs: RenderFile on every container, the
// RealMedia and QuickTime modules the way the graph library uses them,
// seeking and the stop position through the graph, a conversion-style
// rewiring with converter insertion, and bad input.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "chain.h"
#include "fixtures.h"

using namespace mediaff;
using namespace mediaff::fixtures;

namespace {

constexpr CLSID kRealMediaSplitter{0xE21BE468, 0x5C18, 0x43EB, {0xB0, 0xCC, 0xDB, 0x93, 0xA8, 0x47, 0xD7, 0x69}};
constexpr CLSID kRealMediaAudioDecoder{0x941A4793, 0xA705, 0x4312, {0x8D, 0xFC, 0xC1, 0x1C, 0xA0, 0x5F, 0x39, 0x7E}};
constexpr CLSID kRealMediaVideoDecoder{0x238D0F23, 0x5DC9, 0x45A6, {0x9B, 0xE2, 0x66, 0x61, 0x60, 0xC3, 0x24, 0xDD}};
constexpr CLSID kQuickTimeSource{0xE41C6AFE, 0x738D, 0x4A56, {0x95, 0x7C, 0xC3, 0x52, 0xF4, 0x1B, 0x32, 0x75}};

struct Graph {
    ComPtr<IGraphBuilder> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaSeeking> seeking;
    Graph() {
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, builder.PutVoid());
        if (!builder) return;
        builder->QueryInterface(IID_IMediaControl, control.PutVoid());
        builder->QueryInterface(IID_IMediaEvent, events.PutVoid());
        builder->QueryInterface(IID_IMediaSeeking, seeking.PutVoid());
    }
    ~Graph() {
        if (control) control->Stop();
    }
    // Runs without a clock, as a conversion does.
    void Unclock() {
        ComPtr<IMediaFilter> mf;
        builder->QueryInterface(IID_IMediaFilter, mf.PutVoid());
        mf->SetSyncSource(nullptr);
    }
    long RunToEnd(long ms = 30000) {
        if (FAILED(control->Run())) return -1;
        long code = 0;
        return SUCCEEDED(events->WaitForCompletion(ms, &code)) ? code : 0;
    }
    std::vector<ComPtr<IBaseFilter>> Filters() {
        std::vector<ComPtr<IBaseFilter>> out;
        ComPtr<IEnumFilters> e;
        builder->EnumFilters(e.PutAddr());
        IBaseFilter *f = nullptr;
        ULONG n = 0;
        while (e && e->Next(1, &f, &n) == S_OK) {
            ComPtr<IBaseFilter> keep;
            keep.Attach(f);
            out.push_back(keep);
        }
        return out;
    }
    bool Has(REFCLSID clsid) {
        for (auto &f : Filters()) {
            CLSID c;
            if (SUCCEEDED(f->GetClassID(&c)) && c == clsid) return true;
        }
        return false;
    }
    ComPtr<IBaseFilter> Add(REFCLSID clsid, const char16_t *name) {
        ComPtr<IBaseFilter> f = CreateFilter(clsid);
        if (f && FAILED(builder->AddFilter(f.Get(), name))) f = nullptr;
        return f;
    }
};

bool Connected(IBaseFilter *f) {
    for (PIN_DIRECTION d : {PINDIR_INPUT, PINDIR_OUTPUT})
        for (auto &p : Pins(f, d)) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(p->ConnectedTo(peer.PutAddr())) && peer) return true;
        }
    return false;
}

// Registers an outside module the way the program does at start-up.
bool RegisterModule(const char *file) {
    const char *bin = std::getenv("VELORIN_BIN");
    std::string path = std::string(bin ? bin : ".") + "/" + file;
    void *h = dlopen(path.c_str(), RTLD_NOW);
    if (!h) return false;
    auto reg = reinterpret_cast<DllRegisterServerFn>(dlsym(h, "DllRegisterServer"));
    bool ok = reg && SUCCEEDED(reg());
    dlclose(h);
    return ok;
}

class Rendering : public ::testing::TestWithParam<ContainerCase> {};

TEST_P(Rendering, RenderFilePlaysToCompletion) {
    const auto &c = GetParam();
    std::string path = FixtureDir::Get().Make(c.name, c.options);
    ASSERT_FALSE(path.empty());
    const int threads = ThreadCount();
    {
        Graph g;
        ASSERT_TRUE(g.builder);
        std::u16string wide = Utf8ToWide(path);
        ASSERT_EQ(g.builder->RenderFile(wide.c_str(), nullptr), S_OK);
        EXPECT_TRUE(g.Has(CLSID_AsyncReader));
        EXPECT_TRUE(g.Has(CLSID_FfSplitter));
        EXPECT_TRUE(g.Has(CLSID_VideoRenderer));
        EXPECT_TRUE(g.Has(CLSID_DSoundRender));
        LONGLONG duration = 0;
        ASSERT_EQ(g.seeking->GetDuration(&duration), S_OK);
        EXPECT_NEAR(duration / 1e7, 2.0, 0.3);
        g.Unclock();
        EXPECT_EQ(g.RunToEnd(), EC_COMPLETE);
    }
    EXPECT_EQ(ThreadCount(), threads) << "a streaming thread outlived the graph";
}

INSTANTIATE_TEST_SUITE_P(Files, Rendering, ::testing::ValuesIn(kContainers), [](const auto &info) {
    std::string n = info.param.name;
    for (char &ch : n)
        if (ch == '.') ch = '_';
    return n;
});

TEST(Modules, RealMediaFiltersAddedBeforeRenderingAreUsed) {
    if (!RegisterModule("rmsp.ax")) GTEST_SKIP() << "rmsp.ax not found in VELORIN_BIN";
    std::string path = FixtureDir::Get().Make("clip.rm", kContainers[6].options);
    ASSERT_FALSE(path.empty());
    for (const char *ext : {"rm", "rmvb"}) {
        SCOPED_TRACE(ext);
        std::string file = path;
        if (std::string(ext) == "rmvb") {
            file = (FixtureDir::Get().Path() / "clip.rmvb").string();
            std::filesystem::copy_file(path, file, std::filesystem::copy_options::overwrite_existing);
        }
        Graph g;
        auto splitter = g.Add(kRealMediaSplitter, u"RealMedia SP");
        auto audio = g.Add(kRealMediaAudioDecoder, u"RealMedia Audio Decoder");
        auto video = g.Add(kRealMediaVideoDecoder, u"RealMedia Video Decoder");
        ASSERT_TRUE(splitter && audio && video);
        std::u16string wide = Utf8ToWide(file);
        ASSERT_EQ(g.builder->RenderFile(wide.c_str(), nullptr), S_OK);
        EXPECT_TRUE(Connected(splitter.Get()));
        EXPECT_TRUE(Connected(audio.Get()));
        EXPECT_TRUE(Connected(video.Get()));
        EXPECT_FALSE(g.Has(CLSID_FfSplitter)) << "the splitter already in the graph should be used";
        g.Unclock();
        EXPECT_EQ(g.RunToEnd(), EC_COMPLETE);
    }
}

TEST(Modules, QuickTimeSourceLoadsAndRendersItsPins) {
    if (!RegisterModule("qtalt.ax")) GTEST_SKIP() << "qtalt.ax not found in VELORIN_BIN";
    std::string path = FixtureDir::Get().Make(kContainers[3].name, kContainers[3].options);  // mov
    Graph g;
    auto source = g.Add(kQuickTimeSource, u"CyberlinkQuicktimeSource");
    ASSERT_TRUE(source);
    ComPtr<IFileSourceFilter> fs;
    ASSERT_EQ(source->QueryInterface(IID_IFileSourceFilter, fs.PutVoid()), S_OK);
    std::u16string wide = Utf8ToWide(path);
    ASSERT_EQ(fs->Load(wide.c_str(), nullptr), S_OK);
    LPOLESTR name = nullptr;
    ASSERT_EQ(fs->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(WideToUtf8(name), path);
    CoTaskMemFree(name);
    auto outs = Pins(source.Get(), PINDIR_OUTPUT);
    ASSERT_EQ(outs.size(), 2u);
    for (auto &pin : outs) EXPECT_EQ(g.builder->Render(pin.Get()), S_OK);
    EXPECT_TRUE(g.Has(CLSID_VideoRenderer));
    EXPECT_TRUE(g.Has(CLSID_DSoundRender));
    g.Unclock();
    EXPECT_EQ(g.RunToEnd(), EC_COMPLETE);

    // A file it cannot read is an error, and the source stays usable.
    auto other = CreateFilter(kQuickTimeSource);
    ComPtr<IFileSourceFilter> fs2;
    other->QueryInterface(IID_IFileSourceFilter, fs2.PutVoid());
    std::u16string noise = Utf8ToWide(FixtureDir::Get().RandomFile("noise.mov", 100000, 9));
    EXPECT_TRUE(FAILED(fs2->Load(noise.c_str(), nullptr)));
    EXPECT_TRUE(Pins(other.Get(), PINDIR_OUTPUT).empty());
}

// Remove the renderers and connect the decoders to sinks that accept one
// type each, as the conversion graph does with the encoder: the graph has to
// insert the converters.
TEST(Graph, ConversionRewiringInsertsConverters) {
    std::string path = FixtureDir::Get().Make(kContainers[0].name, kContainers[0].options);
    Graph g;
    std::u16string wide = Utf8ToWide(path);
    ASSERT_EQ(g.builder->RenderFile(wide.c_str(), nullptr), S_OK);
    std::vector<ComPtr<IPin>> freed;
    for (auto &f : g.Filters()) {
        CLSID c;
        f->GetClassID(&c);
        if (c != CLSID_VideoRenderer && c != CLSID_DSoundRender) continue;
        ComPtr<IPin> peer;
        Pins(f.Get(), PINDIR_INPUT)[0]->ConnectedTo(peer.PutAddr());
        ASSERT_TRUE(peer);
        ASSERT_EQ(g.builder->RemoveFilter(f.Get()), S_OK);
        freed.push_back(peer);
    }
    ASSERT_EQ(freed.size(), 2u);
    auto rgb32 = [](const CMediaType &mt) {
        PictureType t;
        return ParsePictureType(mt, &t) && t.format == PictureFormat::RGB32;
    };
    auto stereo48k = [](const CMediaType &mt) {
        PcmType p;
        return ParsePcmType(mt, &p) && p.channels == 2 && p.sampleRate == 48000 && p.bitsPerSample == 16;
    };
    ComPtr<SinkFilter> video(new SinkFilter(rgb32), false), audio(new SinkFilter(stereo48k), false);
    ASSERT_EQ(g.builder->AddFilter(video.Get(), u"Video Sink"), S_OK);
    ASSERT_EQ(g.builder->AddFilter(audio.Get(), u"Audio Sink"), S_OK);
    for (auto &pin : freed) {
        bool isVideo = MajorOf(pin.Get()) == MEDIATYPE_Video;
        EXPECT_EQ(g.builder->Connect(pin.Get(), (isVideo ? video : audio)->Pin()), S_OK);
    }
    EXPECT_TRUE(g.Has(CLSID_ACMWrapper)) << "48 kHz needs the audio converter";
    g.Unclock();
    ASSERT_EQ(g.control->Run(), S_OK);
    ASSERT_TRUE(video->WaitForEnd());
    ASSERT_TRUE(audio->WaitForEnd());
    EXPECT_NEAR(static_cast<double>(video->Count()), 50.0, 2.0);
    long bytes = 0;
    for (const Received &r : audio->Samples()) bytes += r.length;
    EXPECT_NEAR(bytes / 4.0 / 48000.0, 2.0, 0.15);
}

TEST(Graph, SeekAndStopPositionThroughTheGraph) {
    std::string path = FixtureDir::Get().Make("long.avi", kContainers[0].options, 6.0);
    Graph g;
    std::u16string wide = Utf8ToWide(path);
    ASSERT_EQ(g.builder->RenderFile(wide.c_str(), nullptr), S_OK);
    g.Unclock();
    LONGLONG start = 25000000, stop = 40000000;
    ASSERT_EQ(g.seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame, &stop,
                                      AM_SEEKING_AbsolutePositioning),
              S_OK);
    EXPECT_EQ(g.RunToEnd(), EC_COMPLETE);
    LONGLONG cur = 0;
    ASSERT_EQ(g.seeking->GetCurrentPosition(&cur), S_OK);
    EXPECT_NEAR(cur / 1e7, 4.0, 0.3);
}

TEST(Graph, BadInputFailsToRenderOrEndsCleanly) {
    auto &dir = FixtureDir::Get();
    std::string good = dir.Make(kContainers[0].name, kContainers[0].options);
    std::filesystem::create_directories(dir.Path() / "graphdir.mp4");
    const std::string cases[] = {
        dir.WriteBytes("empty.flv", ""),
        dir.RandomFile("garbage.avi", 250000, 21),
        dir.RandomFile("garbage.mpg", 250000, 22),
        dir.RandomFile("garbage.rm", 250000, 23),
        (dir.Path() / "nothing-here.avi").string(),
        (dir.Path() / "graphdir.mp4").string(),
        dir.Truncated(good, "halfway.avi"),
        dir.Damaged(good, "middle-noise.avi"),
        dir.Fifo("named-pipe.mpg"),
    };
    const int threads = ThreadCount();
    for (const std::string &path : cases) {
        SCOPED_TRACE(path);
        Graph g;
        std::u16string wide = Utf8ToWide(path);
        HRESULT hr = g.builder->RenderFile(wide.c_str(), nullptr);
        if (hr != S_OK) {
            EXPECT_TRUE(FAILED(hr) || path.find("halfway") != std::string::npos || path.find("middle") != std::string::npos)
                << MediaResultName(hr);
            continue;
        }
        g.Unclock();
        EXPECT_EQ(g.RunToEnd(20000), EC_COMPLETE);
    }
    EXPECT_EQ(ThreadCount(), threads);
}

}  // namespace
