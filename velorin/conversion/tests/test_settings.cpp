// Encoder settings assembly and output naming, as pure functions.
#include <gtest/gtest.h>

#include <QDir>
#include <cstring>
#include <limits>

#include "conversion/ControlsReader.h"
#include "conversion/EncoderSettings.h"
#include "support.h"

using namespace velorin::conv;

namespace {

struct Assembled {
    bool ok;
    Mpeg2Parameter record;
    std::string output;
    RunningNumbers numbers;
};

// The record points into these; they live as long as the test's Assembled.
struct Inputs {
    OutputControls controls;
    JobValues job{"holiday", "Holiday Title", 720, 576};
    std::string folder = "/out/";
    std::string source = "/media/holiday.avi";
    RunningNumbers numbers;
    AssembledTexts texts;

    Assembled Run() {
        Assembled a{};
        a.ok = AssembleSettings(controls, job, folder, source, numbers, texts, a.record);
        a.output = texts.currentOutput;
        a.numbers = numbers;
        return a;
    }
};

OutputControls For(Category category) {
    OutputControls c;
    c.category = category;
    return c;
}

}  // namespace

TEST(OutputKind, EveryCategoryAndChoice) {
    struct Row {
        Category category;
        int codec, type;
        int code;
        const char *extension;
    };
    const Row rows[] = {
        {Category::PSP, 0, 0, 8, ".mp4"},     {Category::iPod, 0, 0, 9, ".mp4"},
        {Category::iPhone, 0, 0, 9, ".mp4"},  {Category::ThreeGP, 0, 0, 12, ".3gp"},
        {Category::ThreeGP, 1, 0, 10, ".3gp"}, {Category::ThreeGP, 0, 1, 16, ".3g2"},
        {Category::ThreeGP, 1, 1, 14, ".3g2"}, {Category::Zune, 0, 0, 6, ".mp4"},
        // Zune and PDA follow the codec only: codec 1 with type 0 is WMV.
        {Category::Zune, 1, 0, 18, ".wmv"},   {Category::PDA, 0, 1, 6, ".mp4"},
        {Category::PDA, 1, 1, 18, ".wmv"},    {Category::Music, 0, 0, 19, ".mp3"},
        {Category::Music, 1, 1, 22, ".wma"},  {Category::AVI, 0, 0, 3, ".avi"},
        {Category::MPEG4, 0, 0, 6, ".mp4"},   {Category::MPEG2, 0, 0, 1, ".mpg"},
        {Category::VOB, 0, 0, 2, ".vob"},     {Category::WMV, 0, 0, 18, ".wmv"},
        {Category::SWF, 0, 0, 4, ".swf"},     {Category::MOV, 0, 0, 7, ".mov"},
    };
    for (const Row &row : rows) {
        const OutputKind kind = OutputKindFor(row.category, row.codec, row.type);
        EXPECT_EQ(kind.outputType, row.code) << CategoryName(row.category) << row.codec << row.type;
        EXPECT_EQ(kind.extension, row.extension) << CategoryName(row.category);
    }
}

TEST(FrameRateText, TableAndFallback) {
    struct Row {
        const char *text;
        int rate, base;
    };
    const Row rows[] = {{"29.97", 30000, 1001}, {"23.97", 24000, 1001}, {"14.985", 15000, 1001},
                        {"25", 25000, 1000},    {"30", 30000, 1000},    {"", 30000, 1001},
                        {"25.0", 30000, 1001},  {" 25", 30000, 1001}};
    for (const Row &row : rows) {
        const FrameRate r = FrameRateFromText(row.text);
        EXPECT_EQ(r.rate, row.rate) << row.text;
        EXPECT_EQ(r.base, row.base) << row.text;
    }
}

TEST(VolumeScale, PercentTo256ths) {
    const std::pair<int, int> rows[] = {{0, 0}, {1, 2}, {50, 128}, {99, 253},
                                        {100, 256}, {150, 384}, {200, 512}};
    for (auto [percent, scale] : rows) EXPECT_EQ(VolumeScaleOf(percent), scale) << percent;
}

