// The FFmpeg stock filters of the media framework.
//
//   file source      CLSID_AsyncReader  one output pin "Output" (MEDIATYPE_Stream)
//                    offering the file through IAsyncReader; IFileSourceFilter.
//   splitter         CLSID_FfSplitter   pulls the byte stream through its input
//                    pin (any IAsyncReader), one output pin per video and audio
//                    stream carrying compressed packets (mediaff/mediatypes.h),
//                    each delivered on its own streaming thread from a bounded
//                    lane of the demuxer's queue. Seeking (IMediaSeeking on every
//                    output pin) is a flush of the whole filter. In "own file"
//                    mode it has no input pin and loads the file itself through
//                    IFileSourceFilter (the QuickTime source of qtalt.ax).
//   decoder          CLSID_FfDecoder    compressed in, uncompressed out: pictures
//                    in the codec's native layout first, then the RGB and YUV
//                    layouts it converts to; audio as 16-bit PCM in the source's
//                    channels and rate. Decodes on the caller's streaming thread
//                    with the codec's own threads.
//   AVI Decompressor CLSID_AVIDec       a decoder instance for the AVI-style
//                    video codecs only, so it is used only where it is of use.
//   Colour Space Converter CLSID_Colour between uncompressed picture layouts.
//   audio converter  CLSID_ACMWrapper   PCM to 16-bit PCM of other channels/rate.
//   media detector   CLSID_MediaDet     IMediaDet without a playback graph.
//
// Each filter is created with one of the functions below (ComCreateFn
// signature); MediaFfmpegRegisterFilters registers all of them as built-in
// classes with the filter mapper.
#pragma once

#include "media/baseclasses.h"
#include "media/registration.h"

namespace mediaff {

// {8A3C6F10-5E2B-4C1D-9B7A-5645524C494E}
inline constexpr CLSID CLSID_FfSplitter{0x8A3C6F10, 0x5E2B, 0x4C1D, {0x9B, 0x7A, 0x56, 0x45, 0x52, 0x4C, 0x49, 0x4E}};
// {8A3C6F11-5E2B-4C1D-9B7A-5645524C494E}
inline constexpr CLSID CLSID_FfDecoder{0x8A3C6F11, 0x5E2B, 0x4C1D, {0x9B, 0x7A, 0x56, 0x45, 0x52, 0x4C, 0x49, 0x4E}};

inline constexpr const char16_t *kFileSourceName = u"File Source (Async.)";
inline constexpr const char16_t *kSplitterName = u"FFmpeg Splitter";
inline constexpr const char16_t *kDecoderName = u"FFmpeg Decoder";
inline constexpr const char16_t *kAviDecompressorName = u"AVI Decompressor";
inline constexpr const char16_t *kColourConverterName = u"Color Space Converter";
inline constexpr const char16_t *kAudioConverterName = u"ACM Wrapper";

// What a decoder instance accepts. VfwVideo: the video codecs that AVI
// files carry for the platform's video-for-windows codecs (MPEG-4 part 2,
// MS-MPEG4, MJPEG, Cinepak, Indeo, DV, ...), not WMV, MPEG-1/2, H.264 or
// RealVideo, which have decoders of their own.
enum class DecoderKind { Any, VideoOnly, AudioOnly, VfwVideo };

// Instances under a given class id and object name (for the outside
// modules, which reuse these filters under their own identities).
CUnknown *NewFileSource(LPUNKNOWN outer, HRESULT *phr);
CUnknown *NewSplitter(LPUNKNOWN outer, HRESULT *phr, REFCLSID clsid, const char *name, bool ownFile);
CUnknown *NewDecoder(LPUNKNOWN outer, HRESULT *phr, REFCLSID clsid, const char *name, DecoderKind kind);
CUnknown *NewColourConverter(LPUNKNOWN outer, HRESULT *phr);
CUnknown *NewAudioConverter(LPUNKNOWN outer, HRESULT *phr);
CUnknown *NewMediaDetector(LPUNKNOWN outer, HRESULT *phr);

// Pin types for setup data of modules that reuse the filters.
extern const REGPINTYPES kStreamPinTypes[1];      // MEDIATYPE_Stream, any
extern const REGPINTYPES kCompressedPinTypes[2];  // video and audio, any subtype
extern const REGPINTYPES kVideoPinTypes[1];
extern const REGPINTYPES kAudioPinTypes[1];

}  // namespace mediaff

// Registers every filter above (COM built-in class and mapper entry).
// Safe to call more than once; MediaRegisterBuiltins calls it.
void MediaFfmpegRegisterFilters();
