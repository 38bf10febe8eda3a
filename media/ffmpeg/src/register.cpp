// Registration of the FFmpeg stock filters as built-in classes, with the
// merits automatic graph building picks them by: source -> splitter ->
// decoder at normal merit; the converters and the AVI Decompressor below,
// so they are inserted only where nothing better connects.
#include "mediaff/filters.h"

namespace mediaff {

const REGPINTYPES kStreamPinTypes[1] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_NULL}};
const REGPINTYPES kCompressedPinTypes[2] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}, {&MEDIATYPE_Audio, &MEDIASUBTYPE_NULL}};
const REGPINTYPES kVideoPinTypes[1] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
const REGPINTYPES kAudioPinTypes[1] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_NULL}};

namespace {

const REGPINTYPES kPcmPinTypes[1] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};

const AMOVIESETUP_PIN kSourcePins[] = {
    {u"Output", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kStreamPinTypes},
};
const AMOVIESETUP_PIN kSplitterPins[] = {
    {u"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kStreamPinTypes},
    {u"Output", FALSE, TRUE, FALSE, TRUE, &CLSID_NULL, nullptr, 2, kCompressedPinTypes},
};
const AMOVIESETUP_PIN kDecoderPins[] = {
    {u"XForm In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kCompressedPinTypes},
    {u"XForm Out", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kCompressedPinTypes},
};
const AMOVIESETUP_PIN kVideoTransformPins[] = {
    {u"XForm In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kVideoPinTypes},
    {u"XForm Out", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kVideoPinTypes},
};
const AMOVIESETUP_PIN kAudioConverterPins[] = {
    {u"XForm In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPcmPinTypes},
    {u"XForm Out", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPcmPinTypes},
};

const AMOVIESETUP_FILTER kSourceSetup = {&CLSID_AsyncReader, kFileSourceName, MERIT_UNLIKELY, 1, kSourcePins};
const AMOVIESETUP_FILTER kSplitterSetup = {&CLSID_FfSplitter, kSplitterName, MERIT_NORMAL, 2, kSplitterPins};
const AMOVIESETUP_FILTER kDecoderSetup = {&CLSID_FfDecoder, kDecoderName, MERIT_NORMAL, 2, kDecoderPins};
const AMOVIESETUP_FILTER kAviDecSetup = {&CLSID_AVIDec, kAviDecompressorName, MERIT_UNLIKELY + 1, 2, kVideoTransformPins};
const AMOVIESETUP_FILTER kColourSetup = {&CLSID_Colour, kColourConverterName, MERIT_UNLIKELY, 2, kVideoTransformPins};
const AMOVIESETUP_FILTER kAudioConverterSetup = {&CLSID_ACMWrapper, kAudioConverterName, MERIT_UNLIKELY, 2, kAudioConverterPins};

CUnknown *NewFfSplitter(LPUNKNOWN outer, HRESULT *phr) {
    return NewSplitter(outer, phr, CLSID_FfSplitter, "FFmpeg Splitter", false);
}
CUnknown *NewFfDecoder(LPUNKNOWN outer, HRESULT *phr) {
    return NewDecoder(outer, phr, CLSID_FfDecoder, "FFmpeg Decoder", DecoderKind::Any);
}
CUnknown *NewAviDecompressor(LPUNKNOWN outer, HRESULT *phr) {
    return NewDecoder(outer, phr, CLSID_AVIDec, "AVI Decompressor", DecoderKind::VfwVideo);
}

}  // namespace

}  // namespace mediaff

void MediaFfmpegRegisterFilters() {
    using namespace mediaff;
    MediaRegisterBuiltinFilter(CLSID_AsyncReader, &MediaCreateVia<&NewFileSource>, &kSourceSetup, "File Source (Async.)");
    MediaRegisterBuiltinFilter(CLSID_FfSplitter, &MediaCreateVia<&NewFfSplitter>, &kSplitterSetup, "FFmpeg Splitter");
    MediaRegisterBuiltinFilter(CLSID_FfDecoder, &MediaCreateVia<&NewFfDecoder>, &kDecoderSetup, "FFmpeg Decoder");
    MediaRegisterBuiltinFilter(CLSID_AVIDec, &MediaCreateVia<&NewAviDecompressor>, &kAviDecSetup, "AVI Decompressor");
    MediaRegisterBuiltinFilter(CLSID_Colour, &MediaCreateVia<&NewColourConverter>, &kColourSetup, "Color Space Converter");
    MediaRegisterBuiltinFilter(CLSID_ACMWrapper, &MediaCreateVia<&NewAudioConverter>, &kAudioConverterSetup, "ACM Wrapper");
    MediaRegisterBuiltinFilter(CLSID_MediaDet, &MediaCreateVia<&NewMediaDetector>, nullptr, "MediaDet");
}
