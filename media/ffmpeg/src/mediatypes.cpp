#include "mediaff/mediatypes.h"

#include <cstring>

#include "mediaff/codecblob.h"

namespace mediaff {

namespace {
constexpr std::uint8_t kCodecGuidTail[8] = {0x8E, 0x2C, 'V', 'E', 'R', 'L', 'I', 'N'};
}

GUID CodecSubtype(AVCodecID id) {
    GUID g{static_cast<std::uint32_t>(id), 0x4646, 0x6D66, {}};
    std::memcpy(g.Data4, kCodecGuidTail, 8);
    return g;
}

AVCodecID CodecIdOfSubtype(const GUID &subtype) {
    if (subtype.Data2 != 0x4646 || subtype.Data3 != 0x6D66 || std::memcmp(subtype.Data4, kCodecGuidTail, 8) != 0)
        return AV_CODEC_ID_NONE;
    return static_cast<AVCodecID>(subtype.Data1);
}

CMediaType MakeCompressedType(const DemuxStream &s) {
    CMediaType mt;
    const AVCodecParameters *par = s.codecpar;
    std::vector<std::uint8_t> blob = SerializeCodecParameters(par);
    const GUID subtype = CodecSubtype(par->codec_id);
    mt.SetSubtype(&subtype);
    mt.SetVariableSize();
    if (s.type == AVMEDIA_TYPE_VIDEO) {
        mt.SetType(&MEDIATYPE_Video);
        mt.SetFormatType(&FORMAT_VideoInfo);
        mt.SetTemporalCompression(TRUE);
        BYTE *f = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(VIDEOINFOHEADER) + blob.size()));
        if (!f) return CMediaType();
        VIDEOINFOHEADER vih{};
        vih.rcSource = {0, 0, par->width, par->height};
        vih.rcTarget = vih.rcSource;
        vih.dwBitRate = static_cast<DWORD>(par->bit_rate > 0 && par->bit_rate < 0xFFFFFFFFll ? par->bit_rate : 0);
        if (s.frameRate.num > 0 && s.frameRate.den > 0)
            vih.AvgTimePerFrame = av_rescale(UNITS, s.frameRate.den, s.frameRate.num);
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = par->width;
        vih.bmiHeader.biHeight = par->height;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = static_cast<WORD>(par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : 24);
        vih.bmiHeader.biCompression = par->codec_tag ? par->codec_tag : static_cast<DWORD>(par->codec_id);
        std::memcpy(f, &vih, sizeof vih);
        std::memcpy(f + sizeof vih, blob.data(), blob.size());
    } else {
        mt.SetType(&MEDIATYPE_Audio);
        mt.SetFormatType(&FORMAT_WaveFormatEx);
        if (blob.size() > 0xFFFF) return CMediaType();
        BYTE *f = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(WAVEFORMATEX) + blob.size()));
        if (!f) return CMediaType();
        WAVEFORMATEX wfx{};
        // The tag of the container when it has a 16-bit one; never PCM, so
        // no PCM consumer takes the compressed stream for raw samples.
        wfx.wFormatTag = static_cast<WORD>(par->codec_tag && par->codec_tag <= 0xFFFF && par->codec_tag != WAVE_FORMAT_PCM &&
                                                   par->codec_tag != WAVE_FORMAT_IEEE_FLOAT
                                               ? par->codec_tag
                                               : 0xFFFF);
        wfx.nChannels = static_cast<WORD>(par->ch_layout.nb_channels);
        wfx.nSamplesPerSec = static_cast<DWORD>(par->sample_rate);
        wfx.nAvgBytesPerSec = static_cast<DWORD>(par->bit_rate > 0 ? par->bit_rate / 8 : 0);
        wfx.nBlockAlign = static_cast<WORD>(par->block_align > 0 ? par->block_align : 1);
        wfx.wBitsPerSample = static_cast<WORD>(par->bits_per_coded_sample);
        wfx.cbSize = static_cast<WORD>(blob.size());
        std::memcpy(f, &wfx, sizeof wfx);
        std::memcpy(f + sizeof wfx, blob.data(), blob.size());
    }
    return mt;
}

