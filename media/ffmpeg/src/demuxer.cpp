#include "mediaff/demuxer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

namespace mediaff {

std::string AvErrorText(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

FileByteReader::~FileByteReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileByteReader::Open(const std::string &path) {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    // Non-blocking open: a named pipe under a media name must not hang us.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    size_ = st.st_size;
    return true;
}

int FileByteReader::Read(std::int64_t position, std::uint8_t *buffer, int size) {
    if (fd_ < 0 || position < 0 || size < 0) return -1;
    for (;;) {
        ssize_t n = ::pread(fd_, buffer, static_cast<size_t>(size), position);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) return -1;
    }
}

Demuxer::Demuxer() = default;
Demuxer::~Demuxer() = default;  // fmt_ closes before io_ (reverse order)

int Demuxer::ReadCallback(void *opaque, std::uint8_t *buf, int size) {
    auto *self = static_cast<Demuxer *>(opaque);
    if (self->abort_) return AVERROR_EXIT;
    int n = self->reader_->Read(self->pos_, buf, size);
    if (n < 0) return AVERROR(EIO);
    if (n == 0) return AVERROR_EOF;
    self->pos_ += n;
    return n;
}

std::int64_t Demuxer::SeekCallback(void *opaque, std::int64_t offset, int whence) {
    auto *self = static_cast<Demuxer *>(opaque);
    std::int64_t size = self->reader_->Size();
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size >= 0 ? size : AVERROR(ENOSYS);
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += self->pos_;
        break;
    case SEEK_END:
        if (size < 0) return AVERROR(ENOSYS);
        offset += size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    self->pos_ = offset;
    return offset;
}

int Demuxer::InterruptCallback(void *opaque) {
    return static_cast<Demuxer *>(opaque)->abort_ ? 1 : 0;
}

void Demuxer::Close() {
    fmt_.reset();
    io_.reset();
    streams_.clear();
    wanted_.clear();
    pending_.clear();
    pendingNext_ = 0;
    startOffset_ = 0;
    landing_ = 0;
    scannedDuration_ = 0;
}

int Demuxer::Open(ByteReader *reader, const std::string &nameHint) {
    int err = OpenInternal(reader, nameHint);
    if (err < 0 || Duration() > 0) return err;
    // No duration from the container (swf and the like): read it once to
    // the end, up to a limit, then start again.
    constexpr std::int64_t kMaxScanBytes = 256ll * 1024 * 1024;
    if (reader->Size() < 0 || reader->Size() > kMaxScanBytes) return 0;
    PacketPtr pkt = MakePacket();
    std::int64_t end = 0;
    for (int n = 0; pkt && n < 1000000 && av_read_frame(fmt_.get(), pkt.get()) >= 0; ++n) {
        if (Wanted(pkt->stream_index)) {
            std::int64_t t = PacketTime(pkt.get());
            if (t != AV_NOPTS_VALUE)
                end = std::max(end, t + av_rescale_q(std::max<std::int64_t>(pkt->duration, 0), fmt_->streams[pkt->stream_index]->time_base, kRefTimeBase));
        }
        av_packet_unref(pkt.get());
    }
    err = Rewind();
    if (err >= 0) scannedDuration_ = end;
    return err;
}

int Demuxer::Rewind() {
    // Same reader, same streams in the same order: the DemuxStream entries
    // keep their addresses (the vector's storage is reused).
    std::int64_t scanned = scannedDuration_;
    int err = OpenInternal(reader_, nameHint_);
    scannedDuration_ = scanned;
    return err;
}

int Demuxer::OpenInternal(ByteReader *reader, const std::string &nameHint) {
    Close();
    nameHint_ = nameHint;
    reader_ = reader;
    pos_ = 0;
    if (!reader) return AVERROR(EINVAL);
    if (reader->Size() == 0) return AVERROR_INVALIDDATA;

    constexpr int kBufferSize = 64 * 1024;
    auto *buffer = static_cast<std::uint8_t *>(av_malloc(kBufferSize));
    if (!buffer) return AVERROR(ENOMEM);
    AVIOContext *io = avio_alloc_context(buffer, kBufferSize, 0, this, &ReadCallback, nullptr, &SeekCallback);
    if (!io) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    io_.reset(io);

    AVFormatContext *fmt = avformat_alloc_context();
    if (!fmt) return AVERROR(ENOMEM);
    fmt->pb = io_.get();
    fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    fmt->interrupt_callback.callback = &InterruptCallback;
    fmt->interrupt_callback.opaque = this;
    // On failure avformat_open_input frees the context itself.
    int err = avformat_open_input(&fmt, nameHint.c_str(), nullptr, nullptr);
    if (err < 0) {
        io_.reset();
        return err;
    }
    InputFormatPtr opened(fmt);
    err = avformat_find_stream_info(opened.get(), nullptr);
    if (err < 0) return err;

    std::int64_t start = opened->start_time;
    startOffset_ = start == AV_NOPTS_VALUE ? 0 : av_rescale_q(start, AV_TIME_BASE_Q, kRefTimeBase);
    wanted_.assign(opened->nb_streams, false);
    for (unsigned i = 0; i < opened->nb_streams; ++i) {
        AVStream *st = opened->streams[i];
        AVCodecParameters *par = st->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        if (par->codec_id == AV_CODEC_ID_NONE) continue;
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && (par->width <= 0 || par->height <= 0)) continue;
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0)) continue;
        DemuxStream ds;
        ds.index = static_cast<int>(i);
        ds.type = par->codec_type;
        ds.codecpar = par;
        ds.timeBase = st->time_base;
        ds.startTime = st->start_time;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            ds.duration = av_rescale_q(st->duration, st->time_base, kRefTimeBase);
        else if (opened->duration != AV_NOPTS_VALUE && opened->duration > 0)
            ds.duration = av_rescale_q(opened->duration, AV_TIME_BASE_Q, kRefTimeBase);
        ds.frameRate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        streams_.push_back(ds);
        wanted_[i] = true;
    }
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (!wanted_[i]) opened->streams[i]->discard = AVDISCARD_ALL;
    fmt_ = std::move(opened);
    if (streams_.empty()) {
        fmt_.reset();
        io_.reset();
        return AVERROR_STREAM_NOT_FOUND;
    }
    return 0;
}

