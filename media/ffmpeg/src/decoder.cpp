// The decoder filter: compressed video or audio from the splitter in,
// uncompressed pictures or 16-bit PCM out. It decodes on the thread that
// delivers to it (the splitter pin's streaming thread), with the codec's
// own worker threads, and converts straight into the output sample.
#include <cstring>
#include <vector>

#include "media/transform.h"
#include "mediaff/codec.h"
#include "mediaff/filters.h"
#include "mediaff/mediatypes.h"
#include "packetsample.h"

namespace mediaff {

namespace {

// A stream that fails this many packets in a row is given up: the decoder
// ends the stream cleanly instead of spinning on garbage.
constexpr int kMaxConsecutiveErrors = 64;

bool IsVfwCodec(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_MSMPEG4V1:
    case AV_CODEC_ID_MSMPEG4V2:
    case AV_CODEC_ID_MSMPEG4V3:
    case AV_CODEC_ID_MJPEG:
    case AV_CODEC_ID_CINEPAK:
    case AV_CODEC_ID_INDEO2:
    case AV_CODEC_ID_INDEO3:
    case AV_CODEC_ID_INDEO4:
    case AV_CODEC_ID_INDEO5:
    case AV_CODEC_ID_HUFFYUV:
    case AV_CODEC_ID_FFVHUFF:
    case AV_CODEC_ID_MSVIDEO1:
    case AV_CODEC_ID_MSRLE:
    case AV_CODEC_ID_DVVIDEO:
    case AV_CODEC_ID_ZLIB:
    case AV_CODEC_ID_H263:
        return true;
    default:
        return false;
    }
}

const PictureFormat kPictureOrder[] = {
    PictureFormat::IYUV, PictureFormat::YV12,  PictureFormat::NV12,  PictureFormat::YUY2,   PictureFormat::UYVY,
    PictureFormat::YVYU, PictureFormat::RGB32, PictureFormat::RGB24, PictureFormat::RGB565, PictureFormat::RGB555,
};

class DecoderFilter final : public CTransformFilter {
public:
    DecoderFilter(LPUNKNOWN outer, HRESULT *phr, REFCLSID clsid, const char *name, DecoderKind kind)
        : CTransformFilter(name, outer, clsid), kind_(kind), par_(avcodec_parameters_alloc()) {
        if (!par_ && phr) *phr = E_OUTOFMEMORY;
    }

    HRESULT CheckInputType(const CMediaType *in) override {
        if (!in) return E_POINTER;
        const bool video = *in->Type() == MEDIATYPE_Video;
        if ((kind_ == DecoderKind::VideoOnly || kind_ == DecoderKind::VfwVideo) && !video) return VFW_E_TYPE_NOT_ACCEPTED;
        if (kind_ == DecoderKind::AudioOnly && video) return VFW_E_TYPE_NOT_ACCEPTED;
        CodecParametersPtr par(avcodec_parameters_alloc());
        if (!par) return E_OUTOFMEMORY;
        if (!ParseCompressedType(*in, par.get())) return VFW_E_TYPE_NOT_ACCEPTED;
        if (kind_ == DecoderKind::VfwVideo && !IsVfwCodec(par->codec_id)) return VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }

    HRESULT SetMediaType(PIN_DIRECTION dir, const CMediaType *mt) override {
        if (dir == PINDIR_INPUT) {
            if (!ParseCompressedType(*mt, par_.get())) return VFW_E_TYPE_NOT_ACCEPTED;
            // A codec that refuses these parameters is found out now, so
            // rendering fails cleanly instead of the graph failing to run.
            Decoder trial;
            if (trial.Open(par_.get(), kRefTimeBase) < 0) return VFW_E_TYPE_NOT_ACCEPTED;
            video_ = par_->codec_type == AVMEDIA_TYPE_VIDEO;
            avgTimePerFrame_ = 0;
            if (video_ && mt->FormatLength() >= sizeof(VIDEOINFOHEADER))
                avgTimePerFrame_ = reinterpret_cast<const VIDEOINFOHEADER *>(mt->Format())->AvgTimePerFrame;
            BuildOutputList();
        } else if (video_) {
            if (!ParsePictureType(*mt, &picture_)) return VFW_E_TYPE_NOT_ACCEPTED;
            outSize_ = LayoutOf(picture_.format, picture_.width, picture_.height).imageSize;
        } else {
            if (!ParsePcmType(*mt, &pcm_)) return VFW_E_TYPE_NOT_ACCEPTED;
        }
        return S_OK;
    }

