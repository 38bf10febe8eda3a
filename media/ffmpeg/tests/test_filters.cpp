// The stock filters between fake pins: source -> splitter -> decoder ->
// sink, driven by hand. Decoding, seeking against a linear decode, the
// stop position, a consumer that holds one stream back, converters and bad
// input.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "chain.h"
#include "fixtures.h"
#include "mediaff/codec.h"
#include "mediaff/demuxer.h"

using namespace mediaff;
using namespace mediaff::fixtures;

namespace {

// COM for the whole test program (every test file of it creates objects).
class ComEnv : public ::testing::Environment {
public:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};
const auto *kComEnv = ::testing::AddGlobalTestEnvironment(new ComEnv);

std::size_t LumaBytes(const std::string &path) {
    return static_cast<std::size_t>(std::stoi(Probe(path, "v", "width")) * std::stoi(Probe(path, "v", "height")));
}

double AudioSeconds(SinkFilter *sink) {
    PcmType p;
    if (!ParsePcmType(sink->Type(), &p)) return -1;
    long bytes = 0;
    for (const Received &r : sink->Samples()) bytes += r.length;
    return static_cast<double>(bytes) / (p.channels * 2) / p.sampleRate;
}

// Linear decode with the engine: time, key flag and luma hash per frame.
struct Frame {
    std::int64_t time;
    bool key;
    std::uint64_t hash;
};
std::vector<Frame> LinearFrames(const std::string &path) {
    std::vector<Frame> out;
    FileByteReader reader;
    Demuxer d;
    if (!reader.Open(path) || d.Open(&reader, path) < 0) return out;
    const DemuxStream *vs = nullptr;
    for (const DemuxStream &s : d.Streams())
        if (s.type == AVMEDIA_TYPE_VIDEO && !vs) vs = &s;
    Decoder dec;
    if (!vs || dec.Open(vs->codecpar, vs->timeBase) < 0) return out;
    PacketPtr pkt = MakePacket();
    FramePtr f = MakeFrame();
    auto drain = [&] {
        while (dec.Receive(f.get()) == 0) {
            std::uint64_t h = 1469598103934665603ull;
            for (int y = 0; y < f->height; ++y)
                for (int x = 0; x < f->width; ++x) h = (h ^ f->data[0][y * f->linesize[0] + x]) * 1099511628211ull;
            out.push_back({d.ToMediaTime(vs->index, f->best_effort_timestamp), f->key_frame != 0, h});
            av_frame_unref(f.get());
        }
    };
    while (d.ReadPacket(pkt.get()) == 0) {
        if (pkt->stream_index == vs->index) {
            dec.Send(pkt.get());
            drain();
        }
        av_packet_unref(pkt.get());
    }
    dec.Send(nullptr);
    drain();
    return out;
}

class Chains : public ::testing::TestWithParam<ContainerCase> {};

TEST_P(Chains, DecodesBothStreamsToTheEnd) {
    const auto &c = GetParam();
    std::string path = FixtureDir::Get().Make(c.name, c.options);
    ASSERT_FALSE(path.empty());
    const int threads = ThreadCount();
    {
        auto chain = BuildChain(path);
        ASSERT_EQ(chain->result, S_OK) << MediaResultName(chain->result);
        ASSERT_TRUE(chain->video && chain->audio);
        // The decoder offers its native layout first.
        PictureType pt;
        ASSERT_TRUE(ParsePictureType(chain->video->Type(), &pt));
        EXPECT_EQ(pt.format, PictureFormat::IYUV);
        EXPECT_EQ(pt.width, std::stoi(Probe(path, "v", "width")));
        PcmType pcm;
        ASSERT_TRUE(ParsePcmType(chain->audio->Type(), &pcm));
        EXPECT_EQ(pcm.sampleRate, std::stoi(Probe(path, "a", "sample_rate")));
        EXPECT_EQ(pcm.channels, std::stoi(Probe(path, "a", "channels")));
        EXPECT_EQ(pcm.bitsPerSample, 16);

        ASSERT_EQ(chain->Run(), S_OK);
        ASSERT_TRUE(chain->WaitForEnd());
        auto frames = chain->video->Samples();
        EXPECT_NEAR(static_cast<double>(frames.size()), 50.0, 2.0);
        ASSERT_FALSE(frames.empty());
        EXPECT_LT(std::abs(frames.front().start), 1000000);
        for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i].start, frames[i - 1].start) << i;
        EXPECT_EQ(frames.front().length, static_cast<long>(LayoutOf(PictureFormat::IYUV, pt.width, pt.height).imageSize));
        EXPECT_NEAR(AudioSeconds(chain->audio.Get()), 2.0, 0.15);
        EXPECT_EQ(chain->video->EndCount(), 1);
        EXPECT_EQ(chain->audio->EndCount(), 1);
    }
    EXPECT_EQ(ThreadCount(), threads);
}

