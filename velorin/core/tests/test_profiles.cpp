// The profile store: built-ins, stored texts, summaries, config.ini layout
// and the list bounds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "core/ConfigSetting.h"
#include "platform/ini.h"

namespace fs = std::filesystem;
using namespace velorin;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "core-profiles-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string &name) const { return (fs::path(path_) / name).string(); }

private:
    std::string path_;
};

void WriteRaw(const std::string &path, const std::string &data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

std::unique_ptr<TConfigSetting> Store(const std::string &file) { return std::make_unique<TConfigSetting>(file); }

const OutputCategory kProfileCategories[] = {OutputCategory::PSP,  OutputCategory::iPod, OutputCategory::iPhone,
                                             OutputCategory::ThreeGP, OutputCategory::Zune, OutputCategory::PDA,
                                             OutputCategory::VOB,  OutputCategory::Music};

std::string NameOf(const TConfigSetting &s, OutputCategory c, int i) {
    return c == OutputCategory::Music ? s.MusicProfiles[i].Name : (*s.VideoProfilesOf(c))[i].Name;
}

}  // namespace

TEST(Profiles, BuiltinListsAndSummaries) {
    auto s = Store("/nonexistent/config.ini");
    struct Count {
        OutputCategory c;
        int n;
        const char *first, *last;
    } counts[] = {
        {OutputCategory::PSP, 5, "Lowest Quality", "Best Quality"},
        {OutputCategory::iPod, 12, "Normal 320X240", "Best 640X480"},
        {OutputCategory::iPhone, 15, "Normal 320X240", "Best 720X406"},
        {OutputCategory::ThreeGP, 12, "Nokia 6230", "3GP General Setting 3"},
        {OutputCategory::Zune, 10, "Zune-MPEG4 (Recommend)", "Zune-WMV 720 X 480"},
        {OutputCategory::PDA, 8, "Mpeg4 320X240", "WMV 640X480"},
        {OutputCategory::VOB, 2, "DVD NTSC Format", "DVD PAL Format"},
        {OutputCategory::Music, 2, "MP3-MPEG Layer-3", "WMA-Windows Media Audio"},
    };
    for (const Count &c : counts) {
        EXPECT_EQ(s->ProfileCount(c.c), c.n) << CategoryName(c.c);
        EXPECT_EQ(BuiltinProfileCount(c.c), c.n);
        EXPECT_EQ(NameOf(*s, c.c, 0), c.first);
        EXPECT_EQ(NameOf(*s, c.c, c.n - 1), c.last);
        EXPECT_EQ(NameOf(*s, c.c, c.n), "");  // zero-filled past the count
    }
    EXPECT_EQ(s->VideoProfilesOf(OutputCategory::AVI), nullptr);
    EXPECT_EQ(s->ProfileCount(OutputCategory::MOV), 0);
    EXPECT_EQ(s->CountOf(OutputCategory::MOV), nullptr);
    EXPECT_EQ(s->FirstEditableVideo, 0);
    EXPECT_EQ(s->WorkingVideoCount, 0);

    const VideoConfigParameter &lowest = s->PSPProfiles[0];
    EXPECT_EQ(lowest.Summary, "Lowest Quality: Video: 320X240, 150Kbps, 23.97, Audio: 16Kbps,Mono");
    EXPECT_EQ(lowest.StoredText, "0|1|150|16|100|0|0|1|0|0|320|240|3|");
    EXPECT_EQ(lowest.Width, 320);
    EXPECT_EQ(lowest.Height, 240);
    EXPECT_EQ(lowest.Quality, 3);
    EXPECT_EQ(MakeVideoStoredText(lowest), lowest.StoredText);
    EXPECT_EQ(s->VOBProfiles[1].Summary, "DVD PAL Format: Video: 720X576, 2100Kbps, 25, Audio: 256Kbps,Strereo");
    EXPECT_EQ(s->MusicProfiles[0].Summary, "MP3-MPEG Layer-3: Audio: 128Kbps 100%");
    EXPECT_EQ(s->MusicProfiles[1].AudioCodecIndex, 1);
    EXPECT_EQ(MakeMusicStoredText(s->MusicProfiles[1]), "128|100|0|1|1|");
    // Zune WMV: codec 1 with output type 0; ThreeGP Nokia N95 uses codec 1.
    EXPECT_EQ(s->ZuneProfiles[5].VideoCodecIndex, 1);
    EXPECT_EQ(s->ZuneProfiles[5].OutputTypeIndex, 0);
    EXPECT_EQ(s->ThreeGPProfiles[9].Quality, 5);
    EXPECT_EQ(s->PDAProfiles[7].OutputTypeIndex, 1);

    // The summary's frame rate always comes from the five rates, for PSP too.
    VideoConfigParameter p;
    TConfigSetting::ParseVideoProfile("0|2|600|64|100|1|0|1|0|0|320|240|3|", "Mine", p);
    EXPECT_EQ(p.Summary, "Mine: Video: 320X240, 600Kbps, 25, Audio: 64Kbps,Strereo");
    EXPECT_EQ(FrameRateList(OutputCategory::PSP)[2], "29.97");
    TConfigSetting::ParseVideoProfile("0|9|600|64|100|0|0|1|0|0|320|240|3|", "Odd", p);
    EXPECT_EQ(p.Summary, "Odd: Video: 320X240, 600Kbps, , Audio: 64Kbps,Mono");
}

