// The application core in one include: job list (core/VideoFileList.h),
// output categories and profile store (core/ConfigSetting.h), settings and
// start-up/shut-down (core/SysConfigure.h), the dialog service
// (core/DialogService.h).
#pragma once

#include "core/ConfigSetting.h"
#include "core/DialogService.h"
#include "core/SysConfigure.h"
#include "core/VideoFileList.h"