INSTANTIATE_TEST_SUITE_P(Files, Chains, ::testing::ValuesIn(kContainers), [](const auto &info) {
    std::string n = info.param.name;
    for (char &ch : n)
        if (ch == '.') ch = '_';
    return n;
});

// Seeking checked frame by frame against a linear decode.
TEST(Splitter, SeekLandsWhereALinearDecodeSaysItShould) {
    for (int k : {0, 1, 2}) {  // avi, mpg, mp4
        const auto &c = kContainers[k];
        SCOPED_TRACE(c.name);
        std::string path = FixtureDir::Get().Make(c.name, c.options);
        auto linear = LinearFrames(path);
        ASSERT_GT(linear.size(), 40u);
        const std::size_t luma = LumaBytes(path);
        for (bool toKey : {true, false}) {
            SCOPED_TRACE(toKey ? "key frame" : "exact");
            const std::int64_t target = 13000000;  // 1.3 s
            auto chain = BuildChain(path, IsPicture, IsPcm, luma);
            ASSERT_EQ(chain->result, S_OK);
            ASSERT_EQ(chain->Pause(), S_OK);
            LONGLONG cur = target;
            DWORD flags = AM_SEEKING_AbsolutePositioning | (toKey ? DWORD{AM_SEEKING_SeekToKeyFrame} : DWORD{0});
            ASSERT_EQ(chain->Seeking()->SetPositions(&cur, flags, nullptr, AM_SEEKING_NoPositioning), S_OK);
            ASSERT_EQ(chain->Run(), S_OK);
            ASSERT_TRUE(chain->WaitForEnd());
            auto got = chain->video->Samples();
            ASSERT_FALSE(got.empty());
            // Expected first picture: the last key frame at or before the
            // target, or the frame showing at the target.
            std::size_t at = 0;
            for (std::size_t i = 0; i < linear.size(); ++i)
                if (linear[i].time <= target + 10000 && (!toKey || linear[i].key)) at = i;
            EXPECT_EQ(got.front().hash, linear[at].hash) << "first picture is not the expected frame " << at;
            if (toKey) {
                EXPECT_LT(std::abs(got.front().start), 10000) << "times start at 0 at the key frame";
            } else {
                EXPECT_LE(got.front().start, 0);
                EXPECT_GT(got.front().end, 0);
            }
            ASSERT_EQ(got.size(), linear.size() - at);
            for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].hash, linear[at + i].hash) << i;
        }
    }
}

TEST(Splitter, StopPositionEndsBothStreams) {
    std::string path = FixtureDir::Get().Make(kContainers[0].name, kContainers[0].options);
    auto chain = BuildChain(path);
    ASSERT_EQ(chain->result, S_OK);
    LONGLONG start = 4000000, stop = 12000000;
    ASSERT_EQ(chain->Seeking()->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning), S_OK);
    LONGLONG got = 0;
    chain->Seeking()->GetStopPosition(&got);
    EXPECT_EQ(got, stop);
    ASSERT_EQ(chain->Run(), S_OK);
    ASSERT_TRUE(chain->WaitForEnd());
    auto frames = chain->video->Samples();
    EXPECT_NEAR(static_cast<double>(frames.size()), 20.0, 1.0);
    for (const Received &r : frames) EXPECT_LT(r.start, stop - start);
    EXPECT_NEAR(AudioSeconds(chain->audio.Get()), 0.8, 0.1);
}

