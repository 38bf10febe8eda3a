// The media detector: stream listing, types, lengths, frame rate, and
// single frames compared with frames the ffmpeg command extracts.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "chain.h"
#include "fixtures.h"

using namespace mediaff;
using namespace mediaff::fixtures;

namespace {

ComPtr<IMediaDet> NewDetector() {
    ComPtr<IMediaDet> det;
    CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IID_IMediaDet, det.PutVoid());
    return det;
}

HRESULT Open(IMediaDet *det, const std::string &path) {
    std::u16string wide = Utf8ToWide(path);
    return det->put_Filename(const_cast<BSTR>(wide.c_str()));
}

std::vector<std::uint8_t> ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Mean absolute difference between our grab (bottom-up BGR rows, padded) and
// ffmpeg's frame at the same time and size (top-down BGR, tight).
double GrabDifference(const std::string &path, double seconds, int w, int h, const std::vector<char> &dib) {
    std::string raw = (FixtureDir::Get().Path() / "ref.bgr").string();
    std::string cmd = "ffmpeg -nostdin -loglevel error -y -ss " + std::to_string(seconds) + " -i '" + path +
                      "' -frames:v 1 -vf scale=" + std::to_string(w) + ":" + std::to_string(h) + " -f rawvideo -pix_fmt bgr24 '" + raw + "'";
    if (std::system(cmd.c_str()) != 0) return 1e9;
    auto ref = ReadAll(raw);
    if (ref.size() != static_cast<std::size_t>(w * h * 3)) return 1e9;
    const int stride = (w * 3 + 3) & ~3;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) {
            auto ours = static_cast<std::uint8_t>(dib[40 + static_cast<std::size_t>(h - 1 - y) * stride + x]);
            sum += std::abs(static_cast<int>(ours) - static_cast<int>(ref[static_cast<std::size_t>(y) * w * 3 + x]));
        }
    return sum / (w * h * 3);
}

TEST(MediaDet, ListsStreamsWithTypesLengthsAndRate) {
    std::string path = FixtureDir::Get().Make(kContainers[0].name, kContainers[0].options);
    auto det = NewDetector();
    ASSERT_TRUE(det);
    long n = -1;
    EXPECT_TRUE(FAILED(det->get_OutputStreams(&n))) << "no file yet";
    ASSERT_EQ(Open(det.Get(), path), S_OK);
    ASSERT_EQ(det->get_OutputStreams(&n), S_OK);
    ASSERT_EQ(n, 2);
    bool sawVideo = false, sawAudio = false;
    for (long i = 0; i < n; ++i) {
        ASSERT_EQ(det->put_CurrentStream(i), S_OK);
        GUID type;
        ASSERT_EQ(det->get_StreamType(&type), S_OK);
        AM_MEDIA_TYPE mt{};
        ASSERT_EQ(det->get_StreamMediaType(&mt), S_OK);
        double length = 0, rate = 0;
        ASSERT_EQ(det->get_StreamLength(&length), S_OK);
        EXPECT_NEAR(length, 2.0, 0.1);
        ASSERT_EQ(det->get_FrameRate(&rate), S_OK);
        if (type == MEDIATYPE_Video) {
            sawVideo = true;
            // What the graph library reads: a whole VIDEOINFOHEADER.
            EXPECT_EQ(mt.formattype, FORMAT_VideoInfo);
            ASSERT_GE(mt.cbFormat, 88u);
            auto *vih = reinterpret_cast<const VIDEOINFOHEADER *>(mt.pbFormat);
            EXPECT_EQ(vih->bmiHeader.biWidth, 320);
            EXPECT_EQ(vih->bmiHeader.biHeight, 240);
            EXPECT_NEAR(rate, 25.0, 0.01);
        } else {
            sawAudio = true;
            EXPECT_EQ(type, MEDIATYPE_Audio);
            EXPECT_EQ(mt.formattype, FORMAT_WaveFormatEx);
            EXPECT_EQ(rate, 0.0);
        }
        FreeMediaType(mt);
    }
    EXPECT_TRUE(sawVideo && sawAudio);
    EXPECT_EQ(det->put_CurrentStream(2), E_INVALIDARG);
    EXPECT_EQ(det->put_CurrentStream(-1), E_INVALIDARG);
}

