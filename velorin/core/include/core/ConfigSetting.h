// Output categories and the profile store.
//
// Eight categories carry a list of named profiles: PSP, iPod, iPhone,
// ThreeGP, Zune, PDA and VOB video profiles (VideoConfigParameter), Music
// audio-only profiles (MusicConfigParameter). Each list is a fixed table of
// kMaxProfiles entries plus a count; entries 0..count-1 are the profiles in
// display order, entry 0 is always the built-in first profile and is never
// written to config.ini. TConfigSetting holds every list, fills the
// built-ins (LoadDefaults), reads the user's lists from config.ini
// (LoadFromIni) and writes them back at the close (SaveToIni).
//
// A profile is kept in config.ini as its stored text, one decimal integer
// followed by "|" per field; ParseVideoProfile / ParseMusicProfile turn a
// text into a record and throw EConvertError("'x' is not a valid integer
// value") for a field that is not an integer.
//
// Bounds: no list ever holds more than kMaxProfiles entries. A count above
// it in config.ini is clamped, a count below 1 is raised to 1 (entry 0
// always exists), the Add* helpers refuse a profile past the end, and the
// Delete* helpers ignore an index that is not a profile. GUI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velorin {

enum class OutputCategory { PSP, iPod, iPhone, ThreeGP, Zune, PDA, Music, AVI, MPEG4, MPEG2, VOB, WMV, SWF, MOV };

// "PSP", "iPod", ... "MOV".
const char *CategoryName(OutputCategory category);
// True for the seven categories with a video profile list.
bool HasVideoProfiles(OutputCategory category);
// True for the eight categories with a profile list (the seven and Music).
bool HasProfiles(OutputCategory category);

// Raised by the profile parsers; what() is "'<token>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string &message) : std::runtime_error(message) {}
};

// Strict decimal int32 conversion as the stored texts use it; throws
// EConvertError naming the text.
std::int32_t StrToInt(const std::string &text);

struct VideoConfigParameter {
    std::string Name;
    std::int32_t ResolutionIndex = 0;
    std::int32_t FrameRateIndex = 0;
    std::int32_t VideoBitrate = 0;   // kbps
    std::int32_t AudioBitrate = 0;   // kbps
    std::int32_t Volume = 0;         // percent 0..200
    std::int32_t Channels = 0;       // 0 mono, 1 stereo
    std::int32_t Spare = 0;
    std::int32_t KeepAspect = 0;     // 0 "False", 1 "True"
    std::int32_t VideoCodecIndex = 0;
    std::int32_t OutputTypeIndex = 0;
    std::int32_t Height = 0;
    std::int32_t Width = 0;
    std::string StoredText;          // exactly as last parsed
    std::string Summary;
    std::int32_t Quality = 0;
};

struct MusicConfigParameter {
    std::string Name;
    std::int32_t AudioBitrate = 0;   // kbps
    std::int32_t Volume = 0;
    std::int32_t Spare = 0;
    std::int32_t Channels = 0;
    std::int32_t AudioCodecIndex = 0;  // 0 MP3, 1 WMA
    std::string StoredText;
    std::string Summary;
};

constexpr int kMaxProfiles = 81;
using VideoProfileList = std::array<VideoConfigParameter, kMaxProfiles>;
using MusicProfileList = std::array<MusicConfigParameter, kMaxProfiles>;

// The stored text of a record's fields (what the editor builds from its
// controls): "Res|Rate|VBit|ABit|Vol|Ch|Spare|Keep|Codec|Type|W|H|Quality|".
std::string MakeVideoStoredText(const VideoConfigParameter &p);
std::string MakeMusicStoredText(const MusicConfigParameter &p);
// "Name: Video: WxH, NKbps, rate, Audio: NKbps,Strereo|Mono"
std::string MakeVideoSummary(const VideoConfigParameter &p);
// "Name: Audio: NKbps V%"
std::string MakeMusicSummary(const MusicConfigParameter &p);

// Category vocabulary, exact texts, in item order (empty for categories
// without the list). FrameRateList(PSP) has three entries; the summary
// line always uses FiveFrameRates().
const std::vector<std::string> &ResolutionList(OutputCategory category);
const std::vector<std::string> &CodecList(OutputCategory category);   // Music: audio codecs
const std::vector<std::string> &OutputTypeList(OutputCategory category);
const std::vector<std::string> &FrameRateList(OutputCategory category);
const std::vector<std::string> &FiveFrameRates();   // "14.985" "23.97" "25" "29.97" "30"
const std::vector<std::string> &ChannelList();      // "Mono" "Stereo"
const std::vector<std::string> &KeepAspectList();   // "False" "True"
// Frame-rate text of the summary line by index; "" outside 0..4.
std::string SummaryFrameRateText(std::int32_t index);

