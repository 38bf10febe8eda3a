#include "settings/CategoryTables.h"

#include <array>

#include "core/SysConfigure.h"

namespace velorin::settings {

namespace {

const QStringList kPlainResolutions = {"Original Size", "Costom Size", "320 X 240", "480 X 320",
                                       "640 X 480",     "800 X 600",   "1024 X 768", "1280 X 1024"};

const QStringList kThreeRates = {"14.985", "23.97", "29.97"};
const QStringList kFiveRates = {"14.985", "23.97", "25", "29.97", "30"};

struct Entry {
    OutputCategory category;
    CategoryLists lists;
};

const std::array<Entry, kCategoryCount> &Table() {
    static const std::array<Entry, kCategoryCount> table = {{
        {OutputCategory::PSP,
         {"BtnPSP", "PSP", {"320 X 240", "368 X 208", "400 X 192"}, {"PSPMpeg4"}, {"*.mp4"},
          kThreeRates, 0, true}},
        {OutputCategory::iPod,
         {"BtniPod", "iPod", {"320 X 240", "480 X 320", "480 X 480", "640 X 480"}, {"iPodMpeg4"},
          {"*.mp4"}, kFiveRates, 0, true}},
        {OutputCategory::iPhone,
         {"BtniPhone", "iPhone",
          {"320 X 240", "480 X 320", "480 X 270", "640 X 480", "720 X 406"}, {"iPhoneMpeg4"},
          {"*.mp4"}, kFiveRates, -1, true}},
        {OutputCategory::ThreeGP,
         {"BtnThreeGP", "3GP",
          {"128 X 96", "160 X 120", "176 X 120", "176 X 144", "192 X 144", "240 X 180",
           "320 X 200", "320 X 240", "352 X 240", "352 X 288", "720 X 480", "720 X 576"},
          {"H263", "Mpeg4"}, {"*.3GP", "*.3G2"}, kFiveRates, 0, true}},
        {OutputCategory::Zune,
         {"BtnZune", "Zune",
          {"160 X 120", "320 X 180", "320 X 240(Recommend)", "480 X 368(TV Size 1)",
           "512 X 384(TV Size 2)", "680 X 480(TV Size 3)", "720 X 480"},
          {"ZuneMpeg4", "MS Media Format"}, {"*.mp4", "*.wmv"}, kFiveRates, 0, true}},
        {OutputCategory::PDA,
         {"BtnPDA", "PDA", {"320 X 240", "480 X 320", "480 X 480", "640 X 480"},
          {"PDAMpeg4", "MS Media Format"}, {"*.mp4", "*.wmv"}, kFiveRates, 0, true}},
        {OutputCategory::Music,
         {"BtnMusic", "Music", {}, {"MPEG Layer-3 Audio", "MS Media Audio"}, {"*.mp3", "*.wma"},
          {}, 0, true}},
        {OutputCategory::AVI,
         {"BtnAVI", "AVI", kPlainResolutions, {"DivX"}, {"*.avi"}, kThreeRates, 0, false}},
        {OutputCategory::MPEG4,
         {"BtnMPEG4", "MPEG4", kPlainResolutions, {"MPEG4"}, {"*.mp4"}, kThreeRates, 0, false}},
        {OutputCategory::MPEG2,
         {"BtnMPEG2", "MPEG2", kPlainResolutions, {"MPEG2"}, {"*.mpg"}, kThreeRates, 0, false}},
        {OutputCategory::VOB,
         {"BtnVOB", "VOB", {"720 X 480(NTSC)", "720 X 576(PAL)"}, {"VOB"}, {"*.vob"}, kFiveRates,
          0, true}},
        {OutputCategory::WMV,
         {"BtnWMV", "WMV", kPlainResolutions, {"WMV"}, {"*.wmv"}, kThreeRates, 0, false}},
        {OutputCategory::SWF,
         {"BtnSWF", "SWF", kPlainResolutions, {"SWF"}, {"*.swf"}, kThreeRates, 0, false}},
        {OutputCategory::MOV,
         {"BtnMOV", "MOV", kPlainResolutions, {"MOV"}, {"*.mov"}, kThreeRates, 0, false}},
    }};
    return table;
}

}  // namespace

int PositionOf(OutputCategory category) {
    const auto &table = Table();
    for (int i = 0; i < kCategoryCount; ++i)
        if (table[i].category == category) return i;
    return 0;
}

OutputCategory CategoryAt(int position) {
    if (position < 0 || position >= kCategoryCount) return OutputCategory::AVI;
    return Table()[position].category;
}

const CategoryLists &ListsOf(OutputCategory category) { return Table()[PositionOf(category)].lists; }

const QStringList &ThreeRates() { return kThreeRates; }
const QStringList &FiveRates() { return kFiveRates; }

const QStringList &ChannelItems() {
    static const QStringList items = {"Mono", "Stereo"};
    return items;
}

const QStringList &KeepAspectItems() {
    static const QStringList items = {"False", "True"};
    return items;
}

bool IsPlainFormat(OutputCategory category) {
    switch (category) {
    case OutputCategory::AVI:
    case OutputCategory::MPEG4:
    case OutputCategory::MPEG2:
    case OutputCategory::WMV:
    case OutputCategory::SWF:
    case OutputCategory::MOV:
        return true;
    default:
        return false;
    }
}

bool IsSizeText(const QString &text) { return text.trimmed().contains(QLatin1Char('X')); }

std::optional<FrameSize> ParseResolutionText(const QString &text) {
    const QString t = text.trimmed();
    const int x = t.indexOf(QLatin1Char('X'));
    if (x < 0) return std::nullopt;
    // The width ends one character before the "X" (the blank in front of it);
    // the height runs from after the "X" to a "(" suffix or the end.
    const QString widthText = t.left(qMax(0, x - 1));
    QString heightText = t.mid(x + 1);
    const int paren = heightText.indexOf(QLatin1Char('('));
    if (paren >= 0) heightText = heightText.left(paren);
    bool okW = false, okH = false;
    // Integer conversion of the kind the program uses: surrounding blanks
    // are allowed, anything else is not.
    const int w = widthText.trimmed().toInt(&okW, 10);
    const int h = heightText.trimmed().toInt(&okH, 10);
    if (!okW || !okH) return std::nullopt;
    return FrameSize{w, h};
}

int FindResolutionItem(const QStringList &resolutions, int width, int height) {
    const QString wanted = QStringLiteral("%1 X %2").arg(width).arg(height);
    for (int i = 0; i < resolutions.size(); ++i)
        if (resolutions[i].contains(wanted)) return i;
    return 0;
}

bool ThreeGPSizeAllowsH263(int resolutionItem) {
    return resolutionItem == 0 || resolutionItem == 3 || resolutionItem == 9;
}

TConfigSetting &ProfileStore(TConfigSetting *preferred) {
    if (preferred) return *preferred;
    if (ConfigSetting) return *ConfigSetting;
    static TConfigSetting builtin{std::string()};
    return builtin;
}

TSysConfigure &SystemSettings(TSysConfigure *preferred) {
    if (preferred) return *preferred;
    if (SysConfigure) return *SysConfigure;
    static TSysConfigure defaults{std::string()};
    return defaults;
}

std::int32_t *RememberedProfileIndex(TSysConfigure &system, OutputCategory category) {
    switch (category) {
    case OutputCategory::PSP: return &system.iPSPConfigCount;
    case OutputCategory::iPod: return &system.iPodConfigCount;
    case OutputCategory::iPhone: return &system.iPhoneConfigCount;
    case OutputCategory::ThreeGP: return &system.iThreeGPConfigCount;
    case OutputCategory::Zune: return &system.iZuneConfigCount;
    case OutputCategory::PDA: return &system.iPDAConfigCount;
    case OutputCategory::VOB: return &system.iVOBConfigCount;
    case OutputCategory::Music: return &system.iMusiciProfilesIndex;
    default: return nullptr;
    }
}

}  // namespace velorin::settings
