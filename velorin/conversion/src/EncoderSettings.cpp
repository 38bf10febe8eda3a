#include "conversion/EncoderSettings.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/paths.h"

namespace velorin::conv {

namespace {

struct CategoryRow {
    Category category;
    const char *name;
    const char *folder;
};

constexpr std::array<CategoryRow, kCategoryCount> kCategories{{
    {Category::PSP, "PSP", "PSP"},
    {Category::iPod, "iPod", "iPod"},
    {Category::iPhone, "iPhone", "iPhone"},
    {Category::ThreeGP, "ThreeGP", "3GP"},
    {Category::Zune, "Zune", "Zune"},
    {Category::PDA, "PDA", "PDA"},
    {Category::Music, "Music", "Music"},
    {Category::AVI, "AVI", "AVI"},
    {Category::MPEG4, "MPEG4", "MPEG4"},
    {Category::MPEG2, "MPEG2", "MPEG2"},
    {Category::VOB, "VOB", "VOB"},
    {Category::WMV, "WMV", "WMV"},
    {Category::SWF, "SWF", "SWF"},
    {Category::MOV, "MOV", "MOV"},
}};

const CategoryRow &RowOf(Category category) {
    for (const auto &row : kCategories)
        if (row.category == category) return row;
    return kCategories[0];
}

// The record's text fields are plain pointers; the encoder copies the text.
template <class Field>
void SetText(Field &field, const std::string &text) {
    field = const_cast<Field>(text.c_str());
}
template <class Field>
void SetText(Field &field, const char *text) {
    field = const_cast<Field>(text);
}

bool IsPlainFormatCategory(Category c) {
    return c == Category::AVI || c == Category::MPEG4 || c == Category::SWF ||
           c == Category::MPEG2 || c == Category::WMV || c == Category::MOV;
}

std::optional<std::int32_t> Kbps(const std::string &text) {
    auto value = ParseInt32(text);
    if (!value) return std::nullopt;
    const std::int64_t bits = std::int64_t(*value) * 1000;
    if (bits > std::numeric_limits<std::int32_t>::max() ||
        bits < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return std::int32_t(bits);
}

const char kEmpty[] = "";

}  // namespace

const char *CategoryName(Category category) { return RowOf(category).name; }

std::optional<Category> CategoryFromName(const std::string &name) {
    for (const auto &row : kCategories)
        if (name == row.name) return row.category;
    return std::nullopt;
}

bool IsAudioOnly(Category category) { return category == Category::Music; }

OutputKind OutputKindFor(Category category, int videoCode, int outputType) {
    switch (category) {
    case Category::PSP: return {8, ".mp4"};
    case Category::iPod:
    case Category::iPhone: return {9, ".mp4"};
    case Category::ThreeGP: {
        // The extension follows the file type alone; the code needs both.
        const bool g2 = outputType != 0;
        int code = 0;
        if (videoCode == 0 && outputType == 0) code = 12;
        else if (videoCode == 1 && outputType == 0) code = 10;
        else if (videoCode == 0 && outputType == 1) code = 16;
        else if (videoCode == 1 && outputType == 1) code = 14;
        return {code, g2 ? ".3g2" : ".3gp"};
    }
    case Category::Zune:
    case Category::PDA: return videoCode == 0 ? OutputKind{6, ".mp4"} : OutputKind{18, ".wmv"};
    case Category::Music: return videoCode == 0 ? OutputKind{19, ".mp3"} : OutputKind{22, ".wma"};
    case Category::AVI: return {3, ".avi"};
    case Category::MPEG4: return {6, ".mp4"};
    case Category::MPEG2: return {1, ".mpg"};
    case Category::VOB: return {2, ".vob"};
    case Category::WMV: return {18, ".wmv"};
    case Category::SWF: return {4, ".swf"};
    case Category::MOV: return {7, ".mov"};
    }
    return {0, ""};
}

FrameRate FrameRateFromText(const std::string &text) {
    if (text == "29.97") return {30000, 1001};
    if (text == "23.97") return {24000, 1001};
    if (text == "14.985") return {15000, 1001};
    if (text == "25") return {25000, 1000};
    if (text == "30") return {30000, 1000};
    return {30000, 1001};
}

int VolumeScaleOf(int volumePercent) {
    // Position x 2.56 truncated, in integers: exact at every position, with
    // no floating-point rounding near the whole numbers.
    const std::int64_t scaled = std::int64_t(volumePercent) * 256;
    return int(scaled >= 0 ? scaled / 100 : -((-scaled) / 100));
}

std::optional<std::int32_t> ParseInt32(const std::string &text) {
    std::size_t i = 0, n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    while (n > i && std::isspace(static_cast<unsigned char>(text[n - 1]))) --n;
    if (i == n) return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n) return std::nullopt;
    std::int64_t value = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return std::int32_t(value);
}

std::int32_t NextRunningNumber(std::int32_t current, std::int32_t restart) {
    if (current >= std::numeric_limits<std::int32_t>::max() || current < 0) return restart;
    return current + 1;
}

namespace {
std::string Padded(std::int32_t number) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%05d", int(number));
    return buffer;
}
}  // namespace