// config.ini names of a profile category ("PSPConfig", "PSPConfigCount");
// "" for categories without profiles.
std::string ProfileSection(OutputCategory category);
std::string ProfileCountKey(OutputCategory category);
// Built-in number of profiles (PSP 5, iPod 12, ...; 0 without profiles).
int BuiltinProfileCount(OutputCategory category);

class TConfigSetting {
public:
    // Sets ConfigFileName and runs LoadDefaults.
    explicit TConfigSetting(std::string configFileName);

    void LoadDefaults();
    // Reads the user's lists. A stored text that does not parse stops the
    // loading and the EConvertError propagates: the lists read before keep
    // what was read, the failing list keeps the entries read before the bad
    // one (count: at least its built-in count), the lists not reached keep
    // their built-ins.
    void LoadFromIni();
    // Writes the eight lists; false when any write failed (the caller then
    // tries another place). A profile whose name cannot be a key of its own
    // (see IsStorableProfileName, or a name another profile of the list
    // already uses, compared case-insensitively) is stored under
    // StorableProfileName, so every profile reads back.
    bool SaveToIni();
    bool SaveToIni(const std::string &fileName);

    // Fill every numeric field from the text, then Name, StoredText (the
    // text handed in) and Summary. Throw EConvertError on a bad token; the
    // record then holds the fields converted so far.
    static void ParseVideoProfile(const std::string &text, const std::string &name,
                                  VideoConfigParameter &profile);
    static void ParseMusicProfile(const std::string &text, const std::string &name,
                                  MusicConfigParameter &profile);

    // Remove entry `index` of the working list, closing the gap; false (and
    // nothing changed) when index is not in 0..count-1.
    bool DeleteWorkingVideoProfile(int index);
    bool DeleteWorkingMusicProfile(int index);
    // Append to the working list; false (nothing changed) when it is full.
    bool AddWorkingVideoProfile(const VideoConfigParameter &profile);
    bool AddWorkingMusicProfile(const MusicConfigParameter &profile);

    // The list and count of a category; null for categories without one
    // (VideoProfilesOf(Music) is null too; use MusicProfiles).
    VideoProfileList *VideoProfilesOf(OutputCategory category);
    const VideoProfileList *VideoProfilesOf(OutputCategory category) const;
    std::int32_t *CountOf(OutputCategory category);
    std::int32_t CountOf(OutputCategory category) const;  // 0 without a list
    // The count of a category's list; 0 for categories without one.
    std::int32_t ProfileCount(OutputCategory category) const;

    // True when `name` can be stored in the category's section: a storable
    // key that is not the count key or an index key of that section.
    static bool IsStorableProfileName(OutputCategory category, const std::string &name);
    // `name` made storable and distinct from `taken` (case-insensitively):
    // "=" becomes "-", leading "[" / ";" and blanks go, an empty name becomes
    // "Profile", and " (2)", " (3)", ... is added while it is still taken
    // or reserved.
    static std::string StorableProfileName(OutputCategory category, const std::string &name,
                                           const std::vector<std::string> &taken);

    std::string ConfigFileName;

    VideoProfileList VOBProfiles{};
    VideoProfileList WorkingVideoProfiles{};
    VideoProfileList ZuneProfiles{};
    VideoProfileList PSPProfiles{};
    VideoProfileList ThreeGPProfiles{};
    VideoProfileList iPodProfiles{};
    VideoProfileList PDAProfiles{};
    VideoProfileList iPhoneProfiles{};
    MusicProfileList WorkingMusicProfiles{};
    MusicProfileList MusicProfiles{};

    std::int32_t VOBCount = 0;
    std::int32_t ZuneCount = 0;
    std::int32_t PSPCount = 0;
    std::int32_t ThreeGPCount = 0;
    std::int32_t iPhoneCount = 0;
    std::int32_t iPodCount = 0;
    std::int32_t PDACount = 0;
    std::int32_t MusicCount = 0;
    std::int32_t FirstEditableMusic = 0;
    std::int32_t FirstEditableVideo = 0;
    std::int32_t WorkingVideoCount = 0;
    std::int32_t WorkingMusicCount = 0;
};

}  // namespace velorin
