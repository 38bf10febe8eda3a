// Decoding and format conversion on libavcodec, libswscale and
// libswresample, independent of any filter.
//
// A Decoder turns packets of one stream into frames (the codec's own threads,
// thread_count 0). PictureFormat describes the uncompressed picture layouts
// the filters exchange, packed into one buffer the way bitmaps are: RGB
// bottom-up with rows padded to 4 bytes, YUV top-down with tightly packed
// planes. PictureConverter writes a decoded frame into such a buffer, copying
// when the layouts match and scaling/converting otherwise. AudioConverter
// turns decoded audio into interleaved 16-bit PCM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mediaff/owners.h"

namespace mediaff {

class Decoder {
public:
    // Opens the decoder for a stream; 0 or a negative AVERROR.
    // `timeBase` is the time base of the packets' timestamps.
    int Open(const AVCodecParameters *par, AVRational timeBase);
    bool IsOpen() const { return ctx_ != nullptr; }
    // avcodec_send_packet; nullptr starts draining.
    int Send(const AVPacket *pkt);
    // avcodec_receive_frame: 0, AVERROR(EAGAIN), AVERROR_EOF or an error.
    int Receive(AVFrame *frame);
    // Drops buffered data (after a seek); the decoder stays open.
    void Flush();
    AVCodecContext *Context() const { return ctx_.get(); }
private:
    CodecContextPtr ctx_;
};

enum class PictureFormat {
    None, IYUV, YV12, NV12, YUY2, UYVY, YVYU, RGB32, RGB24, RGB565, RGB555,
};

struct PictureLayout {
    int bitCount = 0;          // bits per pixel as a bitmap header states it
    std::uint32_t compression = 0;  // fourcc, or 0 (BI_RGB) / 3 (BI_BITFIELDS)
    std::size_t imageSize = 0;
    bool bottomUp = false;
};

AVPixelFormat ToPixelFormat(PictureFormat f);
// The PictureFormat holding `pix` without conversion, None if there is none.
PictureFormat FromPixelFormat(AVPixelFormat pix);
PictureLayout LayoutOf(PictureFormat f, int width, int height);
// Plane pointers and strides of a packed picture in `buffer`.
void PlanesOf(PictureFormat f, int width, int height, std::uint8_t *buffer, std::uint8_t *data[4], int linesize[4]);

class PictureConverter {
public:
    // Writes `src` as `dst` format at dstWidth × dstHeight into `buffer`
    // (LayoutOf(...).imageSize bytes). false when the conversion is not
    // possible.
    bool Convert(const AVFrame *src, PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *buffer);
    // Same, from a packed picture buffer of the given format.
    bool ConvertPacked(const std::uint8_t *src, PictureFormat srcFormat, int srcWidth, int srcHeight,
                       PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *buffer);
    // Same, into planes the caller laid out (top-down RGB and the like).
    bool ConvertToPlanes(const AVFrame *src, PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *const dstData[4],
                         const int dstLinesize[4]);
    bool ConvertPackedToPlanes(const std::uint8_t *const srcData[4], const int srcLinesize[4], PictureFormat srcFormat, int srcWidth,
                               int srcHeight, PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *const dstData[4],
                               const int dstLinesize[4]);
private:
    bool Scale(const std::uint8_t *const srcData[4], const int srcLinesize[4], AVPixelFormat srcPix, int srcW, int srcH,
               AVPixelFormat dstPix, int dstW, int dstH, std::uint8_t *const dstData[4], const int dstLinesize[4]);
    SwsPtr sws_;
};

class AudioConverter {
public:
    AudioConverter() = default;
    ~AudioConverter() { av_channel_layout_uninit(&inLayout_); }
    AudioConverter(const AudioConverter &) = delete;
    AudioConverter &operator=(const AudioConverter &) = delete;
    // Sets up the conversion from (inFormat, inLayout, inRate) to interleaved
    // 16-bit PCM with outChannels channels at outRate. 0 or negative AVERROR.
    int Open(AVSampleFormat inFormat, const AVChannelLayout &inLayout, int inRate, int outChannels, int outRate);
    bool IsOpen() const { return swr_ != nullptr; }
    // Converts `inSamples` samples (planes as in AVFrame::extended_data, or
    // nullptr to drain) and appends the result to `out`. Returns the number
    // of output samples or a negative AVERROR.
    int Convert(const std::uint8_t *const *in, int inSamples, std::vector<std::uint8_t> &out);
    // Matches the output format after Open.
    int OutChannels() const { return outChannels_; }
    int OutRate() const { return outRate_; }
    // Samples still buffered inside the resampler (for timing).
    std::int64_t Delay() const;
    void Reset();
private:
    SwrPtr swr_;
    AVSampleFormat inFormat_ = AV_SAMPLE_FMT_NONE;
    AVChannelLayout inLayout_{};
    int inRate_ = 0;
    int outChannels_ = 0;
    int outRate_ = 0;
};

}  // namespace mediaff
