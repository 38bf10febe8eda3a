#include "engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <opencore-amrnb/interf_enc.h>
}

#include "contract/mpeg2parameter.h"

namespace dravik {

namespace {

constexpr std::size_t kAudioSampleBufferSize = 262144;
constexpr std::size_t kAudioFifoSize = 262144;
constexpr int kRateControlBuffer = 1835008;
constexpr std::int64_t kSplitMargin = 204800;
constexpr int kGopSize = 12;
constexpr int kMaxBFrames = 0;
constexpr int kAmrFrameSamples = 160;
constexpr int kAmrFrameBytes = 32;

std::string AvError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

bool IsAmrType(std::int32_t t) {
    return t == OutputTypes::ThreeGpMpeg4Amr || t == OutputTypes::ThreeGpH263Amr ||
           t == OutputTypes::ThreeG2Mpeg4Amr || t == OutputTypes::ThreeG2H263Amr;
}

AVCodecID VideoCodecOf(std::int32_t t) {
    switch (t) {
    case 1: case 2: return AV_CODEC_ID_MPEG2VIDEO;
    case 4: return AV_CODEC_ID_FLV1;
    case 5: return AV_CODEC_ID_MPEG1VIDEO;
    case 12: case 13: case 16: case 17: return AV_CODEC_ID_H263;
    case 18: return AV_CODEC_ID_WMV2;
    case 3: case 6: case 7: case 8: case 9: case 10: case 11: case 14: case 15: return AV_CODEC_ID_MPEG4;
    default: return AV_CODEC_ID_NONE;
    }
}

// Encoder by name where the distribution has several for one id.
const AVCodec *AudioEncoderOf(std::int32_t t) {
    switch (t) {
    case 1: case 5: return avcodec_find_encoder(AV_CODEC_ID_MP2);
    case 2: return avcodec_find_encoder(AV_CODEC_ID_AC3);
    case 3: case 4: case 19: return avcodec_find_encoder_by_name("libmp3lame");
    case 6: case 7: case 8: case 9: case 11: case 13: case 15: case 17: case 20:
        return avcodec_find_encoder_by_name("aac");
    case 18: case 22: return avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    case 21: return avcodec_find_encoder_by_name("libvorbis");
    default: return nullptr;
    }
}

AVPixelFormat PixelFormatOf(VideoLayout l) {
    switch (l) {
    case VideoLayout::Rgb32: return AV_PIX_FMT_BGR0;
    case VideoLayout::Rgb24: return AV_PIX_FMT_BGR24;
    case VideoLayout::Rgb565: return AV_PIX_FMT_RGB565LE;
    case VideoLayout::Rgb555: return AV_PIX_FMT_RGB555LE;
    case VideoLayout::Yv12:
    case VideoLayout::Iyuv: return AV_PIX_FMT_YUV420P;
    case VideoLayout::Yuy2: return AV_PIX_FMT_YUYV422;
    }
    return AV_PIX_FMT_NONE;
}

int BytesPerPixel(VideoLayout l) {
    switch (l) {
    case VideoLayout::Rgb32: return 4;
    case VideoLayout::Rgb24: return 3;
    case VideoLayout::Rgb565:
    case VideoLayout::Rgb555:
    case VideoLayout::Yuy2: return 2;
    default: return 1;
    }
}

bool IsRgb(VideoLayout l) {
    return l == VideoLayout::Rgb32 || l == VideoLayout::Rgb24 || l == VideoLayout::Rgb565 || l == VideoLayout::Rgb555;
}

// Interleaved s16 into one frame of the encoder's sample format.
void ConvertSamples(const std::int16_t *in, int samples, int channels, AVFrame *f) {
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    for (int c = 0; c < channels; ++c) {
        std::uint8_t *plane = f->extended_data[planar ? c : 0];
        for (int i = 0; i < samples; ++i) {
            const std::int16_t s = in[i * channels + c];
            const int idx = planar ? i : i * channels + c;
            switch (av_get_packed_sample_fmt(fmt)) {
            case AV_SAMPLE_FMT_S16: reinterpret_cast<std::int16_t *>(plane)[idx] = s; break;
            case AV_SAMPLE_FMT_S32: reinterpret_cast<std::int32_t *>(plane)[idx] = static_cast<std::int32_t>(s) * 65536; break;
            case AV_SAMPLE_FMT_FLT: reinterpret_cast<float *>(plane)[idx] = s / 32768.0f; break;
            case AV_SAMPLE_FMT_DBL: reinterpret_cast<double *>(plane)[idx] = s / 32768.0; break;
            default: break;
            }
        }
    }
}

AVSampleFormat PickSampleFormat(const AVCodec *c) {
    if (!c->sample_fmts) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat *p = c->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
        if (*p == AV_SAMPLE_FMT_S16) return *p;
    for (const AVSampleFormat *p = c->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p) {
        AVSampleFormat packed = av_get_packed_sample_fmt(*p);
        if (packed == AV_SAMPLE_FMT_S16 || packed == AV_SAMPLE_FMT_S32 || packed == AV_SAMPLE_FMT_FLT ||
            packed == AV_SAMPLE_FMT_DBL)
            return *p;
    }
    return c->sample_fmts[0];
}

int EncoderThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(n, 1u, 8u));
}

}  // namespace

