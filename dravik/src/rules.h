// The encoder's pure rules, kept apart from the FFmpeg objects so they can
// be checked on their own: output naming, frame size, letterbox geometry,
// frame pacing, volume and the band fill of the black bars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dravik {

// ---- output naming ------------------------------------------------------
struct NameParts {
    std::string prefix;
    std::string extension;
};
// Splits OutputPath for OutputType. Type 2 treats the path as a folder and
// writes MPEG2_<n>.vob into it. Other types split at the last '.'; false when
// there is none, when it is the first character, or when the type is
// outside 1..22.
bool ComputeNameParts(const std::string &outputPath, std::int32_t outputType, NameParts *parts);
// The name of file number n (1-based): type 2 is always numbered; the others
// carry the number from the second file on (clip.avi, clip2.avi, ...).
std::string ComposeOutputName(const NameParts &parts, std::int32_t outputType, std::int32_t fileNumber);

// ---- frame size ---------------------------------------------------------
// 2 * r(x * 0.5) in single precision, r rounding half down.
std::int32_t EvenDown(std::int32_t x);
// Encoded frame size by AspectRatio; false for an unlisted rule (the size is
// then left as the encoder context holds it).
bool FrameSizeByAspect(std::int32_t aspect, std::int32_t w, std::int32_t h, std::int32_t *outW, std::int32_t *outH);

struct Letterbox {
    std::int32_t padLeft = 0, padRight = 0, padTop = 0, padBottom = 0;
    bool resize = false;
};
Letterbox ComputeLetterbox(bool keepInputRatio, std::int32_t outW, std::int32_t outH, std::int32_t inW, std::int32_t inH);

// ---- pacing -------------------------------------------------------------
// How many times a picture starting at `start` (100 ns, relative to the
// rebase) is encoded when `encoded` pictures went to the encoder at a frame
// duration of num/den seconds: 0 drops it, more than 1 repeats it.
int PacingCopies(std::int64_t sinceBase, int tbNum, int tbDen, std::int64_t encoded);

// ---- audio volume ---------------------------------------------------------
// Scales interleaved signed 16-bit samples in place by v/256 with rounding
// and clamping; 256 leaves the buffer untouched.
void ApplyVolume(std::int16_t *samples, std::size_t count, std::int32_t v);

// ---- black bars -----------------------------------------------------------
// Fills the bars of one plane (width x height in the plane's own samples,
// rows lineSize bytes apart) around its inner rectangle: `top` rows above
// and below it, `left` columns left and right of it. Works with any line
// size (rows padded for alignment keep their padding untouched).
void FillBands(std::uint8_t *plane, int lineSize, int width, int height, int top, int left, std::uint8_t colour);

}  // namespace dravik
