#include <windows.h>

#include "loader_test_support.h"

namespace loader_test {

std::string libraryFile(const std::string& stem) { return stem + ".dll"; }

std::string executableDirectory() {
    char buffer[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    const std::string path(buffer, n);
    return path.substr(0, path.find_last_of('\\'));
}

void setMarker(const std::string& path) { SetEnvironmentVariableA("ORVIX_TEST_MODULE_MARKER", path.c_str()); }

}  // namespace loader_test