TEST(Profiles, CategoryVocabulary) {
    EXPECT_EQ(ResolutionList(OutputCategory::Zune)[2], "320 X 240(Recommend)");
    EXPECT_EQ(ResolutionList(OutputCategory::ThreeGP).size(), 12u);
    EXPECT_EQ(ResolutionList(OutputCategory::VOB)[1], "720 X 576(PAL)");
    EXPECT_EQ(CodecList(OutputCategory::Music), (std::vector<std::string>{"MPEG Layer-3 Audio", "MS Media Audio"}));
    EXPECT_EQ(CodecList(OutputCategory::PDA)[1], "MS Media Format");
    EXPECT_EQ(OutputTypeList(OutputCategory::ThreeGP), (std::vector<std::string>{"*.3GP", "*.3G2"}));
    EXPECT_EQ(OutputTypeList(OutputCategory::Music)[1], "*.wma");
    EXPECT_EQ(FrameRateList(OutputCategory::PSP).size(), 3u);
    EXPECT_EQ(FrameRateList(OutputCategory::iPod).size(), 5u);
    EXPECT_TRUE(FrameRateList(OutputCategory::Music).empty());
    EXPECT_TRUE(ResolutionList(OutputCategory::AVI).empty());
    EXPECT_EQ(ChannelList()[1], "Stereo");
    EXPECT_EQ(KeepAspectList()[0], "False");
    EXPECT_EQ(ProfileSection(OutputCategory::ThreeGP), "ThreeGPConfig");
    EXPECT_EQ(ProfileCountKey(OutputCategory::Music), "MusicConfigCount");
    EXPECT_EQ(ProfileSection(OutputCategory::SWF), "");
}

