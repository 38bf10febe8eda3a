// Pure helpers: time conversion, extensions, the bitmap file header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sys/stat.h>

#include "fixtures.h"
#include "util.h"

using namespace brantel;

TEST(TimeConversion, TruncatesTowardZero) {
    struct Case { double seconds; std::int64_t units; };
    const Case cases[] = {
        {1.23456789, 12345678}, {-0.5, -5000000}, {-1.23456789, -12345678}, {0.0, 0},
        {12.5, 125000000}, {30.0, 300000000}, {0.00000009, 0}, {-0.00000009, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(SecondsToRefTime(c.seconds), c.units) << c.seconds;
}

TEST(TimeConversion, OutOfRangeIsClampedNotUndefined) {
    EXPECT_EQ(SecondsToRefTime(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(SecondsToRefTime(-1e300), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(SecondsToRefTime(std::numeric_limits<double>::infinity()), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(SecondsToRefTime(std::nan("")), 0);
}

TEST(TimeConversion, RefTimeToSeconds) {
    EXPECT_DOUBLE_EQ(RefTimeToSeconds(125000000), 12.5);
    EXPECT_DOUBLE_EQ(RefTimeToSeconds(-5000000), -0.5);
    EXPECT_DOUBLE_EQ(RefTimeToSeconds(0), 0.0);
}

TEST(Extension, LastDotLowerCased) {
    struct Case { const char *path; std::optional<std::string> ext; };
    const Case cases[] = {
        {"/a/b/clip.MPG", "mpg"}, {"/a/b/clip.mpg", "mpg"}, {"clip.tar.Wmv", "wmv"},
        {"/a/b/noext", std::nullopt}, {".mpg", std::nullopt}, {"/a/dir.d/file", "d/file"}, {"x.", ""},
        {"/home/us\xc3\xa9r/f\xc3\xa9te.RMVB", "rmvb"}, {"", std::nullopt},
    };
    for (const Case &c : cases) EXPECT_EQ(LowerExtension(c.path), c.ext) << c.path;
    EXPECT_EQ(LowerExtension(nullptr), std::nullopt);
}

namespace {
std::vector<std::uint8_t> FakeDib(std::uint16_t bitCount, std::size_t pixelBytes) {
    std::vector<std::uint8_t> dib(40 + pixelBytes, 0);
    dib[0] = 40;
    dib[14] = std::uint8_t(bitCount);
    dib[15] = std::uint8_t(bitCount >> 8);
    return dib;
}
}  // namespace

TEST(BitmapHeader, PixelOffsetFollowsBitCount) {
    struct Case { std::uint16_t bits; std::uint32_t offset; };
    const Case cases[] = {{24, 54}, {32, 54}, {16, 54}, {8, 1078}, {4, 118}, {1, 62}};
    for (const Case &c : cases) {
        auto dib = FakeDib(c.bits, 1024 + 300);
        std::uint8_t h[14];
        ASSERT_TRUE(BuildBitmapFileHeader(dib.data(), dib.size(), h));
        std::vector<std::uint8_t> v(h, h + 14);
        EXPECT_EQ(v[0], 'B');
        EXPECT_EQ(v[1], 'M');
        EXPECT_EQ(brantel_test::LE32(v, 2), dib.size() + 14) << c.bits;
        EXPECT_EQ(brantel_test::LE32(v, 6), 0u);
        EXPECT_EQ(brantel_test::LE32(v, 10), c.offset) << c.bits;
    }
}

TEST(BitmapHeader, RefusesDataTooShortForAHeader) {
    std::uint8_t h[14];
    std::uint8_t tiny[15] = {40};
    EXPECT_FALSE(BuildBitmapFileHeader(tiny, sizeof tiny, h));
    EXPECT_FALSE(BuildBitmapFileHeader(nullptr, 100, h));
}

TEST(BitmapFile, WritesHeaderThenImageAndReplaces) {
    brantel_test::TempDir dir;
    const std::string path = dir.File("snap.bmp");
    auto big = FakeDib(24, 3000);
    ASSERT_TRUE(WriteBitmapFile(path.c_str(), big.data(), big.size()));
    auto small = FakeDib(32, 16);
    small[40] = 0xAB;
    ASSERT_TRUE(WriteBitmapFile(path.c_str(), small.data(), small.size()));
    auto bytes = brantel_test::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), small.size() + 14);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 14, small.data(), small.size()));
}

TEST(BitmapFile, FailsCleanlyWhereItCannotWrite) {
    brantel_test::TempDir dir;
    auto dib = FakeDib(24, 48);
    EXPECT_FALSE(WriteBitmapFile((dir.Path() + "/missing/folder/x.bmp").c_str(), dib.data(), dib.size()));
    EXPECT_FALSE(WriteBitmapFile("", dib.data(), dib.size()));
    // A full disk: /dev/full accepts the open and fails the write.
    struct stat st;
    if (::stat("/dev/full", &st) == 0) {
        EXPECT_FALSE(WriteBitmapFile("/dev/full", dib.data(), dib.size()));
        EXPECT_EQ(::stat("/dev/full", &st), 0);  // the device is left alone
    }
}

TEST(ObjectTable, ItemNameCarriesAddressAndPid) {
    EXPECT_EQ(ObjectTableItemName(reinterpret_cast<void *>(0x1234ABCD), 0x2a), "FilterGraph 1234ABCD pid 0000002a");
}
