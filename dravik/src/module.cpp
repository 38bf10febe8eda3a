// dravik.ax: the COM in-process server of the encoder filter. FFmpeg 5.1
// needs no global start-up or clean-up (codecs and formats are registered
// statically), so the module entry only has the framework's handling.
#include "contract/mpeg2parameter.h"
#include "filter.h"
#include "media/registration.h"

namespace {

const REGPINTYPES kVideoPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGPINTYPES kAudioPinTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_NULL}};

const AMOVIESETUP_PIN kPins[] = {
    {u"Video Input Pin", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, u"Output", 1, kVideoPinTypes},
    {u"Audio Input Pin", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, u"Output", 1, kAudioPinTypes},
};

const AMOVIESETUP_FILTER kFilterSetup = {&CLSID_FFEncoder, u"Dravik", MERIT_DO_NOT_USE, 2, kPins};

const CFactoryTemplate g_Templates[] = {
    {u"Dravik", &CLSID_FFEncoder, &dravik::EncoderObject::CreateInstance, nullptr, &kFilterSetup},
};
const int g_cTemplates = 1;

}  // namespace

MEDIA_DEFINE_MODULE_ENTRY_POINTS(g_Templates, g_cTemplates)
