// Turning the main window's output controls and one job into the encoder
// settings record and the output path.
//
// Everything here is a pure function over plain values, so the rules can be
// checked without windows or a media graph. The conversion window reads the
// controls once per job (ControlsReader.h) and calls AssembleSettings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "contract/mpeg2parameter.h"

namespace velorin::conv {

enum class Category {
    PSP, iPod, iPhone, ThreeGP, Zune, PDA, Music,
    AVI, MPEG4, MPEG2, VOB, WMV, SWF, MOV,
};
constexpr int kCategoryCount = 14;

// "PSP", "iPod", ... as the category buttons are named after them ("Btn" + name).
const char *CategoryName(Category category);
std::optional<Category> CategoryFromName(const std::string &name);

// The values of the main window's output-settings controls.
struct OutputControls {
    std::optional<Category> category;  // the one disabled category button
    int resolutionIndex = 0;           // cbbResolution item index
    int width = 320;                   // WidthBit
    int height = 240;                  // HeightBit
    std::string frameRateText;         // cbbFrameRate text
    std::string videoBitText = "900";  // edtVideoBit text, kbps
    std::string audioBitText = "96";   // edtAudioBit text, kbps
    int channelsIndex = 1;             // cbbChannels: 0 mono, 1 stereo
    int volume = 100;                  // trckbrVolume position, percent
    int keepAspectIndex = 1;           // cbbKeepAspect: 0 "False"
    int videoCodeIndex = 0;            // cbbVideoCode item index
    int outputTypeIndex = 0;           // cbbOutoutType item index
    std::string qualityText = "3";     // iQuality text
};

// What AssembleSettings needs of the current job.
struct JobValues {
    std::string outputName;
    std::string title;
    int videoWidth = 0;
    int videoHeight = 0;
};

struct OutputKind {
    int outputType = 0;     // the encoder's output type code; 0 when nothing matched
    std::string extension;  // with the dot
};
OutputKind OutputKindFor(Category category, int videoCodeIndex, int outputTypeIndex);

struct FrameRate {
    int rate;
    int base;
};
FrameRate FrameRateFromText(const std::string &text);

// Position 0..200 in percent to gain in 1/256 steps, rounded down.
int VolumeScaleOf(int volumePercent);

// A decimal integer, optionally signed and surrounded by blanks; nothing
// else. Empty when the text is not one or does not fit 32 bits.
std::optional<std::int32_t> ParseInt32(const std::string &text);

// The running numbers grow by one per job. At the end of the 32-bit range
// they start again at the value a fresh installation starts from, so a name
// is never built from a wrapped negative number.
constexpr std::int32_t kPSPIndexStart = 20001;
constexpr std::int32_t kOutputIndexStart = 1;
std::int32_t NextRunningNumber(std::int32_t current, std::int32_t restart);

// The output name of a job: "M4V<n>.mp4" for PSP, otherwise the number
// padded to five digits, "_", the job's output name and the extension.
// The folder must end with its separator.
std::string OutputPathFor(const std::string &folder, Category category, std::int32_t number,
                          const std::string &outputName, const std::string &extension);

// VOB output: the encoder writes numbered MPEG2_<n>.vob files into a
// folder. Each job gets a folder of its own, named as the file would be
// without the extension, so jobs never overwrite each other's pieces.
std::string VobFolderFor(const std::string &folder, std::int32_t number,
                         const std::string &outputName);

// Where a category's output goes by default: ~/Tarvextemp/<sub>, no
// trailing separator.
std::string DefaultOutputFolder(Category category);
std::string DefaultOutputFolderName(Category category);  // "PSP", "3GP", ...

// The running numbers of the system settings, incremented in place.
struct RunningNumbers {
    std::int32_t pspOutputFilenameIndex = kPSPIndexStart;
    std::int32_t outputFilenameIndex = kOutputIndexStart;
};

// The texts the record points at. They must outlive the record's use (the
// encoder copies them when it takes the settings).
struct AssembledTexts {
    std::string currentOutput;  // what the encoder is given as OutputPath
};

// Fills `record` for the job. `folder` ends with its separator. The record
// points at `source`, at `job.title` and at `texts.currentOutput` (which
// receives the output path), so all three must outlive its use. The running number is consumed as soon as
// the category is known, also when a later step fails. False when a control
// holds a text that is not an integer (or a bit rate beyond 32 bits); the
// record must then not be used.
bool AssembleSettings(const OutputControls &controls, const JobValues &job,
                      const std::string &folder, const std::string &source,
                      RunningNumbers &numbers,
                      AssembledTexts &texts, Mpeg2Parameter &record);

bool IsAudioOnly(Category category);

}  // namespace velorin::conv