TEST(ParseInt32, OnlyDecimalIntegers) {
    EXPECT_EQ(ParseInt32("900"), 900);
    EXPECT_EQ(ParseInt32(" 96 "), 96);
    EXPECT_EQ(ParseInt32("-5"), -5);
    EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    for (const char *bad : {"", " ", "abc", "12a", "1.5", "2147483648", "+", "0x10", "1 2"})
        EXPECT_FALSE(ParseInt32(bad)) << bad;
}

TEST(OutputNames, RunningNumbersAndPadding) {
    struct Row {
        Category category;
        std::int32_t before;
        const char *name;
        const char *expected;
    };
    const Row rows[] = {
        {Category::AVI, 11, "holiday", "/out/00012_holiday.avi"},
        {Category::MPEG2, 41, "x", "/out/00042_x.mpg"},
        {Category::AVI, 9999, "a", "/out/10000_a.avi"},
        {Category::AVI, 99999, "a", "/out/100000_a.avi"},
        // The name is used as it is, blanks and dots included.
        {Category::MOV, 0, "my clip.v2", "/out/00001_my clip.v2.mov"},
    };
    for (const Row &row : rows) {
        Inputs in;
        in.controls = For(row.category);
        in.job.outputName = row.name;
        in.numbers.outputFilenameIndex = row.before;
        const Assembled a = in.Run();
        EXPECT_TRUE(a.ok);
        EXPECT_EQ(a.output, row.expected);
        EXPECT_STREQ(a.record.OutputPath, row.expected);
        EXPECT_EQ(a.numbers.outputFilenameIndex, row.before + 1);
        EXPECT_EQ(a.numbers.pspOutputFilenameIndex, kPSPIndexStart) << "PSP number untouched";
    }
}

TEST(OutputNames, PspUsesItsOwnNumber) {
    Inputs in;
    in.controls = For(Category::PSP);
    in.folder = QDir::homePath().toStdString() + "/Tarvextemp/PSP/";
    in.numbers.pspOutputFilenameIndex = 20001;
    in.numbers.outputFilenameIndex = 7;
    const Assembled a = in.Run();
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.output, in.folder + "M4V20002.mp4");
    EXPECT_EQ(a.numbers.pspOutputFilenameIndex, 20002);
    EXPECT_EQ(a.numbers.outputFilenameIndex, 7);
    EXPECT_EQ(a.record.OutputType, 8);
}

TEST(OutputNames, VobJobsGetAFolderEach) {
    Inputs in;
    in.controls = For(Category::VOB);
    in.numbers.outputFilenameIndex = 11;
    const Assembled a = in.Run();
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.output, "/out/00012_holiday/");
    EXPECT_EQ(a.record.OutputType, 2);
    Inputs second = in;
    second.numbers = a.numbers;
    EXPECT_EQ(second.Run().output, "/out/00013_holiday/");
}

TEST(OutputNames, RunningNumberStartsAgainAtTheEndOfItsRange) {
    EXPECT_EQ(NextRunningNumber(std::numeric_limits<std::int32_t>::max(), kOutputIndexStart), 1);
    EXPECT_EQ(NextRunningNumber(-3, kPSPIndexStart), kPSPIndexStart);
    EXPECT_EQ(NextRunningNumber(20001, kPSPIndexStart), 20002);
}

TEST(DefaultFolders, UnderTheHomeFolder) {
    const std::string home = QDir::homePath().toStdString() + "/Tarvextemp/";
    EXPECT_EQ(DefaultOutputFolder(Category::PSP), home + "PSP");
    EXPECT_EQ(DefaultOutputFolder(Category::ThreeGP), home + "3GP");
    EXPECT_EQ(DefaultOutputFolder(Category::Music), home + "Music");
    EXPECT_EQ(DefaultOutputFolder(Category::MPEG4), home + "MPEG4");
}

