// The output-settings panel driven through its handlers, headless, on a
// private profile store and settings object.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include "DialogDouble.h"
#include "core/SysConfigure.h"
#include "core/VideoFileList.h"
#include "settings/CategoryIcons.h"
#include "settings/CategoryTables.h"
#include "settings/OutputSettings.h"

using namespace velorin;

namespace {

QStringList Items(const QComboBox *box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

QStringList ToQt(const std::vector<std::string> &v) {
    QStringList out;
    for (const auto &s : v) out << QString::fromStdString(s);
    return out;
}

// The user picks item `index` of a list: the list's activated signal runs
// the handler, as a real choice does.
void Choose(QComboBox *box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

const QStringList kPlain = {"Original Size", "Costom Size", "320 X 240",  "480 X 320",
                            "640 X 480",     "800 X 600",   "1024 X 768", "1280 X 1024"};
const QStringList kThree = {"14.985", "23.97", "29.97"};
const QStringList kFive = {"14.985", "23.97", "25", "29.97", "30"};
const QStringList kThreeGPSizes = {"128 X 96",  "160 X 120", "176 X 120", "176 X 144",
                                   "192 X 144", "240 X 180", "320 X 200", "320 X 240",
                                   "352 X 240", "352 X 288", "720 X 480", "720 X 576"};

class OutputSettingsTest : public ::testing::Test {
protected:
    OutputSettingsTest() : store(std::string()), system(std::string()) {
        panel.SetStores(&store, &system);
        panel.SetSelectedJobProvider([this]() -> const FileInfo * { return jobSelected ? &job : nullptr; });
        panel.SetCategoryChangedHandler([this](OutputCategory c) { changes.push_back(c); });
    }

    test::DialogDouble dialogs;
    TConfigSetting store;
    TSysConfigure system;
    TOutputSettings panel;
    FileInfo job;
    bool jobSelected = false;
    std::vector<OutputCategory> changes;
};

// ---------------------------------------------------------------------------
// The category table, with the default remembered profile indexes of a first
// run (PSP 3, iPod 4, iPhone 3, ThreeGP 9, Zune 5, PDA 0, VOB 0, Music 0).

struct CategoryCase {
    OutputCategory category;
    const char *button;
    QStringList resolutions, codecs, types, rates;
    int resolution, codec, type, rate;
    int profiles, profile;  // profile count (0: box hidden) and selected profile
    int width, height, videoBit, audioBit;
    QStringList channels;
    int channel;
    const char *quality;
};

const CategoryCase kCategories[] = {
    {OutputCategory::PSP, "BtnPSP", {"320 X 240", "368 X 208", "400 X 192"}, {"PSPMpeg4"}, {"*.mp4"}, kThree,
     1, 0, 0, 1, 5, 3, 368, 208, 900, 96, {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::iPod, "BtniPod", {"320 X 240", "480 X 320", "480 X 480", "640 X 480"}, {"iPodMpeg4"},
     {"*.mp4"}, kFive, 1, 0, 0, 1, 12, 4, 480, 320, 1800, 128, {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::iPhone, "BtniPhone", {"320 X 240", "480 X 320", "480 X 270", "640 X 480", "720 X 406"},
     {"iPhoneMpeg4"}, {"*.mp4"}, kFive, 1, 0, 0, 1, 15, 3, 480, 320, 1500, 64, {"Mono", "Stereo"}, 1, "3"},
    // "3GP General Setting 1": H.263 at 128x96 leaves only mono.
    {OutputCategory::ThreeGP, "BtnThreeGP", kThreeGPSizes, {"H263", "Mpeg4"}, {"*.3GP", "*.3G2"}, kFive, 0, 0,
     0, 0, 12, 9, 128, 96, 128, 12, {"Mono"}, 0, "5"},
    // "Zune-WMV (Recommend)": the codec decides the output type.
    {OutputCategory::Zune, "BtnZune",
     {"160 X 120", "320 X 180", "320 X 240(Recommend)", "480 X 368(TV Size 1)", "512 X 384(TV Size 2)",
      "680 X 480(TV Size 3)", "720 X 480"},
     {"ZuneMpeg4", "MS Media Format"}, {"*.mp4", "*.wmv"}, kFive, 2, 1, 1, 2, 10, 5, 320, 240, 1000, 128,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::PDA, "BtnPDA", {"320 X 240", "480 X 320", "480 X 480", "640 X 480"},
     {"PDAMpeg4", "MS Media Format"}, {"*.mp4", "*.wmv"}, kFive, 0, 0, 0, 2, 8, 0, 320, 240, 1500, 64,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::Music, "BtnMusic", {}, {"MPEG Layer-3 Audio", "MS Media Audio"}, {"*.mp3", "*.wma"}, {}, -1,
     0, 0, -1, 2, 0, 0, 0, 0, 128, {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::AVI, "BtnAVI", kPlain, {"DivX"}, {"*.avi"}, kThree, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::MPEG4, "BtnMPEG4", kPlain, {"MPEG4"}, {"*.mp4"}, kThree, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::MPEG2, "BtnMPEG2", kPlain, {"MPEG2"}, {"*.mpg"}, kThree, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::VOB, "BtnVOB", {"720 X 480(NTSC)", "720 X 576(PAL)"}, {"VOB"}, {"*.vob"}, kFive, 0, 0, 0, 2,
     2, 0, 720, 480, 2100, 256, {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::WMV, "BtnWMV", kPlain, {"WMV"}, {"*.wmv"}, kThree, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::SWF, "BtnSWF", kPlain, {"SWF"}, {"*.swf"}, kThree, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1,
     {"Mono", "Stereo"}, 1, "3"},
    {OutputCategory::MOV, "BtnMOV", kPlain, {"MOV"}, {"*.mov"}, kThree, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1,
     {"Mono", "Stereo"}, 1, "3"},
};

TEST_F(OutputSettingsTest, EveryCategoryFillsItsListsAndSelections) {
    // Start from another category each time, so stale state would show.
    for (const CategoryCase &c : kCategories) {
        SCOPED_TRACE(c.button);
        panel.BtnThreeGPClick();
        panel.SelectCategory(c.category);

        // Exactly its own button is disabled, and that is the selection.
        for (int i = 0; i < settings::kCategoryCount; ++i) {
            QToolButton *b = panel.CategoryBar()->Button(settings::CategoryAt(i));
            EXPECT_EQ(b->isEnabled(), b->objectName() != QLatin1String(c.button)) << b->objectName().toStdString();
        }
        EXPECT_EQ(panel.SelectedCategory(), c.category);
        EXPECT_EQ(panel.CategoryBar()->findChild<QToolButton *>(c.button), panel.CategoryBar()->Button(c.category));

        EXPECT_EQ(Items(panel.cbbResolution), c.resolutions);
        EXPECT_EQ(Items(panel.cbbVideoCode), c.codecs);
        EXPECT_EQ(Items(panel.cbbOutoutType), c.types);
        EXPECT_EQ(Items(panel.cbbFrameRate), c.rates);
        EXPECT_EQ(Items(panel.cbbChannels), c.channels);
        EXPECT_EQ(panel.cbbResolution->currentIndex(), c.resolution);
        EXPECT_EQ(panel.cbbVideoCode->currentIndex(), c.codec);
        EXPECT_EQ(panel.cbbOutoutType->currentIndex(), c.type);
        EXPECT_EQ(panel.cbbFrameRate->currentIndex(), c.rate);
        EXPECT_EQ(panel.cbbChannels->currentIndex(), c.channel);
        EXPECT_EQ(panel.iQuality->text(), QString::fromLatin1(c.quality));

        const bool music = c.category == OutputCategory::Music;
        EXPECT_EQ(Items(panel.cbbKeepAspect), (music ? QStringList{} : QStringList{"False", "True"}));
        if (!music) {
            EXPECT_EQ(panel.cbbKeepAspect->currentIndex(), 1);
        }
        EXPECT_EQ(panel.Label12->text(), music ? "Music Codec:" : "Video Codec:");
        for (QWidget *w : std::initializer_list<QWidget *>{panel.cbbResolution, panel.cbbFrameRate, panel.cbbKeepAspect,
                                                           panel.edtVideoBit, panel.Label2, panel.Label4,
                                                           panel.Label5, panel.Label15})
            EXPECT_EQ(w->isEnabled(), !music) << w->objectName().toStdString();

        const bool profiles = c.profiles > 0;
        EXPECT_EQ(panel.cbProfiles->isVisibleTo(&panel), profiles);
        EXPECT_EQ(panel.Label3->isVisibleTo(&panel), profiles);
        EXPECT_EQ(panel.BtnOption->isVisibleTo(&panel), profiles);
        if (profiles) {
            EXPECT_EQ(panel.cbProfiles->count(), c.profiles);
            EXPECT_EQ(panel.cbProfiles->currentIndex(), c.profile);
            EXPECT_EQ(panel.WidthBit->value(), c.width);
            EXPECT_EQ(panel.HeightBit->value(), c.height);
            EXPECT_EQ(panel.edtVideoBit->value(), c.videoBit);
            EXPECT_EQ(panel.edtAudioBit->value(), c.audioBit);
        }
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.back(), c.category);
    }
}

TEST_F(OutputSettingsTest, TablesAgreeWithTheProfileVocabulary) {
    // Profiles store indexes into these lists: the panel and the store must
    // number them alike.
    for (OutputCategory c : {OutputCategory::PSP, OutputCategory::iPod, OutputCategory::iPhone,
                             OutputCategory::ThreeGP, OutputCategory::Zune, OutputCategory::PDA,
                             OutputCategory::VOB, OutputCategory::Music}) {
        SCOPED_TRACE(CategoryName(c));
        const settings::CategoryLists &lists = settings::ListsOf(c);
        EXPECT_EQ(lists.resolutions, ToQt(ResolutionList(c)));
        EXPECT_EQ(lists.codecs, ToQt(CodecList(c)));
        EXPECT_EQ(lists.outputTypes, ToQt(OutputTypeList(c)));
        EXPECT_EQ(lists.frameRates, ToQt(FrameRateList(c)));
    }
}

TEST_F(OutputSettingsTest, UserClickOnAButtonSelectsItsCategory) {
    panel.BtnAVIClick();
    panel.CategoryBar()->BtnMusic->click();
    EXPECT_EQ(panel.SelectedCategory(), OutputCategory::Music);
    EXPECT_FALSE(panel.CategoryBar()->BtnMusic->isEnabled());
    // The disabled (selected) button cannot be clicked again.
    panel.CategoryBar()->BtnMusic->click();
    EXPECT_EQ(changes.size(), 2u);
}

TEST_F(OutputSettingsTest, AllButtonsDisabledTogetherKeepTheChosenCategory) {
    panel.BtnZuneClick();
    panel.EnableCategoryButtons(false);
    EXPECT_EQ(panel.SelectedCategory(), OutputCategory::Zune);
    panel.EnableCategoryButtons(true);
    EXPECT_EQ(panel.SelectedCategory(), OutputCategory::Zune);
}

// ---------------------------------------------------------------------------
// Profiles

TEST_F(OutputSettingsTest, RememberedIndexPastTheListSelectsTheLastAndNegativeTheFirst) {
    struct Case {
        int remembered, expected;
    } cases[] = {{0, 0}, {4, 4}, {5, 4}, {80, 4}, {-1, 0}, {-7, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.remembered);
        system.iPSPConfigCount = c.remembered;
        panel.BtnPSPClick();
        EXPECT_EQ(panel.cbProfiles->currentIndex(), c.expected);
        EXPECT_EQ(panel.cbProfiles->currentText().toStdString(), store.PSPProfiles[c.expected].Summary);
        EXPECT_EQ(system.iPSPConfigCount, c.expected);  // the applied profile is remembered
    }
}

TEST_F(OutputSettingsTest, ChoosingAProfileChangesOnlyItsCategorysRememberedIndex) {
    panel.BtniPodClick();
    const TSysConfigure before = system;
    Choose(panel.cbProfiles, 10);  // "Excellent 640X480"
    EXPECT_EQ(system.iPodConfigCount, 10);
    EXPECT_EQ(system.iPSPConfigCount, before.iPSPConfigCount);
    EXPECT_EQ(system.iPhoneConfigCount, before.iPhoneConfigCount);
    EXPECT_EQ(system.iZuneConfigCount, before.iZuneConfigCount);
    EXPECT_EQ(system.iMusiciProfilesIndex, before.iMusiciProfilesIndex);
    EXPECT_EQ(panel.cbbResolution->currentText(), "640 X 480");
    EXPECT_EQ(panel.WidthBit->value(), 640);
    EXPECT_EQ(panel.edtVideoBit->value(), 1800);
}

TEST_F(OutputSettingsTest, ProfileSizeIsLookedUpNotTakenFromItsIndex) {
    // A Zune profile of 320x240 finds "320 X 240(Recommend)" whatever its
    // stored resolution index says; a size in no item falls back to item 0,
    // whose size then fills the boxes.
    store.ZuneProfiles[1].ResolutionIndex = 6;
    store.ZuneProfiles[1].Width = 320;
    store.ZuneProfiles[1].Height = 240;
    store.ZuneProfiles[2].Width = 333;
    store.ZuneProfiles[2].Height = 111;
    store.ZuneProfiles[3].Quality = 4;
    panel.BtnZuneClick();
    Choose(panel.cbProfiles, 1);
    EXPECT_EQ(panel.cbbResolution->currentText(), "320 X 240(Recommend)");
    EXPECT_EQ(panel.WidthBit->value(), 320);
    EXPECT_EQ(panel.HeightBit->value(), 240);
    Choose(panel.cbProfiles, 2);
    EXPECT_EQ(panel.cbbResolution->currentIndex(), 0);
    EXPECT_EQ(panel.WidthBit->value(), 160);
    EXPECT_EQ(panel.HeightBit->value(), 120);
    Choose(panel.cbProfiles, 3);
    EXPECT_EQ(panel.iQuality->text(), "4");
}

TEST_F(OutputSettingsTest, FindResolutionItem) {
    struct Case {
        QStringList items;
        int width, height, expected;
    } cases[] = {
        {settings::ListsOf(OutputCategory::Zune).resolutions, 320, 240, 2},
        {settings::ListsOf(OutputCategory::Zune).resolutions, 680, 480, 5},
        {settings::ListsOf(OutputCategory::Zune).resolutions, 720, 480, 6},
        {kThreeGPSizes, 176, 144, 3},
        {kThreeGPSizes, 352, 288, 9},
        {settings::ListsOf(OutputCategory::VOB).resolutions, 720, 576, 1},
        {settings::ListsOf(OutputCategory::PSP).resolutions, 999, 999, 0},
        {settings::ListsOf(OutputCategory::PSP).resolutions, 240, 320, 0},  // width first
        {{}, 320, 240, 0},
        // "contains anywhere": "20 X 240" is found inside "320 X 240".
        {{"1 X 1", "320 X 240"}, 20, 240, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.items.join(",").toStdString() + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(settings::FindResolutionItem(c.items, c.width, c.height), c.expected);
    }
    // On the panel: a profile index outside the list gives 0.
    panel.BtnVOBClick();
    EXPECT_EQ(panel.FindResolutionItem(1), 1);
    EXPECT_EQ(panel.FindResolutionItem(2), 0);
    EXPECT_EQ(panel.FindResolutionItem(-1), 0);
}

TEST_F(OutputSettingsTest, ProfileWithIndexesOutsideTheListsLeavesThoseListsUnselected) {
    store.PDAProfiles[1].FrameRateIndex = 9;
    store.PDAProfiles[1].VideoCodecIndex = 5;
    panel.BtnPDAClick();
    Choose(panel.cbProfiles, 1);
    EXPECT_EQ(panel.cbbFrameRate->currentIndex(), -1);
    EXPECT_EQ(panel.cbbVideoCode->currentIndex(), -1);
    EXPECT_EQ(panel.cbbOutoutType->currentIndex(), -1);
}

// ---------------------------------------------------------------------------
// Resolution, codec, type and channel rules

TEST(ResolutionText, Parse) {
    struct Case {
        const char *text;
        bool ok;
        int width, height;
    } cases[] = {
        {"320 X 240", true, 320, 240},
        {"1280 X 1024", true, 1280, 1024},
        {"480 X 368(TV Size 1)", true, 480, 368},
        {"  720 X 576(PAL)  ", true, 720, 576},
        {"320 X 240(Recommend)", true, 320, 240},
        {"Original Size", false, 0, 0},
        {"Costom Size", false, 0, 0},
        {"abc X 240", false, 0, 0},
        {"320 X", false, 0, 0},
        {"X 240", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const auto size = settings::ParseResolutionText(QString::fromLatin1(c.text));
        ASSERT_EQ(size.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(size->width, c.width);
            EXPECT_EQ(size->height, c.height);
        }
    }
}

TEST_F(OutputSettingsTest, OriginalAndCustomSizeFollowTheSelectedJob) {
    job.VideoWidth = 640;
    job.VideoHeight = 360;
    panel.BtnAVIClick();

    // No selected row: the boxes keep their values and state.
    panel.WidthBit->setValue(111);
    panel.WidthBit->setEnabled(true);
    panel.cbbResolutionChange();
    EXPECT_EQ(panel.WidthBit->value(), 111);
    EXPECT_TRUE(panel.WidthBit->isEnabled());

    jobSelected = true;
    panel.cbbResolutionChange();  // as after an add
    EXPECT_EQ(panel.WidthBit->value(), 640);
    EXPECT_EQ(panel.HeightBit->value(), 360);
    EXPECT_FALSE(panel.WidthBit->isEnabled());
    EXPECT_FALSE(panel.HeightBit->isEnabled());

    Choose(panel.cbbResolution, 1);  // "Costom Size"
    EXPECT_TRUE(panel.WidthBit->isEnabled());
    EXPECT_TRUE(panel.HeightBit->isEnabled());
    EXPECT_EQ(panel.WidthBit->value(), 640);

    Choose(panel.cbbResolution, 6);  // "1024 X 768"
    EXPECT_EQ(panel.WidthBit->value(), 1024);
    EXPECT_EQ(panel.HeightBit->value(), 768);

    // Switching to a plain format with a job selected shows its source size.
    panel.BtnMOVClick();
    EXPECT_EQ(panel.WidthBit->value(), 640);
    EXPECT_FALSE(panel.WidthBit->isEnabled());
}

TEST_F(OutputSettingsTest, MusicKeepsTheVideoControlsOffEvenAfterAnAdd) {
    jobSelected = true;
    job.VideoWidth = 640;
    panel.BtnMusicClick();
    EXPECT_EQ(panel.edtVideoBit->value(), 0);
    EXPECT_EQ(panel.WidthBit->value(), 0);
    EXPECT_EQ(panel.HeightBit->value(), 0);
    panel.cbbResolutionChange();  // the add command runs it in every category
    EXPECT_FALSE(panel.WidthBit->isEnabled());
    EXPECT_FALSE(panel.HeightBit->isEnabled());
    EXPECT_EQ(panel.WidthBit->value(), 0);

    Choose(panel.cbbVideoCode, 1);
    EXPECT_EQ(panel.cbbOutoutType->currentText(), "*.wma");
    Choose(panel.cbProfiles, 1);  // "WMA-Windows Media Audio"
    EXPECT_EQ(panel.cbbVideoCode->currentIndex(), 1);
    EXPECT_EQ(panel.cbbOutoutType->currentText(), "*.wma");
    EXPECT_EQ(system.iMusiciProfilesIndex, 1);

    // Leaving Music turns the controls and the codec label back on.
    panel.BtnPSPClick();
    EXPECT_TRUE(panel.edtVideoBit->isEnabled());
    EXPECT_EQ(panel.Label12->text(), "Video Codec:");
}

TEST_F(OutputSettingsTest, ThreeGPCodecFollowsTheSize) {
    // H.263 codes 128x96, 176x144 and 352x288 only.
    panel.BtnThreeGPClick();
    for (int item = 0; item < kThreeGPSizes.size(); ++item) {
        SCOPED_TRACE(kThreeGPSizes[item].toStdString());
        Choose(panel.cbbVideoCode, 0);  // leaves the channel list at "Mono"
        Choose(panel.cbbResolution, item);
        const bool h263 = item == 0 || item == 3 || item == 9;
        EXPECT_EQ(panel.cbbVideoCode->currentText(), h263 ? "H263" : "Mpeg4");
        EXPECT_EQ(panel.cbbVideoCode->isEnabled(), h263);
        // A codec switched by the size does not touch the channel list.
        EXPECT_EQ(Items(panel.cbbChannels), QStringList{"Mono"});
    }
}

TEST_F(OutputSettingsTest, ThreeGPChannelsFollowTheCodecAndTypesStayIndependent) {
    panel.BtnThreeGPClick();
    Choose(panel.cbbResolution, 3);  // "176 X 144"
    Choose(panel.cbbVideoCode, 0);
    EXPECT_EQ(Items(panel.cbbChannels), QStringList{"Mono"});
    EXPECT_EQ(panel.cbbChannels->currentIndex(), 0);
    Choose(panel.cbbVideoCode, 1);
    EXPECT_EQ(Items(panel.cbbChannels), (QStringList{"Mono", "Stereo"}));
    EXPECT_EQ(panel.cbbChannels->currentIndex(), 1);

    Choose(panel.cbbOutoutType, 1);  // "*.3G2"
    EXPECT_EQ(panel.cbbVideoCode->currentIndex(), 1);
    Choose(panel.cbbOutoutType, 0);
    EXPECT_EQ(panel.cbbVideoCode->currentIndex(), 1);

    // Leaving ThreeGP with the codec locked unlocks it.
    Choose(panel.cbbResolution, 8);  // "352 X 240": Mpeg4, locked
    ASSERT_FALSE(panel.cbbVideoCode->isEnabled());
    panel.BtnZuneClick();
    EXPECT_TRUE(panel.cbbVideoCode->isEnabled());
}

TEST_F(OutputSettingsTest, CodecAndTypeFollowEachOtherOutsideThreeGP) {
    struct Case {
        OutputCategory category;
        QComboBox *TOutputSettings::*list;
        int index;
        const char *codec, *type;
    } cases[] = {
        {OutputCategory::Zune, &TOutputSettings::cbbOutoutType, 1, "MS Media Format", "*.wmv"},
        {OutputCategory::Zune, &TOutputSettings::cbbVideoCode, 0, "ZuneMpeg4", "*.mp4"},
        {OutputCategory::PDA, &TOutputSettings::cbbVideoCode, 1, "MS Media Format", "*.wmv"},
        {OutputCategory::Music, &TOutputSettings::cbbOutoutType, 1, "MS Media Audio", "*.wma"},
        {OutputCategory::Music, &TOutputSettings::cbbVideoCode, 0, "MPEG Layer-3 Audio", "*.mp3"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(CategoryName(c.category));
        panel.SelectCategory(c.category);
        Choose(panel.*c.list, c.index);
        EXPECT_EQ(panel.cbbVideoCode->currentText(), c.codec);
        EXPECT_EQ(panel.cbbOutoutType->currentText(), c.type);
    }
}

TEST_F(OutputSettingsTest, VolumeLabelShowsThePosition) {
    for (int position : {150, 0, 200, 100}) {
        panel.trckbrVolume->setValue(position);
        EXPECT_EQ(panel.lblVolumePercent->text(), QStringLiteral("%1%").arg(position));
    }
    panel.trckbrVolume->setValue(250);  // the slider's own bound
    EXPECT_EQ(panel.lblVolumePercent->text(), "200%");
}

// ---------------------------------------------------------------------------
// The profile editor button

TEST_F(OutputSettingsTest, OptionReturnsToTheEarlierProfileOrTheNearestThatStillExists) {
    struct Case {
        int chosen;        // profile chosen before the editor opened
        int countAfter;    // PSP profiles the editor leaves
        int expected;
    } cases[] = {{2, 5, 2}, {4, 3, 2}, {4, 1, 0}, {0, 5, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chosen);
        TConfigSetting fresh{std::string()};
        store = fresh;
        panel.BtnPSPClick();
        Choose(panel.cbProfiles, c.chosen);
        int runs = 0;
        panel.SetProfileEditorRunner([&](QWidget *, OutputCategory category) {
            ++runs;
            EXPECT_EQ(category, OutputCategory::PSP);
            store.PSPCount = c.countAfter;
            system.iPSPConfigCount = c.countAfter - 1;  // as the editor remembers what it saved
        });
        panel.BtnOptionClick();
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(panel.cbProfiles->count(), c.countAfter);
        EXPECT_EQ(panel.cbProfiles->currentIndex(), c.expected);
        EXPECT_EQ(panel.edtVideoBit->value(), store.PSPProfiles[c.expected].VideoBitrate);
        EXPECT_EQ(system.iPSPConfigCount, c.expected);
    }
}

TEST_F(OutputSettingsTest, OptionShowsEditedProfiles) {
    panel.BtnVOBClick();
    panel.SetProfileEditorRunner([&](QWidget *, OutputCategory) {
        TConfigSetting::ParseVideoProfile("1|2|3000|256|100|1|0|1|0|0|720|576|3|", "DVD PAL Format",
                                          store.VOBProfiles[0]);
    });
    panel.BtnOptionClick();
    EXPECT_EQ(panel.cbProfiles->itemText(0).toStdString(), store.VOBProfiles[0].Summary);
    EXPECT_EQ(panel.edtVideoBit->value(), 3000);
    EXPECT_EQ(panel.cbbResolution->currentText(), "720 X 576(PAL)");
}

TEST_F(OutputSettingsTest, OptionOpensTheRealEditorModally) {
    panel.BtniPhoneClick();
    bool sawEditor = false;
    QMetaObject::invokeMethod(
        &panel,
        [&] {
            QWidget *modal = QApplication::activeModalWidget();
            sawEditor = modal && modal->objectName() == "FrmOption";
            if (modal) modal->close();
        },
        Qt::QueuedConnection);
    panel.BtnOptionClick();
    EXPECT_TRUE(sawEditor);
    EXPECT_TRUE(dialogs.messages.empty());  // nothing changed, nothing asked
    EXPECT_EQ(panel.cbProfiles->count(), 15);
}

TEST_F(OutputSettingsTest, OptionDoesNothingForPlainFormats) {
    panel.BtnWMVClick();
    int runs = 0;
    panel.SetProfileEditorRunner([&](QWidget *, OutputCategory) { ++runs; });
    panel.BtnOptionClick();
    EXPECT_EQ(runs, 0);
}

TEST(CategoryIcons, EveryCategoryHasADistinctPicture) {
    std::vector<QImage> images;
    for (int i = 0; i < settings::kCategoryCount; ++i) {
        const QImage image = CategoryPixmap(settings::CategoryAt(i), 32).toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_NE(image.pixelColor(16, 16).alpha(), 0);
        for (const QImage &other : images) EXPECT_NE(image, other) << i;
        images.push_back(image);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