TEST(Splitter, SeeksWhileRunningAndRestartsAfterStop) {
    std::string path = FixtureDir::Get().Make(kContainers[2].name, kContainers[2].options);
    const int threads = ThreadCount();
    {
        auto chain = BuildChain(path);
        ASSERT_EQ(chain->result, S_OK);
        // Hold the video so the seeks land mid-stream.
        std::atomic<bool> open{false};
        chain->video->SetGate([&] { return open.load(); });
        ASSERT_EQ(chain->Run(), S_OK);
        auto seeking = chain->Seeking();
        for (LONGLONG pos : {15000000LL, 2000000LL, 10000000LL}) {
            ASSERT_EQ(seeking->SetPositions(&pos, AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame, nullptr, 0), S_OK);
        }
        EXPECT_GE(chain->video->Flushes(), 3);
        open = true;
        chain->video->Kick();
        ASSERT_TRUE(chain->WaitForEnd());
        EXPECT_EQ(chain->video->EndCount(), 1);
        // Stop, then run again from the last position.
        chain->Stop();
        chain->video->Clear();
        chain->audio->Clear();
        ASSERT_EQ(chain->Run(), S_OK);
        ASSERT_TRUE(chain->WaitForEnd());
        EXPECT_NEAR(static_cast<double>(chain->video->Count()), 25.0, 6.0);
    }
    EXPECT_EQ(ThreadCount(), threads);
}

// A consumer that holds one input until the other has caught up (the
// encoder does that) must not stall the graph.
TEST(Splitter, HeldStreamDoesNotStarveTheOther) {
    std::string path = FixtureDir::Get().Make("long.avi", kContainers[0].options, 6.0);
    ASSERT_FALSE(path.empty());
    auto chain = BuildChain(path);
    ASSERT_EQ(chain->result, S_OK);
    SinkFilter *audio = chain->audio.Get();
    chain->video->SetGate([audio] { return audio->Ended(); });
    ASSERT_EQ(chain->Run(), S_OK);
    ASSERT_TRUE(chain->audio->WaitForEnd(30000)) << "audio starved while video was held";
    chain->video->Kick();
    ASSERT_TRUE(chain->video->WaitForEnd(30000));
    EXPECT_NEAR(static_cast<double>(chain->video->Count()), 150.0, 3.0);
}

TEST(BadInput, IsRefusedOrEndsCleanly) {
    auto &dir = FixtureDir::Get();
    std::string good = dir.Make(kContainers[0].name, kContainers[0].options);
    std::string goodMp4 = dir.Make(kContainers[2].name, kContainers[2].options);
    std::filesystem::create_directories(dir.Path() / "dir.avi");
    struct Case {
        std::string path;
        bool mayRender;
    } cases[] = {
        {dir.WriteBytes("zero.avi", ""), false},
        {dir.RandomFile("random.avi", 300000), false},
        {dir.RandomFile("random.wmv", 300000, 3), false},
        {dir.RandomFile("random.mov", 300000, 4), false},
        {(dir.Path() / "absent.mpg").string(), false},
        {(dir.Path() / "dir.avi").string(), false},
        {dir.Truncated(good, "cut.avi"), true},
        {dir.Truncated(goodMp4, "cut.mp4", 0.6), true},
        {dir.Damaged(good, "damaged.avi"), true},
        {dir.Damaged(goodMp4, "damaged.mp4"), true},
        {dir.Fifo("pipe.avi"), false},
    };
    const int threads = ThreadCount();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        auto chain = BuildChain(c.path);
        if (FAILED(chain->result)) continue;  // refused with an error result
        EXPECT_TRUE(c.mayRender);
        ASSERT_EQ(chain->Run(), S_OK);
        EXPECT_TRUE(chain->WaitForEnd(20000)) << "no clean end of stream";
    }
    EXPECT_EQ(ThreadCount(), threads);
}

