// Start-up and shut-down end to end: the settings file, the fallback place,
// filter-module registration, the open-dialog filter and the FPU state.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "core/AppCore.h"
#include "platform/fpu.h"
#include "platform/ini.h"

namespace fs = std::filesystem;
using namespace velorin;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "core-startup-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string &name) const { return (fs::path(path_) / name).string(); }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

void WriteRaw(const std::string &path, const std::string &data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << data;
}

struct Message {
    std::string text, caption;
    MsgButtons buttons;
    MsgIcon icon;
};

class DialogDouble final : public DialogService {
public:
    MsgResult MessageBox(const std::string &text, const std::string &caption, MsgButtons buttons,
                         MsgIcon icon) override {
        messages.push_back({text, caption, buttons, icon});
        return MsgResult::Ok;
    }
    std::vector<std::string> OpenFiles(const FileDialogRequest &) override { return {}; }
    std::string SaveFile(const FileDialogRequest &) override { return {}; }
    std::string SelectFolder(const std::string &, const std::string &) override { return {}; }
    bool ShellOpen(const std::string &) override { return false; }
    std::vector<Message> messages;
};

const char *const kAppDataKeys[] = {
    "PSPOutputFilenameIndex", "OutputFilenameIndex", "bMovieEditorMoreOption", "iZuneConfigCount",
    "iPSPConfigCount",        "iThreeGPConfigCount", "iPhoneConfigCount",      "iPodConfigCount",
    "iPDAConfigCount",        "iVOBConfigCount",     "iMusiciProfilesIndex",   "VideoResolution",
    "VideoFrameRate",         "VideoQuality",        "AudioQuality",           "AudioChannels",
    "Volume",                 "VideoCode",           "OutoutType",             "Addletterboxtokeepaspectratio"};
const char *const kAppDataDefaults[] = {"20001", "1", "0", "5", "3", "9", "3", "4", "0", "0",
                                        "0",     "4", "0", "900", "96", "1", "100", "0", "0", "1"};

// A program folder with working stand-ins for all three filter modules, so
// only what a test removes or breaks is reported.
void InstallModules(const std::string &folder) {
    for (const char *name : {"dravik.ax", "rmsp.ax", "qtalt.ax"})
        fs::copy_file(CORE_FAKE_MODULE_OK, fs::path(folder) / name, fs::copy_options::overwrite_existing);
}

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallDialogService(&dialogs);
        if (const char *x = std::getenv("XDG_CONFIG_HOME")) oldXdg_ = x, hadXdg_ = true;
        ::setenv("XDG_CONFIG_HOME", dir.File("xdg").c_str(), 1);
        program = dir.File("program");
        fs::create_directories(program);
        InstallModules(program);
    }
    void TearDown() override {
        ShutDown();
        InstallDialogService(nullptr);
        if (hadXdg_) ::setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
    StartUpOptions Options() const {
        StartUpOptions o;
        o.programFolder = program;
        return o;
    }

    TempDir dir;
    std::string program;
    DialogDouble dialogs;

private:
    std::string oldXdg_;
    bool hadXdg_ = false;
};

}  // namespace

