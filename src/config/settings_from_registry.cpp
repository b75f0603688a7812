#include "config/settings_from_registry.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "config/settings_catalogue.h"
#include "eventlog/event_log.h"

namespace orvix::config::internal {
namespace {

using orvix::os::RegKey;

constexpr size_t kBufferSize = 512;
constexpr const char* kWorker = "orvix::config::internal::SettingsFromRegistry::worker";

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(const char* a, const std::string& b) {
    size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return a[i] == '\0' && i == b.size();
}

uint32_t little_endian_u32(const uint8_t* data) {
    return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
           static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
}

int64_t monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleep_settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(SettingsFromRegistry::kSettleMs));
}

}  // namespace

uint32_t find_registry_setting(std::string& name) {
    uint32_t index = get_entry_index(name.c_str());
    if (index != ENV_INDEX_NOT_FOUND || name.find('\0') != std::string::npos) return index;
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const char* row_name = get_entry(i).name;
        if (equal_ignoring_case(row_name, name)) {
            name = row_name;
            return i;
        }
    }
    return ENV_INDEX_NOT_FOUND;
}

SettingsFromRegistry::SettingsFromRegistry(std::string key_path, std::unique_ptr<RegistryInterface> registry)
    : registry_(registry ? std::move(registry) : std::make_unique<RegistryInterfaceImpl>()),
      key_path_(std::move(key_path)) {
    worker_ = std::thread([this] { worker(); });
}

SettingsFromRegistry::~SettingsFromRegistry() {
    stop_request_.exchange(1);
    change_event_.set();
    worker_.join();  // from the worker itself: std::system_error (dead-lock would occur)
}

RegKey SettingsFromRegistry::open_key() {
    RegKey key = 0;
    // Success is judged by the handle that came back, whatever the status says.
    registry_->open_key(orvix::os::kHkeyLocalMachine, key_path_.c_str(), 0, kKeyAccess, &key);
    return key;
}

int32_t SettingsFromRegistry::load_config_from_registry(RegKey key, std::vector<std::string>& names) {
    static const char kFunction[] =
        "orvix::config::internal::SettingsFromRegistry::load_config_from_registry";
    char name[kBufferSize];
    uint8_t data[kBufferSize];
    for (uint32_t index = 0;; ++index) {
        std::memset(name, 0, sizeof name);
        std::memset(data, 0, sizeof data);
        uint32_t name_chars = kBufferSize;
        uint32_t data_bytes = kBufferSize;
        uint32_t type = 0;
        const int32_t status =
            registry_->enum_value(key, index, name, &name_chars, nullptr, &type, data, &data_bytes);
        if (status != orvix::os::kErrorSuccess) return status;
        if (name_chars == 0) continue;  // the key's unnamed default value

        name[kBufferSize - 1] = '\0';
        for (char* p = name; *p != '\0'; ++p) *p = ascii_lower(*p);
        std::string setting(name);
        const uint32_t row_index = find_registry_setting(setting);

        if (row_index == ENV_INDEX_NOT_FOUND) {
            if (type == orvix::os::kRegDword) {
                if (data_bytes == 0 || data_bytes > 4) {
                    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                                   "Unexpected val_data_size %lu. val_type is %lu",
                                   static_cast<unsigned long>(data_bytes), static_cast<unsigned long>(type));
                } else {
                    apply_config_parameter_action(setting, little_endian_u32(data), std::string());
                }
            } else if (type == orvix::os::kRegSz) {
                data[kBufferSize - 1] = 0;
                apply_config_parameter_action(setting, 0, reinterpret_cast<const char*>(data));
            }
            continue;
        }

        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(row_index);
        if (row.value_class == ENV_CLASS_NUMBER) {
            if (data_bytes == 0 || data_bytes > 4) {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                               "Unexpected val_data_size %lu. config_type is %d",
                               static_cast<unsigned long>(data_bytes), static_cast<int>(ENV_CLASS_NUMBER));
                continue;
            }
            // The registry type is not examined: shorter data is zero-extended.
            names.push_back(setting);
            newest_values_[setting] = SettingValue::of_number(little_endian_u32(data));
        } else if (row.value_class == ENV_CLASS_TEXT) {
            // Exactly data-size bytes: a REG_SZ count includes its NUL, so stripping from
            // the end stops there and trailing blanks before it stay.
            data[kBufferSize - 1] = 0;
            const size_t size = data_bytes < kBufferSize ? data_bytes : kBufferSize;
            const std::string text = strip_spaces(std::string(reinterpret_cast<const char*>(data), size));
            names.push_back(setting);
            newest_values_[setting] = SettingValue::of_text(text.c_str());
        } else if (row.modification != ENV_MOD_ALL_ONES) {
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                           "%s: Unsupported parameter type %d for %s parameter.", kFunction,
                           static_cast<int>(row.value_class), setting.c_str());
        }
    }
}