TEST(Profiles, ParseErrorsNameTheToken) {
    struct Case {
        const char *text;
        const char *error;  // nullptr: parses
    } video[] = {
        {"0|1|150|16|100|0|0|1|0|0|320|240|3|", nullptr},
        {"0|1|150|16|100|0|0|1|0|0|320|240|3|trailing|junk", nullptr},
        {"0|1|150|16|100|0|0|1|0|0|320|240|3", "'' is not a valid integer value"},
        {"0|1|x|16|100|0|0|1|0|0|320|240|3|", "'x' is not a valid integer value"},
        {"0|1|12x|16|100|0|0|1|0|0|320|240|3|", "'12x' is not a valid integer value"},
        {"0|1||16|100|0|0|1|0|0|320|240|3|", "'' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"0|1|150|", "'' is not a valid integer value"},
        {"0|1| 150|16|100|0|0|1|0|0|320|240|3|", "' 150' is not a valid integer value"},
    };
    for (const Case &c : video) {
        VideoConfigParameter p;
        if (!c.error) {
            EXPECT_NO_THROW(TConfigSetting::ParseVideoProfile(c.text, "n", p)) << c.text;
            EXPECT_EQ(p.StoredText, c.text);
            EXPECT_EQ(p.Quality, 3);
            continue;
        }
        try {
            TConfigSetting::ParseVideoProfile(c.text, "n", p);
            ADD_FAILURE() << "parsed: " << c.text;
        } catch (const EConvertError &e) {
            EXPECT_STREQ(e.what(), c.error) << c.text;
        }
    }
    // The record holds the fields converted before the bad one.
    VideoConfigParameter p;
    EXPECT_THROW(TConfigSetting::ParseVideoProfile("4|3|x|", "n", p), EConvertError);
    EXPECT_EQ(p.ResolutionIndex, 4);
    EXPECT_EQ(p.FrameRateIndex, 3);
    EXPECT_EQ(p.Name, "");

    MusicConfigParameter m;
    EXPECT_NO_THROW(TConfigSetting::ParseMusicProfile("64|150|0|0|1|", "Low", m));
    EXPECT_EQ(m.Summary, "Low: Audio: 64Kbps 150%");
    EXPECT_EQ(m.AudioCodecIndex, 1);
    try {
        TConfigSetting::ParseMusicProfile("64|150|0|0", "Low", m);
        ADD_FAILURE();
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
}

TEST(ProfilesIni, FreshSaveWritesEveryListWithoutEntryZero) {
    TempDir dir;
    const std::string file = dir.File("config.ini");
    auto s = Store(file);
    s->LoadFromIni();  // missing file: built-ins stand
    EXPECT_EQ(s->PSPCount, 5);
    ASSERT_TRUE(s->SaveToIni());
    platform::IniFile ini(file);
    for (OutputCategory c : kProfileCategories) {
        const std::string section = ProfileSection(c), countKey = ProfileCountKey(c);
        const int n = BuiltinProfileCount(c);
        EXPECT_EQ(ini.ReadInteger(section, countKey, -1), n) << section;
        std::vector<std::string> expected;
        for (int i = 1; i < n; ++i) {
            expected.push_back(countKey + std::to_string(i));
            expected.push_back(NameOf(*s, c, i));
        }
        expected.push_back(countKey);
        EXPECT_EQ(ini.SectionKeys(section), expected) << section;
        EXPECT_FALSE(ini.KeyExists(section, countKey + "0"));
        EXPECT_FALSE(ini.KeyExists(section, NameOf(*s, c, 0)));
    }
    EXPECT_EQ(ini.ReadString("VOBConfig", "DVD PAL Format", ""), "1|2|2100|256|100|1|0|1|0|0|720|576|3|");
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"iPodConfig", "iPhoneConfig", "ThreeGPConfig", "PSPConfig",
                                                         "ZuneConfig", "PDAConfig", "VOBConfig", "MusicConfig"}));
}

TEST(ProfilesIni, AddedProfileSurvivesSaveAndLoad) {
    TempDir dir;
    const std::string file = dir.File("config.ini");
    auto s = Store(file);
    TConfigSetting::ParseVideoProfile("1|2|700|96|120|1|0|0|0|0|368|208|4|", "Mine", s->PSPProfiles[5]);
    s->PSPCount = 6;
    s->PSPProfiles[0].VideoBitrate = 9999;  // an edited entry 0 is not kept
    ASSERT_TRUE(s->SaveToIni());

    platform::IniFile ini(file);
    EXPECT_EQ(ini.ReadString("PSPConfig", "PSPConfigCount5", ""), "Mine");
    EXPECT_EQ(ini.ReadString("PSPConfig", "Mine", ""), "1|2|700|96|120|1|0|0|0|0|368|208|4|");
    EXPECT_EQ(ini.ReadInteger("PSPConfig", "PSPConfigCount", 0), 6);

    auto loaded = Store(file);
    loaded->LoadFromIni();
    ASSERT_EQ(loaded->PSPCount, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(loaded->PSPProfiles[i].Name, i == 5 ? "Mine" : s->PSPProfiles[i].Name);
        EXPECT_EQ(loaded->PSPProfiles[i].Summary, i == 0 ? Store("")->PSPProfiles[0].Summary : s->PSPProfiles[i].Summary);
    }
    EXPECT_EQ(loaded->PSPProfiles[0].VideoBitrate, 150);
    EXPECT_EQ(loaded->PSPProfiles[5].Quality, 4);
    EXPECT_EQ(loaded->PSPProfiles[5].Volume, 120);
}

TEST(ProfilesIni, DeletedBuiltinStaysDeleted) {
    TempDir dir;
    const std::string file = dir.File("config.ini");
    auto s = Store(file);
    s->WorkingVideoProfiles = s->iPodProfiles;
    s->WorkingVideoCount = s->iPodCount;
    ASSERT_TRUE(s->DeleteWorkingVideoProfile(2));
    s->iPodProfiles = s->WorkingVideoProfiles;
    s->iPodCount = s->WorkingVideoCount;
    ASSERT_TRUE(s->SaveToIni());
    auto loaded = Store(file);
    loaded->LoadFromIni();
    ASSERT_EQ(loaded->iPodCount, 11);
    EXPECT_EQ(loaded->iPodProfiles[1].Name, "Excellent 320X240");
    EXPECT_EQ(loaded->iPodProfiles[2].Name, "Normal 480X320");
    EXPECT_EQ(loaded->iPodProfiles[10].Name, "Best 640X480");
}