    HRESULT BreakConnect(PIN_DIRECTION dir) override {
        if (dir == PINDIR_INPUT) outputs_.clear();
        return S_OK;
    }

    HRESULT GetMediaType(int i, CMediaType *out) override {
        if (i < 0) return E_INVALIDARG;
        if (!InputPin() || !InputPin()->IsConnected()) return E_UNEXPECTED;
        if (static_cast<std::size_t>(i) >= outputs_.size()) return VFW_S_NO_MORE_ITEMS;
        *out = outputs_[static_cast<std::size_t>(i)];
        return S_OK;
    }

    HRESULT CheckTransform(const CMediaType *in, const CMediaType *out) override {
        if (!in || !out) return E_POINTER;
        if (*in->Type() != *out->Type()) return VFW_E_TYPE_NOT_ACCEPTED;
        if (*out->Type() == MEDIATYPE_Video) {
            PictureType t;
            if (!ParsePictureType(*out, &t)) return VFW_E_TYPE_NOT_ACCEPTED;
            return t.width == par_->width && t.height == par_->height ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }
        PcmType p;
        if (!ParsePcmType(*out, &p) || p.bitsPerSample != 16 || p.isFloat) return VFW_E_TYPE_NOT_ACCEPTED;
        return p.channels == par_->ch_layout.nb_channels && p.sampleRate == par_->sample_rate ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT DecideBufferSize(IMemAllocator *alloc, ALLOCATOR_PROPERTIES *req) override {
        ALLOCATOR_PROPERTIES want = *req, got{};
        if (video_) {
            want.cbBuffer = static_cast<long>(std::max<std::size_t>(outSize_, static_cast<std::size_t>(std::max(1L, req->cbBuffer))));
            want.cBuffers = std::max(req->cBuffers, 3L);
        } else {
            // A quarter second per sample holds any codec's frame.
            long quarter = static_cast<long>(pcm_.sampleRate / 4) * pcm_.channels * 2;
            want.cbBuffer = std::max({req->cbBuffer, quarter, 16384L});
            want.cBuffers = std::max(req->cBuffers, 4L);
        }
        want.cbAlign = std::max(req->cbAlign, 1L);
        HRESULT hr = alloc->SetProperties(&want, &got);
        if (FAILED(hr)) return hr;
        return got.cbBuffer >= (video_ ? static_cast<long>(outSize_) : 4096L) ? S_OK : E_FAIL;
    }

    HRESULT StartStreaming() override {
        int err = decoder_.Open(par_.get(), kRefTimeBase);
        if (err < 0) return video_ ? VFW_E_UNSUPPORTED_VIDEO : VFW_E_UNSUPPORTED_AUDIO;
        frame_ = MakeFrame();
        packet_ = MakePacket();
        audio_.reset();
        errors_ = 0;
        discontinuity_ = true;
        nextAudioTime_ = AV_NOPTS_VALUE;
        return frame_ && packet_ ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT StopStreaming() override {
        decoder_ = Decoder();
        audio_.reset();
        return S_OK;
    }

    HRESULT Receive(IMediaSample *sample) override {
        if (!decoder_.IsOpen()) return VFW_E_WRONG_STATE;
        if (!MakePacketFrom(sample)) return S_OK;  // nothing to decode in it
        int err = decoder_.Send(packet_.get());
        av_packet_unref(packet_.get());
        if (err == AVERROR(EAGAIN)) {
            // Should not happen as every output is drained, but never lose
            // the packet: drain and send again.
            HRESULT hr = DrainFrames();
            if (hr != S_OK) return hr;
            MakePacketFrom(sample);
            err = decoder_.Send(packet_.get());
            av_packet_unref(packet_.get());
        }
        if (err < 0 && err != AVERROR_EOF) {
            if (++errors_ >= kMaxConsecutiveErrors) return S_FALSE;  // the stream ends here
            return S_OK;
        }
        errors_ = 0;
        return DrainFrames();
    }

    HRESULT EndOfStream() override {
        if (decoder_.IsOpen()) {
            decoder_.Send(nullptr);
            DrainFrames();
            FlushAudio();
            decoder_.Flush();
        }
        return CTransformFilter::EndOfStream();
    }

    HRESULT EndFlush() override {
        if (decoder_.IsOpen()) decoder_.Flush();
        if (audio_) audio_->Reset();
        discontinuity_ = true;
        nextAudioTime_ = AV_NOPTS_VALUE;
        errors_ = 0;
        return CTransformFilter::EndFlush();
    }

    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override {
        segmentLength_ = stop == MAX_TIME || stop <= start ? MAX_TIME : stop - start;
        return CTransformFilter::NewSegment(start, stop, rate);
    }

private:
    void BuildOutputList() {
        outputs_.clear();
        if (video_) {
            PictureFormat native = FromPixelFormat(static_cast<AVPixelFormat>(par_->format));
            REFERENCE_TIME avg = avgTimePerFrame_;
            if (native != PictureFormat::None) outputs_.push_back(MakePictureType(native, par_->width, par_->height, avg));
            for (PictureFormat f : kPictureOrder)
                if (f != native) outputs_.push_back(MakePictureType(f, par_->width, par_->height, avg));
        } else {
            outputs_.push_back(MakePcmMediaType(par_->ch_layout.nb_channels, par_->sample_rate, 16));
        }
    }

    // Fills packet_ from the sample; false when it carries nothing.
    bool MakePacketFrom(IMediaSample *sample) {
        ComPtr<IPacketSample> ps;
        if (SUCCEEDED(sample->QueryInterface(IID_IPacketSample, ps.PutVoid()))) {
            // Our splitter's packet: share its buffer, no copy.
            return av_packet_ref(packet_.get(), ps->Packet()) == 0 && packet_->size > 0;
        }
        BYTE *data = nullptr;
        long len = sample->GetActualDataLength();
        if (FAILED(sample->GetPointer(&data)) || !data || len <= 0) return false;
        if (av_new_packet(packet_.get(), static_cast<int>(len)) < 0) return false;
        std::memcpy(packet_->data, data, static_cast<std::size_t>(len));
        REFERENCE_TIME start = 0, end = 0;
        HRESULT hr = sample->GetTime(&start, &end);
        packet_->pts = SUCCEEDED(hr) ? start : AV_NOPTS_VALUE;
        packet_->dts = AV_NOPTS_VALUE;
        if (hr == S_OK && end > start) packet_->duration = end - start;
        if (sample->IsSyncPoint() == S_OK) packet_->flags |= AV_PKT_FLAG_KEY;
        return true;
    }

    HRESULT DrainFrames() {
        for (;;) {
            int err = decoder_.Receive(frame_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return S_OK;
            if (err < 0) return S_OK;  // a damaged frame: the next packet may be fine
            HRESULT hr = video_ ? DeliverPicture() : DeliverAudio();
            av_frame_unref(frame_.get());
            if (hr != S_OK) return hr;
        }
    }

    HRESULT DeliverPicture() {
        REFERENCE_TIME start = frame_->best_effort_timestamp;
        REFERENCE_TIME duration = frame_->pkt_duration > 0 ? frame_->pkt_duration : avgTimePerFrame_;
        if (start == AV_NOPTS_VALUE) start = nextVideoTime_;
        if (start == AV_NOPTS_VALUE) start = 0;
        nextVideoTime_ = start + std::max<REFERENCE_TIME>(duration, 1);
        // Frames that end before the start position were decoded only to
        // reach it; the one showing at the start is kept.
        if (start + std::max<REFERENCE_TIME>(duration, 1) <= 0 || start >= segmentLength_) return S_OK;
        IMediaSample *out = nullptr;
        HRESULT hr = OutputPin()->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr == VFW_E_NOT_COMMITTED ? VFW_E_WRONG_STATE : hr;  // stopping
        ComPtr<IMediaSample> hold;
        hold.Attach(out);
        BYTE *buf = nullptr;
        out->GetPointer(&buf);
        if (static_cast<std::size_t>(out->GetSize()) < outSize_) return E_FAIL;
        std::uint8_t *data[4];
        int linesize[4];
        PlanesOfPicture(picture_, buf, data, linesize);
        if (!converter_.ConvertToPlanes(frame_.get(), picture_.format, picture_.width, picture_.height, data, linesize)) return S_OK;
        out->SetActualDataLength(static_cast<long>(outSize_));
        REFERENCE_TIME end = start + (duration > 0 ? duration : 1);
        out->SetTime(&start, &end);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
        out->SetPreroll(FALSE);
        discontinuity_ = false;
        return OutputPin()->Deliver(out);
    }

    HRESULT DeliverAudio() {
        if (!audio_ || audioFormat_ != frame_->format || audioRate_ != frame_->sample_rate ||
            av_channel_layout_compare(&audioLayout_, &frame_->ch_layout) != 0) {
            auto conv = std::make_unique<AudioConverter>();
            if (conv->Open(static_cast<AVSampleFormat>(frame_->format), frame_->ch_layout, frame_->sample_rate, pcm_.channels,
                           pcm_.sampleRate) < 0)
                return S_OK;  // a frame we cannot convert is skipped
            audio_ = std::move(conv);
            audioFormat_ = frame_->format;
            audioRate_ = frame_->sample_rate;
            av_channel_layout_uninit(&audioLayout_);
            av_channel_layout_copy(&audioLayout_, &frame_->ch_layout);
        }
        REFERENCE_TIME t = frame_->best_effort_timestamp;
        if (t != AV_NOPTS_VALUE) {
            // The resampler may hold samples back; they come first.
            t -= av_rescale(audio_->Delay(), UNITS, pcm_.sampleRate);
        } else {
            t = nextAudioTime_ != AV_NOPTS_VALUE ? nextAudioTime_ : 0;
        }
        pending_.clear();
        if (audio_->Convert(frame_->extended_data, frame_->nb_samples, pending_) < 0) return S_OK;
        return DeliverPcm(t);
    }

    HRESULT FlushAudio() {
        if (!audio_) return S_OK;
        pending_.clear();
        if (audio_->Convert(nullptr, 0, pending_) <= 0) return S_OK;
        return DeliverPcm(nextAudioTime_ != AV_NOPTS_VALUE ? nextAudioTime_ : 0);
    }

    // Delivers pending_ from time t, split into as many samples as it takes.
    HRESULT DeliverPcm(REFERENCE_TIME t) {
        const std::size_t block = static_cast<std::size_t>(pcm_.channels) * 2;
        std::size_t offset = 0;
        while (offset < pending_.size()) {
            IMediaSample *out = nullptr;
            HRESULT hr = OutputPin()->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
            if (FAILED(hr)) return hr == VFW_E_NOT_COMMITTED ? VFW_E_WRONG_STATE : hr;  // stopping
            ComPtr<IMediaSample> hold;
            hold.Attach(out);
            BYTE *buf = nullptr;
            out->GetPointer(&buf);
            std::size_t room = static_cast<std::size_t>(out->GetSize()) / block * block;
            std::size_t n = std::min(room, pending_.size() - offset);
            if (n == 0) return E_FAIL;
            std::memcpy(buf, pending_.data() + offset, n);
            out->SetActualDataLength(static_cast<long>(n));
            REFERENCE_TIME start = t + av_rescale(static_cast<std::int64_t>(offset / block), UNITS, pcm_.sampleRate);
            REFERENCE_TIME end = t + av_rescale(static_cast<std::int64_t>((offset + n) / block), UNITS, pcm_.sampleRate);
            offset += n;
            nextAudioTime_ = end;
            if (end <= 0 || start >= segmentLength_) continue;  // before the start or past the stop
            out->SetTime(&start, &end);
            out->SetSyncPoint(TRUE);
            out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
            discontinuity_ = false;
            hr = OutputPin()->Deliver(out);
            if (hr != S_OK) return hr;
        }
        return S_OK;
    }

    DecoderKind kind_;
    CodecParametersPtr par_;
    bool video_ = true;
    REFERENCE_TIME avgTimePerFrame_ = 0;
    std::vector<CMediaType> outputs_;
    PictureType picture_;
    std::size_t outSize_ = 0;
    PcmType pcm_;

    // Streaming state (receive lock).
    Decoder decoder_;
    FramePtr frame_;
    PacketPtr packet_;
    PictureConverter converter_;
    std::unique_ptr<AudioConverter> audio_;
    int audioFormat_ = -1;
    int audioRate_ = 0;
    AVChannelLayout audioLayout_{};
    std::vector<std::uint8_t> pending_;
    int errors_ = 0;
    bool discontinuity_ = true;
    REFERENCE_TIME nextVideoTime_ = AV_NOPTS_VALUE;
    REFERENCE_TIME nextAudioTime_ = AV_NOPTS_VALUE;
    REFERENCE_TIME segmentLength_ = MAX_TIME;

public:
    ~DecoderFilter() override { av_channel_layout_uninit(&audioLayout_); }
};

}  // namespace

CUnknown *NewDecoder(LPUNKNOWN outer, HRESULT *phr, REFCLSID clsid, const char *name, DecoderKind kind) {
    return new DecoderFilter(outer, phr, clsid, name, kind);
}

}  // namespace mediaff
