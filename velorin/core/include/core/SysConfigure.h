// The remembered settings (section "AppData" of config.ini), start-up and
// shut-down of the program, filter-module registration and the program's
// message box.
//
// Program-wide objects (raw pointers, owned by StartUp/ShutDown):
//   VideoFileList  created by StartUp, lives to the process end;
//   SysConfigure   created and loaded by StartUp, saved and freed by ShutDown;
//   ConfigSetting  created and loaded by StartUp, saved and freed by ShutDown.
// All of this runs on the GUI thread.
//
// Where config.ini lives: beside the executable when that folder is
// writable, else FallbackConfigFile() ($XDG_CONFIG_HOME/velorin/config.ini),
// for reading and writing alike (see ChooseConfigFile). When the save at ShutDown fails there, it is
// tried in the other place; when both fail, one message names the path.
#pragma once

#include <cstdint>
#include <string>

#include "core/ConfigSetting.h"
#include "core/VideoFileList.h"

namespace velorin {

class TSysConfigure {
public:
    // Sets IniFileName; reads nothing.
    explicit TSysConfigure(std::string iniFileName);

    // Reads the twenty keys of "AppData" in table order; missing or
    // non-integer values give the defaults.
    void Load();
    // Writes the twenty keys in table order; false when a write failed.
    bool Save();
    bool Save(const std::string &fileName);

    std::string IniFileName;
    std::int32_t PSPOutputFilenameIndex = 20001;
    std::int32_t OutputFilenameIndex = 1;
    bool bMovieEditorMoreOption = false;
    std::int32_t iVOBConfigCount = 0;
    std::int32_t iZuneConfigCount = 5;
    std::int32_t iPSPConfigCount = 3;
    std::int32_t iThreeGPConfigCount = 9;
    std::int32_t iPhoneConfigCount = 3;
    std::int32_t iPodConfigCount = 4;
    std::int32_t iPDAConfigCount = 0;
    std::int32_t iMusiciProfilesIndex = 0;
    std::int32_t VideoResolution = 4;
    std::int32_t VideoFrameRate = 0;
    std::int32_t VideoQuality = 900;
    std::int32_t AudioQuality = 96;
    std::int32_t AudioChannels = 1;
    std::int32_t Volume = 100;
    bool Addletterboxtokeepaspectratio = true;
    std::int32_t VideoCode = 0;
    std::int32_t OutoutType = 0;
};

// The program-wide objects (see above).
extern TVideoFileList *VideoFileList;
extern TSysConfigure *SysConfigure;
extern TConfigSetting *ConfigSetting;

struct StartUpOptions {
    // The folder treated as the executable's (trailing '/' optional); empty:
    // the real one. Tests pass a temporary folder.
    std::string programFolder;
    // Skip RegisterFilterModules (tests of the settings alone).
    bool registerFilterModules = true;
};

// Runs the start-up steps: job list, settings loaded, profile store loaded
// (a conversion error is shown once and start-up goes on with what was
// loaded), COM through the graph library's Initialize, all floating-point
// exceptions masked (the previous state is remembered), filter modules
// registered. Call once; a second call before ShutDown does nothing.
void StartUp();
void StartUp(const StartUpOptions &options);
// Saves the profile store then the settings (with the fallback above),
// frees both, uninitialises COM and restores the floating-point state.
// Does nothing when StartUp has not run.
void ShutDown();

// The folder StartUp used as the executable's, with a trailing '/'
// (the real executable's folder before StartUp).
std::string ProgramFolder();
// config.ini for a program folder: beside it when the folder is writable,
// else platform::FallbackConfigFile(). The fallback is also chosen when
// something other than a file stands beside the program under that name,
// and when both files exist and the fallback is the newer (an earlier
// close could only save there).
std::string ChooseConfigFile(const std::string &programFolder);

// Registers dravik.ax, rmsp.ax and qtalt.ax of the folder (default:
// ProgramFolder()); one error message per module that fails.
void RegisterFilterModules();
void RegisterFilterModules(const std::string &folder);
// Loads the module, calls its DllRegisterServer, unloads it; true exactly
// when the call returned 0 without throwing.
bool RegisterComModule(const std::string &fullPath);

// "OpenFileFilter.dat" of the folder (default ProgramFolder()): every line
// followed by "|", or "" when the file is missing. Reading errors end the
// text where they occur.
std::string LoadOpenFileFilter();
std::string LoadOpenFileFilterFrom(const std::string &folder);

// OK message box through Dialogs(), captioned ApplicationTitle(), with the
// error icon when isError, else the information icon.
void ShowAppMessage(const std::string &text, bool isError);
// The application title ("Velorin" unless the program sets another).
std::string ApplicationTitle();
void SetApplicationTitle(const std::string &title);

}  // namespace velorin
