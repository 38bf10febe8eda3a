// Loading a module (a shared object such as dravik.ax) by its full path,
// finding its exports, and the program's own version.
#pragma once

#include <string>

namespace platform {

using ModuleHandle = void *;

// dlopen with RTLD_NOW | RTLD_LOCAL. Null on failure; `error` (optional)
// receives the loader's message. The caller unloads what it loaded.
ModuleHandle LoadModule(const std::string &fullPath, std::string *error = nullptr);
// Address of an exported symbol, or null.
void *FindExport(ModuleHandle module, const char *name);
// True when the module was unloaded (or `module` was null).
bool UnloadModule(ModuleHandle module);

struct ModuleVersion {
    unsigned major = 0, minor = 0, patch = 0, build = 0;
};

// The version compiled into this build (the project version, e.g. 1.0.0.33).
ModuleVersion ProgramVersion();
// True when the build carries a version (always so with the CMake build;
// the splash hides its label otherwise).
bool HasProgramVersion();

// The splash's label: "Build: " + major + "." + build, the build padded to
// two digits (1.0.0.33 -> "Build: 1.33", 2.0.0.2 -> "Build: 2.02").
std::string FormatBuildLabel(const ModuleVersion &version);

}  // namespace platform
