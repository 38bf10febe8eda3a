// End to end through real graphs: the framework's file source, splitter and
// decoders feed the encoder, as in a conversion.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "graph.h"
#include "probe.h"

using namespace dravik;
using namespace dravik::test;

namespace {

// Sources made once per run with the ffmpeg command.
class Sources {
public:
    static Sources &Get() {
        static Sources s;
        return s;
    }
    // 640x480 29.97 fps, stereo 44.1 kHz tone.
    std::string Standard(double seconds) {
        return Make("std" + std::to_string(static_cast<int>(seconds * 10)) + ".avi",
                    "-f lavfi -i testsrc=size=640x480:rate=30000/1001 -f lavfi -i sine=frequency=440:sample_rate=44100 "
                    "-ac 2 -t " + std::to_string(seconds) + " -c:v mpeg4 -q:v 4 -c:a pcm_s16le");
    }
    // A small clip for many short runs.
    std::string Small() {
        return Make("small.avi",
                    "-f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=sample_rate=44100 -ac 2 -t 2 "
                    "-c:v mpeg4 -q:v 4 -c:a pcm_s16le");
    }
    // 720x576 white picture: the bars are all that is dark.
    std::string White576() {
        return Make("white576.avi",
                    "-f lavfi -i color=c=white:size=720x576:rate=25 -f lavfi -i sine=sample_rate=44100 -ac 2 -t 2 "
                    "-c:v mpeg4 -q:v 2 -c:a pcm_s16le");
    }

private:
    std::string Make(const std::string &name, const std::string &args) {
        std::string path = dir_.File(name);
        if (!std::filesystem::exists(path))
            Shell("ffmpeg -nostdin -v error -y " + args + " " + Quote(path) + " 2>&1");
        return path;
    }
    TempDir dir_;
};

struct TypeCase {
    int type;
    const char *ext;
    const char *format;
    const char *video;
    int w, h;
    double fps;
    const char *audio;
    int rate, channels;
};
void PrintTo(const TypeCase &c, std::ostream *os) { *os << "type " << c.type; }

}  // namespace

class GraphTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(GraphTypes, EveryOutputTypePlays) {
    const TypeCase c = GetParam();
    const std::string src = Sources::Get().Standard(3);
    ASSERT_TRUE(std::filesystem::exists(src));
    TempDir out;
    const std::string target = c.type == 2 ? out.Path() : out.File(std::string("movie") + c.ext);
    const bool audioOnly = OutputTypes::IsAudioOnly(c.type);
    ConversionGraph g;
    ASSERT_TRUE(g.Open(src, audioOnly)) << g.why;
    Mpeg2Parameter p = ConversionGraph::Record(c.type, target.c_str());
    if (c.h == 144) {
        p.FrameWidth = 176;
        p.FrameHeight = 144;
    }
    g.Deliver(p);
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
    ASSERT_EQ(g.control->Stop(), S_OK);

    const std::string file = c.type == 2 ? out.File("MPEG2_1.vob") : target;
    ASSERT_TRUE(std::filesystem::exists(file)) << file;
    ProbeInfo info = Probe(file);
    ASSERT_TRUE(info.ok);
    EXPECT_NE(info.format.find(c.format), std::string::npos) << info.format;
    const StreamInfo *v = info.Find("video");
    if (c.video) {
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->codec, c.video);
        EXPECT_EQ(v->width, c.w);
        EXPECT_EQ(v->height, c.h);
        EXPECT_NEAR(v->frameRate, c.fps, 0.05);
    } else {
        EXPECT_EQ(v, nullptr);
    }
    const StreamInfo *a = info.Find("audio");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->codec, c.audio);
    EXPECT_EQ(a->sampleRate, c.rate);
    EXPECT_EQ(a->channels, c.channels);
    EXPECT_NEAR(info.duration, 3.0, 0.3);
    EXPECT_EQ(DecodeErrors(file), "");
}