TEST_F(StartUpTest, FirstRunWritesDefaultsInTableOrder) {
    const platform::FpuState before = platform::SaveFpuState();
    StartUp(Options());
    ASSERT_NE(VideoFileList, nullptr);
    ASSERT_NE(SysConfigure, nullptr);
    ASSERT_NE(ConfigSetting, nullptr);
    EXPECT_EQ(VideoFileList->LastIndex, -1);
    EXPECT_EQ(SysConfigure->IniFileName, program + "/config.ini");
    EXPECT_EQ(ConfigSetting->ConfigFileName, program + "/config.ini");
    EXPECT_EQ(SysConfigure->VideoQuality, 900);
    EXPECT_TRUE(SysConfigure->Addletterboxtokeepaspectratio);
    EXPECT_EQ(ProgramFolder(), program + "/");
    EXPECT_EQ(platform::GetX87ControlWord() & platform::kX87DefinedBits, platform::kX87AllMasked);
    EXPECT_FALSE(fs::exists(program + "/config.ini"));  // nothing is written before the close
    EXPECT_TRUE(dialogs.messages.empty());

    ShutDown();
    EXPECT_EQ(SysConfigure, nullptr);
    EXPECT_EQ(ConfigSetting, nullptr);
    EXPECT_NE(VideoFileList, nullptr);
    EXPECT_EQ(platform::GetX87ControlWord(), before.x87);
    EXPECT_EQ(platform::GetMxcsr(), before.mxcsr);

    platform::IniFile ini(program + "/config.ini");
    std::vector<std::string> keys(std::begin(kAppDataKeys), std::end(kAppDataKeys));
    EXPECT_EQ(ini.SectionKeys("AppData"), keys);
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(ini.ReadString("AppData", keys[i], "?"), kAppDataDefaults[i]) << keys[i];
    // The profile store writes first; then the settings.
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"iPodConfig", "iPhoneConfig", "ThreeGPConfig", "PSPConfig",
                                                         "ZuneConfig", "PDAConfig", "VOBConfig", "MusicConfig",
                                                         "AppData"}));
    for (OutputCategory c : {OutputCategory::PSP, OutputCategory::iPod, OutputCategory::iPhone, OutputCategory::ThreeGP,
                             OutputCategory::Zune, OutputCategory::PDA, OutputCategory::VOB, OutputCategory::Music}) {
        const int n = BuiltinProfileCount(c);
        EXPECT_EQ(ini.ReadInteger(ProfileSection(c), ProfileCountKey(c), -1), n);
        EXPECT_EQ(int(ini.SectionKeys(ProfileSection(c)).size()), 2 * (n - 1) + 1);
        EXPECT_FALSE(ini.KeyExists(ProfileSection(c), ProfileCountKey(c) + "0"));
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StartUpTest, OddValuesComeBackNormalisedAndIndexesIndependent) {
    WriteRaw(program + "/config.ini",
             "[AppData]\nbMovieEditorMoreOption=7\nVideoQuality=abc\nAudioQuality=12x\niPSPConfigCount=2\n"
             "Addletterboxtokeepaspectratio=0\nPSPOutputFilenameIndex=20005\n");
    StartUp(Options());
    EXPECT_TRUE(SysConfigure->bMovieEditorMoreOption);
    EXPECT_EQ(SysConfigure->VideoQuality, 900);
    EXPECT_EQ(SysConfigure->AudioQuality, 96);
    EXPECT_FALSE(SysConfigure->Addletterboxtokeepaspectratio);
    SysConfigure->iZuneConfigCount = 7;
    SysConfigure->PSPOutputFilenameIndex += 2;
    ShutDown();
    platform::IniFile ini(program + "/config.ini");
    EXPECT_EQ(ini.ReadString("AppData", "bMovieEditorMoreOption", ""), "1");
    EXPECT_EQ(ini.ReadString("AppData", "VideoQuality", ""), "900");
    EXPECT_EQ(ini.ReadString("AppData", "AudioQuality", ""), "96");
    EXPECT_EQ(ini.ReadString("AppData", "Addletterboxtokeepaspectratio", ""), "0");
    EXPECT_EQ(ini.ReadString("AppData", "iPSPConfigCount", ""), "2");
    EXPECT_EQ(ini.ReadString("AppData", "iZuneConfigCount", ""), "7");
    EXPECT_EQ(ini.ReadString("AppData", "iPodConfigCount", ""), "4");
    EXPECT_EQ(ini.ReadString("AppData", "PSPOutputFilenameIndex", ""), "20007");

    StartUp(Options());
    EXPECT_EQ(SysConfigure->iZuneConfigCount, 7);
    EXPECT_EQ(SysConfigure->iPSPConfigCount, 2);
    EXPECT_EQ(SysConfigure->PSPOutputFilenameIndex, 20007);
}

