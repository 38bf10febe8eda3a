// The engine on its own: synthetic pictures and tones pushed in time order,
// outputs read back with ffprobe and decoded with the ffmpeg command.
#include <gtest/gtest.h>

#include <filesystem>

#include "contract/mpeg2parameter.h"
#include "engine.h"
#include "probe.h"

using namespace dravik;
using namespace dravik::test;

namespace {

struct Source {
    int width = 640, height = 480;
    VideoLayout layout = VideoLayout::Rgb32;
    double fps = 30000.0 / 1001.0;
    int rate = 44100;
    double seconds = 3;
    bool video = true, audio = true;
    int audioChunk = 1024;  // samples per audio sample delivered
    bool noise = false;     // hard-to-compress pictures
};

// Velorin's usual record for a job: 320x240 at 29.97, letterboxed.
void VelorinSettings(SettingsBlock &b, int type, const std::string &out) {
    b.With([&](SettingsValues &v) {
        v.OutputType = type;
        CopyText(v.OutputPath, out.c_str());
        v.FrameRateMode = 1;
        v.FrameRate = 30000;
        v.FrameRateBase = 1001;
        v.AspectRatio = 1;
        v.FrameWidth = 320;
        v.FrameHeight = 240;
        v.KeepInputRatio = 1;
        v.MaxFileSize = -1149239296;
        v.AudioBitsPerSec = 128000;
        v.VideoBitsPerSec = 800000;
    });
}

std::vector<std::uint8_t> Picture(const Source &src, int index) {
    if (src.noise) {
        std::vector<std::uint8_t> p(static_cast<std::size_t>(src.width) * src.height * 4);
        std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(index % 8) * 7919u;
        for (auto &b : p) {
            x ^= x << 13; x ^= x >> 17; x ^= x << 5;
            b = static_cast<std::uint8_t>(x);
        }
        return p;
    }
    if (src.layout == VideoLayout::Rgb32) return Bgrx(src.width, src.height, index);
    // Planar 4:2:0: a luma ramp, constant chroma.
    std::vector<std::uint8_t> p(static_cast<std::size_t>(src.width) * src.height * 3 / 2, 128);
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x) p[static_cast<std::size_t>(y) * src.width + x] = static_cast<std::uint8_t>(16 + (x + index) % 200);
    return p;
}

// Pushes the source in time order; stops early after `stopAfter` seconds.
void Feed(Engine &e, const Source &src, double stopAfter = 1e9) {
    const int frames = static_cast<int>(src.seconds * src.fps + 0.5);
    std::int64_t audioDone = 0;
    const std::int64_t audioTotal = static_cast<std::int64_t>(src.seconds * src.rate);
    for (int i = 0; i <= frames; ++i) {
        const double t = i / src.fps;
        if (t >= stopAfter) break;
        // Audio up to this picture's time.
        while (src.audio && audioDone < audioTotal && audioDone < static_cast<std::int64_t>(t * src.rate) + src.audioChunk) {
            int n = static_cast<int>(std::min<std::int64_t>(src.audioChunk, audioTotal - audioDone));
            auto pcm = Tone(src.rate, 2, audioDone, n);
            e.EncodeAudio(reinterpret_cast<std::uint8_t *>(pcm.data()), pcm.size() * 2);
            audioDone += n;
        }
        if (src.video && i < frames) {
            auto pic = Picture(src, i);
            e.EncodeVideo(pic.data(), pic.size(), static_cast<std::int64_t>(t * 1e7));
        }
    }
}

// Builds, writes and finishes one conversion of `src`.
HRESULT Convert(Engine &e, const Source &src, double stopAfter = 1e9) {
    if (src.video) e.SetVideoInput(VideoInput{src.layout, src.width, src.height});
    if (src.audio) e.SetAudioInput(AudioInput{2, src.rate});
    HRESULT hr = e.BuildEncoders();
    if (FAILED(hr)) {
        e.TearDownEncoders();
        return hr;
    }
    hr = e.OpenOutputFile();
    if (FAILED(hr)) return hr;
    Feed(e, src, stopAfter);
    HRESULT fin = e.FinishOutputFile();
    HRESULT cl = e.CloseOutputFile();
    e.TearDownEncoders();
    return FAILED(fin) ? fin : cl;
}

