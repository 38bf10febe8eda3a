#include "mediaff/codec.h"

#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace mediaff {

int Decoder::Open(const AVCodecParameters *par, AVRational timeBase) {
    ctx_.reset();
    if (!par) return AVERROR(EINVAL);
    const AVCodec *codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return AVERROR_DECODER_NOT_FOUND;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return AVERROR(ENOMEM);
    int err = avcodec_parameters_to_context(ctx.get(), par);
    if (err < 0) return err;
    ctx->pkt_timebase = timeBase;
    // Decode on as many threads as the codec can use: the graph must not be
    // what a conversion waits for.
    ctx->thread_count = 0;
    ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    err = avcodec_open2(ctx.get(), codec, nullptr);
    if (err < 0) return err;
    ctx_ = std::move(ctx);
    return 0;
}

int Decoder::Send(const AVPacket *pkt) {
    return ctx_ ? avcodec_send_packet(ctx_.get(), pkt) : AVERROR(EINVAL);
}

int Decoder::Receive(AVFrame *frame) {
    return ctx_ ? avcodec_receive_frame(ctx_.get(), frame) : AVERROR(EINVAL);
}

void Decoder::Flush() {
    if (ctx_) avcodec_flush_buffers(ctx_.get());
}

AVPixelFormat ToPixelFormat(PictureFormat f) {
    switch (f) {
    case PictureFormat::IYUV:
    case PictureFormat::YV12: return AV_PIX_FMT_YUV420P;
    case PictureFormat::NV12: return AV_PIX_FMT_NV12;
    case PictureFormat::YUY2: return AV_PIX_FMT_YUYV422;
    case PictureFormat::UYVY: return AV_PIX_FMT_UYVY422;
    case PictureFormat::YVYU: return AV_PIX_FMT_YVYU422;
    case PictureFormat::RGB32: return AV_PIX_FMT_BGRA;
    case PictureFormat::RGB24: return AV_PIX_FMT_BGR24;
    case PictureFormat::RGB565: return AV_PIX_FMT_RGB565LE;
    case PictureFormat::RGB555: return AV_PIX_FMT_RGB555LE;
    case PictureFormat::None: break;
    }
    return AV_PIX_FMT_NONE;
}

PictureFormat FromPixelFormat(AVPixelFormat pix) {
    switch (pix) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: return PictureFormat::IYUV;
    case AV_PIX_FMT_NV12: return PictureFormat::NV12;
    case AV_PIX_FMT_YUYV422: return PictureFormat::YUY2;
    case AV_PIX_FMT_UYVY422: return PictureFormat::UYVY;
    case AV_PIX_FMT_YVYU422: return PictureFormat::YVYU;
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0: return PictureFormat::RGB32;
    case AV_PIX_FMT_BGR24: return PictureFormat::RGB24;
    case AV_PIX_FMT_RGB565LE: return PictureFormat::RGB565;
    case AV_PIX_FMT_RGB555LE: return PictureFormat::RGB555;
    default: return PictureFormat::None;
    }
}

namespace {

constexpr std::uint32_t Fourcc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

int RgbStride(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }
int Half(int v) { return (v + 1) / 2; }

}  // namespace

PictureLayout LayoutOf(PictureFormat f, int width, int height) {
    PictureLayout l;
    if (width <= 0 || height <= 0) return l;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const std::size_t cw = static_cast<std::size_t>(Half(width)), ch = static_cast<std::size_t>(Half(height));
    switch (f) {
    case PictureFormat::IYUV: l = {12, Fourcc('I', 'Y', 'U', 'V'), w * h + 2 * cw * ch, false}; break;
    case PictureFormat::YV12: l = {12, Fourcc('Y', 'V', '1', '2'), w * h + 2 * cw * ch, false}; break;
    case PictureFormat::NV12: l = {12, Fourcc('N', 'V', '1', '2'), w * h + 2 * cw * ch, false}; break;
    case PictureFormat::YUY2: l = {16, Fourcc('Y', 'U', 'Y', '2'), 4 * cw * h, false}; break;
    case PictureFormat::UYVY: l = {16, Fourcc('U', 'Y', 'V', 'Y'), 4 * cw * h, false}; break;
    case PictureFormat::YVYU: l = {16, Fourcc('Y', 'V', 'Y', 'U'), 4 * cw * h, false}; break;
    case PictureFormat::RGB32: l = {32, 0, static_cast<std::size_t>(RgbStride(width, 4)) * h, true}; break;
    case PictureFormat::RGB24: l = {24, 0, static_cast<std::size_t>(RgbStride(width, 3)) * h, true}; break;
    case PictureFormat::RGB565: l = {16, 3, static_cast<std::size_t>(RgbStride(width, 2)) * h, true}; break;
    case PictureFormat::RGB555: l = {16, 0, static_cast<std::size_t>(RgbStride(width, 2)) * h, true}; break;
    case PictureFormat::None: break;
    }
    return l;
}