TEST(MediaDet, GrabsTheFrameAtATimeScaled) {
    std::string path = FixtureDir::Get().Make(kContainers[2].name, kContainers[2].options);  // h264, B-frames
    auto det = NewDetector();
    ASSERT_EQ(Open(det.Get(), path), S_OK);
    struct Case {
        double t;
        int w, h;
    } cases[] = {{0.0, 320, 240}, {1.0, 160, 120}, {1.52, 161, 99}, {5.0, 80, 60}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.t);
        long size = 0;
        ASSERT_EQ(det->GetBitmapBits(c.t, &size, nullptr, c.w, c.h), S_OK);
        const long stride = (c.w * 3 + 3) & ~3;
        ASSERT_EQ(size, 40 + stride * c.h);
        std::vector<char> dib(static_cast<std::size_t>(size));
        ASSERT_EQ(det->GetBitmapBits(c.t, &size, dib.data(), c.w, c.h), S_OK);
        auto *bih = reinterpret_cast<const BITMAPINFOHEADER *>(dib.data());
        EXPECT_EQ(bih->biSize, 40u);
        EXPECT_EQ(bih->biWidth, c.w);
        EXPECT_EQ(bih->biHeight, c.h);
        EXPECT_EQ(bih->biBitCount, 24);
        // Past the end the last frame is given; ffmpeg gives none there.
        if (c.t < 2.0) {
            EXPECT_LT(GrabDifference(path, c.t, c.w, c.h, dib), 8.0);
        }
    }
    // A buffer said to be too small is not written past.
    long small = 100;
    std::vector<char> tiny(100);
    EXPECT_TRUE(FAILED(det->GetBitmapBits(1.0, &small, tiny.data(), 320, 240)));
    long dummy = 0;
    EXPECT_EQ(det->GetBitmapBits(1.0, &dummy, nullptr, 0, 240), E_INVALIDARG);
}

TEST(MediaDet, WritesABitmapFileAnIndependentReaderOpens) {
    std::string path = FixtureDir::Get().Make(kContainers[0].name, kContainers[0].options);
    auto det = NewDetector();
    ASSERT_EQ(Open(det.Get(), path), S_OK);
    std::string bmp = (FixtureDir::Get().Path() / "grab.bmp").string();
    std::u16string wide = Utf8ToWide(bmp);
    ASSERT_EQ(det->WriteBitmapBits(1.0, 160, 120, const_cast<BSTR>(wide.c_str())), S_OK);
    EXPECT_EQ(Probe(bmp, "v", "codec_name"), "bmp");
    EXPECT_EQ(Probe(bmp, "v", "width"), "160");
    EXPECT_EQ(Probe(bmp, "v", "height"), "120");
    auto bytes = ReadAll(bmp);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[10], 54);
    EXPECT_EQ(bytes[2] | (bytes[3] << 8) | (bytes[4] << 16), static_cast<int>(bytes.size()));
    // An unwritable place is an error, not a crash.
    std::u16string bad = u"/nonexistent-folder/x.bmp";
    EXPECT_TRUE(FAILED(det->WriteBitmapBits(1.0, 160, 120, const_cast<BSTR>(bad.c_str()))));
}

TEST(MediaDet, AudioOnlyAndBadFilesAreRefused) {
    auto &dir = FixtureDir::Get();
    std::string audioOnly = dir.Make("tone.mp3", "-vn -c:a libmp3lame", 2.0);
    ASSERT_FALSE(audioOnly.empty());
    auto det = NewDetector();
    ASSERT_EQ(Open(det.Get(), audioOnly), S_OK);
    long n = 0, size = 0;
    ASSERT_EQ(det->get_OutputStreams(&n), S_OK);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(det->GetBitmapBits(0.5, &size, nullptr, 160, 120), VFW_E_INVALIDMEDIATYPE);
    for (const std::string &bad : {dir.WriteBytes("nil.avi", ""), dir.RandomFile("junk.mpg", 100000, 5),
                                   (dir.Path() / "missing.mp4").string(), dir.Fifo("det-pipe.avi")}) {
        SCOPED_TRACE(bad);
        auto d = NewDetector();
        EXPECT_TRUE(FAILED(Open(d.Get(), bad)));
        EXPECT_TRUE(FAILED(d->get_OutputStreams(&n)));
    }
}

}  // namespace
