#include "platform/module.h"

#include <dlfcn.h>

namespace platform {

ModuleHandle LoadModule(const std::string &fullPath, std::string *error) {
    dlerror();
    void *handle = ::dlopen(fullPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char *msg = dlerror();
        *error = msg ? msg : "cannot load " + fullPath;
    }
    return handle;
}

void *FindExport(ModuleHandle module, const char *name) {
    if (!module || !name) return nullptr;
    return ::dlsym(module, name);
}

bool UnloadModule(ModuleHandle module) { return !module || ::dlclose(module) == 0; }

ModuleVersion ProgramVersion() {
#if defined(VELORIN_VERSION_MAJOR)
    return {VELORIN_VERSION_MAJOR, VELORIN_VERSION_MINOR, VELORIN_VERSION_PATCH, VELORIN_VERSION_TWEAK};
#else
    return {};
#endif
}

bool HasProgramVersion() {
#if defined(VELORIN_VERSION_MAJOR)
    return true;
#else
    return false;
#endif
}

std::string FormatBuildLabel(const ModuleVersion &version) {
    std::string build = std::to_string(version.build);
    if (version.build < 10) build = "0" + build;
    return "Build: " + std::to_string(version.major) + "." + build;
}

}  // namespace platform