void LogLine(const std::string &line) { std::fprintf(stderr, "Dravik: %s\n", line.c_str()); }

const char *ContainerName(std::int32_t t) {
    switch (t) {
    case 1: case 2: return "vob";
    case 3: return "avi";
    case 4: return "swf";
    case 5: return "mpeg";
    case 6: case 9: return "mp4";
    case 7: return "mov";
    case 8: return "psp";
    case 10: case 11: case 12: case 13: return "3gp";
    case 14: case 15: case 16: case 17: return "3g2";
    case 18: case 22: return "asf";
    case 19: return "mp3";
    case 20: return "adts";
    case 21: return "ogg";
    default: return nullptr;
    }
}

bool IsH263Size(std::int32_t w, std::int32_t h) {
    static const int sizes[][2] = {{128, 96}, {176, 144}, {352, 288}, {704, 576}, {1408, 1152}};
    for (const auto &s : sizes)
        if (s[0] == w && s[1] == h) return true;
    return false;
}

Engine::Engine(SettingsBlock &settings) : settings_(settings) {}

Engine::~Engine() { TearDownEncoders(); }

HRESULT Engine::Fail(HRESULT hr, const std::string &why) {
    lastError_ = why;
    LogLine(why);
    return hr;
}

HRESULT Engine::BuildEncoders() {
    const SettingsValues s = settings_.Snapshot();
    outputType_ = s.OutputType;
    drained_ = false;
    if (!ComputeNameParts(s.OutputPath.data(), s.OutputType, &nameParts_))
        return Fail(E_FAIL, "output type " + std::to_string(s.OutputType) + " or output path \"" +
                                std::string(s.OutputPath.data()) + "\" unusable");
    currentName_ = ComposeOutputName(nameParts_, s.OutputType, fileNumber_);

    const char *shortName = ContainerName(s.OutputType);
    const AVOutputFormat *fmt = shortName ? av_guess_format(shortName, nullptr, nullptr) : nullptr;
    if (!fmt) return Fail(E_FAIL, "no output format for type " + std::to_string(s.OutputType));

    AVFormatContext *raw = avformat_alloc_context();
    if (!raw) return Fail(E_OUTOFMEMORY, "format context allocation failed");
    ctx_.reset(raw);
    raw->oformat = fmt;
    raw->url = av_strdup(currentName_.c_str());
    if (!raw->url) return Fail(E_OUTOFMEMORY, "out of memory");
    if (s.Title[0]) {
        std::string title(s.Title.data(), strnlen(s.Title.data(), 511));
        av_dict_set(&raw->metadata, "title", title.c_str(), 0);
    }

    if (videoIn_) {
        if (HRESULT hr = ConfigureVideoStream(s); FAILED(hr)) return hr;
    }
    if (audioIn_) {
        if (HRESULT hr = ConfigureAudioStream(s); FAILED(hr)) return hr;
    }
    if (s.OutputType == OutputTypes::DvdVob) {
        raw->packet_size = 2048;
        raw->max_delay = 700000;
        av_dict_set(&muxOptions_, "muxrate", "10080000", 0);
        av_dict_set(&muxOptions_, "preload", "500000", 0);
    }

    if (videoIn_) {
        letterbox_ = ComputeLetterbox(s.KeepInputRatio != 0, outW_, outH_, videoIn_->width, std::abs(videoIn_->height));
        if (HRESULT hr = CreateVideoScaler(); FAILED(hr)) return hr;
    }
    if (audioIn_) {
        resampleAudio_ = audioIn_->channels != audioChannels_ || audioIn_->sampleRate != audioRate_;
        if (resampleAudio_) {
            if (HRESULT hr = CreateAudioResampler(); FAILED(hr)) return hr;
        }
    }

    if (videoIn_) {
        if (HRESULT hr = OpenVideoEncoder(); FAILED(hr)) return hr;
    }
    if (audioIn_) {
        if (HRESULT hr = OpenAudioEncoder(); FAILED(hr)) return hr;
    }
    ready_ = true;
    return S_OK;
}