bool ParseCompressedType(const AM_MEDIA_TYPE &mt, AVCodecParameters *out) {
    if (CodecIdOfSubtype(mt.subtype) == AV_CODEC_ID_NONE || !mt.pbFormat) return false;
    std::size_t header = 0;
    if (mt.majortype == MEDIATYPE_Video && mt.formattype == FORMAT_VideoInfo)
        header = sizeof(VIDEOINFOHEADER);
    else if (mt.majortype == MEDIATYPE_Audio && mt.formattype == FORMAT_WaveFormatEx)
        header = sizeof(WAVEFORMATEX);
    else
        return false;
    if (mt.cbFormat < header) return false;
    if (!ParseCodecParameters(mt.pbFormat + header, mt.cbFormat - header, out)) return false;
    if (out->codec_id != CodecIdOfSubtype(mt.subtype)) return false;
    const bool video = mt.majortype == MEDIATYPE_Video;
    if (video != (out->codec_type == AVMEDIA_TYPE_VIDEO)) return false;
    return avcodec_find_decoder(out->codec_id) != nullptr;
}

GUID SubtypeOf(PictureFormat f) {
    switch (f) {
    case PictureFormat::IYUV: return MEDIASUBTYPE_IYUV;
    case PictureFormat::YV12: return MEDIASUBTYPE_YV12;
    case PictureFormat::NV12: return MEDIASUBTYPE_NV12;
    case PictureFormat::YUY2: return MEDIASUBTYPE_YUY2;
    case PictureFormat::UYVY: return MEDIASUBTYPE_UYVY;
    case PictureFormat::YVYU: return MEDIASUBTYPE_YVYU;
    case PictureFormat::RGB32: return MEDIASUBTYPE_RGB32;
    case PictureFormat::RGB24: return MEDIASUBTYPE_RGB24;
    case PictureFormat::RGB565: return MEDIASUBTYPE_RGB565;
    case PictureFormat::RGB555: return MEDIASUBTYPE_RGB555;
    case PictureFormat::None: break;
    }
    return GUID_NULL;
}

PictureFormat PictureFormatOf(const GUID &s) {
    if (s == MEDIASUBTYPE_IYUV || s == MEDIASUBTYPE_I420) return PictureFormat::IYUV;
    if (s == MEDIASUBTYPE_YV12) return PictureFormat::YV12;
    if (s == MEDIASUBTYPE_NV12) return PictureFormat::NV12;
    if (s == MEDIASUBTYPE_YUY2 || s == MEDIASUBTYPE_YUYV) return PictureFormat::YUY2;
    if (s == MEDIASUBTYPE_UYVY) return PictureFormat::UYVY;
    if (s == MEDIASUBTYPE_YVYU) return PictureFormat::YVYU;
    if (s == MEDIASUBTYPE_RGB32 || s == MEDIASUBTYPE_ARGB32) return PictureFormat::RGB32;
    if (s == MEDIASUBTYPE_RGB24) return PictureFormat::RGB24;
    if (s == MEDIASUBTYPE_RGB565) return PictureFormat::RGB565;
    if (s == MEDIASUBTYPE_RGB555) return PictureFormat::RGB555;
    return PictureFormat::None;
}

CMediaType MakePictureType(PictureFormat f, int width, int height, REFERENCE_TIME avgTimePerFrame) {
    CMediaType mt;
    PictureLayout l = LayoutOf(f, width, height);
    if (!l.imageSize) return mt;
    mt.SetType(&MEDIATYPE_Video);
    GUID sub = SubtypeOf(f);
    mt.SetSubtype(&sub);
    mt.SetFormatType(&FORMAT_VideoInfo);
    mt.SetTemporalCompression(FALSE);
    mt.SetSampleSize(static_cast<ULONG>(l.imageSize));
    BYTE *fb = mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
    if (!fb) return CMediaType();
    VIDEOINFOHEADER vih{};
    vih.AvgTimePerFrame = avgTimePerFrame;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = static_cast<WORD>(l.bitCount);
    vih.bmiHeader.biCompression = l.compression;
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(l.imageSize);
    if (avgTimePerFrame > 0)
        vih.dwBitRate = static_cast<DWORD>(std::min<double>(4e9, static_cast<double>(l.imageSize) * 8.0 * UNITS / static_cast<double>(avgTimePerFrame)));
    std::memcpy(fb, &vih, sizeof vih);
    return mt;
}

