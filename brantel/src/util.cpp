#include "util.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace brantel {

std::int64_t SecondsToRefTime(double seconds) {
    const double units = seconds * 10000000.0;
    if (std::isnan(units)) return 0;
    // 2^63 is exactly representable; anything at or beyond it overflows.
    constexpr double kLimit = 9223372036854775808.0;
    if (units >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (units <= -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(units);  // truncates toward zero
}

double RefTimeToSeconds(std::int64_t refTime) { return static_cast<double>(refTime) * 1e-7; }

std::optional<std::string> LowerExtension(const char *path) {
    if (!path) return std::nullopt;
    const char *dot = std::strrchr(path, '.');
    if (!dot || dot == path) return std::nullopt;
    std::string ext(dot + 1);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

namespace {
std::uint32_t ReadU32(const std::uint8_t *p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
void PutU32(std::uint8_t *p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}
}  // namespace

bool BuildBitmapFileHeader(const std::uint8_t *image, std::size_t size, std::uint8_t out[14]) {
    // The bit count sits at offset 14 of the bitmap header.
    if (!image || size < 16) return false;
    const std::uint64_t fileSize = std::uint64_t(size) + 14;
    if (fileSize > 0xFFFFFFFFull) return false;
    const std::uint32_t headerSize = ReadU32(image);
    const std::uint16_t bitCount = std::uint16_t(image[14] | image[15] << 8);
    const std::uint64_t colours = bitCount <= 8 ? (std::uint64_t(1) << bitCount) : 0;
    const std::uint64_t offset = 14 + std::uint64_t(headerSize) + 4 * colours;
    if (offset > 0xFFFFFFFFull) return false;
    out[0] = 'B';
    out[1] = 'M';
    PutU32(out + 2, std::uint32_t(fileSize));
    std::memset(out + 6, 0, 4);
    PutU32(out + 10, std::uint32_t(offset));
    return true;
}

bool WriteBitmapFile(const char *path, const std::uint8_t *image, std::size_t size) {
    std::uint8_t header[14];
    if (!path || !*path || !BuildBitmapFileHeader(image, size, header)) return false;
    std::FILE *f = std::fopen(path, "w+b");
    if (!f) return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
              std::fwrite(image, 1, size, f) == size;
    // A full disk often shows only when the buffers are flushed.
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    // Leave no half-written picture behind; never touch anything but a
    // regular file (the path may name a device).
    struct stat st;
    if (!ok && ::stat(path, &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path);
    return ok;
}

std::string ObjectTableItemName(const void *graph, std::uint32_t pid) {
    char text[96];
    std::snprintf(text, sizeof text, "FilterGraph %08llX pid %08x",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(graph)), pid);
    return text;
}

}  // namespace brantel