void PlanesOf(PictureFormat f, int width, int height, std::uint8_t *buffer, std::uint8_t *data[4], int linesize[4]) {
    for (int i = 0; i < 4; ++i) {
        data[i] = nullptr;
        linesize[i] = 0;
    }
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const int cw = Half(width), ch = Half(height);
    auto rgb = [&](int bpp) {
        int stride = RgbStride(width, bpp);
        // Bitmaps store the bottom row first.
        data[0] = buffer + static_cast<std::size_t>(stride) * (h - 1);
        linesize[0] = -stride;
    };
    switch (f) {
    case PictureFormat::IYUV:
        data[0] = buffer; linesize[0] = width;
        data[1] = buffer + w * h; linesize[1] = cw;
        data[2] = data[1] + static_cast<std::size_t>(cw) * ch; linesize[2] = cw;
        break;
    case PictureFormat::YV12:
        data[0] = buffer; linesize[0] = width;
        data[2] = buffer + w * h; linesize[2] = cw;
        data[1] = data[2] + static_cast<std::size_t>(cw) * ch; linesize[1] = cw;
        break;
    case PictureFormat::NV12:
        data[0] = buffer; linesize[0] = width;
        data[1] = buffer + w * h; linesize[1] = 2 * cw;
        break;
    case PictureFormat::YUY2:
    case PictureFormat::UYVY:
    case PictureFormat::YVYU:
        data[0] = buffer; linesize[0] = 4 * cw;
        break;
    case PictureFormat::RGB32: rgb(4); break;
    case PictureFormat::RGB24: rgb(3); break;
    case PictureFormat::RGB565:
    case PictureFormat::RGB555: rgb(2); break;
    case PictureFormat::None: break;
    }
}

