#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>

#include <filesystem>
#include <string>

#include "eventlog/small_disk.h"

namespace orvix_test {

SmallDisk::SmallDisk(const std::string& mount_point, unsigned bytes) {
    if (const char* given = std::getenv("ORVIX_TEST_SMALL_DISK"); given != nullptr && given[0] != '\0') {
        folder_ = given;
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(mount_point, ec);
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why_not_ = "cannot mount a small tmpfs (" + std::string(::strerror(errno)) +
                   "; it needs root) and ORVIX_TEST_SMALL_DISK names no folder on a small file system";
        return;
    }
    mounted_ = true;
    folder_ = mount_point;
}

SmallDisk::~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

}  // namespace orvix_test
