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
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration_manager.h"
#include "config/registry_interface.h"
#include "config/settings_catalogue.h"
#include "eventlog/event_log.h"

namespace sources_test {

// ---- the event log, recorded ----

struct LogRecord {
    std::string message;
    uint32_t category;
    int32_t level;
    int32_t status;
};

class LogCapture {
public:
    // Starts the event log in this process with every message forwarded here.
    static void start() {
        vorn_event_set_forwarding_callback(&LogCapture::forward);
        vorn_event_init_params params{};
        vorn_event_get_default_init_params(&params);
        params.app_name = "orvix_sources_test";
        ASSERT_EQ(vorn_event_init(&params), 0);
        vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
    }

    static std::vector<LogRecord> records() {
        std::lock_guard<std::mutex> guard(mutex());
        return store();
    }
    static void clear() {
        std::lock_guard<std::mutex> guard(mutex());
        store().clear();
    }
    static size_t count(const std::string& message) {
        size_t n = 0;
        for (const auto& r : records()) n += r.message == message ? 1 : 0;
        return n;
    }
    static bool has(const std::string& message) { return count(message) > 0; }
    // The first record with exactly this message; a record with an empty message if none.
    static LogRecord find(const std::string& message) {
        for (const auto& r : records()) {
            if (r.message == message) return r;
        }
        return LogRecord{"", 0, -1, 0};
    }
    static bool wait_for(const std::string& message, int timeout_ms = 5000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < until) {
            if (has(message)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return has(message);
    }
    // Every message, one a line, for failure output.
    static std::string dump() {
        std::string out;
        for (const auto& r : records()) out += "  [" + std::to_string(r.level) + "] " + r.message + "\n";
        return out;
    }

private:
    static int32_t forward(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
        std::lock_guard<std::mutex> guard(mutex());
        store().push_back(LogRecord{message, category, level, status});
        return 0;
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<LogRecord>& store() {
        static std::vector<LogRecord> s;
        return s;
    }
};

// Waits up to timeout_ms for condition; true when it held.
inline bool eventually(const std::function<bool()>& condition, int timeout_ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

// ---- a scripted registry ----

class FakeRegistry : public orvix::config::internal::RegistryInterface {
public:
    struct Value {
        std::string name;
        uint32_t type;
        std::vector<uint8_t> data;
    };
    struct State {
        std::mutex mutex;
        bool key_exists = true;
        std::vector<Value> values;
        std::deque<int32_t> notify_results;  // consumed in order; success when empty
        orvix::os::Event* event = nullptr;   // the last one registered
        int opens = 0;
        int notifies = 0;
        int closes = 0;
        int readings = 0;  // enumerations started at index 0

        void set(const std::string& name, uint32_t type, std::vector<uint8_t> data) {
            std::lock_guard<std::mutex> guard(mutex);
            for (auto& v : values) {
                if (v.name == name) {
                    v.type = type;
                    v.data = std::move(data);
                    return;
                }
            }
            values.push_back(Value{name, type, std::move(data)});
        }
        void set_dword(const std::string& name, uint32_t n) {
            set(name, orvix::os::kRegDword,
                {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                 static_cast<uint8_t>(n >> 24)});
        }
        // REG_SZ as the narrow functions return it: the text and its NUL.
        void set_sz(const std::string& name, const std::string& text) {
            std::vector<uint8_t> data(text.begin(), text.end());
            data.push_back(0);
            set(name, orvix::os::kRegSz, std::move(data));
        }
        void remove(const std::string& name) {
            std::lock_guard<std::mutex> guard(mutex);
            for (auto it = values.begin(); it != values.end(); ++it) {
                if (it->name == name) {
                    values.erase(it);
                    return;
                }
            }
        }
        // Signals the registered event, as the registry does on a change.
        void signal() {
            std::lock_guard<std::mutex> guard(mutex);
            if (event != nullptr) event->set();
        }
        int reading_count() {
            std::lock_guard<std::mutex> guard(mutex);
            return readings;
        }
    };

    explicit FakeRegistry(std::shared_ptr<State> state) : state_(std::move(state)) {}

    int32_t open_key(orvix::os::RegKey root, const char*, uint32_t options, uint32_t access,
                     orvix::os::RegKey* key) override {
        std::lock_guard<std::mutex> guard(state_->mutex);
        ++state_->opens;
        EXPECT_EQ(root, orvix::os::kHkeyLocalMachine);
        EXPECT_EQ(options, 0u);
        EXPECT_EQ(access, 0x20119u);
        if (!state_->key_exists) return orvix::os::kErrorFileNotFound;
        *key = 0x4000 + static_cast<orvix::os::RegKey>(state_->opens);
        return orvix::os::kErrorSuccess;
    }
    int32_t notify_change(orvix::os::RegKey, bool watch_subtree, uint32_t filter, orvix::os::Event* event,
                          bool asynchronous) override {
        std::lock_guard<std::mutex> guard(state_->mutex);
        ++state_->notifies;
        EXPECT_TRUE(watch_subtree);
        EXPECT_EQ(filter, orvix::os::kRegNotifyChangeLastSet);
        EXPECT_TRUE(asynchronous);
        state_->event = event;
        if (state_->notify_results.empty()) return orvix::os::kErrorSuccess;
        const int32_t result = state_->notify_results.front();
        state_->notify_results.pop_front();
        return result;
    }
    int32_t enum_value(orvix::os::RegKey, uint32_t index, char* name, uint32_t* name_chars, uint32_t* reserved,
                       uint32_t* type, uint8_t* data, uint32_t* data_bytes) override {
        std::lock_guard<std::mutex> guard(state_->mutex);
        EXPECT_EQ(reserved, nullptr);
        if (index == 0) ++state_->readings;
        if (index >= state_->values.size()) return orvix::os::kErrorNoMoreItems;
        const Value& v = state_->values[index];
        if (v.name.size() + 1 > *name_chars) return orvix::os::kErrorMoreData;
        std::memcpy(name, v.name.c_str(), v.name.size() + 1);
        *name_chars = static_cast<uint32_t>(v.name.size());
        *type = v.type;
        if (v.data.size() > *data_bytes) {
            *data_bytes = static_cast<uint32_t>(v.data.size());
            return orvix::os::kErrorMoreData;
        }
        if (!v.data.empty()) std::memcpy(data, v.data.data(), v.data.size());
        *data_bytes = static_cast<uint32_t>(v.data.size());
        return orvix::os::kErrorSuccess;
    }
    int32_t close_key(orvix::os::RegKey) override {
        std::lock_guard<std::mutex> guard(state_->mutex);
        ++state_->closes;
        return orvix::os::kErrorSuccess;
    }

private:
    std::shared_ptr<State> state_;
};

// ---- a store made of callables ----

class FakeStore {
public:
    struct Write {
        std::string name;
        uint32_t value_type;  // ENV_VALUE_*
        uint32_t number;
        std::string text;
    };

    // Catalogue rows the test replaces (by index) to reach odd cases.
    std::map<uint32_t, sVORN_ENV_LOOKUP_ENTRY> row_overrides;
    int32_t set_result = 0;

    EnvironmentInterface environment() {
        EnvironmentInterface e;
        e.init_default = [this](const char* name) {
            std::lock_guard<std::mutex> guard(mutex_);
            restored_.push_back(name);
            return 0;
        };
        e.get_entry_index = [](const char* name) { return static_cast<int32_t>(get_entry_index(name)); };
        e.get_entry_modification = [](uint32_t index) { return get_entry_modification(index); };
        e.get_entry = [this](uint64_t index) {
            auto it = row_overrides.find(static_cast<uint32_t>(index));
            return it != row_overrides.end() ? it->second : get_entry(static_cast<uint32_t>(index));
        };
        e.set_uint8 = [this](const char* n, uint8_t v) { return record(n, ENV_VALUE_UINT8, v, ""); };
        e.set_uint16 = [this](const char* n, uint16_t v) { return record(n, ENV_VALUE_UINT16, v, ""); };
        e.set_uint32 = [this](const char* n, uint32_t v) { return record(n, ENV_VALUE_UINT32, v, ""); };
        e.set_string = [this](const char* n, const char* v) { return record(n, ENV_VALUE_STRING, 0, v); };
        e.set_enum = [this](const char* n, eVORN_MGMT_ENV_ENUM v) {
            return record(n, ENV_VALUE_ENUM, static_cast<uint32_t>(v), "");
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
    // The last write of name; a write with an empty name when there is none.
    Write last(const std::string& name) {
        std::lock_guard<std::mutex> guard(mutex_);
        for (auto it = writes_.rbegin(); it != writes_.rend(); ++it) {
            if (it->name == name) return *it;
        }
        return Write{"", 0, 0, ""};
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        writes_.clear();
        restored_.clear();
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

// ---- a private program-data folder ----

inline void set_environment_variable(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// A fresh folder of this test's own, removed again at the end. On POSIX it also becomes
// the ProgramData and temporary folder of the process.
class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("orvix_sources_" + std::to_string(random()) + "_" + std::to_string(random()));
        std::filesystem::create_directories(path_);
#if !defined(_WIN32)
        set_environment_variable("PROGRAMDATA", path_.string());
        set_environment_variable("TMPDIR", path_.string());
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace sources_test
