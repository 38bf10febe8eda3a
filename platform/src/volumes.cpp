#include "platform/volumes.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/statvfs.h>

#include "platform/paths.h"

namespace platform {
namespace {

std::mutex g_sourcesMutex;
std::string g_mountsFile;  // empty: /proc/self/mounts
std::string g_sysRoot;     // empty: /sys

// The mounts table escapes blanks and backslashes as octal ("\040").
std::string Unescape(const std::string &s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
            if (a >= '0' && a <= '7' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += char((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string ReadFirstLine(const std::string &path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool ReadRemovableFlag(const std::string &sysRoot, const std::string &disk, bool *flag) {
    std::string path = sysRoot + "/block/" + disk + "/removable";
    if (!FileExists(path)) return false;
    *flag = ReadFirstLine(path) == "1";
    return true;
}

// The whole-disk name of a partition name by the kernel's naming rules:
// sdb1 -> sdb, mmcblk0p1 -> mmcblk0, nvme0n1p2 -> nvme0n1.
std::string StripPartition(const std::string &name) {
    std::size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9') --end;
    if (end == name.size() || end == 0) return name;
    if (name[end - 1] == 'p' && end >= 2 && name[end - 2] >= '0' && name[end - 2] <= '9')
        return name.substr(0, end - 1);
    return name.substr(0, end);
}

bool IsRemovable(const std::string &sysRoot, const std::string &devName) {
    bool flag = false;
    if (ReadRemovableFlag(sysRoot, devName, &flag)) return flag;
    // A partition: its class entry links into the disk's folder.
    std::string classEntry = sysRoot + "/class/block/" + devName;
    std::unique_ptr<char, void (*)(void *)> real(::realpath(classEntry.c_str(), nullptr), &std::free);
    if (real) {
        std::string parent = FolderPart(std::string(real.get()));
        while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
        if (ReadRemovableFlag(sysRoot, FileNamePart(parent), &flag)) return flag;
    }
    std::string disk = StripPartition(devName);
    if (disk != devName && ReadRemovableFlag(sysRoot, disk, &flag)) return flag;
    return false;
}

}  // namespace

void SetVolumeSourcesForTest(const std::string &mountsFile, const std::string &sysRoot) {
    std::lock_guard<std::mutex> lock(g_sourcesMutex);
    g_mountsFile = mountsFile;
    g_sysRoot = sysRoot;
}

std::vector<Volume> ListVolumes() {
    std::string mountsFile, sysRoot;
    {
        std::lock_guard<std::mutex> lock(g_sourcesMutex);
        mountsFile = g_mountsFile.empty() ? "/proc/self/mounts" : g_mountsFile;
        sysRoot = g_sysRoot.empty() ? "/sys" : g_sysRoot;
    }
    std::vector<Volume> volumes;
    std::ifstream in(mountsFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, fsType;
        if (!(fields >> device >> mountPoint >> fsType)) continue;
        device = Unescape(device);
        if (device.rfind("/dev/", 0) != 0) continue;
        Volume v;
        v.device = device;
        v.mountPoint = Unescape(mountPoint);
        while (v.mountPoint.size() > 1 && v.mountPoint.back() == '/') v.mountPoint.pop_back();
        v.fsType = fsType;
        // /dev/disk/by-label/... and the like are links to the real node;
        // only resolve on the real device tree.
        std::string node = device;
        if (sysRoot == "/sys") {
            std::unique_ptr<char, void (*)(void *)> real(::realpath(device.c_str(), nullptr), &std::free);
            if (real) node = real.get();
        }
        v.removable = IsRemovable(sysRoot, FileNamePart(node));
        volumes.push_back(std::move(v));
    }
    return volumes;
}

std::vector<std::string> FindRemovableFolders(const std::string &relativeFolder) {
    std::vector<std::string> found;
    for (const Volume &v : ListVolumes()) {
        if (!v.removable) continue;
        std::string folder = JoinPath(v.mountPoint, relativeFolder);
        if (FolderExists(folder)) found.push_back(folder);
    }
    return found;
}

std::optional<std::uint64_t> FreeSpaceOf(const std::string &path) {
    struct statvfs st {};
    if (path.empty() || ::statvfs(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.f_bavail) * static_cast<std::uint64_t>(st.f_frsize);
}

}  // namespace platform