TEST_F(StartUpTest, AddedProfileSurvivesARestart) {
    StartUp(Options());
    TConfigSetting::ParseVideoProfile("0|1|500|64|100|1|0|1|0|0|320|240|3|", "Mine", ConfigSetting->PSPProfiles[5]);
    ConfigSetting->PSPCount = 6;
    ShutDown();
    platform::IniFile ini(program + "/config.ini");
    EXPECT_EQ(ini.ReadString("PSPConfig", "PSPConfigCount5", ""), "Mine");
    EXPECT_EQ(ini.ReadInteger("PSPConfig", "PSPConfigCount", 0), 6);
    StartUp(Options());
    ASSERT_EQ(ConfigSetting->PSPCount, 6);
    EXPECT_EQ(ConfigSetting->PSPProfiles[5].Name, "Mine");
    EXPECT_EQ(ConfigSetting->PSPProfiles[5].VideoBitrate, 500);
}

TEST_F(StartUpTest, BadProfileTextIsReportedOnceAndStartUpGoesOn) {
    WriteRaw(program + "/config.ini",
             "[PSPConfig]\nPSPConfigCount=6\nPSPConfigCount5=Broken\nBroken=0|1|x|64|100|1|0|1|0|0|320|240|3|\n"
             "[AppData]\nVolume=150\n");
    const platform::FpuState before = platform::SaveFpuState();
    StartUp(Options());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "'x' is not a valid integer value");
    EXPECT_EQ(dialogs.messages[0].caption, "Velorin");
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Error);
    // The remaining steps ran.
    ASSERT_NE(ConfigSetting, nullptr);
    EXPECT_EQ(ConfigSetting->PSPCount, 5);
    EXPECT_EQ(SysConfigure->Volume, 150);
    EXPECT_EQ(platform::GetX87ControlWord() & platform::kX87DefinedBits, platform::kX87AllMasked);
    ShutDown();
    EXPECT_EQ(platform::GetX87ControlWord(), before.x87);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(StartUpTest, EachFailingModuleIsReportedOnceWithItsPath) {
    struct Case {
        const char *module;      // which module is broken
        const char *replacement; // nullptr: removed
    } cases[] = {
        {"rmsp.ax", nullptr},
        {"dravik.ax", CORE_FAKE_MODULE_FAILS},
        {"qtalt.ax", CORE_FAKE_MODULE_THROWS},
        {"rmsp.ax", CORE_FAKE_MODULE_NOEXPORT},
    };
    for (const Case &c : cases) {
        InstallModules(program);
        const std::string path = program + "/" + c.module;
        fs::remove(path);
        if (c.replacement) fs::copy_file(c.replacement, path);
        dialogs.messages.clear();
        RegisterFilterModules(program);
        ASSERT_EQ(dialogs.messages.size(), 1u) << c.module;
        EXPECT_EQ(dialogs.messages[0].text,
                  "Failed to register COM component " + path + ", reinstall application may solve this problem.");
        EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Error);
    }
    WriteRaw(program + "/qtalt.ax", "not a module");
    EXPECT_FALSE(RegisterComModule(program + "/qtalt.ax"));
    EXPECT_TRUE(RegisterComModule(CORE_FAKE_MODULE_OK));
    EXPECT_FALSE(RegisterComModule(CORE_FAKE_MODULE_THROWS));

    // Through StartUp: rmsp.ax absent gives exactly one message and the
    // program starts.
    InstallModules(program);
    fs::remove(program + "/rmsp.ax");
    dialogs.messages.clear();
    StartUp(Options());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find(program + "/rmsp.ax"), std::string::npos);
    EXPECT_NE(ConfigSetting, nullptr);
}

TEST_F(StartUpTest, UnwritableProgramFolderUsesTheFallbackFile) {
    // A program folder nobody can write into (its parent is a regular
    // file, so this holds for root as well).
    WriteRaw(dir.File("blocker"), "x");
    StartUpOptions o;
    o.programFolder = dir.File("blocker/program");
    o.registerFilterModules = false;
    const std::string fallback = dir.File("xdg") + "/velorin/config.ini";
    EXPECT_EQ(ChooseConfigFile(o.programFolder), fallback);
    StartUp(o);
    EXPECT_EQ(SysConfigure->IniFileName, fallback);
    SysConfigure->Volume = 42;
    ShutDown();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(platform::IniFile(fallback).ReadInteger("AppData", "Volume", 0), 42);
    // Read back from there at the next start.
    StartUp(o);
    EXPECT_EQ(SysConfigure->Volume, 42);
}