struct TypeCase {
    int type;
    const char *ext;
    const char *format;  // substring of ffprobe's format_name
    const char *video;   // null: no video stream
    int w, h;
    const char *audio;
    int rate, channels;
};
void PrintTo(const TypeCase &c, std::ostream *os) { *os << "type " << c.type; }

}  // namespace

class OutputTypeTable : public ::testing::TestWithParam<TypeCase> {};

TEST_P(OutputTypeTable, ContainerCodecsSizesAndDuration) {
    const TypeCase c = GetParam();
    TempDir dir;
    SettingsBlock settings;
    std::string out = c.type == 2 ? dir.Path() : dir.File(std::string("movie") + c.ext);
    VelorinSettings(settings, c.type, out);
    if (c.w == 176) settings.With([](SettingsValues &v) { v.FrameWidth = 176; v.FrameHeight = 144; });
    if (c.type == 2) settings.With([](SettingsValues &v) { v.FrameRateMode = 3; });
    Source src;
    src.video = c.video != nullptr;
    Engine e(settings);
    ASSERT_EQ(Convert(e, src), S_OK) << e.LastError();
    const std::string file = c.type == 2 ? dir.File("MPEG2_1.vob") : out;
    ASSERT_TRUE(std::filesystem::exists(file));
    ProbeInfo info = Probe(file);
    ASSERT_TRUE(info.ok);
    EXPECT_NE(info.format.find(c.format), std::string::npos) << info.format;
    const StreamInfo *v = info.Find("video");
    if (c.video) {
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->codec, c.video);
        EXPECT_EQ(v->width, c.w);
        EXPECT_EQ(v->height, c.h);
        EXPECT_NEAR(v->frameRate, 30000.0 / 1001.0, 0.05);
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

INSTANTIATE_TEST_SUITE_P(
    AllTypes, OutputTypeTable,
    ::testing::Values(
        TypeCase{1, ".mpg", "mpeg", "mpeg2video", 320, 240, "mp2", 44100, 2},
        TypeCase{2, ".vob", "mpeg", "mpeg2video", 720, 480, "ac3", 48000, 2},
        TypeCase{3, ".avi", "avi", "mpeg4", 320, 240, "mp3", 44100, 2},
        TypeCase{4, ".swf", "swf", "flv1", 320, 240, "mp3", 44100, 2},
        TypeCase{5, ".mpg", "mpeg", "mpeg1video", 320, 240, "mp2", 44100, 2},
        TypeCase{6, ".mp4", "mp4", "mpeg4", 320, 240, "aac", 44100, 2},
        TypeCase{7, ".mov", "mov", "mpeg4", 320, 240, "aac", 44100, 2},
        TypeCase{8, ".mp4", "mp4", "mpeg4", 320, 240, "aac", 24000, 2},
        TypeCase{9, ".mp4", "mp4", "mpeg4", 320, 240, "aac", 44100, 2},
        TypeCase{10, ".3gp", "3gp", "mpeg4", 320, 240, "amr_nb", 8000, 1},
        TypeCase{11, ".3gp", "3gp", "mpeg4", 320, 240, "aac", 44100, 2},
        TypeCase{12, ".3gp", "3gp", "h263", 176, 144, "amr_nb", 8000, 1},
        TypeCase{13, ".3gp", "3gp", "h263", 176, 144, "aac", 44100, 2},
        TypeCase{14, ".3g2", "3g2", "mpeg4", 320, 240, "amr_nb", 8000, 1},
        TypeCase{15, ".3g2", "3g2", "mpeg4", 320, 240, "aac", 44100, 2},
        TypeCase{16, ".3g2", "3g2", "h263", 176, 144, "amr_nb", 8000, 1},
        TypeCase{17, ".3g2", "3g2", "h263", 176, 144, "aac", 44100, 2},
        TypeCase{18, ".wmv", "asf", "wmv2", 320, 240, "wmav2", 44100, 2},
        TypeCase{19, ".mp3", "mp3", nullptr, 0, 0, "mp3", 44100, 2},
        TypeCase{20, ".aac", "aac", nullptr, 0, 0, "aac", 44100, 2},
        TypeCase{21, ".ogg", "ogg", nullptr, 0, 0, "vorbis", 44100, 2},
        TypeCase{22, ".wma", "asf", nullptr, 0, 0, "wmav2", 44100, 2}),
    [](const ::testing::TestParamInfo<TypeCase> &i) { return "Type" + std::to_string(i.param.type); });

TEST(Engine, LetterboxBarsAreBlack) {
    // 720x576 into 320x240 keeping the ratio: 300x240 picture, 10-pixel bars.
    TempDir dir;
    SettingsBlock settings;
    VelorinSettings(settings, 3, dir.File("bars.avi"));
    Source src;
    src.width = 720;
    src.height = 576;
    src.layout = VideoLayout::Iyuv;
    src.seconds = 1;
    src.audio = false;
    // A bright picture so the bars stand out.
    Engine e(settings);
    e.SetVideoInput(VideoInput{VideoLayout::Iyuv, 720, 576});
    ASSERT_EQ(e.BuildEncoders(), S_OK) << e.LastError();
    EXPECT_EQ(e.Geometry().padLeft, 10);
    EXPECT_EQ(e.Geometry().padTop, 0);
    ASSERT_EQ(e.OpenOutputFile(), S_OK);
    std::vector<std::uint8_t> pic(720 * 576 * 3 / 2, 128);
    std::fill(pic.begin(), pic.begin() + 720 * 576, 200);
    for (int i = 0; i < 25; ++i) e.EncodeVideo(pic.data(), pic.size(), i * 400000LL);
    ASSERT_EQ(e.FinishOutputFile(), S_OK);
    ASSERT_EQ(e.CloseOutputFile(), S_OK);
    e.TearDownEncoders();

    auto gray = DecodeGray(dir.File("bars.avi"));
    ASSERT_EQ(gray.size(), 320u * 240u);
    for (int y : {0, 120, 239}) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_LE(gray[y * 320 + x], 24) << x << "," << y;
            EXPECT_LE(gray[y * 320 + 319 - x], 24) << 319 - x << "," << y;
        }
        for (int x = 14; x < 306; x += 20) EXPECT_GE(gray[y * 320 + x], 180) << x << "," << y;
    }
}

