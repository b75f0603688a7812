// Shared pieces of the configuration-source tests: a recorder of the event log's
// messages, a scripted registry, a store made of callables that records what it is
// given, and a private program-data folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration_manager.h"
#include "config/registry_interface.h"
#include "eventlog/event_log.h"
#include "os/registry.h"

namespace sources_test {

inline bool eventually(const std::function<bool()>& condition, int timeout_ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
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
    static void clear() {
        std::lock_guard<std::mutex> guard(state().mutex);
        state().records.clear();
    }
    static size_t count(const std::string& message) {
        size_t n = 0;
        for (const auto& r : records()) n += r.message == message ? 1 : 0;
        return n;
    }
    static bool has(const std::string& message) { return count(message) > 0; }
    static LogRecord find(const std::string& message) {
        for (const auto& r : records()) {
            if (r.message == message) return r;
        }
        return LogRecord{};
    }
    static bool wait_for(const std::string& message) {
        return eventually([&] { return has(message); });
    }
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
    static State& state() {
        static State s;
        return s;
    }
    static int32_t forward(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
        std::lock_guard<std::mutex> guard(state().mutex);
        state().records.push_back(LogRecord{message, category, level, status});
        return 0;
    }
};

// A registry whose key, values and notification results the test scripts.
class FakeRegistry : public orvix::config::internal::RegistryInterface {
public:
    struct State {
        std::mutex mutex;
        bool key_exists = true;
        std::vector<std::pair<std::string, std::pair<uint32_t, std::vector<uint8_t>>>> values;
        std::deque<int32_t> notify_results;  // consumed in order; success when empty
        orvix::os::Event* event = nullptr;
        int opens = 0, closes = 0;

        void set(const std::string& name, uint32_t type, std::vector<uint8_t> data) {
            std::lock_guard<std::mutex> guard(mutex);
            values.push_back({name, {type, std::move(data)}});
        }
        void set_dword(const std::string& name, uint32_t n) {
            set(name, orvix::os::kRegDword,
                {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
        }
        void set_sz(const std::string& name, const std::string& text) {  // narrow, with its NUL
            set(name, orvix::os::kRegSz, std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1));
        }
        void clear_and_signal() {
            std::lock_guard<std::mutex> guard(mutex);
            values.clear();
            if (event != nullptr) event->set();
        }
    };

    explicit FakeRegistry(std::shared_ptr<State> state) : s_(std::move(state)) {}

    int32_t open_key(orvix::os::RegKey root, const char*, uint32_t options, uint32_t access,
                     orvix::os::RegKey* key) override {
        std::lock_guard<std::mutex> guard(s_->mutex);
        EXPECT_EQ(root, orvix::os::kHkeyLocalMachine);
        EXPECT_EQ(options, 0u);
        EXPECT_EQ(access, 0x20119u);
        if (!s_->key_exists) return orvix::os::kErrorFileNotFound;
        *key = 0x4000 + static_cast<orvix::os::RegKey>(++s_->opens);
        return 0;
    }
    int32_t notify_change(orvix::os::RegKey, bool subtree, uint32_t filter, orvix::os::Event* event,
                          bool asynchronous) override {
        std::lock_guard<std::mutex> guard(s_->mutex);
        EXPECT_TRUE(subtree && asynchronous && filter == orvix::os::kRegNotifyChangeLastSet);
        s_->event = event;
        if (s_->notify_results.empty()) return 0;
        const int32_t result = s_->notify_results.front();
        s_->notify_results.pop_front();
        return result;
    }
    int32_t enum_value(orvix::os::RegKey, uint32_t index, char* name, uint32_t* name_chars, uint32_t*,
                       uint32_t* type, uint8_t* data, uint32_t* data_bytes) override {
        std::lock_guard<std::mutex> guard(s_->mutex);
        if (index >= s_->values.size()) return orvix::os::kErrorNoMoreItems;
        const auto& [value_name, value] = s_->values[index];
        if (value_name.size() + 1 > *name_chars || value.second.size() > *data_bytes)
            return orvix::os::kErrorMoreData;
        std::memcpy(name, value_name.c_str(), value_name.size() + 1);
        *name_chars = static_cast<uint32_t>(value_name.size());
        *type = value.first;
        if (!value.second.empty()) std::memcpy(data, value.second.data(), value.second.size());
        *data_bytes = static_cast<uint32_t>(value.second.size());
        return 0;
    }
    int32_t close_key(orvix::os::RegKey) override {
        std::lock_guard<std::mutex> guard(s_->mutex);
        ++s_->closes;
        return 0;
    }

private:
    std::shared_ptr<State> s_;
};

// A store that records every write and restored default; rows may be replaced.
class FakeStore {
public:
    struct Write {
        std::string name;
        uint32_t value_type = 0;  // ENV_VALUE_*; 0 when there was no write
        uint32_t number = 0;
        std::string text;
    };
    std::map<uint32_t, sVORN_ENV_LOOKUP_ENTRY> row_overrides;
    int32_t set_result = 0;

