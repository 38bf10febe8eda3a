// The FFmpeg engine of the stock filters on its own: queues, demuxing over a
// pull reader, decoding, seeking against a linear decode, conversions and
// bad input.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "fixtures.h"
#include "mediaff/codec.h"
#include "mediaff/codecblob.h"
#include "mediaff/demuxer.h"
#include "mediaff/lanequeue.h"

extern "C" {
#include <libavutil/hash.h>
}

using namespace mediaff;
using mediaff::fixtures::FixtureDir;
using mediaff::fixtures::kContainers;
using mediaff::fixtures::Probe;

namespace {

// ---- queues -----------------------------------------------------------

TEST(LaneQueue, FullLaneBlocksUntilPopped) {
    LaneQueue<int> q(1, 2);
    ASSERT_EQ(q.Push(0, 1), LaneQueue<int>::PushResult::Ok);
    ASSERT_EQ(q.Push(0, 2), LaneQueue<int>::PushResult::Ok);
    std::atomic<bool> pushed{false};
    std::thread producer([&] {
        q.Push(0, 3);
        pushed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(pushed.load());
    int v = 0;
    ASSERT_EQ(q.Pop(0, &v), LaneQueue<int>::PopResult::Item);
    EXPECT_EQ(v, 1);
    producer.join();
    EXPECT_TRUE(pushed.load());
    EXPECT_EQ(q.Size(0), 2u);
}

TEST(LaneQueue, FullLaneGrowsWhileSiblingStarves) {
    // Lane 0 is held back by its consumer; lane 1's consumer waits for data
    // that sits behind lane 0's packets in the file.
    LaneQueue<int> q(2, 2, 8);
    int v = 0;
    std::atomic<bool> gotSibling{false};
    std::thread consumer1([&] {
        if (q.Pop(1, &v) == LaneQueue<int>::PopResult::Item) gotSibling = true;
    });
    std::thread producer([&] {
        for (int i = 0; i < 5; ++i) q.Push(0, i);
        q.Push(1, 99);
    });
    producer.join();
    consumer1.join();
    EXPECT_TRUE(gotSibling.load());
    EXPECT_EQ(q.Size(0), 5u);
}

TEST(LaneQueue, EndDrainsThenEndsAndCloseWakesEveryone) {
    LaneQueue<int> q(2, 1);
    q.Push(0, 7);
    q.EndLane(0);
    int v = 0;
    EXPECT_EQ(q.Pop(0, &v), LaneQueue<int>::PopResult::Item);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(q.Pop(0, &v), LaneQueue<int>::PopResult::Ended);
    EXPECT_EQ(q.Push(0, 8), LaneQueue<int>::PushResult::LaneEnded);

    q.Push(1, 1);  // lane 1 is full now
    std::thread blockedPush([&] { EXPECT_EQ(q.Push(1, 2), LaneQueue<int>::PushResult::Closed); });
    LaneQueue<int> empty(1, 1);
    std::thread blockedPop([&] { EXPECT_EQ(empty.Pop(0, &v), LaneQueue<int>::PopResult::Closed); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    q.Close();
    empty.Close();
    blockedPush.join();
    blockedPop.join();

    q.Reopen();
    EXPECT_EQ(q.Size(1), 0u);
    EXPECT_EQ(q.Push(0, 5), LaneQueue<int>::PushResult::Ok);
}

// ---- demuxing and decoding ---------------------------------------------

struct DecodedFrame {
    std::int64_t time;  // 100-ns media time
    bool key;
    std::uint64_t hash;
};

std::uint64_t HashPicture(const AVFrame *f) {
    // FNV-1a over the luma plane: enough to tell frames apart.
    std::uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < f->height; ++y) {
        const std::uint8_t *row = f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0];
        for (int x = 0; x < f->width; ++x) h = (h ^ row[x]) * 1099511628211ull;
    }
    return h;
}

struct Opened {
    FileByteReader reader;
    Demuxer demuxer;
};

std::unique_ptr<Opened> OpenFile(const std::string &path, int *err = nullptr) {
    auto o = std::make_unique<Opened>();
    if (!o->reader.Open(path)) {
        if (err) *err = AVERROR(ENOENT);
        return nullptr;
    }
    int e = o->demuxer.Open(&o->reader, path);
    if (err) *err = e;
    if (e < 0) return nullptr;
    return o;
}

const DemuxStream *FirstOf(const Demuxer &d, AVMediaType type) {
    for (const DemuxStream &s : d.Streams())
        if (s.type == type) return &s;
    return nullptr;
}

// Decodes every video frame from the demuxer's current position, at most
// `limit` frames.
std::vector<DecodedFrame> DecodeVideo(Demuxer &d, const DemuxStream &vs, size_t limit = 100000) {
    std::vector<DecodedFrame> out;
    Decoder dec;
    if (dec.Open(vs.codecpar, vs.timeBase) < 0) return out;
    PacketPtr pkt = MakePacket();
    FramePtr frame = MakeFrame();
    auto drain = [&] {
        while (dec.Receive(frame.get()) == 0) {
            out.push_back({d.ToMediaTime(vs.index, frame->best_effort_timestamp), frame->key_frame != 0, HashPicture(frame.get())});
            av_frame_unref(frame.get());
        }
    };
    while (out.size() < limit && d.ReadPacket(pkt.get()) == 0) {
        if (pkt->stream_index == vs.index) {
            dec.Send(pkt.get());
            drain();
        }
        av_packet_unref(pkt.get());
    }
    dec.Send(nullptr);
    drain();
    if (out.size() > limit) out.resize(limit);
    return out;
}

class Containers : public ::testing::TestWithParam<fixtures::ContainerCase> {};

TEST_P(Containers, OpensStreamsAndDecodesEveryFrame) {
    const auto &c = GetParam();
    std::string path = FixtureDir::Get().Make(c.name, c.options);
    ASSERT_FALSE(path.empty()) << "ffmpeg could not write " << c.name;
    ASSERT_EQ(Probe(path, "v", "codec_name"), c.videoCodec);

    int err = 0;
    auto o = OpenFile(path, &err);
    ASSERT_TRUE(o) << AvErrorText(err);
    const DemuxStream *vs = FirstOf(o->demuxer, AVMEDIA_TYPE_VIDEO);
    const DemuxStream *as = FirstOf(o->demuxer, AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(vs);
    ASSERT_TRUE(as);
    EXPECT_EQ(vs->codecpar->width, std::stoi(Probe(path, "v", "width")));
    EXPECT_EQ(vs->codecpar->height, std::stoi(Probe(path, "v", "height")));
    EXPECT_EQ(as->codecpar->sample_rate, std::stoi(Probe(path, "a", "sample_rate")));
    EXPECT_NEAR(o->demuxer.Duration() / 1e7, 2.0, 0.3);

    auto frames = DecodeVideo(o->demuxer, *vs);
    EXPECT_NEAR(static_cast<double>(frames.size()), 50.0, 2.0);
    ASSERT_FALSE(frames.empty());
    EXPECT_NEAR(frames.front().time / 1e7, 0.0, 0.1);
}

TEST_P(Containers, SeekLandsOnTheKeyFrameAtOrBeforeThePosition) {
    const auto &c = GetParam();
    std::string path = FixtureDir::Get().Make(c.name, c.options);
    ASSERT_FALSE(path.empty());
    auto linear = OpenFile(path);
    ASSERT_TRUE(linear);
    const DemuxStream *vs = FirstOf(linear->demuxer, AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(vs);
    auto all = DecodeVideo(linear->demuxer, *vs);
    ASSERT_GT(all.size(), 30u);

    for (double seconds : {1.3, 0.5, 0.0}) {
        SCOPED_TRACE(seconds);
        const std::int64_t target = static_cast<std::int64_t>(seconds * 1e7);
        auto o = OpenFile(path);
        ASSERT_TRUE(o);
        const DemuxStream *s = FirstOf(o->demuxer, AVMEDIA_TYPE_VIDEO);
        ASSERT_EQ(o->demuxer.SeekTo(target, s->index), 0);
        auto after = DecodeVideo(o->demuxer, *s, 5);
        ASSERT_FALSE(after.empty());
        // Find the decoded frame in the linear decode by its picture.
        size_t at = all.size();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].hash == after[0].hash) {
                at = i;
                break;
            }
        ASSERT_LT(at, all.size()) << "first frame after the seek is not a frame of the file";
        if (std::string(c.name) == "clip.swf") {
            // No key frames marked: it reads from the start, landing on the position.
            EXPECT_EQ(at, 0u);
            EXPECT_EQ(o->demuxer.SeekLanding(), target);
            continue;
        }
        EXPECT_TRUE(all[at].time <= target + 10000 || at == 0) << all[at].time;
        EXPECT_TRUE(all[at].key);
        // No key frame lies between the landing frame and the target.
        for (size_t i = at + 1; i < all.size() && all[i].time <= target; ++i) EXPECT_FALSE(all[i].key) << "skipped key frame at " << all[i].time;
        // And the frames after it follow the linear order.
        for (size_t i = 1; i < after.size() && at + i < all.size(); ++i) EXPECT_EQ(after[i].hash, all[at + i].hash);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Containers, ::testing::ValuesIn(kContainers), [](const auto &info) {
    std::string n = info.param.name;
    for (char &ch : n)
        if (ch == '.') ch = '_';
    return n;
});

TEST(Demuxer, BadInputIsRefusedOrEndsEarly) {
    auto &dir = FixtureDir::Get();
    std::string good = dir.Make("bad-src.avi", kContainers[0].options);
    ASSERT_FALSE(good.empty());
    std::filesystem::create_directories(dir.Path() / "folder.avi");
    struct Case {
        std::string path;
        bool mayOpen;
    } cases[] = {
        {dir.WriteBytes("empty.avi", ""), false},
        {dir.RandomFile("noise.avi", 200000), false},
        {dir.RandomFile("noise.mp4", 200000, 11), false},
        {dir.RandomFile("noise.rm", 200000, 12), false},
        {(dir.Path() / "missing.avi").string(), false},
        {(dir.Path() / "folder.avi").string(), false},
        {dir.Truncated(good, "half.avi"), true},
        {dir.Truncated(dir.Make("bad-src.mp4", kContainers[2].options), "half.mp4"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        int err = 0;
        auto o = OpenFile(c.path, &err);
        if (!o) {
            EXPECT_LT(err, 0);
            continue;
        }
        EXPECT_TRUE(c.mayOpen) << "opened " << o->demuxer.FormatName();
        // Whatever opens must decode to an end without crashing.
        const DemuxStream *vs = FirstOf(o->demuxer, AVMEDIA_TYPE_VIDEO);
        if (vs) {
            auto frames = DecodeVideo(o->demuxer, *vs);
            EXPECT_LT(frames.size(), 50u);
        }
    }
}

TEST(Demuxer, AbortMakesReadsFail) {
    std::string path = FixtureDir::Get().Make(kContainers[0].name, kContainers[0].options);
    auto o = OpenFile(path);
    ASSERT_TRUE(o);
    o->demuxer.Abort();
    PacketPtr pkt = MakePacket();
    EXPECT_LT(o->demuxer.ReadPacket(pkt.get()), 0);
    o->demuxer.ClearAbort();
    EXPECT_EQ(o->demuxer.ReadPacket(pkt.get()), 0);
}

// ---- codec description --------------------------------------------------

TEST(CodecBlob, RoundTripsParametersAndRejectsDamage) {
    std::string path = FixtureDir::Get().Make(kContainers[2].name, kContainers[2].options);  // h264 with extradata
    auto o = OpenFile(path);
    ASSERT_TRUE(o);
    for (const DemuxStream &s : o->demuxer.Streams()) {
        auto blob = SerializeCodecParameters(s.codecpar);
        CodecParametersPtr back(avcodec_parameters_alloc());
        ASSERT_TRUE(ParseCodecParameters(blob.data(), blob.size(), back.get()));
        EXPECT_EQ(back->codec_id, s.codecpar->codec_id);
        EXPECT_EQ(back->width, s.codecpar->width);
        EXPECT_EQ(back->sample_rate, s.codecpar->sample_rate);
        EXPECT_EQ(back->ch_layout.nb_channels, s.codecpar->ch_layout.nb_channels);
        ASSERT_EQ(back->extradata_size, s.codecpar->extradata_size);
        if (back->extradata_size) {
            EXPECT_EQ(std::memcmp(back->extradata, s.codecpar->extradata, back->extradata_size), 0);
        }
        Decoder dec;
        EXPECT_EQ(dec.Open(back.get(), s.timeBase), 0);

        CodecParametersPtr junk(avcodec_parameters_alloc());
        if (s.codecpar->extradata_size > 0) {
            EXPECT_FALSE(ParseCodecParameters(blob.data(), blob.size() - 1, junk.get()));
        }
        EXPECT_FALSE(ParseCodecParameters(blob.data(), blob.size() - s.codecpar->extradata_size - 1, junk.get()));
        blob[0] ^= 0xFF;
        EXPECT_FALSE(ParseCodecParameters(blob.data(), blob.size(), junk.get()));
    }
}

// ---- conversions --------------------------------------------------------

TEST(Picture, LayoutsMatchBitmapRules) {
    struct Row {
        PictureFormat f;
        int bits;
        size_t size320x240;
        size_t size7x5;
        bool bottomUp;
    } rows[] = {
        {PictureFormat::IYUV, 12, 115200, 35 + 2 * 4 * 3, false},
        {PictureFormat::YV12, 12, 115200, 35 + 2 * 4 * 3, false},
        {PictureFormat::NV12, 12, 115200, 35 + 2 * 4 * 3, false},
        {PictureFormat::YUY2, 16, 153600, 16 * 5, false},
        {PictureFormat::RGB32, 32, 307200, 28 * 5, true},
        {PictureFormat::RGB24, 24, 230400, 24 * 5, true},
        {PictureFormat::RGB565, 16, 153600, 16 * 5, true},
    };
    for (const Row &r : rows) {
        PictureLayout l = LayoutOf(r.f, 320, 240);
        EXPECT_EQ(l.bitCount, r.bits);
        EXPECT_EQ(l.imageSize, r.size320x240);
        EXPECT_EQ(l.bottomUp, r.bottomUp);
        EXPECT_EQ(LayoutOf(r.f, 7, 5).imageSize, r.size7x5);
    }
    EXPECT_EQ(LayoutOf(PictureFormat::RGB24, 0, 10).imageSize, 0u);
}

TEST(Picture, ConversionsKeepThePicture) {
    // A frame of known content: left half black, right half white.
    const int w = 64, h = 48;
    FramePtr src = MakeFrame();
    src->format = AV_PIX_FMT_YUV420P;
    src->width = w;
    src->height = h;
    ASSERT_EQ(av_frame_get_buffer(src.get(), 0), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) src->data[0][y * src->linesize[0] + x] = x < w / 2 ? 16 : 235;
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < h / 2; ++y) memset(src->data[p] + y * src->linesize[p], 128, w / 2);
    // Top row marker: the first row is grey, to check that RGB ends bottom-up.
    memset(src->data[0], 126, w);

    PictureConverter conv;
    for (PictureFormat f : {PictureFormat::IYUV, PictureFormat::YV12, PictureFormat::NV12, PictureFormat::YUY2, PictureFormat::UYVY,
                            PictureFormat::YVYU, PictureFormat::RGB32, PictureFormat::RGB24, PictureFormat::RGB565, PictureFormat::RGB555}) {
        SCOPED_TRACE(static_cast<int>(f));
        std::vector<std::uint8_t> buf(LayoutOf(f, w, h).imageSize);
        ASSERT_TRUE(conv.Convert(src.get(), f, w, h, buf.data()));
        std::vector<std::uint8_t> rgb(LayoutOf(PictureFormat::RGB24, w, h).imageSize);
        ASSERT_TRUE(conv.ConvertPacked(buf.data(), f, w, h, PictureFormat::RGB24, w, h, rgb.data()));
        const int stride = (w * 3 + 3) & ~3;
        // Bottom-up: the last stored row is the picture's top row.
        auto px = [&](int x, int yTop) { return rgb[static_cast<size_t>(h - 1 - yTop) * stride + x * 3 + 1]; };
        EXPECT_NEAR(px(4, 10), 0, 12);
        EXPECT_NEAR(px(w - 4, 10), 255, 12);
        EXPECT_NEAR(px(w - 4, 0), 128, 20);
    }
    // Scaling keeps the halves.
    std::vector<std::uint8_t> small(LayoutOf(PictureFormat::RGB24, 16, 12).imageSize);
    ASSERT_TRUE(conv.Convert(src.get(), PictureFormat::RGB24, 16, 12, small.data()));
    EXPECT_NEAR(small[static_cast<size_t>(5) * 48 + 1 * 3], 0, 12);
    EXPECT_NEAR(small[static_cast<size_t>(5) * 48 + 14 * 3], 255, 12);
}

TEST(Audio, ConverterGivesInterleaved16BitAtTheAskedLayout) {
    const int rate = 44100, n = 1024;
    FramePtr f = MakeFrame();
    f->format = AV_SAMPLE_FMT_FLTP;
    f->sample_rate = rate;
    f->nb_samples = n;
    av_channel_layout_default(&f->ch_layout, 2);
    ASSERT_EQ(av_frame_get_buffer(f.get(), 0), 0);
    auto *l = reinterpret_cast<float *>(f->data[0]);
    auto *r = reinterpret_cast<float *>(f->data[1]);
    for (int i = 0; i < n; ++i) {
        l[i] = 0.5f;
        r[i] = -0.25f;
    }
    struct Case {
        int channels, outRate;
    } cases[] = {{2, 44100}, {1, 44100}, {2, 22050}, {6, 48000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.channels * 100000 + c.outRate);
        AudioConverter conv;
        ASSERT_EQ(conv.Open(AV_SAMPLE_FMT_FLTP, f->ch_layout, rate, c.channels, c.outRate), 0);
        std::vector<std::uint8_t> out;
        int got = 0;
        for (int k = 0; k < 10; ++k) got += conv.Convert(f->extended_data, n, out);
        got += conv.Convert(nullptr, 0, out);
        EXPECT_NEAR(got, 10.0 * n * c.outRate / rate, 64);
        ASSERT_EQ(out.size(), static_cast<size_t>(got) * 2 * c.channels);
        auto *s = reinterpret_cast<const std::int16_t *>(out.data());
        size_t mid = static_cast<size_t>(got / 2) * c.channels;
        if (c.channels == 2) {
            EXPECT_NEAR(s[mid], 16384, 300);
            EXPECT_NEAR(s[mid + 1], -8192, 300);
        }
    }
}

}  // namespace
