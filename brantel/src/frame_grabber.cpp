#include "frame_grabber.h"

#include <cstring>
#include <new>
#include <string>

#include "util.h"

namespace brantel {

namespace {
constexpr std::size_t kDibHeaderSize = 40;

// The detector takes names as wide text it does not free.
std::u16string WideName(const char *path) { return Utf8ToWide(path ? path : ""); }
}  // namespace

HRESULT OpenVideoStream(const char *path, DWORD context, bool requireName, ComPtr<IMediaDet> *detector,
                        VIDEOINFOHEADER *format, bool *hasVideoInfo) {
    *hasVideoInfo = false;
    if (!path || std::strlen(path) >= kMaxPathBytes) return E_INVALIDARG;
    ComPtr<IMediaDet> det;
    HRESULT hr = CoCreateInstance(CLSID_MediaDet, nullptr, context, IID_IMediaDet, det.PutVoid());
    if (FAILED(hr) || !det) return FAILED(hr) ? hr : E_NOINTERFACE;
    std::u16string name = WideName(path);
    hr = det->put_Filename(const_cast<BSTR>(reinterpret_cast<const WCHAR *>(name.c_str())));
    if (FAILED(hr) && requireName) return hr;
    long streams = 0;
    if (FAILED(det->get_OutputStreams(&streams))) return VFW_E_INVALIDMEDIATYPE;
    bool found = false;
    for (long i = 0; i < streams && !found; ++i) {
        GUID type{};
        if (FAILED(det->put_CurrentStream(i)) || FAILED(det->get_StreamType(&type))) return VFW_E_INVALIDMEDIATYPE;
        found = type == MEDIATYPE_Video;
    }
    if (!found) return VFW_E_INVALIDMEDIATYPE;
    AM_MEDIA_TYPE mt{};
    if (SUCCEEDED(det->get_StreamMediaType(&mt))) {
        if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER) && mt.pbFormat) {
            std::memcpy(format, mt.pbFormat, sizeof(VIDEOINFOHEADER));
            *hasVideoInfo = true;
        }
        FreeMediaType(mt);
    }
    *detector = det;
    return S_OK;
}

void FrameGrabber::SetDisplayWindow(HWND window, std::int32_t grabWidth, std::int32_t grabHeight,
                                    std::int32_t drawLeft, std::int32_t drawTop) {
    displayWindow_ = window;
    grabWidth_ = grabWidth;
    grabHeight_ = grabHeight;
    drawLeft_ = drawLeft;
    drawTop_ = drawTop;
}

HRESULT FrameGrabber::Grab(const char *path, double seconds) {
    try {
        ComPtr<IMediaDet> det;
        VIDEOINFOHEADER vih{};
        bool hasVideoInfo = false;
        HRESULT hr = OpenVideoStream(path, CLSCTX_ALL, true, &det, &vih, &hasVideoInfo);
        if (FAILED(hr)) return hr;
        if (!hasVideoInfo) return VFW_E_INVALIDMEDIATYPE;
        long size = 0;
        hr = det->GetBitmapBits(0.0, &size, nullptr, grabWidth_, grabHeight_);
        if (FAILED(hr)) return hr;
        if (size < static_cast<long>(kDibHeaderSize)) return E_FAIL;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size));
        hr = det->GetBitmapBits(seconds, &size, reinterpret_cast<char *>(buffer.data()), grabWidth_, grabHeight_);
        if (FAILED(hr)) return hr;
        frame_ = std::move(buffer);
        pixels_ = frame_.data() + kDibHeaderSize;
        std::memset(&bitmapInfo_, 0, sizeof bitmapInfo_);
        std::memcpy(&bitmapInfo_.bmiHeader, frame_.data(), kDibHeaderSize);
        return hr;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

bool DibToPicture(const std::uint8_t *dib, std::size_t size, platform::VideoPicture *picture) {
    if (!dib || size < kDibHeaderSize) return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    if (h.biSize < kDibHeaderSize || h.biSize > size || h.biWidth <= 0 || h.biHeight == 0) return false;
    if (h.biCompression != BI_RGB || (h.biBitCount != 24 && h.biBitCount != 32)) return false;
    const int width = h.biWidth;
    const bool bottomUp = h.biHeight > 0;
    const int height = bottomUp ? h.biHeight : -h.biHeight;
    const std::size_t bytesPerPixel = h.biBitCount / 8;
    const std::size_t stride = (std::size_t(width) * bytesPerPixel + 3) & ~std::size_t(3);
    const std::size_t needed = h.biSize + stride * std::size_t(height);
    if (height <= 0 || needed > size) return false;
    picture->width = width;
    picture->height = height;
    picture->stride = width * 4;
    picture->pixels.assign(std::size_t(picture->stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *src = dib + h.biSize + stride * std::size_t(bottomUp ? height - 1 - y : y);
        std::uint8_t *dst = picture->pixels.data() + std::size_t(picture->stride) * y;
        for (int x = 0; x < width; ++x) {
            dst[4 * x + 0] = src[bytesPerPixel * x + 0];
            dst[4 * x + 1] = src[bytesPerPixel * x + 1];
            dst[4 * x + 2] = src[bytesPerPixel * x + 2];
            dst[4 * x + 3] = 0xFF;
        }
    }
    return true;
}

void FrameGrabber::Draw() {
    if (frame_.empty() || !displayWindow_) return;
    platform::VideoPicture picture;
    if (!DibToPicture(frame_.data(), frame_.size(), &picture)) return;
    if (!surface_) surface_ = platform::CreateVideoSurface();
    if (!surface_) return;
    surface_->SetOwner(displayWindow_);
    surface_->SetGeometry(drawLeft_, drawTop_, picture.width, picture.height);
    surface_->Present(picture);
    surface_->SetVisible(true);
}

}  // namespace brantel