TEST(Converters, ColourAndAudioConvertersBridgeTypes) {
    std::string path = FixtureDir::Get().Make(kContainers[0].name, kContainers[0].options);
    auto chain = std::make_unique<Chain>();
    chain->source = CreateFilter(CLSID_AsyncReader);
    chain->splitter = CreateFilter(CLSID_FfSplitter);
    ComPtr<IFileSourceFilter> fs;
    chain->source->QueryInterface(IID_IFileSourceFilter, fs.PutVoid());
    std::u16string wide = Utf8ToWide(path);
    ASSERT_EQ(fs->Load(wide.c_str(), nullptr), S_OK);
    ASSERT_EQ(Pins(chain->source.Get(), PINDIR_OUTPUT)[0]->Connect(Pins(chain->splitter.Get(), PINDIR_INPUT)[0].Get(), nullptr), S_OK);
    auto rgb32 = [](const CMediaType &mt) {
        PictureType t;
        return ParsePictureType(mt, &t) && t.format == PictureFormat::RGB32;
    };
    auto mono22k = [](const CMediaType &mt) {
        PcmType p;
        return ParsePcmType(mt, &p) && p.channels == 1 && p.sampleRate == 22050 && p.bitsPerSample == 16;
    };
    chain->video = ComPtr<SinkFilter>(new SinkFilter(rgb32), false);
    chain->audio = ComPtr<SinkFilter>(new SinkFilter(mono22k), false);
    for (auto &pin : Pins(chain->splitter.Get(), PINDIR_OUTPUT)) {
        const bool video = MajorOf(pin.Get()) == MEDIATYPE_Video;
        auto dec = CreateFilter(CLSID_FfDecoder);
        auto conv = CreateFilter(video ? CLSID_Colour : CLSID_ACMWrapper);
        ASSERT_TRUE(dec && conv);
        chain->decoders.push_back(dec);
        chain->decoders.push_back(conv);
        SinkFilter *sink = video ? chain->video.Get() : chain->audio.Get();
        ASSERT_EQ(pin->Connect(Pins(dec.Get(), PINDIR_INPUT)[0].Get(), nullptr), S_OK);
        if (!video) {
            // The sink takes none of the audio decoder's types directly.
            EXPECT_TRUE(FAILED(Pins(dec.Get(), PINDIR_OUTPUT)[0]->Connect(sink->Pin(), nullptr)));
        }
        ASSERT_EQ(ConnectThrough(Pins(dec.Get(), PINDIR_OUTPUT)[0].Get(), conv.Get(), sink), S_OK);
    }
    ASSERT_EQ(chain->Run(), S_OK);
    ASSERT_TRUE(chain->WaitForEnd());
    auto frames = chain->video->Samples();
    EXPECT_NEAR(static_cast<double>(frames.size()), 50.0, 2.0);
    if (!frames.empty()) {
        EXPECT_EQ(frames[0].length, 320 * 240 * 4);
    }
    EXPECT_NEAR(AudioSeconds(chain->audio.Get()), 2.0, 0.15);
}

// It takes the AVI-style video codecs and nothing else: not audio, not
// WMV (which has its own decoder), not uncompressed pictures.
TEST(Converters, AviDecompressorConnectsOnlyWhereItIsOfUse) {
    struct Case {
        int container;
        bool takesVideo;
    } cases[] = {{0, true}, {4, false}, {2, false}};  // avi/mpeg4, wmv, mp4/h264
    for (const Case &c : cases) {
        SCOPED_TRACE(kContainers[c.container].name);
        std::string path = FixtureDir::Get().Make(kContainers[c.container].name, kContainers[c.container].options);
        auto source = CreateFilter(CLSID_AsyncReader);
        auto splitter = CreateFilter(CLSID_FfSplitter);
        ComPtr<IFileSourceFilter> fs;
        source->QueryInterface(IID_IFileSourceFilter, fs.PutVoid());
        std::u16string wide = Utf8ToWide(path);
        ASSERT_EQ(fs->Load(wide.c_str(), nullptr), S_OK);
        ASSERT_EQ(Pins(source.Get(), PINDIR_OUTPUT)[0]->Connect(Pins(splitter.Get(), PINDIR_INPUT)[0].Get(), nullptr), S_OK);
        auto avidec = CreateFilter(CLSID_AVIDec);
        ASSERT_TRUE(avidec);
        IPin *in = Pins(avidec.Get(), PINDIR_INPUT)[0].Get();
        for (auto &pin : Pins(splitter.Get(), PINDIR_OUTPUT)) {
            const bool video = MajorOf(pin.Get()) == MEDIATYPE_Video;
            HRESULT hr = pin->Connect(in, nullptr);
            EXPECT_EQ(SUCCEEDED(hr), video && c.takesVideo) << MediaResultName(hr);
            if (SUCCEEDED(hr)) {
                in->Disconnect();
                pin->Disconnect();
            }
        }
        CMediaType iyuv = MakePictureType(PictureFormat::IYUV, 320, 240, 400000);
        EXPECT_NE(in->QueryAccept(&iyuv), S_OK);
        Pins(source.Get(), PINDIR_OUTPUT)[0]->Disconnect();
        Pins(splitter.Get(), PINDIR_INPUT)[0]->Disconnect();
    }
}

