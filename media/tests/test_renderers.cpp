// The stock video renderer: the kept picture and the video surface.
#include <gtest/gtest.h>

#include <thread>

#include "harness.h"

using namespace mediatest;

namespace {

class RecordingSurface final : public platform::VideoSurface {
public:
    void SetOwner(HWND owner) override { std::lock_guard<std::mutex> g(m); owner_ = owner; }
    HWND Owner() const override { std::lock_guard<std::mutex> g(m); return owner_; }
    void SetVisible(bool v) override { std::lock_guard<std::mutex> g(m); visible_ = v; }
    bool Visible() const override { std::lock_guard<std::mutex> g(m); return visible_; }
    void SetGeometry(int l, int t, int w, int h) override { std::lock_guard<std::mutex> g(m); rect_ = RECT{l, t, l + w, t + h}; }
    RECT Geometry() const override { std::lock_guard<std::mutex> g(m); return rect_; }
    void Present(const platform::VideoPicture &p) override {
        std::lock_guard<std::mutex> g(m);
        pictures.push_back(p);
    }
    mutable std::mutex m;
    std::vector<platform::VideoPicture> pictures;
private:
    HWND owner_ = nullptr;
    bool visible_ = false;
    RECT rect_;
};

class RecordingWindows final : public platform::WindowSystem {
public:
    bool PostMessage(HWND, UINT, WPARAM, LPARAM) override { return true; }
    bool GetClientRect(HWND, RECT *r) override { *r = RECT{0, 0, 320, 240}; return true; }
    bool IsWindow(HWND) override { return true; }
    std::unique_ptr<platform::VideoSurface> CreateVideoSurface() override {
        auto s = std::make_unique<RecordingSurface>();
        last = s.get();
        return s;
    }
    RecordingSurface *last = nullptr;
};

struct DibCase {
    const char *name;
    GUID subtype;
    int width, height;   // height < 0: top-down input
};

void PrintTo(const DibCase &c, std::ostream *os) { *os << c.name; }

// Paused, the renderer keeps the picture it was given: same pixels as a
// bottom-up DIB with a 40-byte header, rows padded to 4 bytes.
class VideoRendererDib : public ::testing::TestWithParam<DibCase> {};

}  // namespace

TEST_P(VideoRendererDib, KeepsTheCurrentPictureAsABottomUpDib) {
    const DibCase c = GetParam();
    const int rows = c.height < 0 ? -c.height : c.height;
    const int bpp = c.subtype == MEDIASUBTYPE_RGB24 ? 3 : 4;
    const int stride = ((c.width * bpp * 8 + 31) / 32) * 4;
    std::vector<BYTE> px(static_cast<std::size_t>(stride) * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < stride; ++x) px[static_cast<std::size_t>(y * stride + x)] = static_cast<BYTE>(y * 16 + x);

    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(c.subtype, c.width, c.height)});
    ComPtr<IBaseFilter> vr;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, vr.PutVoid()), S_OK);
    Chain chain({src.Filter(), vr.Get()});
    ASSERT_TRUE(chain.connected);
    chain.Pause();
    std::thread pusher([&] { out->Push(px, 0, 1); });
    OAFilterState s;
    ASSERT_EQ(chain.control->GetState(5000, &s), S_OK);
    ComPtr<IBasicVideo> bv;
    chain.graph.As(IID_IBasicVideo, &bv);
    long size = 0;
    ASSERT_EQ(bv->GetCurrentImage(&size, nullptr), S_OK);
    ASSERT_EQ(size, static_cast<long>(40 + px.size()));
    long small = size - 1;
    std::vector<long> dib(static_cast<std::size_t>(size + 3) / 4);
    EXPECT_EQ(bv->GetCurrentImage(&small, dib.data()), E_OUTOFMEMORY);
    ASSERT_EQ(bv->GetCurrentImage(&size, dib.data()), S_OK);
    const BYTE *b = reinterpret_cast<const BYTE *>(dib.data());
    BITMAPINFOHEADER h;
    std::memcpy(&h, b, sizeof h);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, c.width);
    EXPECT_EQ(h.biHeight, rows);
    EXPECT_EQ(h.biBitCount, bpp * 8);
    EXPECT_EQ(h.biSizeImage, px.size());
    for (int y = 0; y < rows; ++y) {
        const int srcRow = c.height < 0 ? rows - 1 - y : y;   // top-down input is turned
        EXPECT_EQ(0, std::memcmp(b + 40 + y * stride, px.data() + srcRow * stride, static_cast<std::size_t>(stride))) << "row " << y;
    }
    chain.Stop();
    pusher.join();
}

