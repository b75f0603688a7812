#include <cstdlib>
#include <string>

#include "eventlog/small_disk.h"

namespace orvix_test {

SmallDisk::SmallDisk(const std::string&, unsigned) {
    if (const char* given = std::getenv("ORVIX_TEST_SMALL_DISK"); given != nullptr && given[0] != '\0') {
        folder_ = given;
        return;
    }
    why_not_ =
        "ORVIX_TEST_SMALL_DISK names no folder on a small file system (tests/eventlog/small_disk_wine.sh "
        "mounts one)";
}

SmallDisk::~SmallDisk() = default;

}  // namespace orvix_test