    EnvironmentInterface environment() {
        EnvironmentInterface e = store_environment_interface();  // the catalogue callables
        e.get_entry = [this](uint64_t index) {
            auto it = row_overrides.find(static_cast<uint32_t>(index));
            return it != row_overrides.end() ? it->second : get_entry(static_cast<uint32_t>(index));
        };
        e.init_default = [this](const char* name) {
            std::lock_guard<std::mutex> guard(mutex_);
            restored_.push_back(name);
            return 0;
        };
        e.set_uint8 = [this](const char* n, uint8_t v) { return record(n, ENV_VALUE_UINT8, v, ""); };
        e.set_uint16 = [this](const char* n, uint16_t v) { return record(n, ENV_VALUE_UINT16, v, ""); };
        e.set_uint32 = [this](const char* n, uint32_t v) { return record(n, ENV_VALUE_UINT32, v, ""); };
        e.set_string = [this](const char* n, const char* v) { return record(n, ENV_VALUE_STRING, 0, v); };
        e.set_enum = [this](const char* n, eVORN_MGMT_ENV_ENUM v) {
            return record(n, ENV_VALUE_ENUM, v, "");
        };
        return e;
    }
    std::vector<Write> writes() {
        std::lock_guard<std::mutex> guard(mutex_);
        return writes_;
    }
    std::vector<std::string> restored() {
        std::lock_guard<std::mutex> guard(mutex_);
        return restored_;
    }
    Write last(const std::string& name) {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = writes_.rbegin(); it != writes_.rend(); ++it) {
            if (it->name == name) return *it;
        }
        return Write{};
    }

private:
    int32_t record(const char* name, uint32_t type, uint32_t number, const char* text) {
        std::lock_guard<std::mutex> guard(mutex_);
        writes_.push_back(Write{name, type, number, text});
        return set_result;
    }
    std::mutex mutex_;
    std::vector<Write> writes_;
    std::vector<std::string> restored_;
};

// A fresh folder of the test's own, removed at the end, and the ProgramData folder of
// the process: $PROGRAMDATA on POSIX (and the temporary folder), "Common AppData" of the
// shell folders under Windows, whose HKEY_LOCAL_MACHINE the test support makes
// per-process.
class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("orvix_sources_" + std::to_string(random()) + "_" + std::to_string(random()));
        std::filesystem::create_directories(path_);
#if defined(_WIN32)
        const std::u16string folder = path_.u16string();
        for (const char16_t* shell :
             {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
            orvix::os::RegKey key = 0;
            if (orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, shell, orvix::os::kKeyAllAccess,
                                               &key) != 0) {
                continue;
            }
            orvix::os::registry_set_value(key, u"Common AppData", orvix::os::kRegSz, folder.c_str(),
                                          static_cast<uint32_t>((folder.size() + 1) * sizeof(char16_t)));
            orvix::os::registry_close_key(key);
        }
#else
        setenv("PROGRAMDATA", path_.c_str(), 1);
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