HRESULT Engine::ConfigureVideoStream(const SettingsValues &s) {
    videoStream_ = avformat_new_stream(ctx_.get(), nullptr);
    if (!videoStream_) return Fail(E_FAIL, "video stream creation failed");
    videoStream_->id = 0;
    const AVCodecID id = VideoCodecOf(s.OutputType);
    videoCodec_ = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
    if (!videoCodec_) return Fail(E_FAIL, "no video encoder for output type " + std::to_string(s.OutputType));
    videoCtx_.reset(avcodec_alloc_context3(videoCodec_));
    if (!videoCtx_) return Fail(E_OUTOFMEMORY, "video encoder context allocation failed");
    AVCodecContext *c = videoCtx_.get();
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->max_b_frames = kMaxBFrames;
    c->qmin = c->qmax = s.OutputQuality;
    switch (s.FrameRateMode) {
    case FrameRateModes::FromFields: c->time_base = AVRational{s.FrameRateBase, s.FrameRate}; break;
    case FrameRateModes::Pal: c->time_base = AVRational{1, 25}; break;
    case FrameRateModes::Ntsc: c->time_base = AVRational{1001, 30000}; break;
    default: break;
    }

    const std::int32_t t = s.OutputType;
    int w = c->width, h = c->height;
    bool globalHeader = false;
    if (t == OutputTypes::DvdVob) {
        const bool ntsc = s.FrameRateMode == FrameRateModes::Ntsc;
        c->bit_rate = 6000000;
        c->rc_max_rate = 9000000;
        c->rc_min_rate = 0;
        c->rc_buffer_size = kRateControlBuffer;
        w = 720;
        h = ntsc ? 480 : 576;
        c->gop_size = ntsc ? 18 : 15;
        c->time_base = ntsc ? AVRational{1001, 30000} : AVRational{1, 25};
    } else {
        c->bit_rate = s.VideoBitsPerSec;
        if (s.VbrType == VbrTypeConstant) {
            c->rc_min_rate = c->rc_max_rate = s.VideoBitsPerSec;
            c->rc_buffer_size = kRateControlBuffer;
        } else {
            c->rc_min_rate = c->rc_max_rate = 0;
        }
        c->gop_size = kGopSize;
        if (t >= 10 && t <= 17) {
            w = s.FrameWidth;
            h = s.FrameHeight;
            globalHeader = true;
        } else {
            FrameSizeByAspect(s.AspectRatio, s.FrameWidth, s.FrameHeight, &w, &h);
            globalHeader = t >= 6 && t <= 9;
        }
        if (t == OutputTypes::Vob) c->max_b_frames = 2;
    }
    c->width = w;
    c->height = h;
    outW_ = w;
    outH_ = h;
    if (c->time_base.num > 0 && c->time_base.den > 0) c->framerate = av_inv_q(c->time_base);
    if (globalHeader || (ctx_->oformat->flags & AVFMT_GLOBALHEADER)) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->thread_count = EncoderThreads();
    c->thread_type = FF_THREAD_SLICE;
    videoStream_->time_base = c->time_base;

    if (id == AV_CODEC_ID_H263 && !IsH263Size(w, h))
        return Fail(E_FAIL, "H.263 cannot code " + std::to_string(w) + "x" + std::to_string(h) +
                                " (only 128x96, 176x144, 352x288, 704x576, 1408x1152)");
    return S_OK;
}

HRESULT Engine::ConfigureAudioStream(const SettingsValues &s) {
    audioStream_ = avformat_new_stream(ctx_.get(), nullptr);
    if (!audioStream_) return Fail(E_FAIL, "audio stream creation failed");
    audioStream_->id = 1;
    const std::int32_t t = s.OutputType;
    const int ch = s.ChannelMode == ChannelModeMono ? 1 : 2;
    int bitRate = s.AudioBitsPerSec, rate = s.SampleRate, channels = ch;
    if (t == OutputTypes::DvdVob) {
        bitRate = 192000;
        rate = 48000;
        channels = 2;
    } else if (IsAmrType(t)) {
        bitRate = 12200;
        rate = 8000;
        channels = 1;
    } else if (t == OutputTypes::Psp && rate >= 24000) {
        rate = 24000;
    }
    audioChannels_ = channels;
    audioRate_ = rate;
    if (IsAmrType(t)) {
        AVCodecParameters *p = audioStream_->codecpar;
        p->codec_type = AVMEDIA_TYPE_AUDIO;
        p->codec_id = AV_CODEC_ID_AMR_NB;
        p->sample_rate = 8000;
        av_channel_layout_default(&p->ch_layout, 1);
        p->frame_size = kAmrFrameSamples;
        p->bit_rate = 12200;
        audioStream_->time_base = AVRational{1, 8000};
        return S_OK;
    }
    audioCodec_ = AudioEncoderOf(t);
    if (!audioCodec_) return Fail(E_FAIL, "no audio encoder for output type " + std::to_string(t));
    audioCtx_.reset(avcodec_alloc_context3(audioCodec_));
    if (!audioCtx_) return Fail(E_OUTOFMEMORY, "audio encoder context allocation failed");
    AVCodecContext *c = audioCtx_.get();
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    c->bit_rate = bitRate;
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, channels);
    c->sample_fmt = PickSampleFormat(audioCodec_);
    c->time_base = AVRational{1, rate > 0 ? rate : 1};
    const bool globalHeader = t == 6 || t == 7 || t == 8 || t == 9;
    if (globalHeader || (ctx_->oformat->flags & AVFMT_GLOBALHEADER)) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    audioStream_->time_base = c->time_base;
    return S_OK;
}