std::string OutputPathFor(const std::string &folder, Category category, std::int32_t number,
                          const std::string &outputName, const std::string &extension) {
    if (category == Category::PSP) return folder + "M4V" + std::to_string(number) + extension;
    return folder + Padded(number) + "_" + outputName + extension;
}

std::string VobFolderFor(const std::string &folder, std::int32_t number,
                         const std::string &outputName) {
    return folder + Padded(number) + "_" + outputName + "/";
}

std::string DefaultOutputFolderName(Category category) { return RowOf(category).folder; }

std::string DefaultOutputFolder(Category category) {
    return platform::HomeFolder() + "/Tarvextemp/" + DefaultOutputFolderName(category);
}

bool AssembleSettings(const OutputControls &controls, const JobValues &job,
                      const std::string &folder, const std::string &source,
                      RunningNumbers &numbers, AssembledTexts &texts, Mpeg2Parameter &record) {
    if (!controls.category) return false;
    const Category category = *controls.category;
    const OutputKind kind =
        OutputKindFor(category, controls.videoCodeIndex, controls.outputTypeIndex);

    // The output path; the running number is spent here whatever follows.
    if (category == Category::PSP) {
        numbers.pspOutputFilenameIndex =
            NextRunningNumber(numbers.pspOutputFilenameIndex, kPSPIndexStart);
        texts.currentOutput = OutputPathFor(folder, category, numbers.pspOutputFilenameIndex,
                                            job.outputName, kind.extension);
    } else {
        numbers.outputFilenameIndex =
            NextRunningNumber(numbers.outputFilenameIndex, kOutputIndexStart);
        texts.currentOutput =
            category == Category::VOB
                ? VobFolderFor(folder, numbers.outputFilenameIndex, job.outputName)
                : OutputPathFor(folder, category, numbers.outputFilenameIndex, job.outputName,
                                kind.extension);
    }

    // The record's defaults.
    std::memset(&record, 0, sizeof(Mpeg2Parameter));
    SetText(record.SourcePath, kEmpty);
    SetText(record.OutputPath, kEmpty);
    SetText(record.Reserved1, kEmpty);
    SetText(record.Reserved2, kEmpty);
    SetText(record.Title, kEmpty);
    record.OutputType = 1;
    record.FrameRateMode = 2;
    record.AspectRatio = 1;
    record.VbrType = 1;
    record.ChannelMode = 2;
    record.VideoBitsPerSec = 2500000;
    record.AudioBitsPerSec = 128000;
    record.MaxFileSize = static_cast<decltype(record.MaxFileSize)>(3145728000u);
    record.Reserved3 = 0;
    record.FrameRate = 25;
    record.FrameRateBase = 1;
    record.FrameWidth = 320;
    record.FrameHeight = 240;
    record.OutputQuality = 6;
    record.KeepInputRatio = 0;
    record.Reserved4 = 0;
    record.Reversal = 1;
    record.SampleRate = 44100;
    record.VolumeScale = 256;
    record.ThreeGpSize = 3;

    // Fields of every output type.
    SetText(record.SourcePath, source);
    SetText(record.OutputPath, texts.currentOutput);
    record.OutputType = kind.outputType;
    record.FrameRateMode = 1;
    record.AspectRatio = 1;
    const auto quality = ParseInt32(controls.qualityText);
    if (!quality) return false;
    record.OutputQuality = *quality;
    record.KeepInputRatio = 1;
    record.FrameWidth = 320;
    record.FrameHeight = 240;
    record.FrameRate = 30000;
    record.FrameRateBase = 1001;

    if (kind.outputType == 19 || kind.outputType == 22) {
        // Audio only: the video values stay as set above and are ignored.
        const auto audio = Kbps(controls.audioBitText);
        if (!audio) return false;
        record.AudioBitsPerSec = *audio;
        SetText(record.Title, job.title);
        record.ChannelMode = controls.channelsIndex + 1;
        record.VolumeScale = VolumeScaleOf(controls.volume);
        return true;
    }

    // Video outputs.
    record.FrameWidth = controls.width;
    record.FrameHeight = controls.height;
    if (IsPlainFormatCategory(category) && controls.resolutionIndex == 0) {
        record.FrameWidth = job.videoWidth;
        record.FrameHeight = job.videoHeight;
    }
    const FrameRate rate = FrameRateFromText(controls.frameRateText);
    record.FrameRate = rate.rate;
    record.FrameRateBase = rate.base;
    const auto video = Kbps(controls.videoBitText);
    if (!video) return false;
    record.VideoBitsPerSec = *video;
    const auto audio = Kbps(controls.audioBitText);
    if (!audio) return false;
    record.AudioBitsPerSec = *audio;
    record.ChannelMode = controls.channelsIndex + 1;
    record.VolumeScale = VolumeScaleOf(controls.volume);
    record.KeepInputRatio = controls.keepAspectIndex != 0 ? 1 : 0;
    SetText(record.Title, job.title);
    return true;
}

}  // namespace velorin::conv
