// The converters that intelligent connection inserts: the Colour Space
// Converter between uncompressed picture layouts (swscale) and the audio
// format converter between PCM formats (swresample).
#include <cstring>
#include <vector>

#include "media/transform.h"
#include "mediaff/codec.h"
#include "mediaff/filters.h"
#include "mediaff/mediatypes.h"

namespace mediaff {

namespace {

// Offered output layouts, the ones renderers and the encoder ask for first.
const PictureFormat kColourOrder[] = {
    PictureFormat::RGB32, PictureFormat::RGB24, PictureFormat::YUY2, PictureFormat::RGB565, PictureFormat::RGB555,
    PictureFormat::IYUV,  PictureFormat::YV12,  PictureFormat::NV12, PictureFormat::UYVY,   PictureFormat::YVYU,
};

class ColourConverter final : public CTransformFilter {
public:
    ColourConverter(LPUNKNOWN outer, HRESULT *) : CTransformFilter("ColourSpaceConverter", outer, CLSID_Colour) {}

    HRESULT CheckInputType(const CMediaType *in) override {
        PictureType t;
        return in && ParsePictureType(*in, &t) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int i, CMediaType *out) override {
        if (i < 0) return E_INVALIDARG;
        if (!InputPin() || !InputPin()->IsConnected()) return E_UNEXPECTED;
        PictureType in;
        if (!ParsePictureType(InputPin()->CurrentMediaType(), &in)) return E_UNEXPECTED;
        int k = 0;
        for (PictureFormat f : kColourOrder) {
            if (f == in.format) continue;  // offering the input's own layout is of no use
            if (k++ == i) {
                *out = MakePictureType(f, in.width, in.height, in.avgTimePerFrame);
                return S_OK;
            }
        }
        return VFW_S_NO_MORE_ITEMS;
    }
    HRESULT CheckTransform(const CMediaType *in, const CMediaType *out) override {
        PictureType a, b;
        if (!in || !out || !ParsePictureType(*in, &a) || !ParsePictureType(*out, &b)) return VFW_E_TYPE_NOT_ACCEPTED;
        return a.width == b.width && a.height == b.height ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT SetMediaType(PIN_DIRECTION dir, const CMediaType *mt) override {
        PictureType t;
        if (!ParsePictureType(*mt, &t)) return VFW_E_TYPE_NOT_ACCEPTED;
        (dir == PINDIR_INPUT ? in_ : out_) = t;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator *alloc, ALLOCATOR_PROPERTIES *req) override {
        ALLOCATOR_PROPERTIES want = *req, got{};
        const long size = static_cast<long>(LayoutOf(out_.format, out_.width, out_.height).imageSize);
        want.cbBuffer = std::max(req->cbBuffer, size);
        want.cBuffers = std::max(req->cBuffers, 2L);
        want.cbAlign = std::max(req->cbAlign, 1L);
        HRESULT hr = alloc->SetProperties(&want, &got);
        if (FAILED(hr)) return hr;
        return got.cbBuffer >= size ? S_OK : E_FAIL;
    }
    HRESULT Transform(IMediaSample *in, IMediaSample *out) override {
        BYTE *src = nullptr, *dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        const std::size_t inSize = LayoutOf(in_.format, in_.width, in_.height).imageSize;
        const std::size_t outSize = LayoutOf(out_.format, out_.width, out_.height).imageSize;
        if (!src || !dst || static_cast<std::size_t>(in->GetActualDataLength()) < inSize || static_cast<std::size_t>(out->GetSize()) < outSize)
            return S_FALSE;  // a short picture is dropped, not read past its end
        std::uint8_t *sd[4], *dd[4];
        int sl[4], dl[4];
        PlanesOfPicture(in_, src, sd, sl);
        PlanesOfPicture(out_, dst, dd, dl);
        if (!converter_.ConvertPackedToPlanes(sd, sl, in_.format, in_.width, in_.height, out_.format, out_.width, out_.height, dd, dl))
            return S_FALSE;
        out->SetActualDataLength(static_cast<long>(outSize));
        return S_OK;
    }

private:
    PictureType in_, out_;
    PictureConverter converter_;
};

const int kRates[] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000, 88200, 96000};

class AudioFormatConverter final : public CTransformFilter {
public:
    AudioFormatConverter(LPUNKNOWN outer, HRESULT *) : CTransformFilter("AudioConverter", outer, CLSID_ACMWrapper) {}

