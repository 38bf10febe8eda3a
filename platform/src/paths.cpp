#include "platform/paths.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string exe(buf, std::size_t(n));
    return FolderPart(exe);
}

std::string HomeFolder() {
    if (const char *home = std::getenv("HOME"); home && *home) {
        std::string h = home;
        while (h.size() > 1 && h.back() == '/') h.pop_back();
        return h;
    }
    if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::string MapSystemPath(const std::string &windowsPath) {
    std::string p = windowsPath;
    for (char &c : p)
        if (c == '\\') c = '/';
    if (p.size() >= 2 && (p[0] == 'c' || p[0] == 'C') && p[1] == ':' && (p.size() == 2 || p[2] == '/')) {
        std::string rest = p.substr(2);
        while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
        return rest.empty() ? HomeFolder() : JoinPath(HomeFolder(), rest);
    }
    return p;
}

std::string JoinPath(const std::string &a, const std::string &b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    std::string left = a;
    while (left.size() > 1 && left.back() == '/') left.pop_back();
    std::size_t start = 0;
    while (start < b.size() && b[start] == '/') ++start;
    if (left == "/") return "/" + b.substr(start);
    return left + "/" + b.substr(start);
}

std::string WithTrailingSlash(const std::string &folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + "/";
}

std::string FileNamePart(const std::string &path) {
    std::size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FolderPart(const std::string &path) {
    std::size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

bool FileExists(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFolderWritable(const std::string &folder) {
    if (folder.empty() || !FolderExists(folder)) return false;
    std::string probe = JoinPath(folder, ".velorin-probe-XXXXXX");
    int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string FallbackConfigFile() {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : JoinPath(HomeFolder(), ".config");
    return JoinPath(JoinPath(base, "velorin"), "config.ini");
}

}  // namespace platform
