// The stock renderers of the framework (built-in classes, creatable with
// CoCreateInstance):
//   CLSID_VideoRenderer  "Video Renderer": RGB32 and RGB24 input; paints the
//                        video surface (platform::CreateVideoSurface), keeps
//                        the current picture for IBasicVideo::GetCurrentImage;
//                        offers IVideoWindow, IBasicVideo, IMediaSeeking.
//   CLSID_DSoundRender   "Default DirectSound Device": 16-bit PCM input,
//                        clocked, silent (no sound device is used); offers
//                        IBasicAudio and IMediaSeeking.
//   CLSID_NullRenderer   "Null Renderer": accepts any type, discards samples
//                        (paced by the clock when there is one).
// Each has one input pin named "In" (a CRenderedInputPin): it reports
// EC_COMPLETE at end of stream.
#pragma once

#include "media/mtypes.h"

inline constexpr const char16_t *kVideoRendererName = u"Video Renderer";
inline constexpr const char16_t *kAudioRendererName = u"Default DirectSound Device";
inline constexpr const char16_t *kNullRendererName = u"Null Renderer";
