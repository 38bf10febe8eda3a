// Container reading on libavformat over a pull byte stream.
//
// The demuxer never opens files itself: it reads through a ByteReader, so the
// same code serves a plain file and the source filter's pull interface (the
// splitter reads whatever source filter it is connected to). One thread at a
// time drives a Demuxer; Abort may be called from any thread and makes a
// blocked read or seek give up.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mediaff/owners.h"

namespace mediaff {

// Random-access byte source. Read returns the number of bytes read (0 at
// the end), or a negative value on a read error. Size is -1 when unknown.
class ByteReader {
public:
    virtual ~ByteReader() = default;
    virtual int Read(std::int64_t position, std::uint8_t *buffer, int size) = 0;
    virtual std::int64_t Size() = 0;
};

// A ByteReader over a file on disk (kept open for its lifetime).
class FileByteReader final : public ByteReader {
public:
    ~FileByteReader() override;
    // false when the file cannot be opened for reading or is not a regular file.
    bool Open(const std::string &path);
    int Read(std::int64_t position, std::uint8_t *buffer, int size) override;
    std::int64_t Size() override { return size_; }
private:
    int fd_ = -1;
    std::int64_t size_ = -1;
};

struct DemuxStream {
    int index = 0;                       // stream index in the container
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    const AVCodecParameters *codecpar = nullptr;  // owned by the demuxer
    AVRational timeBase{1, 1};
    std::int64_t startTime = AV_NOPTS_VALUE;      // in the stream's time base
    std::int64_t duration = 0;                    // 100-ns units, 0 when unknown
    AVRational frameRate{0, 1};                   // video: average frame rate
};

class Demuxer {
public:
    Demuxer();
    ~Demuxer();
    Demuxer(const Demuxer &) = delete;
    Demuxer &operator=(const Demuxer &) = delete;

    // Probes and opens the container. `nameHint` (a file name) helps the
    // probe by its extension. The reader must outlive the demuxer. Returns 0
    // or a negative AVERROR; on failure the demuxer stays closed.
    int Open(ByteReader *reader, const std::string &nameHint);
    bool IsOpen() const { return fmt_ != nullptr; }
    // Closes the container (the reader is left alone).
    void Close();

    // Video and audio streams with a known codec, in container order.
    const std::vector<DemuxStream> &Streams() const { return streams_; }
    // Whole-file duration in 100-ns units, 0 when unknown.
    std::int64_t Duration() const;
    // The container's earliest timestamp in 100-ns units (0 when unknown);
    // media times reported outside are relative to it.
    std::int64_t StartOffset() const { return startOffset_; }
    const char *FormatName() const;

    // Next packet of one of Streams(); 0, AVERROR_EOF at the end, or another
    // negative AVERROR. Packets of other streams are skipped.
    int ReadPacket(AVPacket *pkt);

    // Moves to the latest key frame at or before `position` (100-ns media
    // time, relative to StartOffset) of `streamIndex` (the first video
    // stream, else the first stream, when -1), so that the next ReadPacket
    // gives that key frame first. Demuxers whose own seek lands late or on a
    // non-key packet are corrected by stepping back and reading forward.
    // Returns 0 or a negative AVERROR; SeekLanding() then tells the key
    // frame's media time. A container that marks no key frames at all is
    // read again from its start and SeekLanding() is the position itself.
    int SeekTo(std::int64_t position, int streamIndex = -1);
    std::int64_t SeekLanding() const { return landing_; }

    // Packet timestamp (stream time base) to 100-ns media time relative to
    // StartOffset; AV_NOPTS_VALUE stays unset.
    std::int64_t ToMediaTime(int streamIndex, std::int64_t ts) const;

    // Makes reads and seeks in progress fail; sticky until ClearAbort.
    void Abort() { abort_ = true; }
    void ClearAbort() { abort_ = false; }

private:
    static int ReadCallback(void *opaque, std::uint8_t *buf, int size);
    static std::int64_t SeekCallback(void *opaque, std::int64_t offset, int whence);
    static int InterruptCallback(void *opaque);
    bool Wanted(int streamIndex) const;
    int RawSeek(std::int64_t absolute, int streamIndex);
    int OpenInternal(ByteReader *reader, const std::string &nameHint);
    // Opens the same reader again from its start.
    int Rewind();
    std::int64_t PacketTime(const AVPacket *pkt) const;

    ByteReader *reader_ = nullptr;
    std::int64_t pos_ = 0;
    AvioPtr io_;
    InputFormatPtr fmt_;
    std::vector<DemuxStream> streams_;
    std::vector<bool> wanted_;
    std::int64_t startOffset_ = 0;
    std::int64_t landing_ = 0;
    std::int64_t scannedDuration_ = 0;  // when the container tells none
    std::string nameHint_;
    std::vector<PacketPtr> pending_;  // read ahead by SeekTo, handed out first
    std::size_t pendingNext_ = 0;
    std::atomic<bool> abort_{false};
};

// Text of an AVERROR for logs.
std::string AvErrorText(int err);

}  // namespace mediaff
