// Folders and paths. Separators are '/'. The system's fixed paths on the
// drive "c:\" map to the user's home folder: c:\Tarvextemp\PSP becomes
// ~/Tarvextemp/PSP.
#pragma once

#include <string>

namespace platform {

// Folder of the running executable WITH a trailing '/', from
// /proc/self/exe (so `ExecutableFolder() + "config.ini"` is a full path).
std::string ExecutableFolder();
// $HOME, else the password database; no trailing '/'.
std::string HomeFolder();
// "c:\a\b" (either case, either separator) -> HomeFolder() + "/a/b";
// "c:\" -> HomeFolder(). Other texts come back with '\' turned into '/'.
std::string MapSystemPath(const std::string &windowsPath);
// Joins with exactly one '/' between the parts; an empty part is skipped.
std::string JoinPath(const std::string &a, const std::string &b);
// Adds a trailing '/' unless there is one (empty stays empty).
std::string WithTrailingSlash(const std::string &folder);
// Last component of a path ("/a/b.avi" -> "b.avi"); both separators count.
std::string FileNamePart(const std::string &path);
// Folder part with trailing separator ("/a/b.avi" -> "/a/").
std::string FolderPart(const std::string &path);

bool FileExists(const std::string &path);     // a regular file (or link to one)
bool FolderExists(const std::string &path);
// True when a file can be created in the folder (checked by creating and
// removing a probe file, so it also holds for root and read-only mounts).
bool IsFolderWritable(const std::string &folder);

// Where the program keeps config.ini when its own folder is not writable:
// $XDG_CONFIG_HOME/velorin/config.ini (an absolute XDG_CONFIG_HOME only),
// else ~/.config/velorin/config.ini.
std::string FallbackConfigFile();

}  // namespace platform
