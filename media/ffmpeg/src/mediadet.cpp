// The media detector: stream information and single frames of a file,
// straight from the demuxer and decoder, without a playback graph. Nothing
// of the file stays open once the detector is released.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "media/baseclasses.h"
#include "mediaff/codec.h"
#include "mediaff/demuxer.h"
#include "mediaff/filters.h"
#include "mediaff/mediatypes.h"

namespace mediaff {

namespace {

constexpr long kMaxGrabSide = 16384;

class MediaDetector final : public CUnknown, public IMediaDet {
public:
    MediaDetector(LPUNKNOWN outer, HRESULT *) : CUnknown("MediaDet", outer) {}

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IMediaDet) return GetInterface(static_cast<IMediaDet *>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    STDMETHODIMP get_Filter(IUnknown **p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP put_Filter(IUnknown *) override { return E_NOTIMPL; }
    STDMETHODIMP GetSampleGrabber(IUnknown **p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP put_Filename(BSTR name) override {
        if (!name) return E_POINTER;
        Close();
        std::string path = WideToUtf8(name);
        auto reader = std::make_unique<FileByteReader>();
        if (!reader->Open(path)) return HRESULT_FILE_NOT_FOUND;
        auto demux = std::make_unique<Demuxer>();
        int err = demux->Open(reader.get(), path);
        if (err < 0) return err == AVERROR_STREAM_NOT_FOUND ? VFW_E_UNSUPPORTED_STREAM : VFW_E_INVALID_FILE_FORMAT;
        reader_ = std::move(reader);
        demux_ = std::move(demux);
        name_ = name;
        current_ = 0;
        return S_OK;
    }
    STDMETHODIMP get_Filename(BSTR *p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        if (!demux_) return E_INVALIDARG;
        *p = CoTaskWideDup(name_.c_str());
        return *p ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_OutputStreams(long *p) override {
        if (!p) return E_POINTER;
        *p = 0;
        if (!demux_) return E_INVALIDARG;
        *p = static_cast<long>(demux_->Streams().size());
        return S_OK;
    }
    STDMETHODIMP get_CurrentStream(long *p) override {
        if (!p) return E_POINTER;
        *p = current_;
        return demux_ ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP put_CurrentStream(long n) override {
        if (!demux_ || n < 0 || static_cast<std::size_t>(n) >= demux_->Streams().size()) return E_INVALIDARG;
        current_ = n;
        return S_OK;
    }
    STDMETHODIMP get_StreamType(GUID *p) override {
        if (!p) return E_POINTER;
        const DemuxStream *s = Current();
        if (!s) return E_INVALIDARG;
        *p = s->type == AVMEDIA_TYPE_VIDEO ? MEDIATYPE_Video : MEDIATYPE_Audio;
        return S_OK;
    }
    STDMETHODIMP get_StreamTypeB(BSTR *p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        GUID g;
        HRESULT hr = get_StreamType(&g);
        if (FAILED(hr)) return hr;
        std::u16string text = Utf8ToWide(GuidToString(g));
        *p = CoTaskWideDup(text.c_str());
        return *p ? S_OK : E_OUTOFMEMORY;
    }
    // The uncompressed type a consumer of the stream gets: a 24-bit picture
    // of the native size, or 16-bit PCM of the source's channels and rate.
    STDMETHODIMP get_StreamMediaType(AM_MEDIA_TYPE *p) override {
        if (!p) return E_POINTER;
        const DemuxStream *s = Current();
        if (!s) return E_INVALIDARG;
        CMediaType mt = s->type == AVMEDIA_TYPE_VIDEO
                            ? MakePictureType(PictureFormat::RGB24, s->codecpar->width, s->codecpar->height, FrameTime(*s))
                            : MakePcmMediaType(s->codecpar->ch_layout.nb_channels, s->codecpar->sample_rate, 16);
        if (!mt.IsValid()) return E_OUTOFMEMORY;
        std::memset(p, 0, sizeof *p);
        return CopyMediaType(p, &mt);
    }
    STDMETHODIMP get_StreamLength(double *p) override {
        if (!p) return E_POINTER;
        const DemuxStream *s = Current();
        if (!s) return E_INVALIDARG;
        std::int64_t d = s->duration > 0 ? s->duration : demux_->Duration();
        *p = static_cast<double>(d) / UNITS;
        return S_OK;
    }
    STDMETHODIMP get_FrameRate(double *p) override {
        if (!p) return E_POINTER;
        const DemuxStream *s = Current();
        if (!s) return E_INVALIDARG;
        *p = s->type == AVMEDIA_TYPE_VIDEO && s->frameRate.num > 0 && s->frameRate.den > 0 ? av_q2d(s->frameRate) : 0.0;
        return S_OK;
    }
    STDMETHODIMP EnterBitmapGrabMode(double) override {
        return VideoStream() ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }

    STDMETHODIMP GetBitmapBits(double time, long *size, char *buffer, long width, long height) override {
        if (!buffer && !size) return E_POINTER;
        if (!demux_) return E_INVALIDARG;
        if (!VideoStream()) return VFW_E_INVALIDMEDIATYPE;
        if (width <= 0 || height <= 0 || width > kMaxGrabSide || height > kMaxGrabSide) return E_INVALIDARG;
        const std::size_t image = LayoutOf(PictureFormat::RGB24, width, height).imageSize;
        const std::size_t needed = sizeof(BITMAPINFOHEADER) + image;
        if (!buffer) {
            *size = static_cast<long>(needed);
            return S_OK;
        }
        if (size && static_cast<std::size_t>(*size) < needed) return E_OUTOFMEMORY;
        if (!std::isfinite(time)) return E_INVALIDARG;
        HRESULT hr = DecodeAt(time);
        if (FAILED(hr)) return hr;
        BITMAPINFOHEADER bih{};
        bih.biSize = sizeof bih;
        bih.biWidth = width;
        bih.biHeight = height;
        bih.biPlanes = 1;
        bih.biBitCount = 24;
        bih.biCompression = BI_RGB;
        bih.biSizeImage = static_cast<DWORD>(image);
        auto *out = reinterpret_cast<std::uint8_t *>(buffer);
        std::memcpy(out, &bih, sizeof bih);
        std::memset(out + sizeof bih, 0, image);  // row padding stays defined
        if (!converter_.Convert(frame_.get(), PictureFormat::RGB24, width, height, out + sizeof bih)) return E_FAIL;
        return S_OK;
    }

    STDMETHODIMP WriteBitmapBits(double time, long width, long height, BSTR file) override {
        if (!file) return E_POINTER;
        long size = 0;
        HRESULT hr = GetBitmapBits(time, &size, nullptr, width, height);
        if (FAILED(hr)) return hr;
        std::vector<char> dib(static_cast<std::size_t>(size));
        hr = GetBitmapBits(time, &size, dib.data(), width, height);
        if (FAILED(hr)) return hr;
        std::uint8_t header[14] = {'B', 'M'};
        auto put32 = [&](int at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        put32(2, static_cast<std::uint32_t>(dib.size() + 14));
        put32(10, 14 + static_cast<std::uint32_t>(sizeof(BITMAPINFOHEADER)));
        std::string path = WideToUtf8(file);
        std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
        if (!f) return E_ACCESSDENIED;
        if (std::fwrite(header, 1, sizeof header, f.get()) != sizeof header || std::fwrite(dib.data(), 1, dib.size(), f.get()) != dib.size())
            return E_FAIL;
        if (std::fclose(f.release()) != 0) return E_FAIL;  // a full disk shows here
        return S_OK;
    }

private:
    void Close() {
        decoder_ = Decoder();
        frame_.reset();
        demux_.reset();
        reader_.reset();
        name_.clear();
        current_ = 0;
    }
    const DemuxStream *Current() const {
        if (!demux_ || current_ < 0 || static_cast<std::size_t>(current_) >= demux_->Streams().size()) return nullptr;
        return &demux_->Streams()[static_cast<std::size_t>(current_)];
    }
    // The current stream when it is video, else the first video stream.
    const DemuxStream *VideoStream() const {
        const DemuxStream *s = Current();
        if (s && s->type == AVMEDIA_TYPE_VIDEO) return s;
        if (!demux_) return nullptr;
        for (const DemuxStream &v : demux_->Streams())
            if (v.type == AVMEDIA_TYPE_VIDEO) return &v;
        return nullptr;
    }
    static REFERENCE_TIME FrameTime(const DemuxStream &s) {
        return s.frameRate.num > 0 && s.frameRate.den > 0 ? av_rescale(UNITS, s.frameRate.den, s.frameRate.num) : 0;
    }

    // Leaves in frame_ the frame shown at `seconds` (the last one when the
    // time lies past the end).
    HRESULT DecodeAt(double seconds) {
        const DemuxStream *vs = VideoStream();
        if (!vs) return VFW_E_INVALIDMEDIATYPE;
        if (!decoder_.IsOpen() && decoder_.Open(vs->codecpar, vs->timeBase) < 0) return VFW_E_NO_DECOMPRESSOR;
        decoder_.Flush();
        const std::int64_t target = seconds <= 0 ? 0 : static_cast<std::int64_t>(std::min(seconds, 1e9) * UNITS);
        if (demux_->SeekTo(target, vs->index) < 0) return E_FAIL;
        FramePtr candidate = MakeFrame(), best;
        PacketPtr pkt = MakePacket();
        if (!candidate || !pkt) return E_OUTOFMEMORY;
        // Half a frame of tolerance for rounded timestamps.
        const std::int64_t slack = std::max<std::int64_t>(FrameTime(*vs) / 2, 1);
        bool draining = false;
        for (;;) {
            int err = decoder_.Receive(candidate.get());
            if (err == 0) {
                std::int64_t t = demux_->ToMediaTime(vs->index, candidate->best_effort_timestamp);
                best = std::move(candidate);
                candidate = MakeFrame();
                if (!candidate) return E_OUTOFMEMORY;
                if (t == AV_NOPTS_VALUE || t + slack >= target) break;
                continue;
            }
            if (err == AVERROR_EOF || draining) break;
            if (err != AVERROR(EAGAIN)) break;
            err = demux_->ReadPacket(pkt.get());
            if (err < 0) {
                decoder_.Send(nullptr);
                draining = true;
                continue;
            }
            if (pkt->stream_index == vs->index) decoder_.Send(pkt.get());
            av_packet_unref(pkt.get());
        }
        if (!best) return E_FAIL;
        frame_ = std::move(best);
        // The decoder was drained to the end, or it holds frames after the
        // one taken: a fresh flush before the next grab either way.
        decoder_.Flush();
        return S_OK;
    }

    std::unique_ptr<FileByteReader> reader_;
    std::unique_ptr<Demuxer> demux_;
    std::u16string name_;
    long current_ = 0;
    Decoder decoder_;
    FramePtr frame_;
    PictureConverter converter_;

public:
    ~MediaDetector() override { Close(); }
};

}  // namespace

CUnknown *NewMediaDetector(LPUNKNOWN outer, HRESULT *phr) {
    return new MediaDetector(outer, phr);
}

}  // namespace mediaff
