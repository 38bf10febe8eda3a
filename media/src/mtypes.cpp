#include "media/mtypes.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

struct NamedResult {
    HRESULT hr;
    const char *name;
};

#define NR_(x) {x, #x}
const NamedResult kResults[] = {
    NR_(VFW_S_NO_MORE_ITEMS), NR_(VFW_E_INVALIDMEDIATYPE), NR_(VFW_E_INVALIDSUBTYPE), NR_(VFW_E_NEED_OWNER),
    NR_(VFW_E_ENUM_OUT_OF_SYNC), NR_(VFW_E_ALREADY_CONNECTED), NR_(VFW_E_FILTER_ACTIVE), NR_(VFW_E_NO_TYPES),
    NR_(VFW_E_NO_ACCEPTABLE_TYPES), NR_(VFW_E_INVALID_DIRECTION), NR_(VFW_E_NOT_CONNECTED), NR_(VFW_E_NO_ALLOCATOR),
    NR_(VFW_E_RUNTIME_ERROR), NR_(VFW_E_BUFFER_NOTSET), NR_(VFW_E_BUFFER_OVERFLOW), NR_(VFW_E_BADALIGN),
    NR_(VFW_E_ALREADY_COMMITTED), NR_(VFW_E_BUFFERS_OUTSTANDING), NR_(VFW_E_NOT_COMMITTED), NR_(VFW_E_SIZENOTSET),
    NR_(VFW_E_NO_CLOCK), NR_(VFW_E_NO_SINK), NR_(VFW_E_NO_INTERFACE), NR_(VFW_E_NOT_FOUND), NR_(VFW_E_CANNOT_CONNECT),
    NR_(VFW_E_CANNOT_RENDER), NR_(VFW_E_CHANGING_FORMAT), NR_(VFW_E_STATE_CHANGED), NR_(VFW_E_NOT_STOPPED),
    NR_(VFW_E_NOT_PAUSED), NR_(VFW_E_NOT_RUNNING), NR_(VFW_E_WRONG_STATE), NR_(VFW_E_START_TIME_AFTER_END),
    NR_(VFW_E_INVALID_RECT), NR_(VFW_E_TYPE_NOT_ACCEPTED), NR_(VFW_E_SAMPLE_REJECTED), NR_(VFW_E_SAMPLE_REJECTED_EOS),
    NR_(VFW_E_DUPLICATE_NAME), NR_(VFW_S_DUPLICATE_NAME), NR_(VFW_E_TIMEOUT), NR_(VFW_E_INVALID_FILE_FORMAT),
    NR_(VFW_E_ENUM_OUT_OF_RANGE), NR_(VFW_E_CIRCULAR_GRAPH), NR_(VFW_E_TIME_ALREADY_PASSED), NR_(VFW_E_ALREADY_CANCELLED),
    NR_(VFW_E_ADVISE_ALREADY_SET), NR_(VFW_S_STATE_INTERMEDIATE), NR_(VFW_E_NO_ADVISE_SET), NR_(VFW_E_UNKNOWN_FILE_TYPE),
    NR_(VFW_E_CANNOT_LOAD_SOURCE_FILTER), NR_(VFW_S_PARTIAL_RENDER), NR_(VFW_E_FILE_TOO_SHORT),
    NR_(VFW_E_INVALID_FILE_VERSION), NR_(VFW_S_SOME_DATA_IGNORED), NR_(VFW_S_CONNECTIONS_DEFERRED),
    NR_(VFW_E_INVALID_CLSID), NR_(VFW_E_INVALID_MEDIA_TYPE), NR_(VFW_E_SAMPLE_TIME_NOT_SET),
    NR_(VFW_S_RESOURCE_NOT_NEEDED), NR_(VFW_E_MEDIA_TIME_NOT_SET), NR_(VFW_E_NO_TIME_FORMAT_SET),
    NR_(VFW_S_MEDIA_TYPE_IGNORED), NR_(VFW_E_NO_DECOMPRESSOR), NR_(VFW_E_NO_AUDIO_HARDWARE),
    NR_(VFW_S_VIDEO_NOT_RENDERED), NR_(VFW_S_AUDIO_NOT_RENDERED), NR_(VFW_E_UNSUPPORTED_AUDIO),
    NR_(VFW_E_UNSUPPORTED_VIDEO), NR_(VFW_E_NOT_IN_GRAPH), NR_(VFW_S_ESTIMATED), NR_(VFW_E_NO_TIME_FORMAT),
    NR_(VFW_E_READ_ONLY), NR_(VFW_E_BUFFER_UNDERFLOW), NR_(VFW_E_UNSUPPORTED_STREAM), NR_(VFW_S_CANT_CUE),
    NR_(VFW_E_BAD_KEY),
};
#undef NR_