// Velorin's record sets FrameRateMode 1 at 30000/1001; the DVD type then
// takes PAL, the only DVD rate other than mode 3.
INSTANTIATE_TEST_SUITE_P(
    AllTypes, GraphTypes,
    ::testing::Values(
        TypeCase{1, ".mpg", "mpeg", "mpeg2video", 320, 240, 29.97, "mp2", 44100, 2},
        TypeCase{2, ".vob", "mpeg", "mpeg2video", 720, 576, 25.0, "ac3", 48000, 2},
        TypeCase{3, ".avi", "avi", "mpeg4", 320, 240, 29.97, "mp3", 44100, 2},
        TypeCase{4, ".swf", "swf", "flv1", 320, 240, 29.97, "mp3", 44100, 2},
        TypeCase{5, ".mpg", "mpeg", "mpeg1video", 320, 240, 29.97, "mp2", 44100, 2},
        TypeCase{6, ".mp4", "mp4", "mpeg4", 320, 240, 29.97, "aac", 44100, 2},
        TypeCase{7, ".mov", "mov", "mpeg4", 320, 240, 29.97, "aac", 44100, 2},
        TypeCase{8, ".mp4", "mp4", "mpeg4", 320, 240, 29.97, "aac", 24000, 2},
        TypeCase{9, ".mp4", "mp4", "mpeg4", 320, 240, 29.97, "aac", 44100, 2},
        TypeCase{10, ".3gp", "3gp", "mpeg4", 320, 240, 29.97, "amr_nb", 8000, 1},
        TypeCase{11, ".3gp", "3gp", "mpeg4", 320, 240, 29.97, "aac", 44100, 2},
        TypeCase{12, ".3gp", "3gp", "h263", 176, 144, 29.97, "amr_nb", 8000, 1},
        TypeCase{13, ".3gp", "3gp", "h263", 176, 144, 29.97, "aac", 44100, 2},
        TypeCase{14, ".3g2", "3g2", "mpeg4", 320, 240, 29.97, "amr_nb", 8000, 1},
        TypeCase{15, ".3g2", "3g2", "mpeg4", 320, 240, 29.97, "aac", 44100, 2},
        TypeCase{16, ".3g2", "3g2", "h263", 176, 144, 29.97, "amr_nb", 8000, 1},
        TypeCase{17, ".3g2", "3g2", "h263", 176, 144, 29.97, "aac", 44100, 2},
        TypeCase{18, ".wmv", "asf", "wmv2", 320, 240, 29.97, "wmav2", 44100, 2},
        TypeCase{19, ".mp3", "mp3", nullptr, 0, 0, 0, "mp3", 44100, 2},
        TypeCase{20, ".aac", "aac", nullptr, 0, 0, 0, "aac", 44100, 2},
        TypeCase{21, ".ogg", "ogg", nullptr, 0, 0, 0, "vorbis", 44100, 2},
        TypeCase{22, ".wma", "asf", nullptr, 0, 0, 0, "wmav2", 44100, 2}),
    [](const ::testing::TestParamInfo<TypeCase> &i) { return "Type" + std::to_string(i.param.type); });

TEST(Graph, TenSecondsAndATrimmedRange) {
    const std::string src = Sources::Get().Standard(10);
    // The audio-only case seeks through the audio input (no video input).
    struct Case { double from, to, want; int type; } cases[] = {{0, 10, 10, 6}, {2, 7, 5, 6}, {2, 7, 5, 19}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + "-" + std::to_string(c.to) + " type " + std::to_string(c.type));
        TempDir out;
        const std::string file = out.File(c.type == 19 ? "song.mp3" : "movie.mp4");
        ConversionGraph g;
        ASSERT_TRUE(g.Open(src, OutputTypes::IsAudioOnly(c.type))) << g.why;
        g.Deliver(ConversionGraph::Record(c.type, file.c_str()));
        ASSERT_TRUE(g.SetRange(c.from, c.to));
        ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
        LONGLONG pos = 0, dur = 0;
        g.info->GetEncodedPosition(&pos);
        g.info->GetSourceDuration(&dur);
        EXPECT_NEAR(pos / 1e7, c.want, 0.2);
        EXPECT_NEAR(dur / 1e7, 10.0, 0.1);
        ASSERT_EQ(g.control->Stop(), S_OK);
        ProbeInfo info = Probe(file);
        EXPECT_NEAR(info.duration, c.want, 0.3);
        EXPECT_EQ(DecodeErrors(file), "");
    }
}

