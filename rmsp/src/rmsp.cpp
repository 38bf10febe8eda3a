// rmsp.ax: "RealMedia SP" (a splitter), "RealMedia Audio Decoder" and
// "RealMedia Video Decoder", under the class ids the graph library adds them
// by for .rm and .rmvb sources. They are the framework's FFmpeg splitter and
// decoder under these identities; registered below normal merit, so
// automatic rendering uses them only where they were added to the graph.
#include "media/registration.h"
#include "mediaff/filters.h"

namespace {

constexpr CLSID CLSID_RealMediaSplitter{0xE21BE468, 0x5C18, 0x43EB, {0xB0, 0xCC, 0xDB, 0x93, 0xA8, 0x47, 0xD7, 0x69}};
constexpr CLSID CLSID_RealMediaAudioDecoder{0x941A4793, 0xA705, 0x4312, {0x8D, 0xFC, 0xC1, 0x1C, 0xA0, 0x5F, 0x39, 0x7E}};
constexpr CLSID CLSID_RealMediaVideoDecoder{0x238D0F23, 0x5DC9, 0x45A6, {0x9B, 0xE2, 0x66, 0x61, 0x60, 0xC3, 0x24, 0xDD}};

CUnknown *NewRealMediaSplitter(LPUNKNOWN outer, HRESULT *phr) {
    return mediaff::NewSplitter(outer, phr, CLSID_RealMediaSplitter, "RealMedia SP", false);
}
CUnknown *NewRealMediaAudioDecoder(LPUNKNOWN outer, HRESULT *phr) {
    return mediaff::NewDecoder(outer, phr, CLSID_RealMediaAudioDecoder, "RealMedia Audio Decoder", mediaff::DecoderKind::AudioOnly);
}
CUnknown *NewRealMediaVideoDecoder(LPUNKNOWN outer, HRESULT *phr) {
    return mediaff::NewDecoder(outer, phr, CLSID_RealMediaVideoDecoder, "RealMedia Video Decoder", mediaff::DecoderKind::VideoOnly);
}

const AMOVIESETUP_PIN kSplitterPins[] = {
    {u"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, mediaff::kStreamPinTypes},
    {u"Output", FALSE, TRUE, FALSE, TRUE, &CLSID_NULL, nullptr, 2, mediaff::kCompressedPinTypes},
};
const AMOVIESETUP_PIN kAudioPins[] = {
    {u"XForm In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, mediaff::kAudioPinTypes},
    {u"XForm Out", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, mediaff::kAudioPinTypes},
};
const AMOVIESETUP_PIN kVideoPins[] = {
    {u"XForm In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, mediaff::kVideoPinTypes},
    {u"XForm Out", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, mediaff::kVideoPinTypes},
};

const AMOVIESETUP_FILTER kSplitterSetup = {&CLSID_RealMediaSplitter, u"RealMedia SP", MERIT_UNLIKELY, 2, kSplitterPins};
const AMOVIESETUP_FILTER kAudioSetup = {&CLSID_RealMediaAudioDecoder, u"RealMedia Audio Decoder", MERIT_UNLIKELY, 2, kAudioPins};
const AMOVIESETUP_FILTER kVideoSetup = {&CLSID_RealMediaVideoDecoder, u"RealMedia Video Decoder", MERIT_UNLIKELY, 2, kVideoPins};

const CFactoryTemplate g_Templates[] = {
    {u"RealMedia SP", &CLSID_RealMediaSplitter, &NewRealMediaSplitter, nullptr, &kSplitterSetup},
    {u"RealMedia Audio Decoder", &CLSID_RealMediaAudioDecoder, &NewRealMediaAudioDecoder, nullptr, &kAudioSetup},
    {u"RealMedia Video Decoder", &CLSID_RealMediaVideoDecoder, &NewRealMediaVideoDecoder, nullptr, &kVideoSetup},
};
const int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

}  // namespace

MEDIA_DEFINE_MODULE_ENTRY_POINTS(g_Templates, g_cTemplates)
