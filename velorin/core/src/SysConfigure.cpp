#include "core/SysConfigure.h"

#include <filesystem>
#include <fstream>
#include <mutex>

#include "core/DialogService.h"
#include "platform/fpu.h"
#include "platform/ini.h"
#include "platform/module.h"
#include "platform/paths.h"
#include "platform/shell.h"

#if defined(VELORIN_HAVE_BRANTEL)
#include "brantel/brantel.h"
#endif

namespace velorin {

TVideoFileList *VideoFileList = nullptr;
TSysConfigure *SysConfigure = nullptr;
TConfigSetting *ConfigSetting = nullptr;

namespace {

const char kAppData[] = "AppData";
// "OpenFileFilter.dat" is a handful of lines; anything bigger is not one.
constexpr std::size_t kMaxFilterFileSize = 1 << 20;

struct AppState {
    bool started = false;
    std::string programFolder;  // with trailing '/'
    std::string configFile;
    platform::FpuState fpuBefore{};
    std::string title = "Velorin";
};

AppState &State() {
    static AppState state;
    return state;
}

bool SaveEverything(const std::string &file) {
    // The fallback folder may not exist yet on a first run.
    platform::CreateFolders(platform::FolderPart(file));
    bool ok = ConfigSetting->SaveToIni(file);
    ok = SysConfigure->Save(file) && ok;
    // Each write replaced the file atomically; make the final one durable.
    if (ok) platform::FlushIniFileToDisk(file);
    return ok;
}

}  // namespace

TSysConfigure::TSysConfigure(std::string iniFileName) : IniFileName(std::move(iniFileName)) {}

void TSysConfigure::Load() {
    platform::IniFile ini(IniFileName);
    auto readInt = [&](const char *key, std::int32_t &field, std::int32_t def) {
        field = ini.ReadInteger(kAppData, key, def);
    };
    auto readBool = [&](const char *key, bool &field, bool def) { field = ini.ReadBool(kAppData, key, def); };
    readInt("PSPOutputFilenameIndex", PSPOutputFilenameIndex, 20001);
    readInt("OutputFilenameIndex", OutputFilenameIndex, 1);
    readBool("bMovieEditorMoreOption", bMovieEditorMoreOption, false);
    readInt("iZuneConfigCount", iZuneConfigCount, 5);
    readInt("iPSPConfigCount", iPSPConfigCount, 3);
    readInt("iThreeGPConfigCount", iThreeGPConfigCount, 9);
    readInt("iPhoneConfigCount", iPhoneConfigCount, 3);
    readInt("iPodConfigCount", iPodConfigCount, 4);
    readInt("iPDAConfigCount", iPDAConfigCount, 0);
    readInt("iVOBConfigCount", iVOBConfigCount, 0);
    readInt("iMusiciProfilesIndex", iMusiciProfilesIndex, 0);
    readInt("VideoResolution", VideoResolution, 4);
    readInt("VideoFrameRate", VideoFrameRate, 0);
    readInt("VideoQuality", VideoQuality, 900);
    readInt("AudioQuality", AudioQuality, 96);
    readInt("AudioChannels", AudioChannels, 1);
    readInt("Volume", Volume, 100);
    readInt("VideoCode", VideoCode, 0);
    readInt("OutoutType", OutoutType, 0);
    readBool("Addletterboxtokeepaspectratio", Addletterboxtokeepaspectratio, true);
}

bool TSysConfigure::Save() { return Save(IniFileName); }

bool TSysConfigure::Save(const std::string &fileName) {
    platform::IniFile ini(fileName);
    bool ok = true;
    auto writeInt = [&](const char *key, std::int32_t value) { ok = ini.WriteInteger(kAppData, key, value) && ok; };
    auto writeBool = [&](const char *key, bool value) { ok = ini.WriteBool(kAppData, key, value) && ok; };
    writeInt("PSPOutputFilenameIndex", PSPOutputFilenameIndex);
    writeInt("OutputFilenameIndex", OutputFilenameIndex);
    writeBool("bMovieEditorMoreOption", bMovieEditorMoreOption);
    writeInt("iZuneConfigCount", iZuneConfigCount);
    writeInt("iPSPConfigCount", iPSPConfigCount);
    writeInt("iThreeGPConfigCount", iThreeGPConfigCount);
    writeInt("iPhoneConfigCount", iPhoneConfigCount);
    writeInt("iPodConfigCount", iPodConfigCount);
    writeInt("iPDAConfigCount", iPDAConfigCount);
    writeInt("iVOBConfigCount", iVOBConfigCount);
    writeInt("iMusiciProfilesIndex", iMusiciProfilesIndex);
    writeInt("VideoResolution", VideoResolution);
    writeInt("VideoFrameRate", VideoFrameRate);
    writeInt("VideoQuality", VideoQuality);
    writeInt("AudioQuality", AudioQuality);
    writeInt("AudioChannels", AudioChannels);
    writeInt("Volume", Volume);
    writeInt("VideoCode", VideoCode);
    writeInt("OutoutType", OutoutType);
    writeBool("Addletterboxtokeepaspectratio", Addletterboxtokeepaspectratio);
    return ok;
}

std::string ProgramFolder() {
    const AppState &s = State();
    return s.programFolder.empty() ? platform::ExecutableFolder() : s.programFolder;
}

std::string ChooseConfigFile(const std::string &programFolder) {
    const std::string beside = platform::JoinPath(programFolder, "config.ini");
    const std::string fallback = platform::FallbackConfigFile();
    if (!platform::IsFolderWritable(programFolder)) return fallback;
    std::error_code ec;
    const auto besideStatus = std::filesystem::status(beside, ec);
    if (std::filesystem::exists(besideStatus) && !std::filesystem::is_regular_file(besideStatus)) return fallback;
    // A close whose save beside the program failed left the newer settings
    // in the fallback file; keep using them rather than the stale copy.
    if (std::filesystem::is_regular_file(besideStatus) && platform::FileExists(fallback)) {
        auto besideTime = std::filesystem::last_write_time(beside, ec);
        if (ec) return beside;
        auto fallbackTime = std::filesystem::last_write_time(fallback, ec);
        if (!ec && fallbackTime > besideTime) return fallback;
    }
    return beside;
}

void StartUp() { StartUp(StartUpOptions{}); }

void StartUp(const StartUpOptions &options) {
    AppState &s = State();
    if (s.started) return;
    s.started = true;
    s.programFolder = platform::WithTrailingSlash(options.programFolder.empty() ? platform::ExecutableFolder()
                                                                                : options.programFolder);
    s.configFile = ChooseConfigFile(s.programFolder);

    // The job list outlives shut-down; a second run in one process (tests)
    // starts it empty again, without the view of a window that may be gone.
    if (!VideoFileList) {
        VideoFileList = new TVideoFileList();
    } else {
        VideoFileList->BindView(nullptr);
        VideoFileList->ClearJobs();
    }

    SysConfigure = new TSysConfigure(s.configFile);
    SysConfigure->Load();

    ConfigSetting = new TConfigSetting(s.configFile);
    try {
        ConfigSetting->LoadFromIni();
    } catch (const EConvertError &e) {
        // The program runs on with what was loaded.
        ShowAppMessage(e.what(), true);
    }

#if defined(VELORIN_HAVE_BRANTEL)
    Initialize();  // its result is not reported
#endif

    s.fpuBefore = platform::MaskAllFpuExceptions();

    if (options.registerFilterModules) RegisterFilterModules(s.programFolder);
}

void ShutDown() {
    AppState &s = State();
    if (!s.started) return;

    if (ConfigSetting && SysConfigure) {
        const std::string primary = s.configFile;
        if (!SaveEverything(primary)) {
            std::string beside = platform::JoinPath(s.programFolder, "config.ini");
            std::string other = primary == beside ? platform::FallbackConfigFile() : beside;
            if (other == primary || !SaveEverything(other))
                ShowAppMessage("Settings could not be saved to " + primary + ".", true);
        }
    }
    delete ConfigSetting;
    ConfigSetting = nullptr;
    delete SysConfigure;
    SysConfigure = nullptr;

#if defined(VELORIN_HAVE_BRANTEL)
    Uninitialize();
#endif

    platform::RestoreFpuState(s.fpuBefore);
    s.started = false;
}

void RegisterFilterModules() { RegisterFilterModules(ProgramFolder()); }

void RegisterFilterModules(const std::string &folder) {
    for (const char *module : {"dravik.ax", "rmsp.ax", "qtalt.ax"}) {
        std::string path = platform::JoinPath(folder, module);
        if (!RegisterComModule(path))
            ShowAppMessage("Failed to register COM component " + path +
                               ", reinstall application may solve this problem.",
                           true);
    }
}

bool RegisterComModule(const std::string &fullPath) {
    platform::ModuleHandle module = platform::LoadModule(fullPath);
    if (!module) return false;
    bool ok = false;
    using RegisterFn = std::int32_t (*)();
    if (auto fn = reinterpret_cast<RegisterFn>(platform::FindExport(module, "DllRegisterServer"))) {
        try {
            ok = fn() == 0;
        } catch (...) {
            ok = false;
        }
    }
    platform::UnloadModule(module);
    return ok;
}

std::string LoadOpenFileFilter() { return LoadOpenFileFilterFrom(ProgramFolder()); }

std::string LoadOpenFileFilterFrom(const std::string &folder) {
    std::string path = platform::JoinPath(folder, "OpenFileFilter.dat");
    if (!platform::FileExists(path)) return {};
    std::string result;
    try {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        std::size_t total = 0;
        while (in && std::getline(in, line)) {
            total += line.size() + 1;
            if (total > kMaxFilterFileSize) break;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            result += line;
            result += '|';
        }
    } catch (...) {
        // What was built so far stands.
    }
    return result;
}

void ShowAppMessage(const std::string &text, bool isError) {
    Dialogs().MessageBox(text, ApplicationTitle(), MsgButtons::Ok, isError ? MsgIcon::Error : MsgIcon::Information);
}

std::string ApplicationTitle() { return State().title; }
void SetApplicationTitle(const std::string &title) { State().title = title; }

}  // namespace velorin
