// What an output file reports about itself, read back after conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velorin::conv {

struct ProbedOutput {
    std::uint64_t bytes = 0;
    std::optional<double> duration;  // seconds, as the container reports it
};

// Empty when the file does not exist. A file the demuxer cannot read gives
// its size and no duration.
std::optional<ProbedOutput> ProbeOutputFile(const std::string &path);

}  // namespace velorin::conv