TEST(Assemble, VideoRecordFromControls) {
    Inputs in;
    in.controls = For(Category::iPod);
    in.controls.resolutionIndex = 0;  // an iPod profile's item 0 is a real size
    in.controls.width = 320;
    in.controls.height = 240;
    in.controls.frameRateText = "14.985";
    in.controls.videoBitText = "768";
    in.controls.audioBitText = "128";
    in.controls.channelsIndex = 0;
    in.controls.volume = 150;
    in.controls.keepAspectIndex = 0;
    in.controls.qualityText = "4";
    const Assembled a = in.Run();
    ASSERT_TRUE(a.ok);
    const Mpeg2Parameter &r = a.record;
    EXPECT_EQ(r.SourcePath, in.source.c_str());
    EXPECT_EQ(r.OutputPath, in.texts.currentOutput.c_str());
    EXPECT_EQ(r.Title, in.job.title.c_str());
    EXPECT_STREQ(r.Reserved1, "");
    EXPECT_STREQ(r.Reserved2, "");
    EXPECT_EQ(r.OutputType, 9);
    EXPECT_EQ(r.FrameRateMode, 1);
    EXPECT_EQ(r.AspectRatio, 1);
    EXPECT_EQ(r.VbrType, 1);
    EXPECT_EQ(r.ChannelMode, 1);
    EXPECT_EQ(r.VideoBitsPerSec, 768000);
    EXPECT_EQ(r.AudioBitsPerSec, 128000);
    EXPECT_LT(r.MaxFileSize, 0) << "no size limit";
    EXPECT_EQ(std::uint32_t(r.MaxFileSize), 3145728000u);
    EXPECT_EQ(r.Reserved3, 0);
    EXPECT_EQ(r.FrameRate, 15000);
    EXPECT_EQ(r.FrameRateBase, 1001);
    EXPECT_EQ(r.FrameWidth, 320);
    EXPECT_EQ(r.FrameHeight, 240);
    EXPECT_EQ(r.OutputQuality, 4);
    EXPECT_EQ(r.KeepInputRatio, 0);
    EXPECT_EQ(r.Reserved4, 0);
    EXPECT_EQ(r.Reversal, 1);
    EXPECT_EQ(r.Padding, 0);
    EXPECT_EQ(r.SampleRate, 44100);
    EXPECT_EQ(r.VolumeScale, 384);
    EXPECT_EQ(r.ThreeGpSize, 3);
    EXPECT_EQ(r.Unused, 0);
}

TEST(Assemble, OriginalSizeOnlyForThePlainFormats) {
    for (Category c : {Category::AVI, Category::MPEG4, Category::MPEG2, Category::WMV,
                       Category::SWF, Category::MOV, Category::PSP, Category::Zune}) {
        Inputs in;
        in.controls = For(c);
        in.controls.resolutionIndex = 0;
        in.controls.width = 400;
        in.controls.height = 192;
        const Assembled a = in.Run();
        ASSERT_TRUE(a.ok);
        const bool plain = c != Category::PSP && c != Category::Zune;
        EXPECT_EQ(a.record.FrameWidth, plain ? 720 : 400) << CategoryName(c);
        EXPECT_EQ(a.record.FrameHeight, plain ? 576 : 192) << CategoryName(c);
    }
    Inputs custom;
    custom.controls = For(Category::AVI);
    custom.controls.resolutionIndex = 1;  // "Costom Size"
    custom.controls.width = 640;
    custom.controls.height = 360;
    const Assembled a = custom.Run();
    EXPECT_EQ(a.record.FrameWidth, 640);
    EXPECT_EQ(a.record.FrameHeight, 360);
}

TEST(Assemble, MusicKeepsTheVideoDefaults) {
    Inputs in;
    in.controls = For(Category::Music);
    in.controls.videoCodeIndex = 1;  // "MS Media Audio"
    in.controls.outputTypeIndex = 1;
    in.controls.videoBitText = "0";
    in.controls.width = 0;
    in.controls.height = 0;
    in.controls.audioBitText = "64";
    in.controls.channelsIndex = 0;
    in.controls.volume = 50;
    in.controls.keepAspectIndex = 0;
    const Assembled a = in.Run();
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.output, "/out/00002_holiday.wma");
    EXPECT_EQ(a.record.OutputType, 22);
    EXPECT_EQ(a.record.VideoBitsPerSec, 2500000);
    EXPECT_EQ(a.record.AudioBitsPerSec, 64000);
    EXPECT_EQ(a.record.KeepInputRatio, 1);
    EXPECT_EQ(a.record.FrameWidth, 320);
    EXPECT_EQ(a.record.FrameHeight, 240);
    EXPECT_EQ(a.record.FrameRate, 30000);
    EXPECT_EQ(a.record.FrameRateBase, 1001);
    EXPECT_EQ(a.record.ChannelMode, 1);
    EXPECT_EQ(a.record.VolumeScale, 128);
    EXPECT_STREQ(a.record.Title, "Holiday Title");
}

