#include "rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "contract/mpeg2parameter.h"

namespace dravik {

bool ComputeNameParts(const std::string &outputPath, std::int32_t outputType, NameParts *parts) {
    if (!OutputTypes::IsValid(outputType)) return false;
    if (outputType == OutputTypes::DvdVob) {
        parts->extension = ".vob";
        parts->prefix = outputPath;
        if (parts->prefix.empty() || parts->prefix.back() != '/') parts->prefix += '/';
        parts->prefix += "MPEG2_";
        return true;
    }
    std::size_t dot = outputPath.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    parts->prefix = outputPath.substr(0, dot);
    parts->extension = outputPath.substr(dot);
    return true;
}

std::string ComposeOutputName(const NameParts &parts, std::int32_t outputType, std::int32_t fileNumber) {
    if (outputType != OutputTypes::DvdVob && fileNumber == 1) return parts.prefix + parts.extension;
    return parts.prefix + std::to_string(fileNumber) + parts.extension;
}

std::int32_t EvenDown(std::int32_t x) {
    float y = static_cast<float>(x) * 0.5f;
    float f = std::floor(y);
    float r = (y - f > 0.5f) ? f + 1.0f : f;
    return static_cast<std::int32_t>(2.0f * r);
}

bool FrameSizeByAspect(std::int32_t aspect, std::int32_t w, std::int32_t h, std::int32_t *outW, std::int32_t *outH) {
    std::int32_t width = EvenDown(w);
    switch (aspect) {
    case AspectRatios::AsGiven: *outW = width; *outH = EvenDown(h); return true;
    case AspectRatios::FourThree: *outW = width; *outH = EvenDown(width * 3 / 4); return true;
    case AspectRatios::SixteenNine: *outW = width; *outH = EvenDown(width * 9 / 16); return true;
    case AspectRatios::Square: *outW = width; *outH = width; return true;
    default: return false;
    }
}

Letterbox ComputeLetterbox(bool keepInputRatio, std::int32_t outW, std::int32_t outH, std::int32_t inW, std::int32_t inH) {
    Letterbox lb;
    if (!keepInputRatio) {
        lb.resize = outW != inW || outH != inH;
        return lb;
    }
    if (outW == inW && outH == inH) return lb;
    lb.resize = true;
    if (inW <= 0 || inH <= 0) return lb;
    double rW = static_cast<double>(outW) / inW;
    double rH = static_cast<double>(outH) / inH;
    double s = rW > rH ? rH : rW;
    auto sw = static_cast<std::int32_t>(2 * std::trunc(inW * s * 0.5));
    auto sh = static_cast<std::int32_t>(2 * std::trunc(inH * s * 0.5));
    lb.padLeft = lb.padRight = static_cast<std::int32_t>(2 * std::trunc(std::abs(outW - sw) * 0.25));
    lb.padTop = lb.padBottom = static_cast<std::int32_t>(2 * std::trunc(std::abs(outH - sh) * 0.25));
    return lb;
}

int PacingCopies(std::int64_t sinceBase, int tbNum, int tbDen, std::int64_t encoded) {
    if (tbNum <= 0 || tbDen <= 0) return 1;
    long double g = (static_cast<long double>(sinceBase) * 1e-7L) /
                        (static_cast<long double>(tbNum) / static_cast<long double>(tbDen)) -
                    static_cast<long double>(encoded);
    if (g < -1.1L) return 0;
    if (g <= 1.1L) return 1;
    float gf = static_cast<float>(g);
    float f = std::floor(gf);
    float r = (gf - f > 0.5f) ? f + 1.0f : f;
    // A gap of hours (a broken time stamp) must not turn into millions of
    // copies; a minute of repeated pictures is already far past any real gap.
    return static_cast<int>(std::min(r, 60.0f * 60.0f));
}

void ApplyVolume(std::int16_t *samples, std::size_t count, std::int32_t v) {
    if (v == 256) return;
    for (std::size_t i = 0; i < count; ++i) {
        std::int64_t s = (static_cast<std::int64_t>(samples[i]) * v + 128) >> 8;
        samples[i] = static_cast<std::int16_t>(std::clamp<std::int64_t>(s, -32768, 32767));
    }
}

void FillBands(std::uint8_t *plane, int L, int width, int height, int top, int left, std::uint8_t c) {
    top = std::clamp(top, 0, height / 2);
    left = std::clamp(left, 0, width / 2);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = plane + static_cast<std::ptrdiff_t>(L) * y;
        if (y < top || y >= height - top) {
            std::memset(row, c, static_cast<std::size_t>(width));
        } else if (left) {
            std::memset(row, c, static_cast<std::size_t>(left));
            std::memset(row + width - left, c, static_cast<std::size_t>(left));
        }
    }
}

}  // namespace dravik
