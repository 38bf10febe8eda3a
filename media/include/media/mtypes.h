// Media types, format blocks, identifiers and result codes of the media
// framework. See media/media.h for how the pieces fit together.
#pragma once

#include <cstdint>
#include <string>

#include "com/com.h"
#include "platform/window.h"

// ---- extra basic types ---------------------------------------------------
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using REFTIME = double;          // seconds, as IMediaPosition uses them
using OAHWND = LONG_PTR;         // a window handle carried as an integer
using OAEVENT = LONG_PTR;
using OABOOL = LONG;
using OAFilterState = LONG;
using BSTR = WCHAR *;            // allocated with CoTaskMemAlloc here
using LPOLESTR = WCHAR *;
using LPCOLESTR = const WCHAR *;
using LPUNKNOWN = IUnknown *;

constexpr OABOOL OATRUE = -1;
constexpr OABOOL OAFALSE = 0;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

class CAMEvent;
// Event handle for IReferenceClock advise requests: the event is Set when
// the time is reached. Not owned by the clock.
using HEVENT = CAMEvent *;
using HSEMAPHORE = CAMEvent *;

inline OAHWND ToOAHWND(HWND h) { return reinterpret_cast<OAHWND>(h); }
inline HWND FromOAHWND(OAHWND h) { return reinterpret_cast<HWND>(h); }

// Reference time: 100-ns units.
constexpr REFERENCE_TIME UNITS = 10000000;
constexpr REFERENCE_TIME MILLISECONDS = UNITS / 1000;
constexpr LONGLONG MAX_TIME = 0x7FFFFFFFFFFFFFFFLL;

