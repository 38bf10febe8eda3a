// The lists each output category offers in the output-settings controls and
// in the profile editor, and the small text rules both windows share (the
// resolution text parse, the profile size lookup, the ThreeGP codec rule).
//
// The item texts are the system's own and are used exactly as spelled
// ("Costom Size" included): profiles store indexes into these lists, so the
// order of every list is part of the stored data.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include "settings/Category.h"

namespace velorin {
class TConfigSetting;
class TSysConfigure;
}

namespace velorin::settings {

struct CategoryLists {
    const char *buttonName;    // objectName of the category button
    const char *caption;       // text on the button
    QStringList resolutions;   // empty for Music
    QStringList codecs;
    QStringList outputTypes;
    QStringList frameRates;    // empty for Music
    // Item of the resolution list selected when the category is chosen;
    // -1 leaves it unselected until a profile sets it (iPhone).
    int defaultResolution = 0;
    bool hasProfiles = false;
};

// The table of the main window, one entry per category.
const CategoryLists &ListsOf(OutputCategory category);

// Frame-rate texts: the three-rate and the five-rate list.
const QStringList &ThreeRates();
const QStringList &FiveRates();
// "Mono", "Stereo" and "False", "True".
const QStringList &ChannelItems();
const QStringList &KeepAspectItems();

// AVI, MPEG4, MPEG2, WMV, SWF, MOV: the resolution list starts with
// "Original Size", "Costom Size".
bool IsPlainFormat(OutputCategory category);

// Width and height of a resolution text such as "320 X 240" or
// "480 X 368(TV Size 1)". Nothing for texts without an "X" ("Original
// Size") and for texts whose parts are not whole numbers.
struct FrameSize {
    int width = 0;
    int height = 0;
};
std::optional<FrameSize> ParseResolutionText(const QString &text);
// Whether the text has an "X" at all (so it names a size, well formed or not).
bool IsSizeText(const QString &text);

// Index of the first resolution item that contains "<width> X <height>";
// 0 when none does.
int FindResolutionItem(const QStringList &resolutions, int width, int height);

// ThreeGP: H.263 codes only the sizes 128x96, 176x144 and 352x288, so only
// those resolution items may keep the "H263" codec (item 0); every other
// size is coded with "Mpeg4" (item 1).
bool ThreeGPSizeAllowsH263(int resolutionItem);

// The system settings' remembered profile index of a profile category
// (iPSPConfigCount, ..., iMusiciProfilesIndex); null for the others.
std::int32_t *RememberedProfileIndex(TSysConfigure &system, OutputCategory category);

// The store objects the windows work on: the preferred one when given,
// else the program-wide instance, else (before start-up) a private one
// holding the built-in profiles and default settings, so a window created
// early never dereferences null.
TConfigSetting &ProfileStore(TConfigSetting *preferred);
TSysConfigure &SystemSettings(TSysConfigure *preferred);

// Buttons in bar order: PSP .. MOV.
constexpr int kCategoryCount = 14;
OutputCategory CategoryAt(int position);
int PositionOf(OutputCategory category);

}  // namespace velorin::settings
