// The encoder settings contract shared by Velorin, Brantel and Dravik.
//
// Velorin fills one Mpeg2Parameter per job and hands a pointer to Brantel's
// SetMpeg2Parameter; Brantel copies the record (sizeof(Mpeg2Parameter) bytes)
// and delivers the fields one by one to the encoder filter through
// IFFEncoderSettings. The encoder copies every value and text it receives;
// nothing that crosses a module boundary is freed by the receiver.
//
// The layout keeps the field order and types of the original 32-bit record
// with the compiler's natural alignment: 96 bytes with 4-byte pointers,
// 120 bytes on x86-64 (8-byte text pointers; the compiler inserts 4 bytes
// before Reserved1 there). The offsets are checked below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/com.h"

// ---- output type codes (Mpeg2Parameter::OutputType) ---------------------
// Container short name, video and audio codec of each code.
namespace OutputTypes {
inline constexpr std::int32_t Vob = 1;          // "vob": MPEG-2 video with B-frames + MPEG-1 Layer II
inline constexpr std::int32_t DvdVob = 2;       // "vob" (DVD packing): MPEG-2 DVD size/rate + AC-3 48 kHz stereo
inline constexpr std::int32_t Avi = 3;          // "avi": MPEG-4 Visual + MP3
inline constexpr std::int32_t Swf = 4;          // "swf": Flash video + MP3
inline constexpr std::int32_t Mpeg1 = 5;        // "mpeg": MPEG-1 video + MPEG-1 Layer II
inline constexpr std::int32_t Mp4 = 6;          // "mp4": MPEG-4 Visual + AAC
inline constexpr std::int32_t Mov = 7;          // "mov": MPEG-4 Visual + AAC
inline constexpr std::int32_t Psp = 8;          // "psp": MPEG-4 Visual + AAC at most 24000 Hz
inline constexpr std::int32_t Ipod = 9;         // "mp4": MPEG-4 Visual + AAC (iPod, iPhone)
inline constexpr std::int32_t ThreeGpMpeg4Amr = 10;  // "3gp": MPEG-4 Visual + AMR-NB 8000 Hz mono
inline constexpr std::int32_t ThreeGpMpeg4Aac = 11;  // "3gp": MPEG-4 Visual + AAC
inline constexpr std::int32_t ThreeGpH263Amr = 12;   // "3gp": H.263 + AMR-NB
inline constexpr std::int32_t ThreeGpH263Aac = 13;   // "3gp": H.263 + AAC
inline constexpr std::int32_t ThreeG2Mpeg4Amr = 14;  // "3g2": MPEG-4 Visual + AMR-NB
inline constexpr std::int32_t ThreeG2Mpeg4Aac = 15;  // "3g2": MPEG-4 Visual + AAC
inline constexpr std::int32_t ThreeG2H263Amr = 16;   // "3g2": H.263 + AMR-NB
inline constexpr std::int32_t ThreeG2H263Aac = 17;   // "3g2": H.263 + AAC
inline constexpr std::int32_t Wmv = 18;         // "asf": Windows Media Video 8 + Windows Media Audio 2
inline constexpr std::int32_t Mp3 = 19;         // "mp3": audio only, MP3
inline constexpr std::int32_t Aac = 20;         // "adts": audio only, AAC
inline constexpr std::int32_t Ogg = 21;         // "ogg": audio only, Vorbis
inline constexpr std::int32_t Wma = 22;         // "asf": audio only, Windows Media Audio 2

inline constexpr std::int32_t First = 1;
inline constexpr std::int32_t Last = 22;
// Codes 19..22 have no video stream.
inline constexpr bool IsAudioOnly(std::int32_t code) { return code >= Mp3 && code <= Wma; }
inline constexpr bool IsValid(std::int32_t code) { return code >= First && code <= Last; }
}  // namespace OutputTypes

// FrameRateMode values.
namespace FrameRateModes {
inline constexpr std::int32_t FromFields = 1;  // FrameRate / FrameRateBase
inline constexpr std::int32_t Pal = 2;         // 25 fps
inline constexpr std::int32_t Ntsc = 3;        // 30000/1001 fps
}  // namespace FrameRateModes

