// Small pure helpers of the graph library: time conversion, extensions,
// the bitmap file header, the object-table item name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brantel {

// Seconds to 100-ns units, truncated toward zero (-0.5 s gives -5,000,000).
// Values beyond the 64-bit range (and NaN) are clamped rather than left to
// the undefined float-to-integer conversion.
std::int64_t SecondsToRefTime(double seconds);
double RefTimeToSeconds(std::int64_t refTime);

// The lower-cased text after the last '.' of the path (possibly empty);
// nothing when the path has no dot or its last dot is its first character.
// UTF-8 safe: '.' never occurs inside a multi-byte sequence.
std::optional<std::string> LowerExtension(const char *path);

// Longest path the source loader takes (the platform's own limit).
constexpr std::size_t kMaxPathBytes = 4096;

// The 14-byte bitmap file header for a packed device-independent bitmap
// (header, colour table, pixels) of `size` bytes. False when the data is too
// short to hold a bitmap header or its sizes do not fit the file format.
bool BuildBitmapFileHeader(const std::uint8_t *image, std::size_t size, std::uint8_t out[14]);

// Writes the header and the image to `path` (replaced). False when the file
// cannot be created or fully written; a partly written file is removed.
bool WriteBitmapFile(const char *path, const std::uint8_t *image, std::size_t size);

// "FilterGraph %08p pid %08x" for the running object table.
std::string ObjectTableItemName(const void *graph, std::uint32_t pid);

}  // namespace brantel