bool ParsePictureType(const AM_MEDIA_TYPE &mt, PictureType *out) {
    if (mt.majortype != MEDIATYPE_Video || !mt.pbFormat) return false;
    PictureFormat f = PictureFormatOf(mt.subtype);
    if (f == PictureFormat::None) return false;
    const BITMAPINFOHEADER *bih = nullptr;
    REFERENCE_TIME avg = 0;
    if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        auto *v = reinterpret_cast<const VIDEOINFOHEADER *>(mt.pbFormat);
        bih = &v->bmiHeader;
        avg = v->AvgTimePerFrame;
    } else if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        auto *v = reinterpret_cast<const VIDEOINFOHEADER2 *>(mt.pbFormat);
        bih = &v->bmiHeader;
        avg = v->AvgTimePerFrame;
    } else {
        return false;
    }
    // Reject sizes that would overflow buffer arithmetic.
    if (bih->biWidth <= 0 || bih->biWidth > 16384 || bih->biHeight == 0 || bih->biHeight < -16384 || bih->biHeight > 16384)
        return false;
    PictureLayout l = LayoutOf(f, bih->biWidth, bih->biHeight < 0 ? -bih->biHeight : bih->biHeight);
    if (bih->biHeight < 0 && !l.bottomUp) return false;  // top-down YUV has no meaning
    if (bih->biBitCount != l.bitCount) return false;
    out->format = f;
    out->width = bih->biWidth;
    out->height = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
    out->topDown = bih->biHeight < 0;
    out->avgTimePerFrame = avg;
    return true;
}

void PlanesOfPicture(const PictureType &t, std::uint8_t *buffer, std::uint8_t *data[4], int linesize[4]) {
    PlanesOf(t.format, t.width, t.height, buffer, data, linesize);
    if (t.topDown && linesize[0] < 0) {
        linesize[0] = -linesize[0];
        data[0] = buffer;
    }
}

CMediaType MakePcmMediaType(int channels, int sampleRate, int bitsPerSample) {
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    mt.SetTemporalCompression(FALSE);
    const int block = channels * bitsPerSample / 8;
    mt.SetSampleSize(static_cast<ULONG>(block));
    BYTE *f = mt.AllocFormatBuffer(sizeof(WAVEFORMATEX));
    if (!f) return CMediaType();
    WAVEFORMATEX w{};
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = static_cast<WORD>(channels);
    w.nSamplesPerSec = static_cast<DWORD>(sampleRate);
    w.nBlockAlign = static_cast<WORD>(block);
    w.nAvgBytesPerSec = static_cast<DWORD>(block * sampleRate);
    w.wBitsPerSample = static_cast<WORD>(bitsPerSample);
    std::memcpy(f, &w, sizeof w);
    return mt;
}

bool ParsePcmType(const AM_MEDIA_TYPE &mt, PcmType *out) {
    if (mt.majortype != MEDIATYPE_Audio || mt.formattype != FORMAT_WaveFormatEx || !mt.pbFormat || mt.cbFormat < sizeof(WAVEFORMATEX))
        return false;
    if (mt.subtype != MEDIASUBTYPE_PCM && mt.subtype != MEDIASUBTYPE_IEEE_FLOAT) return false;
    WAVEFORMATEX w;
    std::memcpy(&w, mt.pbFormat, sizeof w);
    WORD tag = w.wFormatTag;
    if (tag == WAVE_FORMAT_EXTENSIBLE && mt.cbFormat >= sizeof(WAVEFORMATEX) + 22) {
        // The sub-format GUID's first 32 bits are the real tag.
        std::uint32_t sub;
        std::memcpy(&sub, mt.pbFormat + sizeof(WAVEFORMATEX) + 6, 4);
        tag = static_cast<WORD>(sub);
    }
    const bool isFloat = tag == WAVE_FORMAT_IEEE_FLOAT;
    if (tag != WAVE_FORMAT_PCM && !isFloat) return false;
    if (w.nChannels < 1 || w.nChannels > 8 || w.nSamplesPerSec < 1000 || w.nSamplesPerSec > 384000) return false;
    if (isFloat ? w.wBitsPerSample != 32 : (w.wBitsPerSample != 8 && w.wBitsPerSample != 16 && w.wBitsPerSample != 32))
        return false;
    if (w.nBlockAlign != w.nChannels * w.wBitsPerSample / 8) return false;
    out->channels = w.nChannels;
    out->sampleRate = static_cast<int>(w.nSamplesPerSec);
    out->bitsPerSample = w.wBitsPerSample;
    out->isFloat = isFloat;
    return true;
}

AVSampleFormat SampleFormatOf(const PcmType &t) {
    if (t.isFloat) return AV_SAMPLE_FMT_FLT;
    switch (t.bitsPerSample) {
    case 8: return AV_SAMPLE_FMT_U8;
    case 16: return AV_SAMPLE_FMT_S16;
    case 32: return AV_SAMPLE_FMT_S32;
    default: return AV_SAMPLE_FMT_NONE;
    }
}

}  // namespace mediaff