// AspectRatio values: how FrameWidth/FrameHeight become the encoded size.
namespace AspectRatios {
inline constexpr std::int32_t AsGiven = 1;    // width and height as given (made even)
inline constexpr std::int32_t FourThree = 2;  // height from width at 4:3
inline constexpr std::int32_t SixteenNine = 3;  // height from width at 16:9
inline constexpr std::int32_t Square = 4;     // height = width
}  // namespace AspectRatios

inline constexpr std::int32_t VbrTypeConstant = 2;  // any other value: variable bit rate
inline constexpr std::int32_t ChannelModeMono = 1;  // any other value: stereo

// Size of each text buffer the encoder keeps (1023 characters + terminator).
inline constexpr std::size_t kEncoderTextSize = 1024;
// Length of the version text buffer: 16 characters and the terminator.
inline constexpr std::size_t kEncoderVersionSize = 17;

// ---- the record ---------------------------------------------------------
// Cleared to zero by its owner before filling (memset over sizeof). Text
// fields point to zero-terminated 8-bit text that stays valid until
// SetMpeg2Parameter returns. Bit rates are bits per second.
struct Mpeg2Parameter {
    const char *SourcePath;      // not delivered to the encoder
    const char *OutputPath;      // first output file name
    std::int32_t OutputType;     // OutputTypes::*
    std::int32_t FrameRateMode;  // FrameRateModes::*
    std::int32_t AspectRatio;    // AspectRatios::*
    std::int32_t VbrType;        // 2 = constant bit rate
    std::int32_t ChannelMode;    // 1 = mono
    std::int32_t VideoBitsPerSec;
    std::int32_t AudioBitsPerSec;
    const char *Reserved1;       // empty text
    const char *Reserved2;       // empty text
    const char *Title;           // container title
    std::int32_t MaxFileSize;    // bytes per file; 0 or negative = no limit
    std::int32_t Reserved3;      // always 0, not delivered
    std::int32_t FrameRate;      // numerator
    std::int32_t FrameRateBase;  // denominator
    std::int32_t FrameWidth;
    std::int32_t FrameHeight;
    std::int32_t OutputQuality;  // fixed quantiser 1..31
    std::uint8_t KeepInputRatio; // 1 = letterbox, 0 = stretch
    std::uint8_t Reserved4;      // 0
    std::uint8_t Reversal;       // 1 = turn RGB pictures upside down
    std::uint8_t Padding;        // zero
    std::int32_t SampleRate;     // Hz
    std::int32_t VolumeScale;    // gain in 1/256 steps
    std::int32_t ThreeGpSize;    // stored only; Velorin passes 3
    std::int32_t Unused;         // zero
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(void *) == 4);
static_assert(sizeof(Mpeg2Parameter) == 96);
static_assert(offsetof(Mpeg2Parameter, SourcePath) == 0);
static_assert(offsetof(Mpeg2Parameter, OutputPath) == 4);
static_assert(offsetof(Mpeg2Parameter, OutputType) == 8);
static_assert(offsetof(Mpeg2Parameter, FrameRateMode) == 12);
static_assert(offsetof(Mpeg2Parameter, AspectRatio) == 16);
static_assert(offsetof(Mpeg2Parameter, VbrType) == 20);
static_assert(offsetof(Mpeg2Parameter, ChannelMode) == 24);
static_assert(offsetof(Mpeg2Parameter, VideoBitsPerSec) == 28);
static_assert(offsetof(Mpeg2Parameter, AudioBitsPerSec) == 32);
static_assert(offsetof(Mpeg2Parameter, Reserved1) == 36);
static_assert(offsetof(Mpeg2Parameter, Reserved2) == 40);
static_assert(offsetof(Mpeg2Parameter, Title) == 44);
static_assert(offsetof(Mpeg2Parameter, MaxFileSize) == 48);
static_assert(offsetof(Mpeg2Parameter, Reserved3) == 52);
static_assert(offsetof(Mpeg2Parameter, FrameRate) == 56);
static_assert(offsetof(Mpeg2Parameter, FrameRateBase) == 60);
static_assert(offsetof(Mpeg2Parameter, FrameWidth) == 64);
static_assert(offsetof(Mpeg2Parameter, FrameHeight) == 68);
static_assert(offsetof(Mpeg2Parameter, OutputQuality) == 72);
static_assert(offsetof(Mpeg2Parameter, KeepInputRatio) == 76);
static_assert(offsetof(Mpeg2Parameter, Reserved4) == 77);
static_assert(offsetof(Mpeg2Parameter, Reversal) == 78);
static_assert(offsetof(Mpeg2Parameter, Padding) == 79);
static_assert(offsetof(Mpeg2Parameter, SampleRate) == 80);
static_assert(offsetof(Mpeg2Parameter, VolumeScale) == 84);
static_assert(offsetof(Mpeg2Parameter, ThreeGpSize) == 88);
static_assert(offsetof(Mpeg2Parameter, Unused) == 92);
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(void *) == 8);
static_assert(sizeof(Mpeg2Parameter) == 120);
static_assert(offsetof(Mpeg2Parameter, SourcePath) == 0);
static_assert(offsetof(Mpeg2Parameter, OutputPath) == 8);
static_assert(offsetof(Mpeg2Parameter, OutputType) == 16);
static_assert(offsetof(Mpeg2Parameter, FrameRateMode) == 20);
static_assert(offsetof(Mpeg2Parameter, AspectRatio) == 24);
static_assert(offsetof(Mpeg2Parameter, VbrType) == 28);
static_assert(offsetof(Mpeg2Parameter, ChannelMode) == 32);
static_assert(offsetof(Mpeg2Parameter, VideoBitsPerSec) == 36);
static_assert(offsetof(Mpeg2Parameter, AudioBitsPerSec) == 40);
static_assert(offsetof(Mpeg2Parameter, Reserved1) == 48);
static_assert(offsetof(Mpeg2Parameter, Reserved2) == 56);
static_assert(offsetof(Mpeg2Parameter, Title) == 64);
static_assert(offsetof(Mpeg2Parameter, MaxFileSize) == 72);
static_assert(offsetof(Mpeg2Parameter, Reserved3) == 76);
static_assert(offsetof(Mpeg2Parameter, FrameRate) == 80);
static_assert(offsetof(Mpeg2Parameter, FrameRateBase) == 84);
static_assert(offsetof(Mpeg2Parameter, FrameWidth) == 88);
static_assert(offsetof(Mpeg2Parameter, FrameHeight) == 92);
static_assert(offsetof(Mpeg2Parameter, OutputQuality) == 96);
static_assert(offsetof(Mpeg2Parameter, KeepInputRatio) == 100);
static_assert(offsetof(Mpeg2Parameter, Reserved4) == 101);
static_assert(offsetof(Mpeg2Parameter, Reversal) == 102);
static_assert(offsetof(Mpeg2Parameter, Padding) == 103);
static_assert(offsetof(Mpeg2Parameter, SampleRate) == 104);
static_assert(offsetof(Mpeg2Parameter, VolumeScale) == 108);
static_assert(offsetof(Mpeg2Parameter, ThreeGpSize) == 112);
static_assert(offsetof(Mpeg2Parameter, Unused) == 116);
#else
#error "unsupported pointer size"
#endif

