// The encoding engine of the Dravik filter: everything between the two
// input pins and the output file, without the filter framework.
//
// One Engine holds the encoder set of one output file: the format context
// with its video (id 0) and audio (id 1) streams, the two encoders, the
// picture scaler, the audio resampler, the audio FIFO and the buffers. It is
// built when the filter pauses and again for each new file of a split, and
// torn down when the pins deactivate. The filter serialises every call with
// its receive lock (or its filter lock during state changes): the engine
// itself is not thread-safe.
//
// Video: each picture is paced against the encoder's frame count (dropped or
// repeated so the output follows the source's time stamps), converted from
// its input layout straight to planar YUV 4:2:0 at the output size in one
// swscale pass (upside-down RGB is read through a negative stride instead
// of being turned in place, and the scaled picture lands in the inner
// rectangle of the frame, the bars around it filled black), and encoded.
// Pictures come from a buffer pool so a frame the encoder still holds is
// never overwritten.
//
// Audio: 16-bit interleaved PCM is volume-scaled in place, converted in
// channels and rate by libswresample when the input differs from the
// encoder, cut into the encoder's frames through a byte FIFO, converted to
// the encoder's sample format and encoded. Large samples are processed in
// pieces that fit the buffers. AMR narrow-band goes through
// libopencore-amrnb directly (the distribution's FFmpeg has no encoder).
//
// Output: packets are written in the order the paths produce them with the
// interleaving writer. Finishing a file first drains both encoders and the
// FIFO, so every picture and sample received ends up in the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "com/com.h"
#include "ffowners.h"
#include "rules.h"
#include "settings.h"

namespace dravik {

enum class VideoLayout { Rgb32, Rgb24, Rgb565, Rgb555, Yv12, Iyuv, Yuy2 };

struct VideoInput {
    VideoLayout layout = VideoLayout::Rgb32;
    std::int32_t width = 0;
    std::int32_t height = 0;  // as stored in the bitmap header; negative = top-down rows
};

struct AudioInput {
    std::int32_t channels = 2;
    std::int32_t sampleRate = 44100;
};

// Short name of the container format of an output type, or null.
const char *ContainerName(std::int32_t outputType);
// Whether H.263 can code this frame size (sub-QCIF to 16CIF only).
bool IsH263Size(std::int32_t w, std::int32_t h);

class Engine {
public:
    explicit Engine(SettingsBlock &settings);
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Connected inputs; set by the pins before a build.
    void SetVideoInput(std::optional<VideoInput> input) { videoIn_ = input; }
    void SetAudioInput(std::optional<AudioInput> input) { audioIn_ = input; }
    bool VideoConnected() const { return videoIn_.has_value(); }
    bool AudioConnected() const { return audioIn_.has_value(); }

    // Builds the encoder set for the current file number: S_OK, E_FAIL or
    // E_OUTOFMEMORY. On failure the caller tears down.
    HRESULT BuildEncoders();
    void TearDownEncoders();
    // Opens the current file and writes its header (no-op once written).
    HRESULT OpenOutputFile();
    // Drains the encoders and writes the trailer (no-op without a header).
    HRESULT FinishOutputFile();
    HRESULT CloseOutputFile();

    // One video sample (tightly packed rows, or DIB rows padded to four
    // bytes for RGB) whose start time is `start`. Returns S_OK; S_FALSE
    // when no file is open; E_FAIL when the picture could not be converted
    // or the output can no longer be written (a packet write or a file
    // split failed: the conversion cannot go on, so the caller must not
    // wait for more). Runs the file-size check and any split.
    HRESULT EncodeVideo(const std::uint8_t *data, std::size_t len, std::int64_t start);
    // One audio sample of interleaved 16-bit PCM, volume-scaled in place.
    // Results as for EncodeVideo.
    HRESULT EncodeAudio(std::uint8_t *data, std::size_t len);
    // A packet write or a split failed since the file was opened.
    bool OutputFailed() const { return outputFailed_; }

