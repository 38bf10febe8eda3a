#include <gtest/gtest.h>

#include <vector>

#include "rules.h"
#include "settings.h"

using namespace dravik;

TEST(Naming, SplitsAndNumbersByType) {
    struct Case {
        const char *path;
        int type;
        bool ok;
        const char *first, *second;
    } cases[] = {
        {"/out/movie.avi", 3, true, "/out/movie.avi", "/out/movie2.avi"},
        {"/out/dvd", 2, true, "/out/dvd/MPEG2_1.vob", "/out/dvd/MPEG2_2.vob"},
        {"/out/dvd/", 2, true, "/out/dvd/MPEG2_1.vob", "/out/dvd/MPEG2_2.vob"},
        // The dot of a folder splits the path when the file has none.
        {"/my.folder/clip", 6, true, "/my.folder/clip", "/my2.folder/clip"},
        {"/out/noext", 6, false, "", ""},
        {".hidden", 6, false, "", ""},
        {"/out/a.mp4", 0, false, "", ""},
        {"/out/a.mp4", 23, false, "", ""},
        {"/out/a.mp4", 24, false, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " type " + std::to_string(c.type));
        NameParts parts;
        ASSERT_EQ(ComputeNameParts(c.path, c.type, &parts), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(ComposeOutputName(parts, c.type, 1), c.first);
        EXPECT_EQ(ComposeOutputName(parts, c.type, 2), c.second);
    }
}

TEST(FrameSize, ByAspectRule) {
    struct Case { int aspect, w, h; bool ok; int outW, outH; } cases[] = {
        {1, 321, 241, true, 320, 240}, {2, 351, 0, true, 350, 262}, {3, 640, 0, true, 640, 360},
        {4, 175, 9, true, 174, 174},   {0, 320, 240, false, 0, 0},   {5, 320, 240, false, 0, 0},
    };
    for (const auto &c : cases) {
        int w = 0, h = 0;
        ASSERT_EQ(FrameSizeByAspect(c.aspect, c.w, c.h, &w, &h), c.ok) << c.aspect;
        if (c.ok) {
            EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.outW, c.outH)) << c.aspect;
        }
    }
}

TEST(Letterbox, GeometryTable) {
    struct Case { bool keep; int outW, outH, inW, inH; int padL, padT; bool resize; } cases[] = {
        {true, 320, 240, 720, 576, 10, 0, true},
        {true, 320, 180, 640, 480, 40, 0, true},
        {true, 320, 240, 320, 240, 0, 0, false},
        {false, 320, 240, 720, 576, 0, 0, true},
        {false, 640, 480, 640, 480, 0, 0, false},
        // Taller input: bars top and bottom.
        {true, 320, 240, 480, 640, 70, 0, true},
        {true, 640, 480, 640, 360, 0, 60, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.inW) + "x" + std::to_string(c.inH) + " -> " + std::to_string(c.outW) + "x" +
                     std::to_string(c.outH));
        Letterbox lb = ComputeLetterbox(c.keep, c.outW, c.outH, c.inW, c.inH);
        EXPECT_EQ(lb.resize, c.resize);
        EXPECT_EQ(lb.padLeft, lb.padRight);
        EXPECT_EQ(lb.padTop, lb.padBottom);
        EXPECT_EQ(lb.padLeft, c.padL);
        EXPECT_EQ(lb.padTop, c.padT);
    }
}

TEST(Pacing, DropsRepeatsAndBoundaries) {
    // Exactly +-1.1 pictures off is still one copy.
    EXPECT_EQ(PacingCopies(11000000, 1, 1, 0), 1);   // G = 1.1
    EXPECT_EQ(PacingCopies(0, 1, 1, 1), 1);          // G = -1
    EXPECT_EQ(PacingCopies(9, 1, 10000000, 20), 0);  // G = -11
    EXPECT_EQ(PacingCopies(30000000, 1, 1, 0), 3);   // G = 3
    EXPECT_EQ(PacingCopies(25000000, 1, 1, 0), 2);   // 2.5 rounds half down
    EXPECT_EQ(PacingCopies(26000000, 1, 1, 0), 3);

    // 25 fps samples into a 29.97 time base: about one repeat in five.
    int encoded = 0, repeats = 0;
    for (int i = 0; i < 250; ++i) {
        int c = PacingCopies(static_cast<std::int64_t>(i) * 400000, 1001, 30000, encoded);
        encoded += c;
        repeats += c > 1;
    }
    EXPECT_NEAR(repeats, 50, 3);
    EXPECT_NEAR(encoded, 300, 3);

    // 29.97 fps samples into 1/25: about one drop in six.
    encoded = 0;
    int drops = 0;
    for (int i = 0; i < 300; ++i) {
        int c = PacingCopies(static_cast<std::int64_t>(i) * 10010000 / 30, 1, 25, encoded);
        encoded += c;
        drops += c == 0;
    }
    EXPECT_NEAR(drops, 50, 3);
    EXPECT_NEAR(encoded, 250, 3);
}

TEST(Volume, ScalesRoundsAndClamps) {
    struct Case { int v; std::int16_t in, out; } cases[] = {
        {512, 16384, 32767}, {512, 20000, 32767}, {512, -16384, -32768}, {512, -30000, -32768},
        {512, 1000, 2000},   {128, 3, 2},         {128, -3, -1},         {0, 12345, 0},
        {256, -32768, -32768},
    };
    for (const auto &c : cases) {
        std::int16_t s = c.in;
        ApplyVolume(&s, 1, c.v);
        EXPECT_EQ(s, c.out) << "v=" << c.v << " in=" << c.in;
    }
}

TEST(Bands, FillsOnlyTheBarsWithPaddedRows) {
    // 12x6 plane in rows of 16 bytes: 2 rows top and bottom, 3 columns each side.
    const int L = 16, W = 12, H = 6;
    std::vector<std::uint8_t> plane(L * H, 0xAA);
    FillBands(plane.data(), L, W, H, 2, 3, 16);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < L; ++x) {
            std::uint8_t want = 0xAA;
            if (x < W && (y < 2 || y >= 4 || x < 3 || x >= W - 3)) want = 16;
            EXPECT_EQ(plane[y * L + x], want) << x << "," << y;
        }
}

TEST(Settings, DefaultsAndTextLimits) {
    SettingsValues v;
    EXPECT_STREQ(v.OutputPath.data(), "./output.mpg");
    EXPECT_EQ(v.MaxFileSize, 1062207488);
    EXPECT_EQ(v.ThreeGpSize, 3);
    EXPECT_EQ(v.OutputType, 1);
    EXPECT_EQ(v.FrameRate, 25);
    EXPECT_EQ(v.FrameRateBase, 1);
    EXPECT_EQ(v.FrameRateMode, 2);
    EXPECT_EQ(v.VolumeScale, 256);
    EXPECT_EQ(v.Reversal, 1);
    EXPECT_EQ(v.OutputQuality, 6);
    EXPECT_EQ(v.Title[0], '\0');

    std::string exact(1023, 'x'), longer(1500, 'y');
    CopyText(v.Title, exact.c_str());
    EXPECT_EQ(std::string(v.Title.data()), exact);
    CopyText(v.Title, longer.c_str());
    EXPECT_EQ(std::string(v.Title.data()), longer.substr(0, 1023));
    CopyText(v.Title, nullptr);
    EXPECT_EQ(v.Title[0], '\0');
}