struct NamedSubtype {
    const GUID *guid;
    const char *name;
    int bits;
};
const NamedSubtype kSubtypes[] = {
    {&MEDIASUBTYPE_RGB1, "RGB1", 1},       {&MEDIASUBTYPE_RGB4, "RGB4", 4},     {&MEDIASUBTYPE_RGB8, "RGB8", 8},
    {&MEDIASUBTYPE_RGB565, "RGB565", 16},  {&MEDIASUBTYPE_RGB555, "RGB555", 16}, {&MEDIASUBTYPE_RGB24, "RGB24", 24},
    {&MEDIASUBTYPE_RGB32, "RGB32", 32},    {&MEDIASUBTYPE_ARGB32, "ARGB32", 32}, {&MEDIASUBTYPE_YV12, "YV12", 12},
    {&MEDIASUBTYPE_IYUV, "IYUV", 12},      {&MEDIASUBTYPE_I420, "I420", 12},     {&MEDIASUBTYPE_YUY2, "YUY2", 16},
    {&MEDIASUBTYPE_YUYV, "YUYV", 16},      {&MEDIASUBTYPE_NV12, "NV12", 12},     {&MEDIASUBTYPE_UYVY, "UYVY", 16},
    {&MEDIASUBTYPE_YVYU, "YVYU", 16},      {&MEDIASUBTYPE_PCM, "PCM", 0},        {&MEDIASUBTYPE_IEEE_FLOAT, "IEEE_FLOAT", 0},
    {&MEDIASUBTYPE_MPEG1Payload, "MPEG1Payload", 0}, {&MEDIASUBTYPE_MPEG1Packet, "MPEG1Packet", 0},
    {&MEDIASUBTYPE_MPEG1System, "MPEG1System", 0},   {&MEDIASUBTYPE_MPEG1Video, "MPEG1Video", 0},
    {&MEDIASUBTYPE_MPEG1Audio, "MPEG1Audio", 0},     {&MEDIASUBTYPE_MPEG1AudioPayload, "MPEG1AudioPayload", 0},
    {&MEDIASUBTYPE_MP3, "MP3", 0},         {&MEDIASUBTYPE_Avi, "Avi", 0},        {&MEDIASUBTYPE_MPEG2_VIDEO, "MPEG2_VIDEO", 0},
};

bool IsFourccSubtype(const GUID &g) {
    GUID probe = FourccGuid(g.Data1);
    return probe == g;
}

}  // namespace

std::string MediaResultName(HRESULT hr) {
    for (const auto &r : kResults)
        if (r.hr == hr) return r.name;
    return HResultName(hr);
}

const char *FlowResultName(HRESULT hr) {
    if (hr == S_OK) return "ok";
    if (hr == S_FALSE) return "flushing";
    if (hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED) return "wrong-state";
    if (hr == VFW_E_NOT_CONNECTED) return "not-negotiated";
    if (hr == VFW_E_RUNTIME_ERROR) return "runtime-error";
    if (hr == VFW_E_SAMPLE_REJECTED_EOS) return "end-of-stream";
    if (SUCCEEDED(hr)) return "ok";
    return "error";
}