    void SetRebase() { rebase_ = true; }
    void ResetFileNumber() { fileNumber_ = 1; }

    bool EncoderReady() const { return ready_; }
    bool FileOpen() const { return fileOpen_; }
    bool HeaderPending() const { return headerPending_; }
    std::int32_t FileNumber() const { return fileNumber_; }
    const std::string &CurrentName() const { return currentName_; }
    std::int64_t FileSize() const { return fileSize_; }
    const Letterbox &Geometry() const { return letterbox_; }
    const std::string &LastError() const { return lastError_; }
    // Pictures handed to the video encoder since it was opened.
    std::int64_t PicturesEncoded() const { return picturesSent_; }
    // Encoder frame size and channel count (0 before a build).
    int AudioFrameSize() const { return audioFrameSize_; }

private:
    HRESULT Fail(HRESULT hr, const std::string &why);
    HRESULT ConfigureVideoStream(const SettingsValues &s);
    HRESULT ConfigureAudioStream(const SettingsValues &s);
    HRESULT CreateVideoScaler();
    HRESULT CreateAudioResampler();
    HRESULT OpenVideoEncoder();
    HRESULT OpenAudioEncoder();
    HRESULT PreparePicture(const std::uint8_t *data, std::size_t len, FramePtr *out);
    int WritePacket(AVPacket *pkt, AVStream *st, AVRational from);
    // Sends `frame` (null drains) and writes every packet then available;
    // false when a write failed.
    bool SendVideo(AVFrame *frame);
    void SendAudio(AVFrame *frame);
    void EncodeAudioFrame(const std::uint8_t *pcm, int samples);
    void PushAudio(const std::uint8_t *pcm, std::size_t bytes);
    void DrainEncoders();
    void CheckFileSize();

    SettingsBlock &settings_;
    std::optional<VideoInput> videoIn_;
    std::optional<AudioInput> audioIn_;

    // Per build.
    NameParts nameParts_;
    std::string currentName_;
    std::int32_t outputType_ = 0;
    OutputContextPtr ctx_;
    AVDictionary *muxOptions_ = nullptr;
    AVStream *videoStream_ = nullptr;
    AVStream *audioStream_ = nullptr;
    const AVCodec *videoCodec_ = nullptr;
    const AVCodec *audioCodec_ = nullptr;
    CodecContextPtr videoCtx_;
    CodecContextPtr audioCtx_;
    bool videoCodecOpen_ = false;
    bool audioCodecOpen_ = false;
    Letterbox letterbox_;
    int outW_ = 0, outH_ = 0;
    SwsPtr scaler_;
    AVPixelFormat srcFormat_ = AV_PIX_FMT_NONE;
    BufferPoolPtr picturePool_;
    int pictureSize_ = 0;
    std::int64_t picturesSent_ = 0;
    bool resampleAudio_ = false;
    SwrPtr resampler_;
    FifoPtr fifo_;
    AvBytesPtr sampleBuffer_;
    AvBytesPtr convertBuffer_;
    FramePtr audioFrame_;
    int audioFrameSize_ = 0;
    int audioChannels_ = 0;
    int audioRate_ = 0;
    std::int64_t samplesSent_ = 0;
    void *amrState_ = nullptr;
    bool drained_ = false;
    bool warnedShortSample_ = false;
    bool outputFailed_ = false;

    // Per file / filter lifetime.
    bool ready_ = false;
    bool fileOpen_ = false;
    bool headerPending_ = true;
    bool rebase_ = true;
    std::int64_t videoBaseTime_ = 0;
    std::int32_t fileNumber_ = 1;
    std::int64_t fileSize_ = 0;
    std::int64_t packetsInFile_ = 0;
    std::string lastError_;
};

// Logs one line from the encoder (stderr, prefixed "Dravik: ").
void LogLine(const std::string &line);

}  // namespace dravik