HRESULT Engine::CreateVideoScaler() {
    const VideoLayout layout = videoIn_->layout;
    srcFormat_ = PixelFormatOf(layout);
    const int inW = videoIn_->width, inH = std::abs(videoIn_->height);
    const int innerW = outW_ - 2 * letterbox_.padLeft, innerH = outH_ - 2 * letterbox_.padTop;
    if (inW <= 0 || inH <= 0 || innerW <= 0 || innerH <= 0)
        return Fail(E_FAIL, "unusable frame size " + std::to_string(outW_) + "x" + std::to_string(outH_) +
                                " for input " + std::to_string(inW) + "x" + std::to_string(inH));
    // One pass from the input layout to the encoder's picture: colour
    // conversion and scaling together, no intermediate RGB picture.
    scaler_.reset(sws_getContext(inW, inH, srcFormat_, innerW, innerH, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                 nullptr, nullptr));
    if (!scaler_) return Fail(E_OUTOFMEMORY, "picture scaler creation failed");
    return S_OK;
}

HRESULT Engine::CreateAudioResampler() {
    AVChannelLayout outLayout, inLayout;
    av_channel_layout_default(&outLayout, audioChannels_);
    av_channel_layout_default(&inLayout, audioIn_->channels);
    SwrContext *raw = nullptr;
    int err = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, audioRate_, &inLayout, AV_SAMPLE_FMT_S16,
                                  audioIn_->sampleRate, 0, nullptr);
    resampler_.reset(raw);
    if (err < 0 || !raw || swr_init(raw) < 0) return Fail(E_OUTOFMEMORY, "audio resampler creation failed");
    return S_OK;
}

HRESULT Engine::OpenVideoEncoder() {
    AVDictionary *opts = nullptr;
    int err = avcodec_open2(videoCtx_.get(), videoCodec_, &opts);
    av_dict_free(&opts);
    if (err < 0)
        return Fail(E_FAIL, std::string("video encoder ") + videoCodec_->name + " refused " + std::to_string(outW_) +
                                "x" + std::to_string(outH_) + ": " + AvError(err));
    videoCodecOpen_ = true;
    if (avcodec_parameters_from_context(videoStream_->codecpar, videoCtx_.get()) < 0)
        return Fail(E_OUTOFMEMORY, "video stream parameters failed");
    // The rate-control buffer the encoder reports reaches the muxer (the
    // program stream writes it into its headers).
    for (int i = 0; i < videoCtx_->nb_coded_side_data; ++i) {
        const AVPacketSideData &sd = videoCtx_->coded_side_data[i];
        std::uint8_t *dst = av_stream_new_side_data(videoStream_, sd.type, sd.size);
        if (dst) std::memcpy(dst, sd.data, sd.size);
    }
    pictureSize_ = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, FFALIGN(outW_, 32), outH_, 32);
    if (pictureSize_ <= 0) return Fail(E_OUTOFMEMORY, "picture allocation failed");
    picturePool_.reset(av_buffer_pool_init(static_cast<std::size_t>(pictureSize_) + 64, av_buffer_alloc));
    if (!picturePool_) return Fail(E_OUTOFMEMORY, "picture allocation failed");
    picturesSent_ = 0;
    return S_OK;
}

