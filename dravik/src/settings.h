// The encoder's settings block: one value per delivered field of the
// settings record, four 1024-byte text buffers, and the filter's defaults.
//
// The block is written by IFFEncoderSettings on the application thread and
// read by the streaming threads (VolumeScale, MaxFileSize and Reversal per
// sample, everything at a build or a file split), so every access goes
// through its own small mutex; Snapshot() gives a build a consistent copy.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

#include "contract/mpeg2parameter.h"

namespace dravik {

using Text = std::array<char, kEncoderTextSize>;

struct SettingsValues {
    std::int32_t OutputType = 1;
    Text OutputPath{};
    std::int32_t MaxFileSize = 1062207488;  // 1013 MiB
    std::int32_t FrameRate = 25;
    std::int32_t FrameRateBase = 1;
    std::int32_t FrameRateMode = 2;
    std::int32_t AspectRatio = 1;
    std::int32_t VbrType = 1;
    std::int32_t VideoBitsPerSec = 2500000;
    std::int32_t ChannelMode = 2;
    std::int32_t AudioBitsPerSec = 128000;
    std::int32_t SampleRate = 44100;
    std::int32_t VolumeScale = 256;
    std::int32_t FrameWidth = 0;
    std::int32_t FrameHeight = 0;
    std::int32_t KeepInputRatio = 0;
    std::int32_t Reversal = 1;
    std::int32_t Reserved4 = 0;
    std::int32_t OutputQuality = 6;
    Text Reserved1{};
    Text Title{};
    Text Reserved2{};
    std::int32_t ThreeGpSize = 3;

    SettingsValues();
};

// Copies zero-terminated text into a 1024-byte buffer, keeping at most 1023
// characters (longer text is truncated). A null source stores "".
void CopyText(Text &dst, const char *src);

class SettingsBlock {
public:
    SettingsValues Snapshot() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_;
    }
    // Runs `fn(values)` under the block's mutex.
    template <class Fn>
    auto With(Fn &&fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        return fn(values_);
    }
    template <class Fn>
    auto With(Fn &&fn) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return fn(values_);
    }
    std::int32_t VolumeScale() const { return With([](const SettingsValues &v) { return v.VolumeScale; }); }
    std::int32_t MaxFileSize() const { return With([](const SettingsValues &v) { return v.MaxFileSize; }); }
    std::int32_t Reversal() const { return With([](const SettingsValues &v) { return v.Reversal; }); }
    void ClearReversal() { With([](SettingsValues &v) { v.Reversal = 0; }); }
    void SetInputSize(std::int32_t w, std::int32_t h) {
        With([&](SettingsValues &v) { v.FrameWidth = w; v.FrameHeight = h; });
    }

private:
    mutable std::mutex mutex_;
    SettingsValues values_;
};

}  // namespace dravik
