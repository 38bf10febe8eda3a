// Owners for the FFmpeg objects of the stock filters. Every FFmpeg object
// the filters allocate lives in one of these, so no error path can leak it
// and nothing is freed twice.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace mediaff {

struct PacketDeleter { void operator()(AVPacket *p) const { av_packet_free(&p); } };
struct FrameDeleter { void operator()(AVFrame *f) const { av_frame_free(&f); } };
struct CodecContextDeleter { void operator()(AVCodecContext *c) const { avcodec_free_context(&c); } };
struct CodecParametersDeleter { void operator()(AVCodecParameters *p) const { avcodec_parameters_free(&p); } };
struct SwsDeleter { void operator()(SwsContext *s) const { sws_freeContext(s); } };
struct SwrDeleter { void operator()(SwrContext *s) const { swr_free(&s); } };
// The buffer of an AVIOContext we allocated is ours to free as well: the
// context may have replaced it, so free whatever it holds now.
struct AvioDeleter {
    void operator()(AVIOContext *io) const {
        if (!io) return;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
// An input opened with avformat_open_input; closing it frees the context.
struct InputFormatDeleter { void operator()(AVFormatContext *f) const { avformat_close_input(&f); } };
struct AvMemDeleter { void operator()(void *p) const { av_free(p); } };

using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AvioPtr = std::unique_ptr<AVIOContext, AvioDeleter>;
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;

inline PacketPtr MakePacket() { return PacketPtr(av_packet_alloc()); }
inline FramePtr MakeFrame() { return FramePtr(av_frame_alloc()); }

// 100-ns reference time units as an FFmpeg time base.
inline constexpr AVRational kRefTimeBase{1, 10000000};

}  // namespace mediaff