bool PictureConverter::Scale(const std::uint8_t *const srcData[4], const int srcLinesize[4], AVPixelFormat srcPix, int srcW,
                             int srcH, AVPixelFormat dstPix, int dstW, int dstH, std::uint8_t *const dstData[4], const int dstLinesize[4]) {
    if (dstPix == AV_PIX_FMT_NONE || srcPix == AV_PIX_FMT_NONE || srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return false;
    if (srcPix == dstPix && srcW == dstW && srcH == dstH) {
        // Same layout: a plane copy is all it takes.
        std::uint8_t *d[4] = {dstData[0], dstData[1], dstData[2], dstData[3]};
        int dl[4] = {dstLinesize[0], dstLinesize[1], dstLinesize[2], dstLinesize[3]};
        av_image_copy(d, dl, const_cast<const std::uint8_t **>(srcData), srcLinesize, dstPix, dstW, dstH);
        return true;
    }
    const int flags = (srcW == dstW && srcH == dstH) ? SWS_POINT : SWS_BICUBIC;
    sws_.reset(sws_getCachedContext(sws_.release(), srcW, srcH, srcPix, dstW, dstH, dstPix, flags, nullptr, nullptr, nullptr));
    if (!sws_) return false;
    int rows = sws_scale(sws_.get(), srcData, srcLinesize, 0, srcH, dstData, dstLinesize);
    return rows > 0;
}

namespace {
// Full-range 4:2:0 copies as is into the planar layouts.
AVPixelFormat SourcePixelFormat(const AVFrame *src, PictureFormat dst, int dstWidth, int dstHeight) {
    auto pix = static_cast<AVPixelFormat>(src->format);
    if (pix == AV_PIX_FMT_YUVJ420P && (dst == PictureFormat::IYUV || dst == PictureFormat::YV12) && src->width == dstWidth &&
        src->height == dstHeight)
        return AV_PIX_FMT_YUV420P;
    return pix;
}
}  // namespace

bool PictureConverter::ConvertToPlanes(const AVFrame *src, PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *const dstData[4],
                                       const int dstLinesize[4]) {
    if (!src) return false;
    return Scale(src->data, src->linesize, SourcePixelFormat(src, dst, dstWidth, dstHeight), src->width, src->height, ToPixelFormat(dst),
                 dstWidth, dstHeight, dstData, dstLinesize);
}

bool PictureConverter::Convert(const AVFrame *src, PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *buffer) {
    if (!src || !buffer) return false;
    std::uint8_t *d[4];
    int dl[4];
    PlanesOf(dst, dstWidth, dstHeight, buffer, d, dl);
    return ConvertToPlanes(src, dst, dstWidth, dstHeight, d, dl);
}

bool PictureConverter::ConvertPackedToPlanes(const std::uint8_t *const srcData[4], const int srcLinesize[4], PictureFormat srcFormat,
                                             int srcWidth, int srcHeight, PictureFormat dst, int dstWidth, int dstHeight,
                                             std::uint8_t *const dstData[4], const int dstLinesize[4]) {
    return Scale(srcData, srcLinesize, ToPixelFormat(srcFormat), srcWidth, srcHeight, ToPixelFormat(dst), dstWidth, dstHeight, dstData,
                 dstLinesize);
}

bool PictureConverter::ConvertPacked(const std::uint8_t *src, PictureFormat srcFormat, int srcWidth, int srcHeight,
                                     PictureFormat dst, int dstWidth, int dstHeight, std::uint8_t *buffer) {
    if (!src || !buffer) return false;
    std::uint8_t *s[4];
    int sl[4];
    PlanesOf(srcFormat, srcWidth, srcHeight, const_cast<std::uint8_t *>(src), s, sl);
    std::uint8_t *d[4];
    int dl[4];
    PlanesOf(dst, dstWidth, dstHeight, buffer, d, dl);
    return ConvertPackedToPlanes(s, sl, srcFormat, srcWidth, srcHeight, dst, dstWidth, dstHeight, d, dl);
}

int AudioConverter::Open(AVSampleFormat inFormat, const AVChannelLayout &inLayout, int inRate, int outChannels, int outRate) {
    swr_.reset();
    if (inRate <= 0 || outRate <= 0 || outChannels <= 0 || inLayout.nb_channels <= 0) return AVERROR(EINVAL);
    AVChannelLayout in{};
    if (inLayout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, inLayout.nb_channels);
    else if (int err = av_channel_layout_copy(&in, &inLayout); err < 0)
        return err;
    AVChannelLayout out{};
    if (outChannels == in.nb_channels)
        av_channel_layout_copy(&out, &in);
    else
        av_channel_layout_default(&out, outChannels);
    SwrContext *raw = nullptr;
    int err = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, outRate, &in, inFormat, inRate, 0, nullptr);
    SwrPtr swr(raw);
    av_channel_layout_uninit(&out);
    if (err >= 0) err = swr_init(swr.get());
    if (err < 0) {
        av_channel_layout_uninit(&in);
        return err;
    }
    swr_ = std::move(swr);
    av_channel_layout_uninit(&inLayout_);
    inLayout_ = in;
    inFormat_ = inFormat;
    inRate_ = inRate;
    outChannels_ = outChannels;
    outRate_ = outRate;
    return 0;
}

int AudioConverter::Convert(const std::uint8_t *const *in, int inSamples, std::vector<std::uint8_t> &out) {
    if (!swr_) return AVERROR(EINVAL);
    int capacity = swr_get_out_samples(swr_.get(), in ? inSamples : 0);
    if (capacity < 0) return capacity;
    if (capacity == 0) return 0;
    const std::size_t bytesPerSample = 2u * static_cast<std::size_t>(outChannels_);
    const std::size_t old = out.size();
    out.resize(old + bytesPerSample * static_cast<std::size_t>(capacity));
    std::uint8_t *dst = out.data() + old;
    int n = swr_convert(swr_.get(), &dst, capacity, const_cast<const std::uint8_t **>(in), in ? inSamples : 0);
    out.resize(old + bytesPerSample * static_cast<std::size_t>(n > 0 ? n : 0));
    return n;
}

std::int64_t AudioConverter::Delay() const {
    return swr_ ? swr_get_delay(swr_.get(), outRate_) : 0;
}

void AudioConverter::Reset() {
    if (!swr_) return;
    // Re-initialising drops the resampler's history after a seek.
    swr_init(swr_.get());
}

}  // namespace mediaff
