#include "core/ConfigSetting.h"

#include <cstdio>
#include <utility>

#include "platform/ini.h"

namespace velorin {
namespace {

struct Builtin {
    const char *name;
    const char *text;
};

const Builtin kPSP[] = {
    {"Lowest Quality", "0|1|150|16|100|0|0|1|0|0|320|240|3|"},
    {"Low Quality", "0|1|300|32|100|0|0|1|0|0|320|240|3|"},
    {"Normal Quality", "0|1|600|64|100|1|0|1|0|0|320|240|3|"},
    {"Excellent Quality", "1|1|900|96|100|1|0|1|0|0|368|208|3|"},
    {"Best Quality", "2|1|1200|64|100|1|0|1|0|0|400|192|3|"},
};

const Builtin kiPod[] = {
    {"Normal 320X240", "0|1|1500|64|100|1|0|1|0|0|320|240|3|"},
    {"Excellent 320X240", "0|1|1800|128|100|1|0|1|0|0|320|240|3|"},
    {"Best 320X240", "0|1|2100|128|100|1|0|1|0|0|320|240|3|"},
    {"Normal 480X320", "1|1|1500|64|100|1|0|1|0|0|480|320|3|"},
    {"Excellent 480X320", "1|1|1800|128|100|1|0|1|0|0|480|320|3|"},
    {"Best 480X320", "1|1|2100|128|100|1|0|1|0|0|480|320|3|"},
    {"Normal 480X480", "2|1|1500|64|100|1|0|1|0|0|480|480|3|"},
    {"Excellent 480X480", "2|1|1800|128|100|1|0|1|0|0|480|480|3|"},
    {"Best 480X480", "2|1|2100|128|100|1|0|1|0|0|480|480|3|"},
    {"Normal 640X480", "3|1|1500|64|100|1|0|1|0|0|640|480|3|"},
    {"Excellent 640X480", "3|1|1800|128|100|1|0|1|0|0|640|480|3|"},
    {"Best 640X480", "3|1|2100|128|100|1|0|1|0|0|640|480|3|"},
};

const Builtin kiPhone[] = {
    {"Normal 320X240", "0|1|1500|64|100|1|0|1|0|0|320|240|3|"},
    {"Excellent 320X240", "0|1|1800|128|100|1|0|1|0|0|320|240|3|"},
    {"Best 320X240", "0|1|2100|128|100|1|0|1|0|0|320|240|3|"},
    {"Normal 480X320", "1|1|1500|64|100|1|0|1|0|0|480|320|3|"},
    {"Excellent 480X320", "1|1|1800|128|100|1|0|1|0|0|480|320|3|"},
    {"Best 480X320", "1|1|2100|128|100|1|0|1|0|0|480|320|3|"},
    {"Normal 480X270", "2|1|1500|64|100|1|0|1|0|0|480|270|3|"},
    {"Excellent 480X270", "2|1|1800|128|100|1|0|1|0|0|480|270|3|"},
    {"Best 480X270", "2|1|2100|128|100|1|0|1|0|0|480|270|3|"},
    {"Normal 640X480", "3|1|1500|64|100|1|0|1|0|0|640|480|3|"},
    {"Excellent 640X480", "3|1|1800|128|100|1|0|1|0|0|640|480|3|"},
    {"Best 640X480", "3|1|2100|128|100|1|0|1|0|0|640|480|3|"},
    {"Normal 720X406", "4|1|1500|64|100|1|0|1|0|0|720|406|3|"},
    {"Excellent 720X406", "4|1|1800|128|100|1|0|1|0|0|720|406|3|"},
    {"Best 720X406", "4|1|2100|128|100|1|0|1|0|0|720|406|3|"},
};

const Builtin kThreeGP[] = {
    {"Nokia 6230", "0|2|118|12|100|0|0|1|0|0|128|96|4|"},
    {"Nokia 6630", "3|2|118|12|100|0|0|1|0|0|176|144|4|"},
    {"Nokia N95", "7|2|256|12|100|1|0|1|1|0|320|240|3|"},
    {"Motorola V710", "3|2|118|12|100|0|0|1|0|0|176|144|4|"},
    {"Motorola V8", "7|2|256|12|100|1|0|1|1|0|320|240|4|"},
    {"Motorola A3000", "7|2|256|12|100|1|0|1|1|0|320|240|4|"},
    {"Sony Ericsson 750i", "0|2|104|64|100|0|0|1|0|0|128|96|4|"},
    {"Sony Ericsson W980i", "3|2|256|12|100|0|0|1|0|0|176|144|4|"},
    {"Samsung D500", "3|2|73|12|100|0|0|1|0|0|176|144|4|"},
    {"3GP General Setting 1", "0|0|128|12|100|0|0|1|0|0|128|96|5|"},
    {"3GP General Setting 2", "3|0|128|12|100|0|0|1|0|0|176|144|4|"},
    {"3GP General Setting 3", "7|0|190|12|100|1|0|1|1|0|320|240|3|"},
};

const Builtin kZune[] = {
    {"Zune-MPEG4 (Recommend)", "2|2|900|128|100|1|0|1|0|0|320|240|3|"},
    {"Zune-MPEG4 (TV Size 1)", "3|2|1200|128|100|1|0|1|0|0|480|368|3|"},
    {"Zune-MPEG4 (TV Size 2)", "4|2|1500|128|100|1|0|1|0|0|512|384|3|"},
    {"Zune-MPEG4 (TV Size 3)", "5|2|1800|128|100|1|0|1|0|0|680|480|3|"},
    {"Zune-MPEG4 720 X 480", "6|2|2100|128|100|1|0|1|0|0|720|480|3|"},
    {"Zune-WMV (Recommend)", "2|2|1000|128|100|1|0|1|1|0|320|240|3|"},
    {"Zune-WMV (TV Size 1)", "3|2|1000|128|100|1|0|1|1|0|480|368|3|"},
    {"Zune-WMV (TV Size 2)", "4|2|1000|128|100|1|0|1|1|0|512|384|3|"},
    {"Zune-WMV (TV Size 3)", "5|2|1200|128|100|1|0|1|1|0|680|480|3|"},
    {"Zune-WMV 720 X 480", "6|2|1500|128|100|1|0|1|1|0|720|480|3|"},
};

const Builtin kPDA[] = {
    {"Mpeg4 320X240", "0|2|1500|64|100|1|0|1|0|0|320|240|3|"},
    {"Mpeg4 480X320", "1|2|1500|64|100|1|0|1|0|0|480|320|3|"},
    {"Mpeg4 480X480", "2|2|1800|128|100|1|0|1|0|0|480|480|3|"},
    {"Mpeg4 640X480", "3|2|2100|128|100|1|0|1|0|0|640|480|3|"},
    {"WMV 320X240", "0|2|1500|64|100|1|0|1|1|1|320|240|3|"},
    {"WMV 480X320", "1|2|1500|64|100|1|0|1|1|1|480|320|3|"},
    {"WMV 480X480", "2|2|1800|128|100|1|0|1|1|1|480|480|3|"},
    {"WMV 640X480", "3|2|2100|128|100|1|0|1|1|1|640|480|3|"},
};

const Builtin kVOB[] = {
    {"DVD NTSC Format", "0|2|2100|256|100|1|0|1|0|0|720|480|3|"},
    {"DVD PAL Format", "1|2|2100|256|100|1|0|1|0|0|720|576|3|"},
};

const Builtin kMusic[] = {
    {"MP3-MPEG Layer-3", "128|100|0|1|0|"},
    {"WMA-Windows Media Audio", "128|100|0|1|1|"},
};

template <std::size_t N>
constexpr int CountOfTable(const Builtin (&)[N]) {
    return int(N);
}

// Takes the text before the next "|" and moves past it. Every field must be
// closed by its "|": without one the token is empty (and fails to convert).
std::string NextToken(const std::string &text, std::size_t &pos) {
    std::size_t bar = pos < text.size() ? text.find('|', pos) : std::string::npos;
    if (bar == std::string::npos) {
        pos = text.size();
        return {};
    }
    std::string token = text.substr(pos, bar - pos);
    pos = bar + 1;
    return token;
}

std::string Trimmed(const std::string &s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

std::string Lowered(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The eight profile categories in the order the file is read and written.
constexpr OutputCategory kListOrder[] = {OutputCategory::iPod,  OutputCategory::iPhone, OutputCategory::ThreeGP,
                                         OutputCategory::PSP,   OutputCategory::Zune,   OutputCategory::PDA,
                                         OutputCategory::VOB,   OutputCategory::Music};
// The order the count keys are read in.
constexpr OutputCategory kCountOrder[] = {OutputCategory::iPod, OutputCategory::iPhone, OutputCategory::ThreeGP,
                                          OutputCategory::PSP,  OutputCategory::Zune,   OutputCategory::PDA,
                                          OutputCategory::Music, OutputCategory::VOB};

int ClampCount(int count) {
    if (count < 1) return 1;
    if (count > kMaxProfiles) return kMaxProfiles;
    return count;
}

}  // namespace

const char *CategoryName(OutputCategory category) {
    switch (category) {
    case OutputCategory::PSP: return "PSP";
    case OutputCategory::iPod: return "iPod";
    case OutputCategory::iPhone: return "iPhone";
    case OutputCategory::ThreeGP: return "ThreeGP";
    case OutputCategory::Zune: return "Zune";
    case OutputCategory::PDA: return "PDA";
    case OutputCategory::Music: return "Music";
    case OutputCategory::AVI: return "AVI";
    case OutputCategory::MPEG4: return "MPEG4";
    case OutputCategory::MPEG2: return "MPEG2";
    case OutputCategory::VOB: return "VOB";
    case OutputCategory::WMV: return "WMV";
    case OutputCategory::SWF: return "SWF";
    case OutputCategory::MOV: return "MOV";
    }
    return "";
}

bool HasVideoProfiles(OutputCategory c) {
    switch (c) {
    case OutputCategory::PSP:
    case OutputCategory::iPod:
    case OutputCategory::iPhone:
    case OutputCategory::ThreeGP:
    case OutputCategory::Zune:
    case OutputCategory::PDA:
    case OutputCategory::VOB:
        return true;
    default:
        return false;
    }
}

bool HasProfiles(OutputCategory c) { return HasVideoProfiles(c) || c == OutputCategory::Music; }

std::int32_t StrToInt(const std::string &text) {
    if (auto v = platform::ParseDecimalInt(text)) return *v;
    throw EConvertError("'" + text + "' is not a valid integer value");
}

std::string MakeVideoStoredText(const VideoConfigParameter &p) {
    const std::int32_t fields[] = {p.ResolutionIndex, p.FrameRateIndex, p.VideoBitrate,   p.AudioBitrate,
                                   p.Volume,          p.Channels,       p.Spare,          p.KeepAspect,
                                   p.VideoCodecIndex, p.OutputTypeIndex, p.Width,          p.Height,
                                   p.Quality};
    std::string s;
    for (std::int32_t f : fields) s += std::to_string(f) + "|";
    return s;
}

std::string MakeMusicStoredText(const MusicConfigParameter &p) {
    const std::int32_t fields[] = {p.AudioBitrate, p.Volume, p.Spare, p.Channels, p.AudioCodecIndex};
    std::string s;
    for (std::int32_t f : fields) s += std::to_string(f) + "|";
    return s;
}

std::string SummaryFrameRateText(std::int32_t index) {
    const auto &rates = FiveFrameRates();
    return (index >= 0 && index < int(rates.size())) ? rates[std::size_t(index)] : std::string();
}

std::string MakeVideoSummary(const VideoConfigParameter &p) {
    return p.Name + ": Video: " + std::to_string(p.Width) + "X" + std::to_string(p.Height) + ", " +
           std::to_string(p.VideoBitrate) + "Kbps, " + SummaryFrameRateText(p.FrameRateIndex) +
           ", Audio: " + std::to_string(p.AudioBitrate) + "Kbps," + (p.Channels == 1 ? "Strereo" : "Mono");
}

std::string MakeMusicSummary(const MusicConfigParameter &p) {
    return p.Name + ": Audio: " + std::to_string(p.AudioBitrate) + "Kbps " + std::to_string(p.Volume) + "%";
}

const std::vector<std::string> &FiveFrameRates() {
    static const std::vector<std::string> v{"14.985", "23.97", "25", "29.97", "30"};
    return v;
}
const std::vector<std::string> &ChannelList() {
    static const std::vector<std::string> v{"Mono", "Stereo"};
    return v;
}
const std::vector<std::string> &KeepAspectList() {
    static const std::vector<std::string> v{"False", "True"};
    return v;
}

const std::vector<std::string> &ResolutionList(OutputCategory c) {
    static const std::vector<std::string> none;
    static const std::vector<std::string> psp{"320 X 240", "368 X 208", "400 X 192"};
    static const std::vector<std::string> ipod{"320 X 240", "480 X 320", "480 X 480", "640 X 480"};
    static const std::vector<std::string> iphone{"320 X 240", "480 X 320", "480 X 270", "640 X 480", "720 X 406"};
    static const std::vector<std::string> threegp{"128 X 96",  "160 X 120", "176 X 120", "176 X 144",
                                                  "192 X 144", "240 X 180", "320 X 200", "320 X 240",
                                                  "352 X 240", "352 X 288", "720 X 480", "720 X 576"};
    static const std::vector<std::string> zune{"160 X 120",           "320 X 180",
                                               "320 X 240(Recommend)", "480 X 368(TV Size 1)",
                                               "512 X 384(TV Size 2)", "680 X 480(TV Size 3)",
                                               "720 X 480"};
    static const std::vector<std::string> pda{"320 X 240", "480 X 320", "480 X 480", "640 X 480"};
    static const std::vector<std::string> vob{"720 X 480(NTSC)", "720 X 576(PAL)"};
    switch (c) {
    case OutputCategory::PSP: return psp;
    case OutputCategory::iPod: return ipod;
    case OutputCategory::iPhone: return iphone;
    case OutputCategory::ThreeGP: return threegp;
    case OutputCategory::Zune: return zune;
    case OutputCategory::PDA: return pda;
    case OutputCategory::VOB: return vob;
    default: return none;
    }
}

const std::vector<std::string> &CodecList(OutputCategory c) {
    static const std::vector<std::string> none;
    static const std::vector<std::string> psp{"PSPMpeg4"};
    static const std::vector<std::string> ipod{"iPodMpeg4"};
    static const std::vector<std::string> iphone{"iPhoneMpeg4"};
    static const std::vector<std::string> threegp{"H263", "Mpeg4"};
    static const std::vector<std::string> zune{"ZuneMpeg4", "MS Media Format"};
    static const std::vector<std::string> pda{"PDAMpeg4", "MS Media Format"};
    static const std::vector<std::string> vob{"VOB"};
    static const std::vector<std::string> music{"MPEG Layer-3 Audio", "MS Media Audio"};
    switch (c) {
    case OutputCategory::PSP: return psp;
    case OutputCategory::iPod: return ipod;
    case OutputCategory::iPhone: return iphone;
    case OutputCategory::ThreeGP: return threegp;
    case OutputCategory::Zune: return zune;
    case OutputCategory::PDA: return pda;
    case OutputCategory::VOB: return vob;
    case OutputCategory::Music: return music;
    default: return none;
    }
}

const std::vector<std::string> &OutputTypeList(OutputCategory c) {
    static const std::vector<std::string> none;
    static const std::vector<std::string> mp4{"*.mp4"};
    static const std::vector<std::string> threegp{"*.3GP", "*.3G2"};
    static const std::vector<std::string> mp4wmv{"*.mp4", "*.wmv"};
    static const std::vector<std::string> vob{"*.vob"};
    static const std::vector<std::string> music{"*.mp3", "*.wma"};
    switch (c) {
    case OutputCategory::PSP:
    case OutputCategory::iPod:
    case OutputCategory::iPhone: return mp4;
    case OutputCategory::ThreeGP: return threegp;
    case OutputCategory::Zune:
    case OutputCategory::PDA: return mp4wmv;
    case OutputCategory::VOB: return vob;
    case OutputCategory::Music: return music;
    default: return none;
    }
}

const std::vector<std::string> &FrameRateList(OutputCategory c) {
    static const std::vector<std::string> none;
    static const std::vector<std::string> psp{"14.985", "23.97", "29.97"};
    if (c == OutputCategory::PSP) return psp;
    if (HasVideoProfiles(c)) return FiveFrameRates();
    return none;
}

std::string ProfileSection(OutputCategory c) {
    return HasProfiles(c) ? std::string(CategoryName(c)) + "Config" : std::string();
}

std::string ProfileCountKey(OutputCategory c) {
    return HasProfiles(c) ? std::string(CategoryName(c)) + "ConfigCount" : std::string();
}

int BuiltinProfileCount(OutputCategory c) {
    switch (c) {
    case OutputCategory::PSP: return CountOfTable(kPSP);
    case OutputCategory::iPod: return CountOfTable(kiPod);
    case OutputCategory::iPhone: return CountOfTable(kiPhone);
    case OutputCategory::ThreeGP: return CountOfTable(kThreeGP);
    case OutputCategory::Zune: return CountOfTable(kZune);
    case OutputCategory::PDA: return CountOfTable(kPDA);
    case OutputCategory::VOB: return CountOfTable(kVOB);
    case OutputCategory::Music: return CountOfTable(kMusic);
    default: return 0;
    }
}

TConfigSetting::TConfigSetting(std::string configFileName) : ConfigFileName(std::move(configFileName)) {
    LoadDefaults();
}

void TConfigSetting::ParseVideoProfile(const std::string &text, const std::string &name,
                                       VideoConfigParameter &p) {
    std::size_t pos = 0;
    std::int32_t *fields[] = {&p.ResolutionIndex, &p.FrameRateIndex,  &p.VideoBitrate, &p.AudioBitrate,
                              &p.Volume,          &p.Channels,        &p.Spare,        &p.KeepAspect,
                              &p.VideoCodecIndex, &p.OutputTypeIndex, &p.Width,        &p.Height,
                              &p.Quality};
    for (std::int32_t *field : fields) *field = StrToInt(NextToken(text, pos));
    p.Name = name;
    p.StoredText = text;
    p.Summary = MakeVideoSummary(p);
}

void TConfigSetting::ParseMusicProfile(const std::string &text, const std::string &name,
                                       MusicConfigParameter &p) {
    std::size_t pos = 0;
    std::int32_t *fields[] = {&p.AudioBitrate, &p.Volume, &p.Spare, &p.Channels, &p.AudioCodecIndex};
    for (std::int32_t *field : fields) *field = StrToInt(NextToken(text, pos));
    p.Name = name;
    p.StoredText = text;
    p.Summary = MakeMusicSummary(p);
}

VideoProfileList *TConfigSetting::VideoProfilesOf(OutputCategory c) {
    switch (c) {
    case OutputCategory::PSP: return &PSPProfiles;
    case OutputCategory::iPod: return &iPodProfiles;
    case OutputCategory::iPhone: return &iPhoneProfiles;
    case OutputCategory::ThreeGP: return &ThreeGPProfiles;
    case OutputCategory::Zune: return &ZuneProfiles;
    case OutputCategory::PDA: return &PDAProfiles;
    case OutputCategory::VOB: return &VOBProfiles;
    default: return nullptr;
    }
}

const VideoProfileList *TConfigSetting::VideoProfilesOf(OutputCategory c) const {
    return const_cast<TConfigSetting *>(this)->VideoProfilesOf(c);
}

std::int32_t *TConfigSetting::CountOf(OutputCategory c) {
    switch (c) {
    case OutputCategory::PSP: return &PSPCount;
    case OutputCategory::iPod: return &iPodCount;
    case OutputCategory::iPhone: return &iPhoneCount;
    case OutputCategory::ThreeGP: return &ThreeGPCount;
    case OutputCategory::Zune: return &ZuneCount;
    case OutputCategory::PDA: return &PDACount;
    case OutputCategory::VOB: return &VOBCount;
    case OutputCategory::Music: return &MusicCount;
    default: return nullptr;
    }
}

std::int32_t TConfigSetting::CountOf(OutputCategory c) const {
    const std::int32_t *count = const_cast<TConfigSetting *>(this)->CountOf(c);
    return count ? *count : 0;
}

std::int32_t TConfigSetting::ProfileCount(OutputCategory c) const { return CountOf(c); }

void TConfigSetting::LoadDefaults() {
    auto fillVideo = [](VideoProfileList &list, std::int32_t &count, const Builtin *table, int n) {
        for (int i = 0; i < n; ++i) ParseVideoProfile(table[i].text, table[i].name, list[std::size_t(i)]);
        count = n;
    };
    fillVideo(PSPProfiles, PSPCount, kPSP, CountOfTable(kPSP));
    fillVideo(iPodProfiles, iPodCount, kiPod, CountOfTable(kiPod));
    fillVideo(iPhoneProfiles, iPhoneCount, kiPhone, CountOfTable(kiPhone));
    fillVideo(ThreeGPProfiles, ThreeGPCount, kThreeGP, CountOfTable(kThreeGP));
    fillVideo(ZuneProfiles, ZuneCount, kZune, CountOfTable(kZune));
    fillVideo(PDAProfiles, PDACount, kPDA, CountOfTable(kPDA));
    fillVideo(VOBProfiles, VOBCount, kVOB, CountOfTable(kVOB));
    for (int i = 0; i < CountOfTable(kMusic); ++i)
        ParseMusicProfile(kMusic[i].text, kMusic[i].name, MusicProfiles[std::size_t(i)]);
    MusicCount = CountOfTable(kMusic);
}

void TConfigSetting::LoadFromIni() {
    platform::IniFile ini(ConfigFileName);
    for (OutputCategory c : kCountOrder) {
        std::int32_t *count = CountOf(c);
        *count = ClampCount(ini.ReadInteger(ProfileSection(c), ProfileCountKey(c), *count));
    }
    for (std::size_t li = 0; li < std::size(kListOrder); ++li) {
        OutputCategory c = kListOrder[li];
        const std::string section = ProfileSection(c), countKey = ProfileCountKey(c);
        std::int32_t *count = CountOf(c);
        for (int i = 0; i < *count; ++i) {
            std::string name = Trimmed(ini.ReadString(section, countKey + std::to_string(i), ""));
            if (name.empty()) continue;
            std::string text = ini.ReadString(section, name, "");
            if (Trimmed(text).empty()) continue;
            try {
                // Into a scratch record, so a bad text never leaves a half
                // filled profile in the list.
                if (c == OutputCategory::Music) {
                    MusicConfigParameter p;
                    ParseMusicProfile(text, name, p);
                    MusicProfiles[std::size_t(i)] = std::move(p);
                } else {
                    VideoConfigParameter p;
                    ParseVideoProfile(text, name, p);
                    (*VideoProfilesOf(c))[std::size_t(i)] = std::move(p);
                }
            } catch (const EConvertError &) {
                // The failing list ends before the bad entry; the lists not
                // reached keep their built-ins untouched, counts included.
                *count = ClampCount(i);
                for (std::size_t rest = li + 1; rest < std::size(kListOrder); ++rest)
                    *CountOf(kListOrder[rest]) = BuiltinProfileCount(kListOrder[rest]);
                throw;
            }
        }
    }
}

bool TConfigSetting::IsStorableProfileName(OutputCategory c, const std::string &name) {
    if (!HasProfiles(c) || !platform::IsStorableIniKey(name)) return false;
    std::string key = Lowered(Trimmed(name));
    std::string countKey = Lowered(ProfileCountKey(c));
    if (key.rfind(countKey, 0) == 0) {
        std::string rest = key.substr(countKey.size());
        bool digits = true;
        for (char ch : rest) digits = digits && ch >= '0' && ch <= '9';
        if (digits) return false;  // the count key or an index key
    }
    return true;
}

bool TConfigSetting::SaveToIni() { return SaveToIni(ConfigFileName); }

std::string TConfigSetting::StorableProfileName(OutputCategory c, const std::string &name,
                                                const std::vector<std::string> &taken) {
    std::string base;
    for (char ch : Trimmed(name)) {
        if (ch == '=') base += '-';
        else if (ch == '\r' || ch == '\n') base += ' ';
        else base += ch;
    }
    while (!base.empty() && (base[0] == '[' || base[0] == ';' || base[0] == ' ' || base[0] == '\t'))
        base.erase(base.begin());
    base = Trimmed(base);
    if (base.empty()) base = "Profile";
    auto isTaken = [&](const std::string &candidate) {
        std::string low = Lowered(candidate);
        for (const auto &t : taken)
            if (Lowered(t) == low) return true;
        return false;
    };
    std::string candidate = base;
    for (int n = 2; !IsStorableProfileName(c, candidate) || isTaken(candidate); ++n)
        candidate = base + " (" + std::to_string(n) + ")";
    return candidate;
}

bool TConfigSetting::SaveToIni(const std::string &fileName) {
    platform::IniFile ini(fileName);
    bool ok = true;
    for (OutputCategory c : kListOrder) {
        const std::string section = ProfileSection(c), countKey = ProfileCountKey(c);
        const int count = ClampCount(*CountOf(c));
        ok = ini.EraseSection(section) && ok;
        std::vector<std::string> written;  // names already used as keys
        for (int i = 1; i < count; ++i) {
            const std::string &name =
                c == OutputCategory::Music ? MusicProfiles[std::size_t(i)].Name : (*VideoProfilesOf(c))[std::size_t(i)].Name;
            const std::string &text = c == OutputCategory::Music ? MusicProfiles[std::size_t(i)].StoredText
                                                                 : (*VideoProfilesOf(c))[std::size_t(i)].StoredText;
            // A name the file cannot hold under its own key (or that another
            // profile already uses) would read back as a hole or as another
            // profile; it is stored under a close variant instead.
            const std::string key = StorableProfileName(c, name, written);
            written.push_back(key);
            ok = ini.WriteString(section, countKey + std::to_string(i), key) && ok;
            ok = ini.WriteString(section, key, text) && ok;
        }
        ok = ini.WriteInteger(section, countKey, count) && ok;
    }
    return ok;
}

bool TConfigSetting::DeleteWorkingVideoProfile(int index) {
    if (index < 0 || index >= WorkingVideoCount || WorkingVideoCount > kMaxProfiles) return false;
    for (int i = index; i + 1 < WorkingVideoCount; ++i)
        WorkingVideoProfiles[std::size_t(i)] = WorkingVideoProfiles[std::size_t(i + 1)];
    WorkingVideoProfiles[std::size_t(WorkingVideoCount - 1)] = VideoConfigParameter{};
    --WorkingVideoCount;
    return true;
}

bool TConfigSetting::DeleteWorkingMusicProfile(int index) {
    if (index < 0 || index >= WorkingMusicCount || WorkingMusicCount > kMaxProfiles) return false;
    for (int i = index; i + 1 < WorkingMusicCount; ++i)
        WorkingMusicProfiles[std::size_t(i)] = WorkingMusicProfiles[std::size_t(i + 1)];
    WorkingMusicProfiles[std::size_t(WorkingMusicCount - 1)] = MusicConfigParameter{};
    --WorkingMusicCount;
    return true;
}

bool TConfigSetting::AddWorkingVideoProfile(const VideoConfigParameter &profile) {
    if (WorkingVideoCount < 0 || WorkingVideoCount >= kMaxProfiles) return false;
    WorkingVideoProfiles[std::size_t(WorkingVideoCount++)] = profile;
    return true;
}

bool TConfigSetting::AddWorkingMusicProfile(const MusicConfigParameter &profile) {
    if (WorkingMusicCount < 0 || WorkingMusicCount >= kMaxProfiles) return false;
    WorkingMusicProfiles[std::size_t(WorkingMusicCount++)] = profile;
    return true;
}

}  // namespace velorin