// The pull interface the splitter reads through, as any other reader would
// use it: lengths, short reads at the end, queued requests and flushing.
TEST(FileSource, OffersTheFileThroughThePullInterface) {
    std::string bytes(100000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    std::string path = FixtureDir::Get().WriteBytes("bytes.bin", bytes);
    auto source = CreateFilter(CLSID_AsyncReader);
    ASSERT_TRUE(source);
    ComPtr<IFileSourceFilter> fs;
    ASSERT_EQ(source->QueryInterface(IID_IFileSourceFilter, fs.PutVoid()), S_OK);
    std::u16string missing = Utf8ToWide((FixtureDir::Get().Path() / "no-such-file").string());
    EXPECT_EQ(fs->Load(missing.c_str(), nullptr), HRESULT_FILE_NOT_FOUND);
    std::u16string wide = Utf8ToWide(path);
    ASSERT_EQ(fs->Load(wide.c_str(), nullptr), S_OK);
    auto pin = Pins(source.Get(), PINDIR_OUTPUT)[0];
    ComPtr<IAsyncReader> reader;
    ASSERT_EQ(pin->QueryInterface(IID_IAsyncReader, reader.PutVoid()), S_OK);

    LONGLONG total = 0, available = 0;
    ASSERT_EQ(reader->Length(&total, &available), S_OK);
    EXPECT_EQ(total, 100000);
    BYTE buf[64];
    ASSERT_EQ(reader->SyncRead(5000, 64, buf), S_OK);
    EXPECT_EQ(std::memcmp(buf, bytes.data() + 5000, 64), 0);
    EXPECT_EQ(reader->SyncRead(99990, 64, buf), S_FALSE) << "a read past the end is short";
    EXPECT_EQ(std::memcmp(buf, bytes.data() + 99990, 10), 0);

    ALLOCATOR_PROPERTIES props{2, 4096, 1, 0};
    ComPtr<IMemAllocator> alloc;
    ASSERT_EQ(reader->RequestAllocator(nullptr, &props, alloc.PutAddr()), S_OK);
    ASSERT_EQ(alloc->Commit(), S_OK);
    IMediaSample *sample = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME start = 40000LL * UNITS, end = 44096LL * UNITS;  // byte positions
    sample->SetTime(&start, &end);
    ASSERT_EQ(reader->Request(sample, 77), S_OK);
    IMediaSample *done = nullptr;
    DWORD_PTR user = 0;
    ASSERT_EQ(reader->WaitForNext(1000, &done, &user), S_OK);
    EXPECT_EQ(done, sample);
    EXPECT_EQ(user, 77u);
    BYTE *data = nullptr;
    done->GetPointer(&data);
    EXPECT_EQ(done->GetActualDataLength(), 4096);
    EXPECT_EQ(std::memcmp(data, bytes.data() + 40000, 4096), 0);
    done->Release();  // the reference Request took
    EXPECT_EQ(reader->WaitForNext(10, &done, &user), VFW_E_TIMEOUT);

    // While flushing, requests are refused and waiters return at once.
    ASSERT_EQ(reader->BeginFlush(), S_OK);
    EXPECT_EQ(reader->Request(sample, 1), VFW_E_WRONG_STATE);
    EXPECT_EQ(reader->WaitForNext(INFINITE, &done, &user), VFW_E_WRONG_STATE);
    ASSERT_EQ(reader->EndFlush(), S_OK);
    ASSERT_EQ(reader->SyncReadAligned(sample), S_OK);
    sample->Release();
    alloc->Decommit();
}

}  // namespace