// ---- result codes ----------------------------------------------------------
#define MEDIA_HR_(v) static_cast<HRESULT>(static_cast<std::uint32_t>(v))
constexpr HRESULT VFW_S_NO_MORE_ITEMS = MEDIA_HR_(0x00040103u);
constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MEDIA_HR_(0x80040200u);
constexpr HRESULT VFW_E_INVALIDSUBTYPE = MEDIA_HR_(0x80040201u);
constexpr HRESULT VFW_E_NEED_OWNER = MEDIA_HR_(0x80040202u);
constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = MEDIA_HR_(0x80040203u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = MEDIA_HR_(0x80040204u);
constexpr HRESULT VFW_E_FILTER_ACTIVE = MEDIA_HR_(0x80040205u);
constexpr HRESULT VFW_E_NO_TYPES = MEDIA_HR_(0x80040206u);
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MEDIA_HR_(0x80040207u);
constexpr HRESULT VFW_E_INVALID_DIRECTION = MEDIA_HR_(0x80040208u);
constexpr HRESULT VFW_E_NOT_CONNECTED = MEDIA_HR_(0x80040209u);
constexpr HRESULT VFW_E_NO_ALLOCATOR = MEDIA_HR_(0x8004020Au);
constexpr HRESULT VFW_E_RUNTIME_ERROR = MEDIA_HR_(0x8004020Bu);
constexpr HRESULT VFW_E_BUFFER_NOTSET = MEDIA_HR_(0x8004020Cu);
constexpr HRESULT VFW_E_BUFFER_OVERFLOW = MEDIA_HR_(0x8004020Du);
constexpr HRESULT VFW_E_BADALIGN = MEDIA_HR_(0x8004020Eu);
constexpr HRESULT VFW_E_ALREADY_COMMITTED = MEDIA_HR_(0x8004020Fu);
constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = MEDIA_HR_(0x80040210u);
constexpr HRESULT VFW_E_NOT_COMMITTED = MEDIA_HR_(0x80040211u);
constexpr HRESULT VFW_E_SIZENOTSET = MEDIA_HR_(0x80040212u);
constexpr HRESULT VFW_E_NO_CLOCK = MEDIA_HR_(0x80040213u);
constexpr HRESULT VFW_E_NO_SINK = MEDIA_HR_(0x80040214u);
constexpr HRESULT VFW_E_NO_INTERFACE = MEDIA_HR_(0x80040215u);
constexpr HRESULT VFW_E_NOT_FOUND = MEDIA_HR_(0x80040216u);
constexpr HRESULT VFW_E_CANNOT_CONNECT = MEDIA_HR_(0x80040217u);
constexpr HRESULT VFW_E_CANNOT_RENDER = MEDIA_HR_(0x80040218u);
constexpr HRESULT VFW_E_CHANGING_FORMAT = MEDIA_HR_(0x80040219u);
constexpr HRESULT VFW_E_STATE_CHANGED = MEDIA_HR_(0x80040223u);
constexpr HRESULT VFW_E_NOT_STOPPED = MEDIA_HR_(0x80040224u);
constexpr HRESULT VFW_E_NOT_PAUSED = MEDIA_HR_(0x80040225u);
constexpr HRESULT VFW_E_NOT_RUNNING = MEDIA_HR_(0x80040226u);
constexpr HRESULT VFW_E_WRONG_STATE = MEDIA_HR_(0x80040227u);
constexpr HRESULT VFW_E_START_TIME_AFTER_END = MEDIA_HR_(0x80040228u);
constexpr HRESULT VFW_E_INVALID_RECT = MEDIA_HR_(0x80040229u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MEDIA_HR_(0x8004022Au);
constexpr HRESULT VFW_E_SAMPLE_REJECTED = MEDIA_HR_(0x8004022Bu);
constexpr HRESULT VFW_E_SAMPLE_REJECTED_EOS = MEDIA_HR_(0x8004022Cu);
constexpr HRESULT VFW_E_DUPLICATE_NAME = MEDIA_HR_(0x8004022Du);
constexpr HRESULT VFW_S_DUPLICATE_NAME = MEDIA_HR_(0x0004022Du);
constexpr HRESULT VFW_E_TIMEOUT = MEDIA_HR_(0x8004022Eu);
constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = MEDIA_HR_(0x8004022Fu);
constexpr HRESULT VFW_E_ENUM_OUT_OF_RANGE = MEDIA_HR_(0x80040230u);
constexpr HRESULT VFW_E_CIRCULAR_GRAPH = MEDIA_HR_(0x80040231u);
constexpr HRESULT VFW_E_TIME_ALREADY_PASSED = MEDIA_HR_(0x80040233u);
constexpr HRESULT VFW_E_ALREADY_CANCELLED = MEDIA_HR_(0x80040234u);
constexpr HRESULT VFW_E_ADVISE_ALREADY_SET = MEDIA_HR_(0x80040236u);
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MEDIA_HR_(0x00040237u);
constexpr HRESULT VFW_E_NO_ADVISE_SET = MEDIA_HR_(0x80040239u);
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = MEDIA_HR_(0x80040240u);
constexpr HRESULT VFW_E_CANNOT_LOAD_SOURCE_FILTER = MEDIA_HR_(0x80040241u);
constexpr HRESULT VFW_S_PARTIAL_RENDER = MEDIA_HR_(0x00040242u);
constexpr HRESULT VFW_E_FILE_TOO_SHORT = MEDIA_HR_(0x80040243u);
constexpr HRESULT VFW_E_INVALID_FILE_VERSION = MEDIA_HR_(0x80040244u);
constexpr HRESULT VFW_S_SOME_DATA_IGNORED = MEDIA_HR_(0x00040245u);
constexpr HRESULT VFW_S_CONNECTIONS_DEFERRED = MEDIA_HR_(0x00040246u);
constexpr HRESULT VFW_E_INVALID_CLSID = MEDIA_HR_(0x80040247u);
constexpr HRESULT VFW_E_INVALID_MEDIA_TYPE = MEDIA_HR_(0x80040248u);
constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MEDIA_HR_(0x80040249u);
constexpr HRESULT VFW_S_RESOURCE_NOT_NEEDED = MEDIA_HR_(0x00040250u);
constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = MEDIA_HR_(0x80040251u);
constexpr HRESULT VFW_E_NO_TIME_FORMAT_SET = MEDIA_HR_(0x80040252u);
constexpr HRESULT VFW_S_MEDIA_TYPE_IGNORED = MEDIA_HR_(0x00040254u);
constexpr HRESULT VFW_E_NO_DECOMPRESSOR = MEDIA_HR_(0x80040255u);
constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = MEDIA_HR_(0x80040256u);
constexpr HRESULT VFW_S_VIDEO_NOT_RENDERED = MEDIA_HR_(0x00040257u);
constexpr HRESULT VFW_S_AUDIO_NOT_RENDERED = MEDIA_HR_(0x00040258u);
constexpr HRESULT VFW_E_UNSUPPORTED_AUDIO = MEDIA_HR_(0x8004025Cu);
constexpr HRESULT VFW_E_UNSUPPORTED_VIDEO = MEDIA_HR_(0x8004025Du);
constexpr HRESULT VFW_E_NOT_IN_GRAPH = MEDIA_HR_(0x8004025Fu);
constexpr HRESULT VFW_S_ESTIMATED = MEDIA_HR_(0x00040260u);
constexpr HRESULT VFW_E_NO_TIME_FORMAT = MEDIA_HR_(0x80040261u);
constexpr HRESULT VFW_E_READ_ONLY = MEDIA_HR_(0x80040262u);
constexpr HRESULT VFW_E_BUFFER_UNDERFLOW = MEDIA_HR_(0x80040264u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MEDIA_HR_(0x80040265u);
constexpr HRESULT VFW_S_CANT_CUE = MEDIA_HR_(0x00040268u);
constexpr HRESULT VFW_E_BAD_KEY = MEDIA_HR_(0x800403F2u);
#undef MEDIA_HR_

// Name of a framework or COM result for logs ("VFW_E_NOT_CONNECTED",
// falling back to HResultName).
std::string MediaResultName(HRESULT hr);

// ---- streaming flow results ------------------------------------------------
// What a streaming call (Receive, Deliver, EndOfStream) returns, by name:
//   S_OK                ok: keep delivering;
//   S_FALSE             flushing or the peer wants no more: stop delivering
//                       until the next flush/seek, without raising an error;
//   VFW_E_WRONG_STATE   the peer is stopped (VFW_E_NOT_COMMITTED from
//                       GetBuffer means the same: stop quietly);
//   VFW_E_NOT_CONNECTED not negotiated / not connected;
//   VFW_E_RUNTIME_ERROR the peer failed earlier and has reported it;
//   other failures      an error: the deliverer stops its stream, sends
//                       end of stream downstream and reports EC_ERRORABORT.
// No exception ever crosses a streaming call.
const char *FlowResultName(HRESULT hr);

// ---- event codes (IMediaEvent) ------------------------------------------------
constexpr long EC_COMPLETE = 0x01;                 // p1: HRESULT, p2: IBaseFilter* (not AddRef'd) or 0
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;               // p1: HRESULT
constexpr long EC_TIME = 0x04;
constexpr long EC_REPAINT = 0x05;
constexpr long EC_STREAM_ERROR_STOPPED = 0x06;
constexpr long EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr long EC_ERROR_STILLPLAYING = 0x08;
constexpr long EC_PALETTE_CHANGED = 0x09;
constexpr long EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr long EC_QUALITY_CHANGE = 0x0B;
constexpr long EC_SHUTTING_DOWN = 0x0C;
constexpr long EC_CLOCK_CHANGED = 0x0D;
constexpr long EC_PAUSED = 0x0E;
constexpr long EC_OPENING_FILE = 0x10;
constexpr long EC_BUFFERING_DATA = 0x11;
constexpr long EC_FULLSCREEN_LOST = 0x12;
constexpr long EC_ACTIVATE = 0x13;
constexpr long EC_NEED_RESTART = 0x14;
constexpr long EC_WINDOW_DESTROYED = 0x15;
constexpr long EC_DISPLAY_CHANGED = 0x16;
constexpr long EC_STARVATION = 0x17;
constexpr long EC_STREAM_CONTROL_STOPPED = 0x1A;
constexpr long EC_STREAM_CONTROL_STARTED = 0x1B;
constexpr long EC_END_OF_SEGMENT = 0x1C;
constexpr long EC_SEGMENT_STARTED = 0x1D;
constexpr long EC_LENGTH_CHANGED = 0x1E;
constexpr long EC_CLOCK_UNSET = 0x51;

// ---- GUIDs ------------------------------------------------------------------
// A FOURCC-derived subtype: XXXXXXXX-0000-0010-8000-00AA00389B71.
constexpr GUID FourccGuid(std::uint32_t fourcc) {
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr std::uint32_t MakeFourcc(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | (std::uint32_t(std::uint8_t(b)) << 8) |
           (std::uint32_t(std::uint8_t(c)) << 16) | (std::uint32_t(std::uint8_t(d)) << 24);
}

// Major types.
inline constexpr GUID MEDIATYPE_Video = FourccGuid(MakeFourcc('v', 'i', 'd', 's'));
inline constexpr GUID MEDIATYPE_Audio = FourccGuid(MakeFourcc('a', 'u', 'd', 's'));
inline constexpr GUID MEDIATYPE_Text = FourccGuid(MakeFourcc('t', 'x', 't', 's'));
inline constexpr GUID MEDIATYPE_Stream{0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// Uncompressed video subtypes.
inline constexpr GUID MEDIASUBTYPE_RGB1{0xE436EB78, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB4{0xE436EB79, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB8{0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB565{0xE436EB7B, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB555{0xE436EB7C, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB24{0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_RGB32{0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_ARGB32{0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}};
inline constexpr GUID MEDIASUBTYPE_YV12 = FourccGuid(MakeFourcc('Y', 'V', '1', '2'));
inline constexpr GUID MEDIASUBTYPE_IYUV = FourccGuid(MakeFourcc('I', 'Y', 'U', 'V'));
inline constexpr GUID MEDIASUBTYPE_I420 = FourccGuid(MakeFourcc('I', '4', '2', '0'));
inline constexpr GUID MEDIASUBTYPE_YUY2 = FourccGuid(MakeFourcc('Y', 'U', 'Y', '2'));
inline constexpr GUID MEDIASUBTYPE_YUYV = FourccGuid(MakeFourcc('Y', 'U', 'Y', 'V'));
inline constexpr GUID MEDIASUBTYPE_NV12 = FourccGuid(MakeFourcc('N', 'V', '1', '2'));
inline constexpr GUID MEDIASUBTYPE_UYVY = FourccGuid(MakeFourcc('U', 'Y', 'V', 'Y'));
inline constexpr GUID MEDIASUBTYPE_YVYU = FourccGuid(MakeFourcc('Y', 'V', 'Y', 'U'));

// Audio subtypes.
inline constexpr GUID MEDIASUBTYPE_PCM = FourccGuid(0x00000001);
inline constexpr GUID MEDIASUBTYPE_IEEE_FLOAT = FourccGuid(0x00000003);
inline constexpr GUID MEDIASUBTYPE_MPEG1AudioPayload = FourccGuid(0x00000050);
inline constexpr GUID MEDIASUBTYPE_MP3 = FourccGuid(0x00000055);

// Stream and compressed subtypes.
inline constexpr GUID MEDIASUBTYPE_MPEG1Packet{0xE436EB80, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_MPEG1Payload{0xE436EB81, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_MPEG1System{0xE436EB84, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_MPEG1VideoCD{0xE436EB85, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_MPEG1Video{0xE436EB86, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_MPEG1Audio{0xE436EB87, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_Avi{0xE436EB88, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_MPEG2_VIDEO{0xE06D8026, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
inline constexpr GUID MEDIASUBTYPE_NULL = GUID_NULL;

// Format types.
inline constexpr GUID FORMAT_None{0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr GUID FORMAT_VideoInfo{0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID FORMAT_VideoInfo2{0xF72A76A0, 0xEB0A, 0x11D0, {0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};
inline constexpr GUID FORMAT_WaveFormatEx{0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID FORMAT_MPEGVideo{0x05589F82, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID FORMAT_MPEGStreams{0x05589F83, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// Time formats (IMediaSeeking).
inline constexpr GUID TIME_FORMAT_NONE = GUID_NULL;
inline constexpr GUID TIME_FORMAT_FRAME{0x7B785570, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
inline constexpr GUID TIME_FORMAT_BYTE{0x7B785571, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
inline constexpr GUID TIME_FORMAT_SAMPLE{0x7B785572, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
inline constexpr GUID TIME_FORMAT_FIELD{0x7B785573, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};
inline constexpr GUID TIME_FORMAT_MEDIA_TIME{0x7B785574, 0x8C82, 0x11CF, {0xBC, 0x0C, 0x00, 0xAA, 0x00, 0xAC, 0x74, 0xF6}};

// Class ids of the framework's own objects and stock filters. The stock
// filters marked (ff) live in media/ffmpeg/.
inline constexpr CLSID CLSID_FilterGraph{0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr CLSID CLSID_SystemClock{0xE436EBB1, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr CLSID CLSID_NullRenderer{0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
inline constexpr CLSID CLSID_VideoRenderer{0x70E102B0, 0x5556, 0x11CE, {0x97, 0xC0, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr CLSID CLSID_DSoundRender{0x79376820, 0x07D0, 0x11CF, {0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};
inline constexpr CLSID CLSID_AsyncReader{0xE436EBB5, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};   // (ff) file source
inline constexpr CLSID CLSID_Colour{0x1643E180, 0x90F5, 0x11CE, {0x97, 0xD5, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};        // (ff)
inline constexpr CLSID CLSID_AVIDec{0xCF49D4E0, 0x1115, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};        // (ff)
inline constexpr CLSID CLSID_ACMWrapper{0x6A08CF80, 0x0E18, 0x11CF, {0xA2, 0x4D, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};    // (ff) audio converter
inline constexpr CLSID CLSID_MediaDet{0x65BD0711, 0x24D2, 0x4FF7, {0x93, 0x24, 0xED, 0x2E, 0x5D, 0x3A, 0xBA, 0xFA}};      // (ff)

// ---- format blocks ------------------------------------------------------------
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_BITFIELDS = 3;

struct BITMAPINFOHEADER {
    DWORD biSize;          // 40
    LONG biWidth;
    LONG biHeight;         // positive: bottom-up rows; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;   // BI_RGB, BI_BITFIELDS or a FOURCC
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    DWORD dwControlFlags;
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;           // bytes of extra format data that follow
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// Bytes per picture of an uncompressed bitmap header (rows padded to 4 bytes
// for RGB; planar YUV sizes for the FOURCC formats).
DWORD GetBitmapSize(const BITMAPINFOHEADER *header);
// The bitmap header inside a FORMAT_VideoInfo or FORMAT_VideoInfo2 format
// block, or null when the type has neither (or the block is too short).
struct AM_MEDIA_TYPE;
const BITMAPINFOHEADER *GetBitmapHeader(const AM_MEDIA_TYPE *mt);
BITMAPINFOHEADER *GetBitmapHeader(AM_MEDIA_TYPE *mt);

// ---- media types ----------------------------------------------------------------
// pbFormat is allocated with CoTaskMemAlloc; pUnk holds a reference when set.
struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown *pUnk;
    ULONG cbFormat;
    BYTE *pbFormat;
};

// Frees the format block and pUnk of *mt (not mt itself).
void FreeMediaType(AM_MEDIA_TYPE &mt);
// FreeMediaType, then CoTaskMemFree(mt). Null is ignored.
void DeleteMediaType(AM_MEDIA_TYPE *mt);
// Deep copy into a zero-initialised or freed target.
HRESULT CopyMediaType(AM_MEDIA_TYPE *target, const AM_MEDIA_TYPE *source);
// CoTaskMemAlloc'd deep copy, freed with DeleteMediaType; null on no memory.
AM_MEDIA_TYPE *CreateMediaType(const AM_MEDIA_TYPE *source);
// Text for logs: "video/RGB32 320x240" and the like.
std::string MediaTypeText(const AM_MEDIA_TYPE *mt);
// Short name of a known subtype ("RGB32", "YUY2", "PCM") or its GUID text.
std::string SubtypeName(const GUID &subtype);

// Owning C++ wrapper: copying deep-copies the format block.
class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID *majortype);
    CMediaType(const AM_MEDIA_TYPE &mt);
    CMediaType(const CMediaType &mt);
    CMediaType(CMediaType &&mt) noexcept;
    ~CMediaType();
    CMediaType &operator=(const AM_MEDIA_TYPE &mt);
    CMediaType &operator=(const CMediaType &mt);
    CMediaType &operator=(CMediaType &&mt) noexcept;
    bool operator==(const CMediaType &other) const;
    bool operator!=(const CMediaType &other) const { return !(*this == other); }

    HRESULT Set(const CMediaType &mt);
    HRESULT Set(const AM_MEDIA_TYPE &mt);
    bool IsValid() const;   // majortype not null

    const GUID *Type() const { return &majortype; }
    void SetType(const GUID *t) { majortype = *t; }
    const GUID *Subtype() const { return &subtype; }
    void SetSubtype(const GUID *t) { subtype = *t; }
    const GUID *FormatType() const { return &formattype; }
    void SetFormatType(const GUID *t) { formattype = *t; }

    bool IsFixedSize() const { return bFixedSizeSamples != FALSE; }
    bool IsTemporalCompressed() const { return bTemporalCompression != FALSE; }
    ULONG GetSampleSize() const;
    void SetSampleSize(ULONG size);
    void SetVariableSize();
    void SetTemporalCompression(BOOL compressed);

    BYTE *Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Replaces the format block with a copy of `length` bytes of `format`.
    bool SetFormat(const BYTE *format, ULONG length);
    // Makes the format block exactly `length` zeroed bytes (keeping the old
    // contents up to the shorter length); null on no memory.
    BYTE *ReallocFormatBuffer(ULONG length);
    BYTE *AllocFormatBuffer(ULONG length);
    void ResetFormatBuffer();
    void InitMediaType();

    // True when every non-null GUID of `partial` matches this type (and the
    // format block, if `partial` has one, is identical).
    bool MatchesPartial(const CMediaType *partial) const;
    // True when major type, subtype or format type is GUID_NULL.
    bool IsPartiallySpecified() const;
};

// Builders for the common uncompressed types. `height` > 0 gives bottom-up
// RGB rows. `avgTimePerFrame` in 100-ns units (0 when unknown).
CMediaType MakeVideoType(const GUID &subtype, int width, int height, REFERENCE_TIME avgTimePerFrame = 0);
CMediaType MakePcmType(int channels, int sampleRate, int bitsPerSample = 16);
// Bits per pixel of an uncompressed video subtype (0 when not known).
int BitsPerPixelOf(const GUID &subtype);
// The FOURCC/BI_ value for biCompression of an uncompressed subtype.
DWORD CompressionOf(const GUID &subtype);