TEST(ProfilesIni, CountsAreClampedAndBadCountsKeepTheBuiltins) {
    TempDir dir;
    const std::string file = dir.File("config.ini");
    WriteRaw(file,
             "[PSPConfig]\nPSPConfigCount=500\nPSPConfigCount80=Far\nFar=0|1|1|1|100|0|0|1|0|0|320|240|3|\n"
             "PSPConfigCount81=TooFar\nTooFar=0|1|2|2|100|0|0|1|0|0|320|240|3|\n"
             "[iPodConfig]\niPodConfigCount=abc\n"
             "[ZuneConfig]\nZuneConfigCount=0\n"
             "[PDAConfig]\nPDAConfigCount=-4\n"
             "[VOBConfig]\nVOBConfigCount=3\nVOBConfigCount2=   \n"
             "[MusicConfig]\nMusicConfigCount=3\nMusicConfigCount2=Blank\nBlank=  \n");
    auto s = Store(file);
    s->LoadFromIni();
    EXPECT_EQ(s->PSPCount, kMaxProfiles);
    EXPECT_EQ(s->PSPProfiles[80].Name, "Far");
    EXPECT_EQ(s->PSPProfiles[79].Name, "");  // not in the file: an empty record
    EXPECT_EQ(s->PSPProfiles[4].Name, "Best Quality");
    EXPECT_EQ(s->iPodCount, 12);
    EXPECT_EQ(s->ZuneCount, 1);
    EXPECT_EQ(s->PDACount, 1);
    EXPECT_EQ(s->VOBCount, 3);
    EXPECT_EQ(s->VOBProfiles[2].Name, "");
    EXPECT_EQ(s->MusicCount, 3);
    EXPECT_EQ(s->MusicProfiles[2].Name, "");
    EXPECT_EQ(s->MusicProfiles[1].Name, "WMA-Windows Media Audio");
}

TEST(ProfilesIni, BadStoredTextStopsLoadingAndKeepsTheRestBuiltin) {
    TempDir dir;
    const std::string file = dir.File("config.ini");
    // Read order of lists: iPod, iPhone, ThreeGP, PSP, Zune, PDA, VOB, Music.
    WriteRaw(file,
             "[iPodConfig]\niPodConfigCount=13\niPodConfigCount12=Pod Extra\n"
             "Pod Extra=0|1|111|64|100|1|0|1|0|0|320|240|3|\n"
             "[PSPConfig]\nPSPConfigCount=7\nPSPConfigCount5=Good\nGood=0|1|222|64|100|1|0|1|0|0|320|240|3|\n"
             "PSPConfigCount6=Broken\nBroken=0|1|x|64|100|1|0|1|0|0|320|240|3|\n"
             "[ZuneConfig]\nZuneConfigCount=11\nZuneConfigCount10=Zext\nZext=2|2|900|128|100|1|0|1|0|0|320|240|3|\n"
             "[MusicConfig]\nMusicConfigCount=3\nMusicConfigCount2=Mext\nMext=64|100|0|1|0|\n");
    auto s = Store(file);
    try {
        s->LoadFromIni();
        ADD_FAILURE() << "no error";
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
    }
    EXPECT_EQ(s->iPodCount, 13);
    EXPECT_EQ(s->iPodProfiles[12].Name, "Pod Extra");
    EXPECT_EQ(s->PSPCount, 6);  // ends before the bad entry
    EXPECT_EQ(s->PSPProfiles[5].Name, "Good");
    EXPECT_EQ(s->PSPProfiles[6].Name, "");  // no half-filled record
    EXPECT_EQ(s->PSPProfiles[6].ResolutionIndex, 0);
    EXPECT_EQ(s->ZuneCount, 10);  // not reached: built-in
    EXPECT_EQ(s->ZuneProfiles[9].Name, "Zune-WMV 720 X 480");
    EXPECT_EQ(s->MusicCount, 2);
}

