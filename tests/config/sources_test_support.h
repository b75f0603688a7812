// Shared pieces of the configuration-source tests: a setting's value in the store, a
// recorder of the event log's messages, registry writes by key path and a private
// program-data folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/environment_store.h"
#include "config/settings.h"
#include "eventlog/event_log.h"
#include "os/registry.h"
#include "support/program_data.h"

namespace orvix::config::internal {
// Failures show a value as its number or text, not as 520 raw bytes.
inline void PrintTo(const SettingValue& v, std::ostream* os) {
    *os << (v.type == kSettingText ? '"' + std::string(v.text) + '"' : std::to_string(v.number));
}
}  // namespace orvix::config::internal

namespace sources_test {

inline bool eventually(const std::function<bool()>& condition, int timeout_ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// A setting's current value in the store, as text.
inline std::string stored(const char* name) {
    std::string text;
    EXPECT_EQ(vorn_mgmt_env_get_string_value(name, text), 0) << name;
    return text;
}

struct LogRecord {
    std::string message;
    uint32_t category = 0;
    int32_t level = -1;  // -1: no such record
    int32_t status = 0;
};

// The event log of the test process, every message forwarded here.
class LogCapture {
public:
    static void start() {
        vorn_event_set_forwarding_callback(&LogCapture::forward);
        vorn_event_init_params params{};
        vorn_event_get_default_init_params(&params);
        ASSERT_EQ(vorn_event_init(&params), 0);
        vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    }
    static std::vector<LogRecord> records() {
        std::lock_guard<std::mutex> guard(state().mutex);
        return state().records;
    }
    // The first record of message, or of a message that starts with it when prefix is set.
    static LogRecord find(const std::string& message, bool prefix = false) {
        for (const auto& r : records()) {
            if (prefix ? r.message.rfind(message, 0) == 0 : r.message == message) return r;
        }
        return LogRecord{};
    }
    static bool has(const std::string& message) { return find(message).level >= 0; }
    // Expects message (or a message starting with it) logged at level with status.
    static void expect(const std::string& message, int32_t level, int32_t status, bool prefix = false) {
        const LogRecord r = find(message, prefix);
        EXPECT_EQ(r.level, level) << message << "\n" << dump();
        EXPECT_EQ(r.status, status) << message;
    }
    static size_t count(const std::string& message) {
        const auto all = records();
        return std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.message == message; });
    }
    static bool wait_for(const std::string& message) { return eventually([&] { return has(message); }); }
    static std::string dump() {
        std::string out;
        for (const auto& r : records()) out += "  [" + std::to_string(r.level) + "] " + r.message + "\n";
        return out;
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<LogRecord> records;
    };
    static State& state() { static State s; return s; }
    static int32_t forward(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
        std::lock_guard<std::mutex> guard(state().mutex);
        state().records.push_back(LogRecord{message, category, level, status});
        return 0;
    }
};

// Sets one value of key_path below HKEY_LOCAL_MACHINE, creating the key when needed.
// Returns the registry's status.
inline int32_t set_registry_value(const std::u16string& key_path, const std::u16string& name, uint32_t type,
                                  const void* data, size_t bytes) {
    orvix::os::RegKey key = 0;
    int32_t status = orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, key_path,
                                                    orvix::os::kKeyAllAccess, &key);
    if (status == 0)
        status = orvix::os::registry_set_value(key, name, type, data, static_cast<uint32_t>(bytes));
    if (key != 0) orvix::os::registry_close_key(key);
    return status;
}
inline int32_t set_dword(const std::u16string& key_path, const std::u16string& name, uint32_t value) {
    return set_registry_value(key_path, name, orvix::os::kRegDword, &value, sizeof value);
}
inline int32_t set_sz(const std::u16string& key_path, const std::u16string& name,
                      const std::u16string& text) {
    return set_registry_value(key_path, name, orvix::os::kRegSz, text.c_str(),
                              (text.size() + 1) * sizeof(char16_t));
}
inline int32_t delete_registry_value(const std::u16string& key_path, const std::u16string& name) {
    orvix::os::RegKey key = 0;
    int32_t status =
        orvix::os::registry_open_key(orvix::os::kHkeyLocalMachine, key_path, orvix::os::kKeyAllAccess, &key);
    if (status == 0) status = orvix::os::registry_delete_value(key, name);
    if (key != 0) orvix::os::registry_close_key(key);
    return status;
}

// A fresh folder of the test's own, removed at the end, and the ProgramData folder of the
// process: $PROGRAMDATA on POSIX (and the temporary folder), "Common AppData" of the shell
// folders under Windows, whose HKEY_LOCAL_MACHINE the test support makes per-process.
class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("orvix_sources_" + std::to_string(random()) + "_" + std::to_string(random()));
        std::filesystem::create_directories(path_);
        orvix_test::redirect_program_data(path_.string());
#if !defined(_WIN32)
        setenv("TMPDIR", path_.c_str(), 1);
#endif
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace sources_test
