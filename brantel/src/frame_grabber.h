// Single frames of a file through the media detector: the two grabbers of
// the GrabAndDrawBitMap_ exports, and the helpers of GrabFrameFromMovie and
// GetVideInfoQuick. A detector lives only during one call, so nothing of the
// file stays open afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "com/com.h"
#include "media/media.h"
#include "platform/window.h"

namespace brantel {

class FrameGrabber {
public:
    FrameGrabber() = default;
    FrameGrabber(const FrameGrabber &) = delete;
    FrameGrabber &operator=(const FrameGrabber &) = delete;

    void SetDisplayWindow(HWND window, std::int32_t grabWidth, std::int32_t grabHeight, std::int32_t drawLeft,
                          std::int32_t drawTop);
    // Takes the frame at `seconds` scaled to the grab size. On failure the
    // previous frame stays; the result is the detector's code.
    HRESULT Grab(const char *path, double seconds);
    // Shows the kept frame in the display window at the drawing position,
    // at the frame's own size; nothing without a frame or window.
    void Draw();

    bool HasFrame() const { return !frame_.empty(); }
    const std::vector<std::uint8_t> &Frame() const { return frame_; }
    const BITMAPINFO &BitmapInfo() const { return bitmapInfo_; }
    // The surface the frame was last drawn on (null before the first draw).
    const platform::VideoSurface *Surface() const { return surface_.get(); }

private:
    std::int32_t grabWidth_ = 0;
    std::int32_t grabHeight_ = 0;
    HWND displayWindow_ = nullptr;
    // Packed device-independent bitmap: 40-byte header, then the rows.
    std::vector<std::uint8_t> frame_;
    std::int32_t drawLeft_ = 0;
    std::int32_t drawTop_ = 0;
    BITMAPINFO bitmapInfo_{};
    const std::uint8_t *pixels_ = nullptr;
    std::unique_ptr<platform::VideoSurface> surface_;
};

// Opens a detector on `path` and makes its first video stream current.
// `requireName`: fail when the file name is refused (else it is ignored).
// On success *format receives a copy of the stream's VIDEOINFOHEADER when
// the stream has one (and *hasVideoInfo says whether).
HRESULT OpenVideoStream(const char *path, DWORD context, bool requireName, ComPtr<IMediaDet> *detector,
                        VIDEOINFOHEADER *format, bool *hasVideoInfo);

// Converts a packed 24- or 32-bit bitmap to the surface's picture format.
bool DibToPicture(const std::uint8_t *dib, std::size_t size, platform::VideoPicture *picture);

}  // namespace brantel
