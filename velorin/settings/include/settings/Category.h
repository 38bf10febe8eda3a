// The output category type, as the application core defines it.
#pragma once

#include "core/ConfigSetting.h"
