// Shared helpers of media/src (not installed).
#pragma once

#include <vector>

#include "media/baseclasses.h"
#include "media/registration.h"

void MediaRegisterClockBuiltin();

// Pins of a filter, each with a reference.
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter *filter);
PIN_DIRECTION DirectionOf(IPin *pin);
bool IsPinConnected(IPin *pin);
// The filter owning `pin` (with a reference), or null.
ComPtr<IBaseFilter> OwnerOf(IPin *pin);
// No output pins, or flagged as renderer.
bool IsRendererFilter(IBaseFilter *filter);