HRESULT Engine::OpenAudioEncoder() {
    sampleBuffer_.reset(static_cast<std::uint8_t *>(av_malloc(kAudioSampleBufferSize)));
    convertBuffer_.reset(static_cast<std::uint8_t *>(av_malloc(kAudioSampleBufferSize)));
    if (!sampleBuffer_ || !convertBuffer_) return Fail(E_OUTOFMEMORY, "audio buffer allocation failed");
    if (IsAmrType(outputType_)) {
        amrState_ = Encoder_Interface_init(0);
        if (!amrState_) return Fail(E_FAIL, "AMR narrow-band encoder failed to start");
        audioCodecOpen_ = true;
        audioFrameSize_ = kAmrFrameSamples;
    } else {
        AVDictionary *opts = nullptr;
        int err = avcodec_open2(audioCtx_.get(), audioCodec_, &opts);
        av_dict_free(&opts);
        if (err < 0)
            return Fail(E_FAIL, std::string("audio encoder ") + audioCodec_->name + " refused " +
                                    std::to_string(audioRate_) + " Hz, " + std::to_string(audioChannels_) +
                                    " channels: " + AvError(err));
        audioCodecOpen_ = true;
        if (avcodec_parameters_from_context(audioStream_->codecpar, audioCtx_.get()) < 0)
            return Fail(E_OUTOFMEMORY, "audio stream parameters failed");
        audioFrameSize_ = audioCtx_->frame_size;
        if (audioFrameSize_ > 1) {
            audioFrame_.reset(av_frame_alloc());
            if (!audioFrame_) return Fail(E_OUTOFMEMORY, "audio frame allocation failed");
            audioFrame_->format = audioCtx_->sample_fmt;
            audioFrame_->nb_samples = audioFrameSize_;
            audioFrame_->sample_rate = audioRate_;
            av_channel_layout_copy(&audioFrame_->ch_layout, &audioCtx_->ch_layout);
            if (av_frame_get_buffer(audioFrame_.get(), 0) < 0) return Fail(E_OUTOFMEMORY, "audio frame allocation failed");
        }
        // A frame bigger than the sample buffer cannot be staged.
        if (static_cast<std::size_t>(audioFrameSize_) * audioChannels_ * 2 > kAudioSampleBufferSize)
            return Fail(E_FAIL, "audio encoder frame too large");
    }
    fifo_.reset(av_fifo_alloc2(kAudioFifoSize, 1, 0));
    if (!fifo_) return Fail(E_FAIL, "audio FIFO initialisation failed");
    samplesSent_ = 0;
    return S_OK;
}

void Engine::TearDownEncoders() {
    sampleBuffer_.reset();
    convertBuffer_.reset();
    fifo_.reset();
    audioFrame_.reset();
    picturePool_.reset();
    videoCtx_.reset();
    videoCodecOpen_ = false;
    if (amrState_) {
        Encoder_Interface_exit(amrState_);
        amrState_ = nullptr;
    }
    audioCtx_.reset();
    audioCodecOpen_ = false;
    scaler_.reset();
    resampler_.reset();
    av_dict_free(&muxOptions_);
    if (ctx_) {
        // Only reached with a file still open when the filter goes away
        // without a stop: the owner closes the writer, no trailer.
        if (ctx_->pb) fileOpen_ = false;
        ctx_.reset();
    }
    videoStream_ = audioStream_ = nullptr;
    videoCodec_ = audioCodec_ = nullptr;
    audioFrameSize_ = 0;
    ready_ = false;
}

HRESULT Engine::OpenOutputFile() {
    if (!headerPending_) return S_OK;
    if (!ctx_) return Fail(E_FAIL, "no encoders built");
    if (!(ctx_->oformat->flags & AVFMT_NOFILE)) {
        int err = avio_open(&ctx_->pb, currentName_.c_str(), AVIO_FLAG_WRITE);
        if (err < 0) {
            TearDownEncoders();
            return Fail(E_FAIL, "cannot open \"" + currentName_ + "\" for writing: " + AvError(err));
        }
    }
    fileOpen_ = true;
    AVDictionary *opts = nullptr;
    av_dict_copy(&opts, muxOptions_, 0);
    int err = avformat_write_header(ctx_.get(), &opts);
    for (const AVDictionaryEntry *e = nullptr; (e = av_dict_get(opts, "", e, AV_DICT_IGNORE_SUFFIX));)
        LogLine(std::string("container option not used: ") + e->key);
    av_dict_free(&opts);
    if (err < 0) return Fail(E_FAIL, "cannot write the header of \"" + currentName_ + "\": " + AvError(err));
    fileSize_ = 0;
    packetsInFile_ = 0;
    outputFailed_ = false;
    headerPending_ = false;
    return S_OK;
}

