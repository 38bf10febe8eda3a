// Desktop and file-system helpers.
#pragma once

#include <string>

namespace platform {

// Opens a file, folder or address with the desktop's handler (xdg-open),
// detached from the program. False when the opener cannot be started or
// reports failure within a short wait; a handler still running after that
// wait counts as success and is reaped in the background.
bool ShellOpen(const std::string &pathOrUrl);
// Test seam: the opener program to run instead of "xdg-open" (empty
// restores the default). Not thread-safe against concurrent ShellOpen.
void SetShellOpenerForTest(const std::string &program);

// Removes the folder and everything below it (links are removed, never
// followed). True when nothing is left; a missing folder counts as success.
bool DeleteFolderTree(const std::string &folder);
// Creates the folder and its missing parents. True when it exists afterwards.
bool CreateFolders(const std::string &folder);
// Removes one file; true when it is gone (missing counts as gone).
bool DeleteFileAt(const std::string &path);

}  // namespace platform