std::int64_t Demuxer::Duration() const {
    if (!fmt_) return 0;
    if (fmt_->duration != AV_NOPTS_VALUE && fmt_->duration > 0)
        return av_rescale_q(fmt_->duration, AV_TIME_BASE_Q, kRefTimeBase);
    std::int64_t best = scannedDuration_;
    for (const DemuxStream &s : streams_) best = std::max(best, s.duration);
    return best;
}

const char *Demuxer::FormatName() const {
    return fmt_ && fmt_->iformat ? fmt_->iformat->name : "";
}

bool Demuxer::Wanted(int streamIndex) const {
    return streamIndex >= 0 && static_cast<std::size_t>(streamIndex) < wanted_.size() && wanted_[streamIndex];
}

int Demuxer::ReadPacket(AVPacket *pkt) {
    if (!fmt_) return AVERROR(EINVAL);
    if (pendingNext_ < pending_.size()) {
        av_packet_move_ref(pkt, pending_[pendingNext_++].get());
        if (pendingNext_ == pending_.size()) {
            pending_.clear();
            pendingNext_ = 0;
        }
        return 0;
    }
    for (;;) {
        if (abort_) return AVERROR_EXIT;
        int err = av_read_frame(fmt_.get(), pkt);
        if (err < 0) return err;
        if (Wanted(pkt->stream_index)) return 0;
        av_packet_unref(pkt);
    }
}

std::int64_t Demuxer::PacketTime(const AVPacket *pkt) const {
    std::int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    return ToMediaTime(pkt->stream_index, ts);
}

int Demuxer::RawSeek(std::int64_t absolute, int streamIndex) {
    AVStream *st = fmt_->streams[streamIndex];
    std::int64_t ts = av_rescale_q(absolute, kRefTimeBase, st->time_base);
    int err = av_seek_frame(fmt_.get(), streamIndex, ts, AVSEEK_FLAG_BACKWARD);
    if (err < 0) {
        // Formats without an index may still allow a search by timestamp.
        std::int64_t t = av_rescale_q(absolute, kRefTimeBase, AV_TIME_BASE_Q);
        err = avformat_seek_file(fmt_.get(), -1, INT64_MIN, t, t, 0);
    }
    if (err < 0) {
        // Before the first indexed key frame (or no index at all): the first
        // key frame after the position is the best there is.
        err = av_seek_frame(fmt_.get(), streamIndex, ts, 0);
    }
    return err;
}

