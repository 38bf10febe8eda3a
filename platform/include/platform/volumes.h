// Mounted volumes and their kind, for finding removable media (a PSP is a
// removable volume holding MP_ROOT/100MNV01) and free space.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct Volume {
    std::string mountPoint;  // as mounted, no trailing '/' (except "/")
    std::string device;      // "/dev/sdb1", or the source text of the mount
    std::string fsType;      // "vfat", ...
    bool removable = false;  // the kernel's removable flag of the whole disk
};

// Mounted volumes in mount order, from the mounts table. Only mounts of a
// block device under /dev are listed; a partition takes the removable flag
// of its disk. An unreadable table gives an empty list.
std::vector<Volume> ListVolumes();

// The removable volumes that hold `relativeFolder` (e.g. "MP_ROOT/100MNV01"),
// as full folder paths (mount point + '/' + relativeFolder), in mount order.
std::vector<std::string> FindRemovableFolders(const std::string &relativeFolder);

// Bytes available to the user on the volume holding `path`; nullopt when
// the path cannot be examined.
std::optional<std::uint64_t> FreeSpaceOf(const std::string &path);

// Test seam: the mounts table (default /proc/self/mounts) and the root of
// the kernel's device tree (default /sys). Empty restores the default.
void SetVolumeSourcesForTest(const std::string &mountsFile, const std::string &sysRoot);

}  // namespace platform