    HRESULT CheckInputType(const CMediaType *in) override {
        PcmType p;
        return in && ParsePcmType(*in, &p) && SampleFormatOf(p) != AV_SAMPLE_FMT_NONE ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int i, CMediaType *out) override {
        if (i < 0) return E_INVALIDARG;
        if (!InputPin() || !InputPin()->IsConnected()) return E_UNEXPECTED;
        PcmType in;
        if (!ParsePcmType(InputPin()->CurrentMediaType(), &in)) return E_UNEXPECTED;
        // Most useful first: the same sound as 16-bit, then stereo, then
        // stereo and mono at the usual rates.
        std::vector<std::pair<int, int>> list;
        auto add = [&](int ch, int rate) {
            for (auto &e : list)
                if (e.first == ch && e.second == rate) return;
            list.emplace_back(ch, rate);
        };
        add(in.channels, in.sampleRate);
        add(2, in.sampleRate);
        for (int r : kRates) add(2, r);
        add(1, in.sampleRate);
        for (int r : kRates) add(1, r);
        if (static_cast<std::size_t>(i) >= list.size()) return VFW_S_NO_MORE_ITEMS;
        *out = MakePcmMediaType(list[static_cast<std::size_t>(i)].first, list[static_cast<std::size_t>(i)].second, 16);
        return S_OK;
    }
    HRESULT CheckTransform(const CMediaType *in, const CMediaType *out) override {
        PcmType a, b;
        if (!in || !out || !ParsePcmType(*in, &a) || !ParsePcmType(*out, &b)) return VFW_E_TYPE_NOT_ACCEPTED;
        if (b.bitsPerSample != 16 || b.isFloat || b.sampleRate < 4000 || b.sampleRate > 192000) return VFW_E_TYPE_NOT_ACCEPTED;
        return SampleFormatOf(a) != AV_SAMPLE_FMT_NONE ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT SetMediaType(PIN_DIRECTION dir, const CMediaType *mt) override {
        PcmType p;
        if (!ParsePcmType(*mt, &p)) return VFW_E_TYPE_NOT_ACCEPTED;
        (dir == PINDIR_INPUT ? in_ : out_) = p;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator *alloc, ALLOCATOR_PROPERTIES *req) override {
        ALLOCATOR_PROPERTIES want = *req, got{};
        long quarter = static_cast<long>(out_.sampleRate / 4) * out_.channels * 2;
        want.cbBuffer = std::max({req->cbBuffer, quarter, 8192L});
        want.cBuffers = std::max(req->cBuffers, 4L);
        want.cbAlign = std::max(req->cbAlign, 1L);
        return alloc->SetProperties(&want, &got);
    }
    HRESULT StartStreaming() override {
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, in_.channels);
        int err = swr_.Open(SampleFormatOf(in_), layout, in_.sampleRate, out_.channels, out_.sampleRate);
        av_channel_layout_uninit(&layout);
        next_ = AV_NOPTS_VALUE;
        discontinuity_ = true;
        return err < 0 ? VFW_E_TYPE_NOT_ACCEPTED : S_OK;
    }
    HRESULT StopStreaming() override {
        swr_.Reset();
        return S_OK;
    }
    HRESULT Receive(IMediaSample *in) override {
        BYTE *src = nullptr;
        in->GetPointer(&src);
        const int inBlock = in_.channels * in_.bitsPerSample / 8;
        const long len = in->GetActualDataLength();
        if (!src || len < inBlock) return S_OK;
        REFERENCE_TIME start = 0, end = 0;
        REFERENCE_TIME t = next_;
        if (SUCCEEDED(in->GetTime(&start, &end))) t = start - av_rescale(swr_.Delay(), UNITS, out_.sampleRate);
        if (t == AV_NOPTS_VALUE) t = 0;
        if (in->IsDiscontinuity() == S_OK) discontinuity_ = true;
        pending_.clear();
        const std::uint8_t *planes[1] = {src};
        if (swr_.Convert(planes, static_cast<int>(len / inBlock), pending_) < 0) return S_OK;
        return DeliverPending(t);
    }
    HRESULT EndOfStream() override {
        pending_.clear();
        if (swr_.IsOpen() && swr_.Convert(nullptr, 0, pending_) > 0) DeliverPending(next_ == AV_NOPTS_VALUE ? 0 : next_);
        swr_.Reset();
        return CTransformFilter::EndOfStream();
    }
    HRESULT EndFlush() override {
        swr_.Reset();
        next_ = AV_NOPTS_VALUE;
        discontinuity_ = true;
        return CTransformFilter::EndFlush();
    }

private:
    HRESULT DeliverPending(REFERENCE_TIME t) {
        const std::size_t block = static_cast<std::size_t>(out_.channels) * 2;
        std::size_t offset = 0;
        while (offset < pending_.size()) {
            IMediaSample *out = nullptr;
            HRESULT hr = OutputPin()->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
            if (FAILED(hr)) return hr == VFW_E_NOT_COMMITTED ? VFW_E_WRONG_STATE : hr;  // stopping
            ComPtr<IMediaSample> hold;
            hold.Attach(out);
            BYTE *buf = nullptr;
            out->GetPointer(&buf);
            std::size_t n = std::min(static_cast<std::size_t>(out->GetSize()) / block * block, pending_.size() - offset);
            if (n == 0) return E_FAIL;
            std::memcpy(buf, pending_.data() + offset, n);
            out->SetActualDataLength(static_cast<long>(n));
            REFERENCE_TIME s = t + av_rescale(static_cast<std::int64_t>(offset / block), UNITS, out_.sampleRate);
            REFERENCE_TIME e = t + av_rescale(static_cast<std::int64_t>((offset + n) / block), UNITS, out_.sampleRate);
            out->SetTime(&s, &e);
            out->SetSyncPoint(TRUE);
            out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
            discontinuity_ = false;
            offset += n;
            next_ = e;
            hr = OutputPin()->Deliver(out);
            if (hr != S_OK) return hr;
        }
        return S_OK;
    }

    PcmType in_, out_;
    AudioConverter swr_;
    std::vector<std::uint8_t> pending_;
    REFERENCE_TIME next_ = AV_NOPTS_VALUE;
    bool discontinuity_ = true;
};

}  // namespace

CUnknown *NewColourConverter(LPUNKNOWN outer, HRESULT *phr) {
    return new ColourConverter(outer, phr);
}

CUnknown *NewAudioConverter(LPUNKNOWN outer, HRESULT *phr) {
    return new AudioFormatConverter(outer, phr);
}

}  // namespace mediaff