SettingsMap SettingsFromRegistry::load() {
    static const char kFunction[] = "orvix::config::internal::SettingsFromRegistry::load";
    const RegKey key = open_key();
    if (key == 0) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                       "[%s|%s] couldn't open registry key", kFunction, key_path_.c_str());
        return {};
    }
    SettingsMap result;
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<std::string> names;
        load_config_from_registry(key, names);
        handed_over_names_.insert(handed_over_names_.end(), names.begin(), names.end());
        // These are also the newest names: a hand-over taken before the worker's first
        // reading then keeps them, and a value deleted before that reading is still
        // reported as removed.
        newest_names_ = std::move(names);
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_SUCCESS,
                       "Configuration registry HKEY_LOCAL_MACHINE\\%s loaded", key_path_.c_str());
        result = newest_values_;
    }
    registry_->close_key(key);
    return result;
}

int32_t SettingsFromRegistry::reload_into(SettingsMap* merged, RemovedNames* removed) {
    if (merged == nullptr || removed == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    std::lock_guard<std::mutex> guard(lock_);
    const std::vector<std::string> previous = handed_over_names_;
    handed_over_names_ = newest_names_;
    for (const auto& [name, value] : newest_values_) merged->emplace(name, value);
    for (const auto& name : collect_removed(previous, *merged, removed)) {
        vorn_event_log(
            VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
            "Setting parameter %s no longer exists in configuration registry HKEY_LOCAL_MACHINE\\%s",
            name.c_str(), key_path_.c_str());
    }
    have_changes_.exchange(0);
    return VORN_STATUS_SUCCESS;
}

SettingsMap SettingsFromRegistry::current_values() const {
    std::lock_guard<std::mutex> guard(lock_);
    return newest_values_;
}

void SettingsFromRegistry::worker() {
    const char* path = key_path_.c_str();
    RegKey key = 0;
    bool rearm = false;
    bool pending = false;
    bool fresh_key = false;
    bool first_pass = true;
    int64_t last_notification_ns = 0;

    auto debug = [&](const char* format, auto... args) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS, format, kWorker,
                       path, args...);
    };

    for (;;) {
        enum class Step { kRegister, kWait, kReread, kEnd };
        Step step = Step::kEnd;

        // Open the key when there is none; else register again or wait.
        if (key == 0) {
            key = open_key();
            if (key == 0) {
                sleep_settle();
                // The first pass hands over a reading even without a key: a key deleted
                // between load and this pass would otherwise keep its loaded values
                // unnoticed, since no notification can come from a key never opened.
                if (first_pass) step = Step::kReread;
            } else {
                debug("[%s|%s] opened key");
                fresh_key = true;
                step = Step::kRegister;
            }
        } else {
            step = rearm ? Step::kRegister : Step::kWait;
        }

        if (step == Step::kRegister) {
            rearm = false;
            const int32_t result =
                registry_->notify_change(key, true, orvix::os::kRegNotifyChangeLastSet, &change_event_, true);
            if (result == orvix::os::kErrorSuccess) {
                debug("[%s|%s] registered for key value change notification.");
                step = Step::kWait;
            } else if (result == orvix::os::kErrorInvalidHandle || result == orvix::os::kErrorKeyDeleted) {
                debug("[%s|%s] key no longer exists; setting haveChanges");
                sleep_settle();
                const RegKey reopened = open_key();
                registry_->close_key(key);
                key = reopened;
                debug("[%s|%s] key %s reopened", key != 0 ? "successfully" : "could not be");
                if (key != 0) rearm = true;
                step = Step::kReread;
            } else {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                               "[%s|%s] unknown error when setting up registry notify: %d", kWorker, path,
                               static_cast<int>(result));
                registry_->close_key(key);
                key = 0;
                step = Step::kEnd;
            }
        }

        if (step == Step::kWait) {
            if (fresh_key) {
                step = Step::kReread;
            } else {
                const bool signalled = change_event_.wait(kSettleMs);
                if (signalled) {
                    debug("[%s|%s] notified of registry change");
                    pending = true;
                    rearm = true;
                    last_notification_ns = monotonic_ns();
                }
                if (!signalled && !pending) {
                    step = Step::kEnd;
                } else if (monotonic_ns() - last_notification_ns <= int64_t{kSettleMs} * 1000000) {
                    step = Step::kEnd;  // each notification restarts the quiet period
                } else {
                    step = Step::kReread;
                }
            }
        }

        if (step == Step::kReread) {
            debug("[%s|%s] setting haveChanges");
            int32_t ended = orvix::os::kErrorNoMoreItems;
            {
                std::lock_guard<std::mutex> guard(lock_);
                newest_values_.clear();
                newest_names_.clear();
                if (key != 0) ended = load_config_from_registry(key, newest_names_);
            }
            // A key deleted after the watch was armed: Wine does not signal the watch when
            // the key itself goes (only when its values do), so the reading is what finds
            // out. Registering again reports the deletion and reopens the key.
            if (ended == orvix::os::kErrorKeyDeleted || ended == orvix::os::kErrorInvalidHandle) rearm = true;
            have_changes_.exchange(1);
            pending = false;
            fresh_key = false;
        }

        first_pass = false;
        if (stop_request_.load() != 0) {
            if (key != 0) registry_->close_key(key);
            return;
        }
    }
}

}  // namespace orvix::config::internal