TEST(ProfilesIni, NamesTheFileCannotHoldAreStoredUnderAVariant) {
    TempDir dir;
    const std::string file = dir.File("config.ini");
    auto s = Store(file);
    struct Case {
        const char *name, *stored;
    } cases[] = {
        {"a=b", "a-b"},
        {"[x", "x"},
        {";y", "y"},
        {"PSPConfigCount", "PSPConfigCount (2)"},
        {"pspconfigcount2", "pspconfigcount2 (2)"},
        {"Low Quality", "Low Quality (2)"},   // entry 1 has the name
        {"low quality", "low quality (3)"},   // keys compare case-insensitively
        {"Keep Me", "Keep Me"},
        {"  ", "Profile"},
        {"PSPConfigCountX", "PSPConfigCountX"},
    };
    int n = 5;
    for (const Case &c : cases)
        TConfigSetting::ParseVideoProfile("0|1|" + std::to_string(n) + "|10|100|0|0|1|0|0|320|240|3|", c.name,
                                          s->PSPProfiles[n]), ++n;
    s->PSPCount = n;
    ASSERT_TRUE(s->SaveToIni());
    auto loaded = Store(file);
    loaded->LoadFromIni();
    ASSERT_EQ(loaded->PSPCount, n);
    EXPECT_EQ(loaded->PSPProfiles[4].Name, "Best Quality");
    EXPECT_EQ(loaded->PSPProfiles[1].Name, "Low Quality");
    for (int i = 5; i < n; ++i) {
        EXPECT_EQ(loaded->PSPProfiles[i].Name, cases[i - 5].stored) << cases[i - 5].name;
        EXPECT_EQ(loaded->PSPProfiles[i].VideoBitrate, i);
    }
    EXPECT_TRUE(TConfigSetting::IsStorableProfileName(OutputCategory::PSP, "Mine"));
    EXPECT_FALSE(TConfigSetting::IsStorableProfileName(OutputCategory::PSP, "PSPConfigCount12"));
    EXPECT_TRUE(TConfigSetting::IsStorableProfileName(OutputCategory::iPod, "PSPConfigCount12"));
    EXPECT_FALSE(TConfigSetting::IsStorableProfileName(OutputCategory::PSP, "a=b"));
    EXPECT_FALSE(TConfigSetting::IsStorableProfileName(OutputCategory::AVI, "Mine"));
}

TEST(ProfilesWorking, DeleteAndAddStayInsideTheList) {
    auto s = Store("");
    // A full working list: deleting any entry never reads past the end.
    for (int i = 0; i < kMaxProfiles; ++i) {
        s->WorkingMusicProfiles[i].Name = "m" + std::to_string(i);
        s->WorkingVideoProfiles[i].Name = "v" + std::to_string(i);
    }
    s->WorkingMusicCount = s->WorkingVideoCount = kMaxProfiles;
    VideoConfigParameter extra;
    extra.Name = "extra";
    EXPECT_FALSE(s->AddWorkingVideoProfile(extra));
    EXPECT_FALSE(s->AddWorkingMusicProfile(MusicConfigParameter{}));
    EXPECT_EQ(s->WorkingVideoCount, kMaxProfiles);

    ASSERT_TRUE(s->DeleteWorkingVideoProfile(kMaxProfiles - 1));
    ASSERT_TRUE(s->DeleteWorkingVideoProfile(1));
    EXPECT_EQ(s->WorkingVideoCount, kMaxProfiles - 2);
    EXPECT_EQ(s->WorkingVideoProfiles[0].Name, "v0");
    EXPECT_EQ(s->WorkingVideoProfiles[1].Name, "v2");
    EXPECT_EQ(s->WorkingVideoProfiles[kMaxProfiles - 3].Name, "v79");
    EXPECT_EQ(s->WorkingVideoProfiles[kMaxProfiles - 2].Name, "");
    ASSERT_TRUE(s->AddWorkingVideoProfile(extra));
    EXPECT_EQ(s->WorkingVideoProfiles[kMaxProfiles - 2].Name, "extra");

    ASSERT_TRUE(s->DeleteWorkingMusicProfile(0));
    EXPECT_EQ(s->WorkingMusicProfiles[0].Name, "m1");
    EXPECT_EQ(s->WorkingMusicProfiles[kMaxProfiles - 1].Name, "");
    for (int bad : {-1, kMaxProfiles - 1, kMaxProfiles, 1000}) {
        EXPECT_FALSE(s->DeleteWorkingMusicProfile(bad)) << bad;
    }
    EXPECT_EQ(s->WorkingMusicCount, kMaxProfiles - 1);
    s->WorkingMusicCount = 0;
    EXPECT_FALSE(s->DeleteWorkingMusicProfile(0));
}
