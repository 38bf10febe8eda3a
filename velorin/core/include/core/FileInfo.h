// FileInfo lives with the job list.
#pragma once
#include "core/VideoFileList.h"