TEST(Engine, BottomUpRgbComesOutUprightAndYuvClearsReversal) {
    TempDir dir;
    struct Case { VideoLayout layout; int bpp; } cases[] = {{VideoLayout::Rgb32, 4}, {VideoLayout::Rgb24, 3}};
    for (const auto &c : cases) {
        SettingsBlock settings;
        const std::string out = dir.File("turn" + std::to_string(c.bpp) + ".avi");
        VelorinSettings(settings, 3, out);
        Engine e(settings);
        e.SetVideoInput(VideoInput{c.layout, 320, 240});
        ASSERT_EQ(e.BuildEncoders(), S_OK);
        ASSERT_EQ(e.OpenOutputFile(), S_OK);
        // Stored bottom row first: the first 120 stored rows (the bottom of
        // the picture) are black, the rest white.
        std::vector<std::uint8_t> pic(320 * 240 * c.bpp, 0);
        std::fill(pic.begin() + 120 * 320 * c.bpp, pic.end(), 255);
        for (int i = 0; i < 10; ++i) e.EncodeVideo(pic.data(), pic.size(), i * 333667LL);
        ASSERT_EQ(e.FinishOutputFile(), S_OK);
        ASSERT_EQ(e.CloseOutputFile(), S_OK);
        e.TearDownEncoders();
        auto gray = DecodeGray(out);
        ASSERT_EQ(gray.size(), 320u * 240u);
        EXPECT_GE(gray[10 * 320 + 160], 200) << "top should be white";
        EXPECT_LE(gray[230 * 320 + 160], 30) << "bottom should be black";
        EXPECT_EQ(settings.Reversal(), 1);
    }
    // A YUV picture is never turned and clears the setting.
    SettingsBlock settings;
    VelorinSettings(settings, 3, dir.File("yuv.avi"));
    Engine e(settings);
    e.SetVideoInput(VideoInput{VideoLayout::Iyuv, 320, 240});
    ASSERT_EQ(e.BuildEncoders(), S_OK);
    ASSERT_EQ(e.OpenOutputFile(), S_OK);
    std::vector<std::uint8_t> pic(320 * 240 * 3 / 2, 128);
    std::fill(pic.begin(), pic.begin() + 120 * 320, 235);  // top half white
    std::fill(pic.begin() + 120 * 320, pic.begin() + 240 * 320, 16);
    for (int i = 0; i < 10; ++i) e.EncodeVideo(pic.data(), pic.size(), i * 333667LL);
    e.FinishOutputFile();
    e.CloseOutputFile();
    e.TearDownEncoders();
    EXPECT_EQ(settings.Reversal(), 0);
    auto gray = DecodeGray(dir.File("yuv.avi"));
    ASSERT_EQ(gray.size(), 320u * 240u);
    EXPECT_GE(gray[10 * 320 + 160], 200);
    EXPECT_LE(gray[230 * 320 + 160], 30);
}

