// A folder on a small file system, for tests of a disk that really fills up. On Linux the
// test mounts a tmpfs when it may (as root); anywhere, ORVIX_TEST_SMALL_DISK can name a
// folder on one instead (the Windows build's tests get it from a script that mounts one
// and names it through Wine's drive Z:).
#pragma once

#include <string>

namespace orvix_test {

class SmallDisk {
  public:
    // bytes: the size of a file system mounted here; ignored for a given folder.
    SmallDisk(const std::string& mount_point, unsigned bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool ready() const { return !folder_.empty(); }
    const std::string& folder() const { return folder_; }
    const std::string& why_not() const { return why_not_; }

  private:
    std::string folder_, why_not_;
    bool mounted_ = false;
};

}  // namespace orvix_test