// ---- class and interface ids --------------------------------------------
// The encoder filter class ("Dravik"; added to graphs as "FFEncoder").
inline constexpr CLSID CLSID_FFEncoder{0x5A275E05, 0x69D9, 0x11DA, {0xAD, 0x38, 0x00, 0x03, 0xFF, 0x5A, 0xE3, 0xB0}};
inline constexpr IID IID_IFFEncoderSettings{0x939BFE24, 0xA614, 0x4936, {0xB4, 0xAD, 0x43, 0x68, 0x57, 0x8F, 0xB7, 0xAB}};
inline constexpr IID IID_IFFEncoderInfo{0x253E0B68, 0x6D87, 0x44B6, {0xB0, 0x61, 0x7A, 0xD5, 0xEE, 0xE0, 0x0C, 0x81}};
// The property page the filter names in ISpecifyPropertyPages (no module implements it).
inline constexpr CLSID CLSID_FFEncoderPropertyPage{0x335DD4BD, 0xF11D, 0x4B71, {0x87, 0x05, 0xF1, 0x88, 0xAB, 0x5B, 0x08, 0xD5}};

// ---- IFFEncoderSettings -------------------------------------------------
// The encoder's settings, as setter/getter pairs in slot order (slots 3..48
// after IUnknown). Every method takes the filter lock for the copy and
// returns S_OK; values are stored unchecked and take effect when the
// encoder is built (VolumeScale, MaxFileSize and Reversal act per sample).
// Number getters write one int32 (not null-checked). Text setters copy up to
// 1023 characters and the terminator (longer text is truncated); text
// getters write into a caller's buffer of at least kEncoderTextSize bytes.
// Byte fields (KeepInputRatio, Reserved4, Reversal) travel zero-extended.
struct IFFEncoderSettings : IUnknown {
    STDMETHOD(SetOutputType)(LONG value) = 0;
    STDMETHOD(GetOutputType)(LONG *value) = 0;
    STDMETHOD(SetOutputPath)(const char *text) = 0;
    STDMETHOD(GetOutputPath)(char *buffer) = 0;
    STDMETHOD(SetMaxFileSize)(LONG value) = 0;
    STDMETHOD(GetMaxFileSize)(LONG *value) = 0;
    STDMETHOD(SetFrameRate)(LONG value) = 0;
    STDMETHOD(GetFrameRate)(LONG *value) = 0;
    STDMETHOD(SetFrameRateBase)(LONG value) = 0;
    STDMETHOD(GetFrameRateBase)(LONG *value) = 0;
    STDMETHOD(SetFrameRateMode)(LONG value) = 0;
    STDMETHOD(GetFrameRateMode)(LONG *value) = 0;
    STDMETHOD(SetAspectRatio)(LONG value) = 0;
    STDMETHOD(GetAspectRatio)(LONG *value) = 0;
    STDMETHOD(SetVbrType)(LONG value) = 0;
    STDMETHOD(GetVbrType)(LONG *value) = 0;
    STDMETHOD(SetVideoBitsPerSec)(LONG value) = 0;
    STDMETHOD(GetVideoBitsPerSec)(LONG *value) = 0;
    STDMETHOD(SetChannelMode)(LONG value) = 0;
    STDMETHOD(GetChannelMode)(LONG *value) = 0;
    STDMETHOD(SetAudioBitsPerSec)(LONG value) = 0;
    STDMETHOD(GetAudioBitsPerSec)(LONG *value) = 0;
    STDMETHOD(SetSampleRate)(LONG value) = 0;
    STDMETHOD(GetSampleRate)(LONG *value) = 0;
    STDMETHOD(SetVolumeScale)(LONG value) = 0;
    STDMETHOD(GetVolumeScale)(LONG *value) = 0;
    STDMETHOD(SetFrameWidth)(LONG value) = 0;
    STDMETHOD(GetFrameWidth)(LONG *value) = 0;
    STDMETHOD(SetFrameHeight)(LONG value) = 0;
    STDMETHOD(GetFrameHeight)(LONG *value) = 0;
    STDMETHOD(SetKeepInputRatio)(LONG value) = 0;
    STDMETHOD(GetKeepInputRatio)(LONG *value) = 0;
    STDMETHOD(SetReversal)(LONG value) = 0;
    STDMETHOD(GetReversal)(LONG *value) = 0;
    STDMETHOD(SetReserved4)(LONG value) = 0;
    STDMETHOD(GetReserved4)(LONG *value) = 0;
    STDMETHOD(SetOutputQuality)(LONG value) = 0;
    STDMETHOD(GetOutputQuality)(LONG *value) = 0;
    STDMETHOD(SetReserved1)(const char *text) = 0;
    STDMETHOD(GetReserved1)(char *buffer) = 0;
    STDMETHOD(SetTitle)(const char *text) = 0;
    STDMETHOD(GetTitle)(char *buffer) = 0;
    STDMETHOD(SetReserved2)(const char *text) = 0;
    STDMETHOD(GetReserved2)(char *buffer) = 0;
    STDMETHOD(SetThreeGpSize)(LONG value) = 0;
    STDMETHOD(GetThreeGpSize)(LONG *value) = 0;
};

// ---- IFFEncoderInfo -----------------------------------------------------
// Progress and version; safe to call from any thread while the graph runs
// (each method takes the filter lock and returns S_OK).
struct IFFEncoderInfo : IUnknown {
    // End time (100 ns) of the last video sample received, or of the last
    // audio sample when no video input is connected; 0 at the start position.
    STDMETHOD(GetEncodedPosition)(LONGLONG *position) = 0;
    // Duration reported upstream, -1 when the upstream cannot report it.
    STDMETHOD(GetSourceDuration)(LONGLONG *duration) = 0;
    // Writes the 16-character version text and its terminator
    // (kEncoderVersionSize bytes) into buffer.
    STDMETHOD(GetVersionText)(char *buffer) = 0;
};