TEST(Engine, Yv12ChromaIsNotSwapped) {
    // The same colour stored as IYUV (Y,U,V) and YV12 (Y,V,U) decodes alike.
    TempDir dir;
    const int w = 64, h = 48;
    std::string files[2];
    for (int k = 0; k < 2; ++k) {
        const VideoLayout layout = k == 0 ? VideoLayout::Iyuv : VideoLayout::Yv12;
        SettingsBlock settings;
        files[k] = dir.File("c" + std::to_string(k) + ".avi");
        VelorinSettings(settings, 3, files[k]);
        settings.With([](SettingsValues &v) { v.FrameWidth = 64; v.FrameHeight = 48; });
        Engine e(settings);
        e.SetVideoInput(VideoInput{layout, w, h});
        ASSERT_EQ(e.BuildEncoders(), S_OK);
        ASSERT_EQ(e.OpenOutputFile(), S_OK);
        std::vector<std::uint8_t> pic(w * h * 3 / 2);
        std::fill(pic.begin(), pic.begin() + w * h, 80);
        auto u = pic.begin() + w * h, v = u + w * h / 4;
        std::fill(u, v, k == 0 ? 90 : 240);        // IYUV: U=90 V=240; YV12 stores V first
        std::fill(v, pic.end(), k == 0 ? 240 : 90);
        for (int i = 0; i < 5; ++i) e.EncodeVideo(pic.data(), pic.size(), i * 333667LL);
        e.FinishOutputFile();
        e.CloseOutputFile();
        e.TearDownEncoders();
    }
    auto px = [&](const std::string &f) {
        return Shell("ffmpeg -nostdin -v error -i " + Quote(f) + " -frames:v 1 -vf crop=2:2:30:20 -f rawvideo -pix_fmt rgb24 - | od -An -tu1 -N3");
    };
    std::string a = px(files[0]), b = px(files[1]);
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
}

TEST(Engine, VolumeScale512DoublesTheLevel) {
    TempDir dir;
    double level[2];
    for (int k = 0; k < 2; ++k) {
        SettingsBlock settings;
        const std::string out = dir.File("v" + std::to_string(k) + ".mp3");
        VelorinSettings(settings, 19, out);
        settings.With([&](SettingsValues &v) { v.VolumeScale = k == 0 ? 256 : 512; });
        Engine e(settings);
        Source src;
        src.video = false;
        src.seconds = 2;
        ASSERT_EQ(Convert(e, src), S_OK);
        level[k] = MeanVolume(out);
    }
    EXPECT_NEAR(level[1] - level[0], 6.02, 0.5);
}

TEST(Engine, AudioConversionAndFraming) {
    // Mono, forced rates and one huge sample that is larger than every
    // buffer: the output keeps the whole duration.
    struct Case { int type; int channelMode; int sampleRate; int chunk; int wantRate, wantCh; } cases[] = {
        {19, 1, 44100, 1024, 44100, 1},
        {2, 2, 44100, 1024, 48000, 2},
        {8, 2, 22050, 1024, 22050, 2},
        {19, 2, 44100, 44100 * 3, 44100, 2},
        {20, 1, 44100, 44100 * 3, 44100, 1},
        {10, 2, 44100, 100, 8000, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + " chunk " + std::to_string(c.chunk));
        TempDir dir;
        SettingsBlock settings;
        const bool folder = c.type == 2;
        const std::string out = folder ? dir.Path() : dir.File(c.type == 10 ? "a.3gp" : c.type == 8 ? "a.mp4" : "a.out");
        VelorinSettings(settings, c.type, out);
        settings.With([&](SettingsValues &v) { v.ChannelMode = c.channelMode; v.SampleRate = c.sampleRate; v.FrameRateMode = 2; });
        Engine e(settings);
        Source src;
        src.rate = c.sampleRate;
        src.video = c.type == 2 || c.type == 10 || c.type == 8;
        src.audioChunk = c.chunk;
        ASSERT_EQ(Convert(e, src), S_OK) << e.LastError();
        const std::string file = folder ? dir.File("MPEG2_1.vob") : out;
        ProbeInfo info = Probe(file);
        const StreamInfo *a = info.Find("audio");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->sampleRate, c.wantRate);
        EXPECT_EQ(a->channels, c.wantCh);
        EXPECT_NEAR(info.duration, 3.0, 0.3);
        EXPECT_EQ(DecodeErrors(file), "");
    }
}