TEST(Graph, LetterboxBarsOnADecodedFrame) {
    TempDir out;
    const std::string file = out.File("bars.avi");
    ConversionGraph g;
    ASSERT_TRUE(g.Open(Sources::Get().White576(), false)) << g.why;
    g.Deliver(ConversionGraph::Record(3, file.c_str()));
    ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
    ASSERT_EQ(g.control->Stop(), S_OK);
    auto gray = DecodeGray(file, 1.0);
    ASSERT_EQ(gray.size(), 320u * 240u);
    // Columns 0..9 and 310..319 black; the 300-pixel picture between white.
    for (int y : {5, 120, 234}) {
        for (int x = 0; x < 9; ++x) {
            EXPECT_LE(gray[y * 320 + x], 24) << x << "," << y;
            EXPECT_LE(gray[y * 320 + 319 - x], 24) << 319 - x << "," << y;
        }
        for (int x = 12; x < 308; x += 8) EXPECT_GE(gray[y * 320 + x], 220) << x << "," << y;
    }
}

TEST(Graph, VolumeScaleDoublesTheLevel) {
    const std::string src = Sources::Get().Standard(3);
    double level[2];
    TempDir out;
    for (int k = 0; k < 2; ++k) {
        const std::string file = out.File("v" + std::to_string(k) + ".mp3");
        ConversionGraph g;
        ASSERT_TRUE(g.Open(src, true)) << g.why;
        Mpeg2Parameter p = ConversionGraph::Record(19, file.c_str());
        p.VolumeScale = k == 0 ? 256 : 512;
        g.Deliver(p);
        ASSERT_EQ(g.RunToEnd(), EC_COMPLETE);
        ASSERT_EQ(g.control->Stop(), S_OK);
        level[k] = MeanVolume(file);
    }
    EXPECT_NEAR(level[1] - level[0], 6.02, 0.5);
}

TEST(Graph, StopInTheMiddleAndDvdFolder) {
    const std::string src = Sources::Get().Standard(10);
    TempDir out;
    ConversionGraph g;
    ASSERT_TRUE(g.Open(src, false)) << g.why;
    g.Deliver(ConversionGraph::Record(2, out.Path().c_str()));
    ASSERT_EQ(g.control->Run(), S_OK);
    // Until about three seconds are encoded (slow under sanitizers), then stop.
    LONGLONG pos = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (pos < 30000000 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        g.info->GetEncodedPosition(&pos);
    }
    ASSERT_GE(pos, 30000000);
    ASSERT_EQ(g.control->Stop(), S_OK);
    const std::string file = out.File("MPEG2_1.vob");
    ASSERT_TRUE(std::filesystem::exists(file));
    ProbeInfo info = Probe(file);
    ASSERT_TRUE(info.ok);
    EXPECT_GT(info.duration, 2.5);
    EXPECT_LT(info.duration, 9.5);
    EXPECT_EQ(DecodeErrors(file), "");
}

TEST(Graph, ManyRunsStoppedAtRandomMoments) {
    // Real graphs stopped anywhere from before the first sample to after
    // the end: every stop returns, every file is complete, nothing leaks.
    const std::string src = Sources::Get().Small();
    TempDir out;
    std::mt19937 rng(2026);
    const long before = ComLiveObjectCount();
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::string file = out.File("r" + std::to_string(run % 3) + (run % 2 ? ".avi" : ".mp4"));
        {
            ConversionGraph g;
            ASSERT_TRUE(g.Open(src, false)) << g.why;
            Mpeg2Parameter p = ConversionGraph::Record(run % 2 ? 3 : 6, file.c_str());
            p.FrameWidth = 160;
            p.FrameHeight = 120;
            g.Deliver(p);
            ASSERT_EQ(g.control->Run(), S_OK);
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % 150000));
            ASSERT_EQ(g.control->Stop(), S_OK);
        }
        if (run % 40 == 0) {
            EXPECT_TRUE(Probe(file).ok);
            EXPECT_EQ(DecodeErrors(file), "");
        }
    }
    EXPECT_EQ(ComLiveObjectCount(), before);
}
