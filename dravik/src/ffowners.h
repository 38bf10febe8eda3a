// Owners for the FFmpeg objects the encoder allocates: each one is freed by
// its own deleter, so no build step needs a cleanup block.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace dravik {

struct CodecContextDeleter { void operator()(AVCodecContext *c) const { avcodec_free_context(&c); } };
struct FrameDeleter { void operator()(AVFrame *f) const { av_frame_free(&f); } };
struct PacketDeleter { void operator()(AVPacket *p) const { av_packet_free(&p); } };
struct SwsDeleter { void operator()(SwsContext *s) const { sws_freeContext(s); } };
struct SwrDeleter { void operator()(SwrContext *s) const { swr_free(&s); } };
struct FifoDeleter { void operator()(AVFifo *f) const { av_fifo_freep2(&f); } };
struct AvFreeDeleter { void operator()(void *p) const { av_free(p); } };
struct BufferPoolDeleter { void operator()(AVBufferPool *p) const { av_buffer_pool_uninit(&p); } };
// The output context: the byte writer is closed by the owner's CloseOutputFile
// path; the deleter only closes it when that did not happen (a filter
// destroyed with a file open).
struct OutputContextDeleter {
    void operator()(AVFormatContext *c) const {
        if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FifoPtr = std::unique_ptr<AVFifo, FifoDeleter>;
using AvBytesPtr = std::unique_ptr<uint8_t, AvFreeDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

}  // namespace dravik