TEST(Assemble, NonNumbersFailButSpendTheNumber) {
    struct Row {
        Category category;
        const char *video, *audio, *quality;
    };
    const Row rows[] = {
        {Category::AVI, "fast", "96", "3"},
        {Category::AVI, "900", "", "3"},
        {Category::AVI, "900", "96", "x"},
        {Category::Music, "900", "9.6", "3"},
        // kbps times 1000 beyond 32 bits is refused rather than wrapped.
        {Category::MPEG4, "3000000", "96", "3"},
    };
    for (const Row &row : rows) {
        Inputs in;
        in.controls = For(row.category);
        in.controls.videoBitText = row.video;
        in.controls.audioBitText = row.audio;
        in.controls.qualityText = row.quality;
        in.numbers.outputFilenameIndex = 5;
        const Assembled a = in.Run();
        EXPECT_FALSE(a.ok) << row.video << "/" << row.audio << "/" << row.quality;
        EXPECT_EQ(a.numbers.outputFilenameIndex, 6);
    }
    // Music ignores the video box, so a non-number there does no harm.
    Inputs music;
    music.controls = For(Category::Music);
    music.controls.videoBitText = "n/a";
    EXPECT_TRUE(music.Run().ok);
}

TEST(Assemble, NoSelectedCategoryFails) {
    Inputs in;
    in.controls.category.reset();
    EXPECT_FALSE(in.Run().ok);
    EXPECT_EQ(in.numbers.outputFilenameIndex, kOutputIndexStart);
}

TEST(ControlsReader, ReadsTheMainWindowByName) {
    convtest::FakeMainWindow main;
    main.Select(Category::ThreeGP);
    main.cbbResolution->setCurrentIndex(1);
    main.WidthBit->setValue(176);
    main.HeightBit->setValue(144);
    main.cbbFrameRate->setCurrentIndex(0);
    main.edtVideoBit->setText("128");
    main.edtAudioBit->setText("12");
    main.cbbChannels->setCurrentIndex(0);
    main.trckbrVolume->setValue(150);
    main.cbbKeepAspect->setCurrentIndex(0);
    main.cbbVideoCode->setCurrentIndex(1);
    main.cbbOutoutType->setCurrentIndex(1);
    main.iQuality->setText("5");
    const OutputControls c = ReadOutputControls(&main);
    EXPECT_EQ(c.category, Category::ThreeGP);
    EXPECT_EQ(c.resolutionIndex, 1);
    EXPECT_EQ(c.width, 176);
    EXPECT_EQ(c.height, 144);
    EXPECT_EQ(c.frameRateText, "14.985");
    EXPECT_EQ(c.videoBitText, "128");
    EXPECT_EQ(c.audioBitText, "12");
    EXPECT_EQ(c.channelsIndex, 0);
    EXPECT_EQ(c.volume, 150);
    EXPECT_EQ(c.keepAspectIndex, 0);
    EXPECT_EQ(c.videoCodeIndex, 1);
    EXPECT_EQ(c.outputTypeIndex, 1);
    EXPECT_EQ(c.qualityText, "5");

    // A disabled main window leaves the choice readable.
    main.setEnabled(false);
    EXPECT_EQ(ReadSelectedCategory(&main), Category::ThreeGP);
    main.setEnabled(true);

    // Two disabled buttons (or none) is no valid selection.
    main.buttons[0]->setEnabled(false);
    EXPECT_FALSE(ReadSelectedCategory(&main));
    for (auto *b : main.buttons) b->setEnabled(true);
    EXPECT_FALSE(ReadSelectedCategory(&main));
    EXPECT_FALSE(ReadSelectedCategory(nullptr));
}