int Demuxer::SeekTo(std::int64_t position, int streamIndex) {
    if (!fmt_) return AVERROR(EINVAL);
    if (position < 0) position = 0;
    pending_.clear();
    pendingNext_ = 0;
    if (!Wanted(streamIndex)) {
        streamIndex = streams_.front().index;
        for (const DemuxStream &s : streams_)
            if (s.type == AVMEDIA_TYPE_VIDEO) {
                streamIndex = s.index;
                break;
            }
    }
    // One frame of slack for timestamps rounded by the container.
    constexpr std::int64_t kSlack = 10000;
    std::int64_t backoff = 0;
    bool rewound = false;
    for (;;) {
        std::int64_t from = std::max<std::int64_t>(0, position - backoff);
        int err = RawSeek(from + startOffset_, streamIndex);
        if (err < 0) {
            // A container that cannot seek at all is read again from its
            // start up to the position.
            err = Rewind();
            if (err < 0) return err;
            rewound = true;
            from = 0;
        }
        // Read to the first key frame of the stream; keep later key frames
        // that are still at or before the position, and everything after
        // the chosen one for ReadPacket.
        std::vector<PacketPtr> kept;
        bool found = false;
        std::int64_t keyTime = AV_NOPTS_VALUE;
        for (;;) {
            PacketPtr pkt = MakePacket();
            if (!pkt) return AVERROR(ENOMEM);
            err = abort_ ? AVERROR_EXIT : av_read_frame(fmt_.get(), pkt.get());
            if (err == AVERROR_EXIT) return err;
            if (err < 0) break;  // the end: hand out what was read
            if (!Wanted(pkt->stream_index)) continue;
            if (pkt->stream_index != streamIndex) {
                // Other streams' packets before the key frame are older
                // than the picture we start with.
                if (found) kept.push_back(std::move(pkt));
                continue;
            }
            const std::int64_t shown = PacketTime(pkt.get());
            const std::int64_t decoded = ToMediaTime(pkt->stream_index, pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts);
            const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            if (!found) {
                if (!key) continue;  // undecodable without its key frame
                found = true;
                keyTime = shown;
                kept.push_back(std::move(pkt));
                if (shown != AV_NOPTS_VALUE && shown > position + kSlack) break;  // landed late
                continue;
            }
            if (key && shown != AV_NOPTS_VALUE && shown <= position + kSlack) {
                // A later key frame still at or before the position wins.
                kept.clear();
                keyTime = shown;
                kept.push_back(std::move(pkt));
                continue;
            }
            kept.push_back(std::move(pkt));
            // In decoding order no later key frame can be at or before the
            // position once a packet decodes after it.
            if (decoded != AV_NOPTS_VALUE && decoded > position + kSlack) break;
        }
        const bool late = found && keyTime != AV_NOPTS_VALUE && keyTime > position + kSlack;
        if ((late || !found) && from > 0 && !rewound) {
            backoff = backoff ? backoff * 2 : 10000000;
            continue;
        }
        if (!found) {
            // The container marks no key frames (swf): read from the start,
            // the packets before the position are then decoded as preroll.
            err = Rewind();
            if (err < 0) return err;
            landing_ = position;
            return 0;
        }
        pending_ = std::move(kept);
        pendingNext_ = 0;
        landing_ = (found && keyTime != AV_NOPTS_VALUE) ? keyTime : position;
        return 0;
    }
}

std::int64_t Demuxer::ToMediaTime(int streamIndex, std::int64_t ts) const {
    if (ts == AV_NOPTS_VALUE || !fmt_ || streamIndex < 0 || static_cast<unsigned>(streamIndex) >= fmt_->nb_streams)
        return AV_NOPTS_VALUE;
    return av_rescale_q(ts, fmt_->streams[streamIndex]->time_base, kRefTimeBase) - startOffset_;
}

}  // namespace mediaff
