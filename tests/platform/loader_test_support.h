// Shared parts of the signed loader's tests: the test module's files beside the test
// executable, and a per-test folder that tells whether the module's code ran.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#ifdef _WIN32
#include <windows.h>
#endif

namespace loader_test {

// A test library's file name; the directory of the running test executable as the system
// reports module paths; the file the test module creates when its initialisation runs.
#ifdef _WIN32
inline std::string libraryFile(const std::string& stem) { return stem + ".dll"; }
inline std::string executableDirectory() {
    char buffer[MAX_PATH] = {};
    const std::string path(buffer, GetModuleFileNameA(nullptr, buffer, MAX_PATH));
    return path.substr(0, path.find_last_of('\\'));
}
inline void setMarker(const std::string& path) { SetEnvironmentVariableA("ORVIX_TEST_MODULE_MARKER", path.c_str()); }
#else
inline std::string libraryFile(const std::string& stem) { return stem + ".so"; }
inline std::string executableDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }
inline void setMarker(const std::string& path) { setenv("ORVIX_TEST_MODULE_MARKER", path.c_str(), 1); }
#endif

// A fresh folder for one test, removed at its end, with the marker file inside.
class TestFolder {
public:
    TestFolder() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() / ("orvix-loader-" + std::to_string(stamp));
        std::filesystem::create_directories(path_);
        setMarker((path_ / "initialised").string());
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    bool initialised() const { return std::filesystem::exists(path_ / "initialised"); }

private:
    std::filesystem::path path_;
};

}  // namespace loader_test
