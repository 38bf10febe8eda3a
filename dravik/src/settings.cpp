#include "settings.h"

#include <cstring>

namespace dravik {

SettingsValues::SettingsValues() { CopyText(OutputPath, "./output.mpg"); }

void CopyText(Text &dst, const char *src) {
    if (!src) {
        dst[0] = '\0';
        return;
    }
    std::size_t n = strnlen(src, dst.size() - 1);
    std::memcpy(dst.data(), src, n);
    dst[n] = '\0';
}

}  // namespace dravik