HRESULT Engine::FinishOutputFile() {
    if (headerPending_) return S_OK;
    DrainEncoders();
    headerPending_ = true;
    int err = av_write_trailer(ctx_.get());
    if (ctx_->pb) fileSize_ = avio_tell(ctx_->pb);
    if (err < 0) return Fail(E_FAIL, "cannot write the trailer of \"" + currentName_ + "\": " + AvError(err));
    return S_OK;
}

HRESULT Engine::CloseOutputFile() {
    if (ctx_ && !(ctx_->oformat->flags & AVFMT_NOFILE) && fileOpen_) {
        int err = avio_closep(&ctx_->pb);
        fileOpen_ = false;
        if (err < 0) return Fail(E_FAIL, "closing \"" + currentName_ + "\" failed: " + AvError(err));
        return S_OK;
    }
    return E_FAIL;
}

int Engine::WritePacket(AVPacket *pkt, AVStream *st, AVRational from) {
    av_packet_rescale_ts(pkt, from, st->time_base);
    pkt->stream_index = st->index;
    // The interleaving writer: the paths already deliver in near time
    // order (turn taking), so it holds back only a packet or two, and it
    // lets muxers such as asf shift the encoders' negative start times
    // (the direct writer aborts inside the asf muxer on them).
    int err = av_interleaved_write_frame(ctx_.get(), pkt);
    if (err >= 0) {
        ++packetsInFile_;
    } else if (!outputFailed_) {
        outputFailed_ = true;
        Fail(E_FAIL, "writing to \"" + currentName_ + "\" failed: " + AvError(err));
    }
    return err;
}

bool Engine::SendVideo(AVFrame *frame) {
    if (!videoCodecOpen_ || drained_) return true;
    if (avcodec_send_frame(videoCtx_.get(), frame) < 0) return true;
    PacketPtr pkt(av_packet_alloc());
    if (!pkt) return false;
    bool ok = true;
    while (avcodec_receive_packet(videoCtx_.get(), pkt.get()) >= 0) {
        // Each coded picture lasts one frame; muxers that derive the rate
        // from the durations need it.
        if (pkt->duration <= 0) pkt->duration = 1;
        if (WritePacket(pkt.get(), videoStream_, videoCtx_->time_base) < 0) ok = false;
        av_packet_unref(pkt.get());
        if (!ok) break;
    }
    return ok;
}

HRESULT Engine::PreparePicture(const std::uint8_t *data, std::size_t len, FramePtr *out) {
    const VideoLayout layout = videoIn_->layout;
    const int w = videoIn_->width, h = std::abs(videoIn_->height);
    const std::uint8_t *src[4] = {};
    int stride[4] = {};
    if (IsRgb(layout)) {
        const int tight = w * BytesPerPixel(layout);
        const int dib = (tight + 3) & ~3;
        int rowBytes;
        if (len >= static_cast<std::size_t>(dib) * h) rowBytes = dib;
        else if (len >= static_cast<std::size_t>(tight) * h) rowBytes = tight;
        else rowBytes = 0;
        if (!rowBytes) return S_FALSE;
        src[0] = data;
        stride[0] = rowBytes;
        // Bottom-up rows are read from the last row up through a negative
        // stride: the same picture as turning it, without touching the
        // sample's buffer.
        if (settings_.Reversal() && videoIn_->height > 0) {
            src[0] = data + static_cast<std::ptrdiff_t>(rowBytes) * (h - 1);
            stride[0] = -rowBytes;
        }
    } else if (layout == VideoLayout::Yuy2) {
        if (len < static_cast<std::size_t>(w) * 2 * h) return S_FALSE;
        src[0] = data;
        stride[0] = w * 2;
        settings_.ClearReversal();
    } else {
        const int cw = (w + 1) / 2, chh = (h + 1) / 2;
        if (len < static_cast<std::size_t>(w) * h + 2 * static_cast<std::size_t>(cw) * chh) return S_FALSE;
        src[0] = data;
        src[1] = data + static_cast<std::size_t>(w) * h;
        src[2] = src[1] + static_cast<std::size_t>(cw) * chh;
        if (layout == VideoLayout::Yv12) std::swap(src[1], src[2]);
        stride[0] = w;
        stride[1] = stride[2] = cw;
        settings_.ClearReversal();
    }

    FramePtr f(av_frame_alloc());
    if (!f) return E_OUTOFMEMORY;
    f->buf[0] = av_buffer_pool_get(picturePool_.get());
    if (!f->buf[0]) return E_OUTOFMEMORY;
    f->format = AV_PIX_FMT_YUV420P;
    f->width = outW_;
    f->height = outH_;
    std::uint8_t *base = reinterpret_cast<std::uint8_t *>(FFALIGN(reinterpret_cast<std::uintptr_t>(f->buf[0]->data), 64));
    if (av_image_fill_arrays(f->data, f->linesize, base, AV_PIX_FMT_YUV420P, FFALIGN(outW_, 32), outH_, 32) < 0)
        return E_FAIL;

    const int pl = letterbox_.padLeft, pt = letterbox_.padTop;
    std::uint8_t *dst[4] = {f->data[0] + static_cast<std::ptrdiff_t>(pt) * f->linesize[0] + pl,
                            f->data[1] + static_cast<std::ptrdiff_t>(pt / 2) * f->linesize[1] + pl / 2,
                            f->data[2] + static_cast<std::ptrdiff_t>(pt / 2) * f->linesize[2] + pl / 2, nullptr};
    int got = sws_scale(scaler_.get(), src, stride, 0, h, dst, f->linesize);
    if (got <= 0) return E_FAIL;
    if (pl || pt) {
        FillBands(f->data[0], f->linesize[0], outW_, outH_, pt, pl, 16);
        FillBands(f->data[1], f->linesize[1], outW_ / 2, outH_ / 2, pt / 2, pl / 2, 128);
        FillBands(f->data[2], f->linesize[2], outW_ / 2, outH_ / 2, pt / 2, pl / 2, 128);
    }
    *out = std::move(f);
    return S_OK;
}