INSTANTIATE_TEST_SUITE_P(Formats, VideoRendererDib,
                         ::testing::Values(DibCase{"rgb32_topdown", MEDIASUBTYPE_RGB32, 4, -3},
                                           DibCase{"rgb32_bottomup", MEDIASUBTYPE_RGB32, 2, 2},
                                           DibCase{"rgb24_padded_rows", MEDIASUBTYPE_RGB24, 3, 2},
                                           DibCase{"rgb24_topdown", MEDIASUBTYPE_RGB24, 5, -4}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(VideoRenderer, RefusesWhatItCannotShow) {
    ComPtr<IBaseFilter> vr;
    CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, vr.PutVoid());
    ComPtr<IPin> in = FirstPin(vr.Get(), PINDIR_INPUT);
    CMediaType zero = MakeVideoType(MEDIASUBTYPE_RGB32, 0, 10);
    CMediaType huge = MakeVideoType(MEDIASUBTYPE_RGB32, 100000, 10);
    CMediaType yuv = MakeVideoType(MEDIASUBTYPE_YV12, 16, 16);
    CMediaType noFormat = MakeVideoType(MEDIASUBTYPE_RGB32, 16, 16);
    noFormat.ResetFormatBuffer();
    CMediaType wrongBits = MakeVideoType(MEDIASUBTYPE_RGB32, 16, 16);
    GetBitmapHeader(&wrongBits)->biBitCount = 24;
    for (CMediaType *mt : {&zero, &huge, &yuv, &noFormat, &wrongBits}) EXPECT_EQ(in->QueryAccept(mt), S_FALSE) << MediaTypeText(mt);
    CMediaType ok = MakeVideoType(MEDIASUBTYPE_RGB24, 16, -16);
    EXPECT_EQ(in->QueryAccept(&ok), S_OK);
}

TEST(VideoRenderer, PresentsOnItsSurfaceOnlyWhileVisible) {
    RecordingWindows windows;
    platform::InstallWindowSystem(&windows);
    {
        FakeSource src;
        FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
        ComPtr<IBaseFilter> vr;
        ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, vr.PutVoid()), S_OK);
        RecordingSurface *surface = windows.last;
        ASSERT_NE(surface, nullptr);
        Chain chain({src.Filter(), vr.Get()});
        ComPtr<IVideoWindow> vw;
        chain.graph.As(IID_IVideoWindow, &vw);
        const HWND owner = reinterpret_cast<HWND>(0x99);
        vw->put_Owner(ToOAHWND(owner));
        vw->SetWindowPosition(10, 20, 160, 120);
        EXPECT_EQ(surface->Owner(), owner);
        EXPECT_EQ(surface->Geometry().left, 10);
        EXPECT_EQ(surface->Geometry().bottom, 140);

        // Bottom-up input: the first row in memory is the bottom of the picture.
        std::vector<BYTE> px = {1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0, 4, 4, 4, 0};
        chain.Run();
        ASSERT_EQ(out->Push(px, 0, 1), S_OK);
        EXPECT_TRUE(surface->pictures.empty());   // invisible: nothing painted
        vw->put_Visible(OATRUE);                  // shows the kept picture at once
        ASSERT_EQ(out->Push(px, 1, 2), S_OK);
        std::lock_guard<std::mutex> g(surface->m);
        ASSERT_EQ(surface->pictures.size(), 2u);
        const auto &p = surface->pictures.back();
        EXPECT_EQ(p.width, 2);
        EXPECT_EQ(p.height, 2);
        EXPECT_EQ(p.pixels[0], 3);      // top row first
        EXPECT_EQ(p.pixels[3], 0xFF);   // opaque
        EXPECT_EQ(p.pixels[8], 1);
    }
    platform::InstallWindowSystem(nullptr);
}

TEST(VideoRenderer, FollowsAFormatChangeCarriedByASample) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    ComPtr<IBaseFilter> vr;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, vr.PutVoid()), S_OK);
    Chain chain({src.Filter(), vr.Get()});
    ASSERT_EQ(chain.Run(), S_OK);
    ComPtr<IMemInputPin> input;
    FirstPin(vr.Get(), PINDIR_INPUT).As(IID_IMemInputPin, &input);
    auto send = [&](CMediaType *type, long bytes) {
        IMediaSample *s = nullptr;
        EXPECT_EQ(out->GetDeliveryBuffer(&s, nullptr, nullptr, 0), S_OK);
        s->SetActualDataLength(bytes);
        REFERENCE_TIME t0 = 0, t1 = 1;
        s->SetTime(&t0, &t1);
        if (type) s->SetMediaType(type);
        HRESULT hr = input->Receive(s);
        s->Release();
        return hr;
    };
    CMediaType bigger = MakeVideoType(MEDIASUBTYPE_RGB32, 4, 3);
    ASSERT_EQ(send(&bigger, 48), S_OK);
    ComPtr<IBasicVideo> bv;
    chain.graph.As(IID_IBasicVideo, &bv);
    long w = 0, h = 0, size = 0;
    EXPECT_EQ(bv->GetVideoSize(&w, &h), S_OK);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(bv->GetCurrentImage(&size, nullptr), S_OK);
    EXPECT_EQ(size, 40 + 48);
    CMediaType yuv = MakeVideoType(MEDIASUBTYPE_YV12, 4, 4);
    EXPECT_EQ(send(&yuv, 24), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(send(nullptr, 10), S_OK);   // too short for the picture: dropped, the last one stays
    EXPECT_EQ(bv->GetCurrentImage(&size, nullptr), S_OK);
    EXPECT_EQ(size, 40 + 48);
    chain.Stop();
}
