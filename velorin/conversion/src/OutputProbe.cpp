#include "conversion/OutputProbe.h"

#include <filesystem>
#include <memory>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace velorin::conv {

namespace {
struct InputCloser {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
}  // namespace

std::optional<ProbedOutput> ProbeOutputFile(const std::string &path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    ProbedOutput result;
    result.bytes = std::filesystem::file_size(path, error);
    if (error) result.bytes = 0;

    AVFormatContext *raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return result;
    InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) return result;
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0) {
        result.duration = double(input->duration) / AV_TIME_BASE;
        return result;
    }
    // Some containers only carry per-stream durations.
    double longest = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream *stream = input->streams[i];
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            longest = std::max(longest, stream->duration * av_q2d(stream->time_base));
    }
    if (longest > 0) {
        result.duration = longest;
        return result;
    }
    // Containers without any duration field (SWF): the end of the last
    // packet read.
    std::unique_ptr<AVPacket, void (*)(AVPacket *)> packet(av_packet_alloc(), [](AVPacket *p) {
        av_packet_free(&p);
    });
    if (!packet) return result;
    double end = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const AVStream *stream = input->streams[packet->stream_index];
        if (packet->pts != AV_NOPTS_VALUE) {
            const std::int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
            end = std::max(end, double(packet->pts - start + std::max<std::int64_t>(packet->duration, 0)) *
                                    av_q2d(stream->time_base));
        }
        av_packet_unref(packet.get());
    }
    if (end > 0) result.duration = end;
    return result;
}

}  // namespace velorin::conv