HRESULT Engine::EncodeVideo(const std::uint8_t *data, std::size_t len, std::int64_t start) {
    if (outputFailed_) return E_FAIL;
    if (!videoCodecOpen_ || !ctx_) return S_FALSE;
    if (rebase_) {
        videoBaseTime_ = start;
        rebase_ = false;
    }
    const AVRational tb = videoCtx_->time_base;
    const int copies = PacingCopies(start - videoBaseTime_, tb.num, tb.den, picturesSent_);
    if (copies > 0) {
        FramePtr picture;
        HRESULT hr = PreparePicture(data, len, &picture);
        if (hr == S_FALSE) {
            if (!warnedShortSample_) LogLine("video sample shorter than its picture; skipped");
            warnedShortSample_ = true;
        } else if (FAILED(hr)) {
            return hr;
        } else {
            for (int i = 0; i < copies; ++i) {
                picture->pts = picturesSent_++;
                if (!SendVideo(picture.get())) return E_FAIL;
            }
        }
    }
    CheckFileSize();
    return outputFailed_ ? E_FAIL : S_OK;
}

void Engine::SendAudio(AVFrame *frame) {
    if (!audioCtx_ || !audioCodecOpen_ || drained_) return;
    if (avcodec_send_frame(audioCtx_.get(), frame) < 0) return;
    PacketPtr pkt(av_packet_alloc());
    if (!pkt) return;
    while (avcodec_receive_packet(audioCtx_.get(), pkt.get()) >= 0) {
        pkt->flags |= AV_PKT_FLAG_KEY;
        WritePacket(pkt.get(), audioStream_, audioCtx_->time_base);
        av_packet_unref(pkt.get());
    }
}

void Engine::EncodeAudioFrame(const std::uint8_t *pcm, int samples) {
    if (amrState_) {
        std::int16_t speech[kAmrFrameSamples] = {};
        std::memcpy(speech, pcm, static_cast<std::size_t>(std::min(samples, kAmrFrameSamples)) * 2);
        PacketPtr pkt(av_packet_alloc());
        if (!pkt || av_new_packet(pkt.get(), kAmrFrameBytes) < 0) return;
        int n = Encoder_Interface_Encode(amrState_, MR122, speech, pkt->data, 0);
        if (n <= 0) return;
        pkt->size = n;
        pkt->pts = pkt->dts = samplesSent_;
        pkt->duration = kAmrFrameSamples;
        pkt->flags |= AV_PKT_FLAG_KEY;
        samplesSent_ += kAmrFrameSamples;
        WritePacket(pkt.get(), audioStream_, AVRational{1, 8000});
        return;
    }
    if (!audioFrame_) return;
    if (av_frame_make_writable(audioFrame_.get()) < 0) return;
    audioFrame_->nb_samples = samples;
    ConvertSamples(reinterpret_cast<const std::int16_t *>(pcm), samples, audioChannels_, audioFrame_.get());
    audioFrame_->pts = samplesSent_;
    samplesSent_ += samples;
    SendAudio(audioFrame_.get());
    audioFrame_->nb_samples = audioFrameSize_;
}