TEST_F(StartUpTest, FailedSaveMovesToTheOtherPlaceThenReports) {
    StartUpOptions o = Options();
    o.registerFilterModules = false;
    const std::string beside = program + "/config.ini";
    const std::string fallback = dir.File("xdg") + "/velorin/config.ini";
    // A config.ini too large to be a settings file is never rewritten: the
    // save beside the program fails and goes to the fallback file.
    WriteRaw(beside, "[AppData]\nVolume=5\n");
    fs::resize_file(beside, 100u << 20);
    fs::last_write_time(beside, fs::file_time_type::clock::now() - std::chrono::hours(1));
    StartUp(o);
    EXPECT_EQ(SysConfigure->IniFileName, beside);
    SysConfigure->Volume = 77;
    ShutDown();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(fs::file_size(beside), 100u << 20);
    EXPECT_EQ(platform::IniFile(fallback).ReadInteger("AppData", "Volume", 0), 77);
    // The next start reads the newer fallback, not the stale file.
    StartUp(o);
    EXPECT_EQ(SysConfigure->IniFileName, fallback);
    EXPECT_EQ(SysConfigure->Volume, 77);
    ShutDown();

    // A folder standing beside the program under the name: the fallback.
    fs::remove(beside);
    fs::create_directories(beside);
    EXPECT_EQ(ChooseConfigFile(program), fallback);

    // Both places fail: one message naming the path.
    fs::remove(beside);
    WriteRaw(beside, "[AppData]\n");
    fs::resize_file(beside, 100u << 20);
    WriteRaw(dir.File("xdgblock"), "x");
    ::setenv("XDG_CONFIG_HOME", dir.File("xdgblock").c_str(), 1);
    StartUp(o);
    ShutDown();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Settings could not be saved to " + beside + ".");
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Error);
}

TEST_F(StartUpTest, OpenFileFilter) {
    EXPECT_EQ(LoadOpenFileFilterFrom(program), "");
    struct Case {
        const char *content, *filter;
    } cases[] = {
        {"AVI(*.avi)\n*.avi\n", "AVI(*.avi)|*.avi|"},
        {"AVI(*.avi)\r\n*.avi\r\nAll|x\r\n*.*", "AVI(*.avi)|*.avi|All|x|*.*|"},
        {"", ""},
    };
    for (const Case &c : cases) {
        WriteRaw(program + "/OpenFileFilter.dat", c.content);
        EXPECT_EQ(LoadOpenFileFilterFrom(program), c.filter);
    }
    StartUpOptions o = Options();
    o.registerFilterModules = false;
    StartUp(o);
    EXPECT_EQ(LoadOpenFileFilter(), "");  // the last case: empty file
    fs::create_directories(program + "/sub/OpenFileFilter.dat");
    EXPECT_EQ(LoadOpenFileFilterFrom(program + "/sub"), "");  // a folder, not a file
}

TEST_F(StartUpTest, AppMessageUsesTheTitleAndIcon) {
    ShowAppMessage("done", false);
    SetApplicationTitle("Other");
    ShowAppMessage("bad", true);
    SetApplicationTitle("Velorin");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].caption, "Velorin");
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.messages[1].caption, "Other");
    EXPECT_EQ(dialogs.messages[1].icon, MsgIcon::Error);

    // The silent default answers without anyone there.
    InstallDialogService(nullptr);
    EXPECT_EQ(Dialogs().MessageBox("q", "c", MsgButtons::YesNo, MsgIcon::Question), MsgResult::Yes);
    EXPECT_EQ(Dialogs().MessageBox("q", "c", MsgButtons::OkCancel, MsgIcon::None), MsgResult::Ok);
    EXPECT_TRUE(Dialogs().OpenFiles({}).empty());
    EXPECT_EQ(Dialogs().SelectFolder("t", "/"), "");
    InstallDialogService(&dialogs);
}
