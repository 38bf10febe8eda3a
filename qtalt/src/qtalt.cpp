// qtalt.ax: "CyberlinkQuicktimeSource", the source the graph library adds
// for .mov files: loaded with a path through IFileSourceFilter, it reads the
// file itself and offers one output pin per video and audio stream (the
// framework's FFmpeg splitter in its own-file mode).
#include "media/registration.h"
#include "mediaff/filters.h"

namespace {

constexpr CLSID CLSID_CyberlinkQuicktimeSource{0xE41C6AFE, 0x738D, 0x4A56, {0x95, 0x7C, 0xC3, 0x52, 0xF4, 0x1B, 0x32, 0x75}};

CUnknown *NewQuickTimeSource(LPUNKNOWN outer, HRESULT *phr) {
    return mediaff::NewSplitter(outer, phr, CLSID_CyberlinkQuicktimeSource, "CyberlinkQuicktimeSource", true);
}

const AMOVIESETUP_PIN kPins[] = {
    {u"Output", FALSE, TRUE, FALSE, TRUE, &CLSID_NULL, nullptr, 2, mediaff::kCompressedPinTypes},
};
const AMOVIESETUP_FILTER kSetup = {&CLSID_CyberlinkQuicktimeSource, u"CyberlinkQuicktimeSource", MERIT_UNLIKELY, 1, kPins};

const CFactoryTemplate g_Templates[] = {
    {u"CyberlinkQuicktimeSource", &CLSID_CyberlinkQuicktimeSource, &NewQuickTimeSource, nullptr, &kSetup},
};
const int g_cTemplates = 1;

}  // namespace

MEDIA_DEFINE_MODULE_ENTRY_POINTS(g_Templates, g_cTemplates)