void Engine::PushAudio(const std::uint8_t *pcm, std::size_t bytes) {
    if (audioFrameSize_ <= 1 || !fifo_) return;
    const std::size_t frameBytes = static_cast<std::size_t>(audioChannels_) * audioFrameSize_ * 2;
    while (bytes > 0) {
        // The FIFO holds less than one frame between calls, so a piece of
        // this size always fits its free space.
        const std::size_t piece = std::min(bytes, av_fifo_can_write(fifo_.get()));
        if (piece == 0) break;
        av_fifo_write(fifo_.get(), pcm, piece);
        pcm += piece;
        bytes -= piece;
        while (av_fifo_can_read(fifo_.get()) >= frameBytes) {
            av_fifo_read(fifo_.get(), sampleBuffer_.get(), frameBytes);
            EncodeAudioFrame(sampleBuffer_.get(), audioFrameSize_);
        }
    }
}

HRESULT Engine::EncodeAudio(std::uint8_t *data, std::size_t len) {
    if (outputFailed_) return E_FAIL;
    if (!audioCodecOpen_ || !ctx_) return S_FALSE;
    ApplyVolume(reinterpret_cast<std::int16_t *>(data), len / 2, settings_.VolumeScale());
    const std::size_t inFrameBytes = static_cast<std::size_t>(audioIn_->channels) * 2;
    std::size_t frames = len / inFrameBytes;
    if (resampleAudio_) {
        const int outFrameBytes = audioChannels_ * 2;
        const int maxOut = static_cast<int>(kAudioSampleBufferSize) / outFrameBytes;
        // Half the buffer's worth of input per piece leaves room for the
        // resampler's own delay.
        const std::int64_t perPiece =
            std::max<std::int64_t>(1, static_cast<std::int64_t>(maxOut / 2) * audioIn_->sampleRate / audioRate_);
        const std::uint8_t *in = data;
        while (frames > 0) {
            const int n = static_cast<int>(std::min<std::int64_t>(perPiece, static_cast<std::int64_t>(frames)));
            // The sample buffer stages FIFO frames, so the converted piece
            // goes to a buffer of its own first.
            std::uint8_t *outPtr = convertBuffer_.get();
            int got = swr_convert(resampler_.get(), &outPtr, maxOut, &in, n);
            if (got > 0) PushAudio(convertBuffer_.get(), static_cast<std::size_t>(got) * outFrameBytes);
            in += static_cast<std::size_t>(n) * inFrameBytes;
            frames -= static_cast<std::size_t>(n);
        }
    } else {
        PushAudio(data, frames * inFrameBytes);
    }
    CheckFileSize();
    return outputFailed_ ? E_FAIL : S_OK;
}

void Engine::DrainEncoders() {
    if (drained_) return;
    if (audioCodecOpen_ && fifo_) {
        const int outFrameBytes = audioChannels_ * 2;
        if (resampler_) {
            std::uint8_t *outPtr = convertBuffer_.get();
            int got = swr_convert(resampler_.get(), &outPtr, static_cast<int>(kAudioSampleBufferSize) / outFrameBytes,
                                  nullptr, 0);
            if (got > 0) PushAudio(convertBuffer_.get(), static_cast<std::size_t>(got) * outFrameBytes);
        }
        const std::size_t rest = av_fifo_can_read(fifo_.get());
        const int restSamples = static_cast<int>(rest / outFrameBytes);
        if (restSamples > 0 && audioFrameSize_ > 1) {
            av_fifo_read(fifo_.get(), sampleBuffer_.get(), static_cast<std::size_t>(restSamples) * outFrameBytes);
            EncodeAudioFrame(sampleBuffer_.get(), restSamples);
        }
        av_fifo_reset2(fifo_.get());
        SendAudio(nullptr);
    }
    SendVideo(nullptr);
    drained_ = true;
}

void Engine::CheckFileSize() {
    if (!ctx_ || !ctx_->pb) return;
    fileSize_ = avio_tell(ctx_->pb);
    const std::int32_t max = settings_.MaxFileSize();
    // A file always gets at least one packet, so a limit below the margin
    // cannot turn every sample into a new file of its own header.
    if (max > 0 && fileSize_ > static_cast<std::int64_t>(max) - kSplitMargin && packetsInFile_ > 0) {
        FinishOutputFile();
        CloseOutputFile();
        TearDownEncoders();
        ++fileNumber_;
        HRESULT hr = BuildEncoders();
        if (SUCCEEDED(hr)) hr = OpenOutputFile();
        else TearDownEncoders();
        rebase_ = true;
        // Without a next file the conversion cannot go on; say so rather
        // than refusing samples quietly (the graph would never finish).
        if (FAILED(hr)) outputFailed_ = true;
    }
}

}  // namespace dravik