int BitsPerPixelOf(const GUID &subtype) {
    for (const auto &s : kSubtypes)
        if (*s.guid == subtype) return s.bits;
    return 0;
}

DWORD CompressionOf(const GUID &subtype) {
    if (subtype == MEDIASUBTYPE_RGB565) return BI_BITFIELDS;
    if (subtype == MEDIASUBTYPE_RGB1 || subtype == MEDIASUBTYPE_RGB4 || subtype == MEDIASUBTYPE_RGB8 ||
        subtype == MEDIASUBTYPE_RGB555 || subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 ||
        subtype == MEDIASUBTYPE_ARGB32)
        return BI_RGB;
    if (IsFourccSubtype(subtype)) return subtype.Data1;
    return BI_RGB;
}

std::string SubtypeName(const GUID &subtype) {
    for (const auto &s : kSubtypes)
        if (*s.guid == subtype) return s.name;
    if (subtype == GUID_NULL) return "any";
    if (IsFourccSubtype(subtype) && subtype.Data1 > 0xFFFF) {
        std::string f;
        for (int i = 0; i < 4; ++i) {
            char c = static_cast<char>((subtype.Data1 >> (8 * i)) & 0xFF);
            f += (c >= 32 && c < 127) ? c : '?';
        }
        return f;
    }
    return GuidToString(subtype);
}

DWORD GetBitmapSize(const BITMAPINFOHEADER *h) {
    if (!h || h->biWidth <= 0 || h->biHeight == 0) return 0;
    const std::uint64_t width = static_cast<std::uint64_t>(h->biWidth);
    const std::uint64_t height = static_cast<std::uint64_t>(h->biHeight < 0 ? -static_cast<std::int64_t>(h->biHeight) : h->biHeight);
    std::uint64_t size = 0;
    switch (h->biCompression) {
    case BI_RGB:
    case BI_BITFIELDS:
        size = ((width * h->biBitCount + 31) / 32) * 4 * height;
        break;
    case MakeFourcc('Y', 'V', '1', '2'):
    case MakeFourcc('I', 'Y', 'U', 'V'):
    case MakeFourcc('I', '4', '2', '0'):
    case MakeFourcc('N', 'V', '1', '2'):
        size = width * height + 2 * (((width + 1) / 2) * ((height + 1) / 2));
        break;
    case MakeFourcc('Y', 'U', 'Y', '2'):
    case MakeFourcc('Y', 'U', 'Y', 'V'):
    case MakeFourcc('U', 'Y', 'V', 'Y'):
    case MakeFourcc('Y', 'V', 'Y', 'U'):
        size = ((width + 1) / 2) * 4 * height;
        break;
    default:
        size = h->biSizeImage ? h->biSizeImage : (width * h->biBitCount + 7) / 8 * height;
        break;
    }
    return size > 0xFFFFFFFFull ? 0 : static_cast<DWORD>(size);
}

const BITMAPINFOHEADER *GetBitmapHeader(const AM_MEDIA_TYPE *mt) {
    if (!mt || !mt->pbFormat) return nullptr;
    if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<const VIDEOINFOHEADER *>(mt->pbFormat)->bmiHeader;
    if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2 *>(mt->pbFormat)->bmiHeader;
    return nullptr;
}

BITMAPINFOHEADER *GetBitmapHeader(AM_MEDIA_TYPE *mt) {
    return const_cast<BITMAPINFOHEADER *>(GetBitmapHeader(static_cast<const AM_MEDIA_TYPE *>(mt)));
}

