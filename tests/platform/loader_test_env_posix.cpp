#include <stdlib.h>
#include <unistd.h>

#include <climits>

#include "loader_test_support.h"

namespace loader_test {

std::string libraryFile(const std::string& stem) { return stem + ".so"; }

std::string executableDirectory() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/'));
}

void setMarker(const std::string& path) { ::setenv("ORVIX_TEST_MODULE_MARKER", path.c_str(), 1); }

}  // namespace loader_test