TEST(Engine, DrainKeepsEveryPicture) {
    // MPEG-2 with B-frames holds pictures back; finishing drains them.
    TempDir dir;
    SettingsBlock settings;
    VelorinSettings(settings, 1, dir.File("all.mpg"));
    Engine e(settings);
    Source src;
    src.seconds = 2;
    ASSERT_EQ(Convert(e, src), S_OK);
    EXPECT_EQ(CountFrames(dir.File("all.mpg")), 60);
}

TEST(Engine, SplitsAtTheSizeLimitIntoNumberedPlayableFiles) {
    TempDir dir;
    SettingsBlock settings;
    VelorinSettings(settings, 3, dir.File("movie.avi"));
    // Noise pictures give several Mbps at this quantiser.
    settings.With([](SettingsValues &v) {
        v.OutputQuality = 8;
        v.MaxFileSize = 3 * 1024 * 1024;
    });
    Engine e(settings);
    Source src;
    src.seconds = 10;
    src.noise = true;
    ASSERT_EQ(Convert(e, src), S_OK) << e.LastError();
    std::vector<std::string> files;
    for (int n = 1;; ++n) {
        std::string f = dir.File(n == 1 ? "movie.avi" : "movie" + std::to_string(n) + ".avi");
        if (!std::filesystem::exists(f)) break;
        files.push_back(f);
    }
    ASSERT_GE(files.size(), 2u);
    double total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        if (i + 1 < files.size()) {
            EXPECT_LE(std::filesystem::file_size(files[i]), 3u * 1024 * 1024);
        }
        ProbeInfo info = Probe(files[i]);
        ASSERT_TRUE(info.ok);
        ASSERT_NE(info.Find("video"), nullptr);
        ASSERT_NE(info.Find("audio"), nullptr);
        EXPECT_EQ(DecodeErrors(files[i]), "");
        // Each file starts at time 0.
        std::string start = Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 " +
                                Quote(files[i]) + " | head -1");
        EXPECT_NEAR(std::atof(start.c_str()), 0.0, 0.1);
        total += info.duration;
        std::printf("%s: %ju bytes, %.2f s\n", files[i].c_str(), static_cast<std::uintmax_t>(std::filesystem::file_size(files[i])), info.duration);
    }
    EXPECT_NEAR(total, 10.0, 0.5);
}

TEST(Engine, StopInTheMiddleLeavesACompleteFile) {
    TempDir dir;
    SettingsBlock settings;
    VelorinSettings(settings, 6, dir.File("half.mp4"));
    Engine e(settings);
    Source src;
    ASSERT_EQ(Convert(e, src, 1.5), S_OK);
    ProbeInfo info = Probe(dir.File("half.mp4"));
    ASSERT_TRUE(info.ok);
    EXPECT_NEAR(info.duration, 1.5, 0.3);
    EXPECT_EQ(DecodeErrors(dir.File("half.mp4")), "");
}

TEST(Engine, HeaderAndTrailerWithoutSamples) {
    TempDir dir;
    SettingsBlock settings;
    VelorinSettings(settings, 3, dir.File("empty.avi"));
    Engine e(settings);
    Source src;
    ASSERT_EQ(Convert(e, src, 0.0), S_OK);
    EXPECT_TRUE(Probe(dir.File("empty.avi")).ok);
}

