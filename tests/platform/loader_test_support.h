// Shared parts of the signed loader's tests: a logger that records what it is given, the
// test module's files beside the test executable, and a per-test folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "logging/logger.h"

namespace loader_test {

struct Line {
    std::string message;
    uint32_t level;
    int32_t code;
    bool operator==(const Line&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Line& line) {
    return out << "[" << line.level << ", " << line.code << "] " << line.message;
}

// Records every write, whatever its level (its threshold is what callers test).
class RecordingLogger : public orvix::logging::LoggerBase {
public:
    explicit RecordingLogger(std::shared_ptr<std::vector<Line>> lines, uint32_t max_level = 4)
        : LoggerBase(max_level), lines_(std::move(lines)) {}
    void write(const std::string& message, uint32_t level, const int32_t& code) override {
        lines_->push_back({message, level, code});
    }
    void write(const char* message, uint32_t level, int32_t code) override { lines_->push_back({message, level, code}); }
    std::unique_ptr<LoggerBase> clone() const override { return std::make_unique<RecordingLogger>(lines_, maxLevel); }
    std::unique_ptr<LoggerBase> clone(uint32_t) const override { return clone(); }

private:
    std::shared_ptr<std::vector<Line>> lines_;
};

// Platform parts (loader_test_env_posix.cpp / loader_test_env_win.cpp).
// The file name of a test library: stem plus ".dll" or ".so".
std::string libraryFile(const std::string& stem);
// The directory of the running test executable, as the system reports module paths.
std::string executableDirectory();
// The test module creates the file this names when its initialisation runs.
void setMarker(const std::string& path);

// A fresh folder for one test, removed at its end; the marker file lies inside it.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string marker() const { return (path_ / "initialised").string(); }
    bool initialised() const { return std::filesystem::exists(path_ / "initialised"); }

private:
    std::filesystem::path path_;
};

}  // namespace loader_test