// ---- AM_MEDIA_TYPE helpers ------------------------------------------------------
void FreeMediaType(AM_MEDIA_TYPE &mt) {
    if (mt.pbFormat) {
        CoTaskMemFree(mt.pbFormat);
        mt.pbFormat = nullptr;
    }
    mt.cbFormat = 0;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE *mt) {
    if (!mt) return;
    FreeMediaType(*mt);
    CoTaskMemFree(mt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE *target, const AM_MEDIA_TYPE *source) {
    if (!target || !source) return E_POINTER;
    if (target == source) return S_OK;
    *target = *source;
    target->pbFormat = nullptr;
    target->cbFormat = 0;
    if (source->cbFormat && source->pbFormat) {
        target->pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
        target->cbFormat = source->cbFormat;
    }
    if (target->pUnk) target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE *CreateMediaType(const AM_MEDIA_TYPE *source) {
    auto *mt = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!mt) return nullptr;
    std::memset(mt, 0, sizeof(*mt));
    if (source && FAILED(CopyMediaType(mt, source))) {
        CoTaskMemFree(mt);
        return nullptr;
    }
    return mt;
}

std::string MediaTypeText(const AM_MEDIA_TYPE *mt) {
    if (!mt) return "(null)";
    std::string major = mt->majortype == MEDIATYPE_Video   ? "video"
                        : mt->majortype == MEDIATYPE_Audio ? "audio"
                        : mt->majortype == MEDIATYPE_Stream ? "stream"
                        : mt->majortype == GUID_NULL        ? "any"
                                                            : GuidToString(mt->majortype);
    std::string text = major + "/" + SubtypeName(mt->subtype);
    char buf[96];
    if (const BITMAPINFOHEADER *h = GetBitmapHeader(mt)) {
        std::snprintf(buf, sizeof buf, " %dx%d %dbpp", static_cast<int>(h->biWidth), static_cast<int>(h->biHeight),
                      h->biBitCount);
        text += buf;
    } else if (mt->formattype == FORMAT_WaveFormatEx && mt->cbFormat >= sizeof(WAVEFORMATEX) && mt->pbFormat) {
        const auto *w = reinterpret_cast<const WAVEFORMATEX *>(mt->pbFormat);
        std::snprintf(buf, sizeof buf, " %u Hz %u ch %u bit", static_cast<unsigned>(w->nSamplesPerSec), w->nChannels,
                      w->wBitsPerSample);
        text += buf;
    }
    return text;
}

// ---- CMediaType ---------------------------------------------------------------------
CMediaType::CMediaType() { InitMediaType(); }

CMediaType::CMediaType(const GUID *type) {
    InitMediaType();
    if (type) majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE &mt) {
    InitMediaType();
    Set(mt);
}

CMediaType::CMediaType(const CMediaType &mt) : AM_MEDIA_TYPE() {
    InitMediaType();
    Set(mt);
}

CMediaType::CMediaType(CMediaType &&mt) noexcept : AM_MEDIA_TYPE(static_cast<const AM_MEDIA_TYPE &>(mt)) {
    mt.pbFormat = nullptr;
    mt.cbFormat = 0;
    mt.pUnk = nullptr;
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType &CMediaType::operator=(const AM_MEDIA_TYPE &mt) {
    Set(mt);
    return *this;
}

CMediaType &CMediaType::operator=(const CMediaType &mt) {
    Set(mt);
    return *this;
}

CMediaType &CMediaType::operator=(CMediaType &&mt) noexcept {
    if (this != &mt) {
        FreeMediaType(*this);
        static_cast<AM_MEDIA_TYPE &>(*this) = static_cast<const AM_MEDIA_TYPE &>(mt);
        mt.pbFormat = nullptr;
        mt.cbFormat = 0;
        mt.pUnk = nullptr;
    }
    return *this;
}

bool CMediaType::operator==(const CMediaType &o) const {
    return majortype == o.majortype && subtype == o.subtype && formattype == o.formattype && cbFormat == o.cbFormat &&
           (cbFormat == 0 || std::memcmp(pbFormat, o.pbFormat, cbFormat) == 0);
}

HRESULT CMediaType::Set(const CMediaType &mt) { return Set(static_cast<const AM_MEDIA_TYPE &>(mt)); }

HRESULT CMediaType::Set(const AM_MEDIA_TYPE &mt) {
    if (&mt == static_cast<AM_MEDIA_TYPE *>(this)) return S_OK;
    AM_MEDIA_TYPE copy{};
    HRESULT hr = CopyMediaType(&copy, &mt);
    if (FAILED(hr)) return hr;
    FreeMediaType(*this);
    static_cast<AM_MEDIA_TYPE &>(*this) = copy;
    return S_OK;
}

bool CMediaType::IsValid() const { return majortype != GUID_NULL; }

ULONG CMediaType::GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }

void CMediaType::SetSampleSize(ULONG size) {
    if (size == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = size;
    }
}

void CMediaType::SetVariableSize() { bFixedSizeSamples = FALSE; }

void CMediaType::SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

bool CMediaType::SetFormat(const BYTE *format, ULONG length) {
    if (length && !format) return false;
    if (!AllocFormatBuffer(length) && length) return false;
    if (length) std::memcpy(pbFormat, format, length);
    return true;
}

BYTE *CMediaType::AllocFormatBuffer(ULONG length) {
    if (length == 0) {
        ResetFormatBuffer();
        return nullptr;
    }
    if (pbFormat && cbFormat == length) return pbFormat;
    BYTE *p = static_cast<BYTE *>(CoTaskMemAlloc(length));
    if (!p) return nullptr;
    std::memset(p, 0, length);
    if (pbFormat) CoTaskMemFree(pbFormat);
    pbFormat = p;
    cbFormat = length;
    return p;
}

BYTE *CMediaType::ReallocFormatBuffer(ULONG length) {
    if (length == 0) {
        ResetFormatBuffer();
        return nullptr;
    }
    BYTE *p = static_cast<BYTE *>(CoTaskMemAlloc(length));
    if (!p) return nullptr;
    std::memset(p, 0, length);
    if (pbFormat) {
        std::memcpy(p, pbFormat, cbFormat < length ? cbFormat : length);
        CoTaskMemFree(pbFormat);
    }
    pbFormat = p;
    cbFormat = length;
    return p;
}

void CMediaType::ResetFormatBuffer() {
    if (pbFormat) CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

void CMediaType::InitMediaType() {
    std::memset(static_cast<AM_MEDIA_TYPE *>(this), 0, sizeof(AM_MEDIA_TYPE));
    lSampleSize = 1;
    bFixedSizeSamples = TRUE;
}

bool CMediaType::IsPartiallySpecified() const {
    return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool CMediaType::MatchesPartial(const CMediaType *partial) const {
    if (!partial) return true;
    if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
    if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
    if (partial->formattype != GUID_NULL) {
        if (partial->formattype != formattype) return false;
        if (partial->cbFormat != cbFormat) return false;
        if (cbFormat && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
    }
    return true;
}

CMediaType MakeVideoType(const GUID &subtype, int width, int height, REFERENCE_TIME avgTimePerFrame) {
    CMediaType mt(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto *vih = reinterpret_cast<VIDEOINFOHEADER *>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!vih) return mt;
    vih->AvgTimePerFrame = avgTimePerFrame;
    vih->rcSource = RECT{0, 0, width, height < 0 ? -height : height};
    vih->rcTarget = vih->rcSource;
    BITMAPINFOHEADER &h = vih->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(BitsPerPixelOf(subtype));
    h.biCompression = CompressionOf(subtype);
    h.biSizeImage = GetBitmapSize(&h);
    mt.SetSampleSize(h.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}

CMediaType MakePcmType(int channels, int sampleRate, int bitsPerSample) {
    CMediaType mt(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_PCM);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    auto *wf = reinterpret_cast<WAVEFORMATEX *>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!wf) return mt;
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = static_cast<WORD>(channels);
    wf->nSamplesPerSec = static_cast<DWORD>(sampleRate);
    wf->wBitsPerSample = static_cast<WORD>(bitsPerSample);
    wf->nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
    wf->nAvgBytesPerSec = wf->nSamplesPerSec * wf->nBlockAlign;
    wf->cbSize = 0;
    mt.SetSampleSize(wf->nBlockAlign);
    return mt;
}