TEST(Engine, BuildAndOpenFailures) {
    TempDir dir;
    struct Case { int type; std::string path; int w, h; HRESULT build; HRESULT open; const char *reason; } cases[] = {
        {12, dir.File("x.3gp"), 320, 240, E_FAIL, S_OK, "H.263"},
        {6, dir.File("noext"), 320, 240, E_FAIL, S_OK, "unusable"},
        {0, dir.File("x.mp4"), 320, 240, E_FAIL, S_OK, "unusable"},
        {25, dir.File("x.mp4"), 320, 240, E_FAIL, S_OK, "unusable"},
        {6, dir.File("missing/dir/x.mp4"), 320, 240, S_OK, E_FAIL, "cannot open"},
        {6, dir.File("odd.mp4"), 0, 0, E_FAIL, S_OK, "frame size"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path + " type " + std::to_string(c.type));
        SettingsBlock settings;
        VelorinSettings(settings, c.type, c.path);
        settings.With([&](SettingsValues &v) { v.FrameWidth = c.w; v.FrameHeight = c.h; });
        Engine e(settings);
        e.SetVideoInput(VideoInput{VideoLayout::Rgb32, 640, 480});
        e.SetAudioInput(AudioInput{2, 44100});
        HRESULT hr = e.BuildEncoders();
        EXPECT_EQ(hr, c.build);
        if (FAILED(hr)) {
            EXPECT_NE(e.LastError().find(c.reason), std::string::npos) << e.LastError();
            e.TearDownEncoders();
            EXPECT_FALSE(e.EncoderReady());
            continue;
        }
        EXPECT_EQ(e.OpenOutputFile(), c.open);
        EXPECT_NE(e.LastError().find(c.reason), std::string::npos) << e.LastError();
        EXPECT_FALSE(e.FileOpen());
        EXPECT_FALSE(e.EncoderReady());
    }
}

TEST(Engine, ShortVideoSampleIsSkipped) {
    TempDir dir;
    SettingsBlock settings;
    VelorinSettings(settings, 3, dir.File("short.avi"));
    Engine e(settings);
    e.SetVideoInput(VideoInput{VideoLayout::Rgb32, 640, 480});
    ASSERT_EQ(e.BuildEncoders(), S_OK);
    ASSERT_EQ(e.OpenOutputFile(), S_OK);
    std::vector<std::uint8_t> tiny(100, 0);
    EXPECT_EQ(e.EncodeVideo(tiny.data(), tiny.size(), 0), S_OK);
    EXPECT_EQ(e.PicturesEncoded(), 0);
    auto pic = Bgrx(640, 480, 0);
    EXPECT_EQ(e.EncodeVideo(pic.data(), pic.size(), 333667), S_OK);
    EXPECT_EQ(e.PicturesEncoded(), 1);
    e.FinishOutputFile();
    e.CloseOutputFile();
}

TEST(Engine, WriteFailuresStopTheConversionWithAnError) {
    // A full disk: every sample after the first failed write is refused
    // with E_FAIL, and the file cannot be finished.
    TempDir dir;
    const std::string full = dir.File("full.avi");
    std::filesystem::create_symlink("/dev/full", full);
    SettingsBlock settings;
    VelorinSettings(settings, 3, full);
    Engine e(settings);
    e.SetVideoInput(VideoInput{VideoLayout::Rgb32, 320, 240});
    ASSERT_EQ(e.BuildEncoders(), S_OK);
    HRESULT hr = e.OpenOutputFile();
    for (int i = 0; i < 300 && SUCCEEDED(hr) && hr == S_OK; ++i) {
        auto pic = Bgrx(320, 240, i);
        hr = e.EncodeVideo(pic.data(), pic.size(), i * 333667LL);
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_NE(e.LastError().find("space"), std::string::npos) << e.LastError();
    e.FinishOutputFile();
    e.CloseOutputFile();

    // The second file of a split cannot be created: E_FAIL from then on.
    SettingsBlock s2;
    VelorinSettings(s2, 3, dir.File("movie.avi"));
    s2.With([](SettingsValues &v) { v.MaxFileSize = 300 * 1024; v.OutputQuality = 2; });
    std::filesystem::create_directory(dir.File("movie2.avi"));
    Engine e2(s2);
    e2.SetVideoInput(VideoInput{VideoLayout::Rgb32, 320, 240});
    ASSERT_EQ(e2.BuildEncoders(), S_OK);
    ASSERT_EQ(e2.OpenOutputFile(), S_OK);
    hr = S_OK;
    int i = 0;
    for (; i < 3000 && hr == S_OK; ++i) {
        auto pic = Bgrx(320, 240, i * 7);
        hr = e2.EncodeVideo(pic.data(), pic.size(), i * 333667LL);
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_FALSE(e2.FileOpen());
    EXPECT_TRUE(e2.OutputFailed());
    EXPECT_TRUE(Probe(dir.File("movie.avi")).ok);
    EXPECT_EQ(DecodeErrors(dir.File("movie.avi")), "");
}
