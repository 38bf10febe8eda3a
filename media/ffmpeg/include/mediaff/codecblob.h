// The codec description a compressed stream carries from the splitter to the
// decoder: the stream's AVCodecParameters (with extradata) and its packet
// time base, flattened into bytes so it can ride at the end of a media
// type's format block and be copied with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mediaff/owners.h"

namespace mediaff {

std::vector<std::uint8_t> SerializeCodecParameters(const AVCodecParameters *par);
// Fills `out` (allocated by the caller) from a blob; false when the bytes
// are not a complete, well-formed blob.
bool ParseCodecParameters(const std::uint8_t *data, std::size_t size, AVCodecParameters *out);

}  // namespace mediaff
