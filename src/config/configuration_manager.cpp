#include "config/configuration_manager.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "config/settings_for_imaging.h"
#include "config/settings_from_file.h"
#include "config/settings_from_registry.h"
#include "eventlog/event_log.h"
#include "eventlog/log_files.h"
#include "os/file_watcher.h"
#include "os/registry.h"
#include "platform/text_conversion.h"

using orvix::config::internal::RemovedNames;
using orvix::config::internal::Settings;
using orvix::config::internal::SettingsForImaging;
using orvix::config::internal::SettingsFromFile;
using orvix::config::internal::SettingsFromRegistry;
using orvix::config::internal::SettingsMap;
using orvix::config::internal::SettingValue;

namespace {

// Owns the process's manager until exit.
struct ManagerHolder {
    ManagerHolder() {
        // Statics finished during this constructor are destroyed after the holder. The
        // in-process registry is one, and the manager's registry workers use it until
        // the manager is gone.
        orvix::os::RegKey key = 0;
        if (orvix::os::registry_open_key(orvix::os::kHkeyLocalMachine, u"SOFTWARE", orvix::os::kKeyRead,
                                         &key) == orvix::os::kErrorSuccess) {
            orvix::os::registry_close_key(key);
        }
    }

    std::mutex mutex;
    std::unique_ptr<cVORN_MGMT_CFG_MGR> manager;
    std::atomic<bool> exists{false};
};

ManagerHolder& holder() {
    static ManagerHolder instance;
    return instance;
}

bool startup_only(const sVORN_ENV_LOOKUP_ENTRY& row) {
    return (row.modification & ENV_MOD_STARTUP_ONLY) != 0;
}

}  // namespace

cVORN_MGMT_CFG_MGR::cVORN_MGMT_CFG_MGR(const EnvironmentInterface& environment) : environment_(environment) {
    worker_ = std::thread([this] { worker(); });
}

cVORN_MGMT_CFG_MGR::~cVORN_MGMT_CFG_MGR() { stop_worker(); }

void cVORN_MGMT_CFG_MGR::stop_worker() {
    {
        std::lock_guard<std::mutex> guard(worker_mutex_);
        poll_.exchange(false);
        stop_ = true;
    }
    worker_wake_.notify_one();
    if (!worker_.joinable()) return;
    if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();  // the process is ending on the worker itself (an exit from a reload)
    } else {
        worker_.join();
    }
}

void cVORN_MGMT_CFG_MGR::worker() {
    for (;;) {
        if (poll_.load()) check_for_changes();
        std::unique_lock<std::mutex> guard(worker_mutex_);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPollIntervalMs);
        worker_wake_.wait_until(guard, until, [this] { return stop_; });
        if (stop_) return;
    }
}

void cVORN_MGMT_CFG_MGR::check_for_changes() {
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        for (const auto& source : sources_) {
            if (source->has_changes()) {
                changed = true;
                break;
            }
        }
    }
    if (changed) reload();
}

void cVORN_MGMT_CFG_MGR::reload() {
    static const char kFunction[] = "cVORN_MGMT_CFG_MGR::reload";
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                   "%s: Reloading configuration", kFunction);
    SettingsMap merged;
    RemovedNames deleted;
    {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        for (const auto& source : sources_) {
            if (source->reload_into(&merged, &deleted) != VORN_STATUS_SUCCESS) {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                               "%s: Failed to reload the configuration from %s", kFunction,
                               source->source_name().c_str());
                continue;
            }
            for (auto it = deleted.begin(); it != deleted.end();) {
                if (merged.count(*it) != 0) {
                    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_SUCCESS,
                                   "%s: Deleted key %s found in lower priority config object", kFunction,
                                   it->c_str());
                    it = deleted.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    for (const auto& name : deleted) {
        const int32_t index = environment_.get_entry_index(name.c_str());
        if (index >= 0 &&
            (environment_.get_entry_modification(static_cast<uint32_t>(index)) & ENV_MOD_STARTUP_ONLY) != 0) {
            continue;
        }
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                       "%s: Setting parameter %s removed from configs, restoring default value", kFunction,
                       name.c_str());
        environment_.init_default(name.c_str());
    }
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                   "%s: Applying config changes", kFunction);
    apply_config_settings(merged, startup_only);
}

void cVORN_MGMT_CFG_MGR::apply_config_settings(const SettingsMap& settings, const ExcludePredicate& exclude) {
    static const char kFunction[] = "cVORN_MGMT_CFG_MGR::apply_config_settings";
    for (const auto& [name, value] : settings) {
        const int32_t index = environment_.get_entry_index(name.c_str());
        if (index >= 0 && exclude && exclude(environment_.get_entry(static_cast<uint64_t>(index)))) continue;
        if (value.type == orvix::config::internal::kSettingNumber) {
            if (set_config_parameter_to_env_mgr(name.c_str(), value.number, "") == VORN_STATUS_SUCCESS) {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                               "%s: setting parameter %s = %d", kFunction, name.c_str(),
                               static_cast<int>(value.number));
            }
        } else if (value.type == orvix::config::internal::kSettingText) {
            char text[orvix::config::internal::kSettingTextSize];
            const size_t n = strnlen(value.text, sizeof text - 1);
            std::memcpy(text, value.text, n);
            text[n] = '\0';
            if (set_config_parameter_to_env_mgr(name.c_str(), 0, text) == VORN_STATUS_SUCCESS) {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                               "%s: setting parameter %s = \"%s\"", kFunction, name.c_str(), text);
            }
        } else {
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                           "%s: Unsupported parameter type %d for %s parameter.", kFunction,
                           static_cast<int>(value.type), name.c_str());
        }
    }
}

int32_t cVORN_MGMT_CFG_MGR::set_config_parameter_to_env_mgr(const char* name, uint32_t number,
                                                            const char* text) {
    static const char kFunction[] = "cVORN_MGMT_CFG_MGR::set_config_parameter_to_env_mgr";
    if (name == nullptr) name = "";
    const int32_t index = environment_.get_entry_index(name);
    if (index < 0) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                       "%s - Error parameter %s not found, ignoring ...", kFunction, name);
        return VORN_STATUS_FAILURE;
    }
    const sVORN_ENV_LOOKUP_ENTRY row = environment_.get_entry(static_cast<uint64_t>(index));
    if (row.configurable != ENV_CONFIGURABLE) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                       "%s - Error parameter %s not configurable, ignoring ...", kFunction, name);
        return VORN_STATUS_FAILURE;
    }
    if (row.value_class == ENV_CLASS_NUMBER && row.range_checked == ENV_RANGE_CHECKED) {
        if (number < row.min_value) {
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                           "Configure parameter %s value %d below legal range clamping to minimum: %d", name,
                           static_cast<int>(number), static_cast<int>(row.min_value));
            number = row.min_value;
        } else if (number > row.max_value) {
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                           "Configure parameter %s value %d above legal range clamping to maximum: %d", name,
                           static_cast<int>(number), static_cast<int>(row.max_value));
            number = row.max_value;
        }
    }

    int32_t status = VORN_STATUS_FAILURE;
    switch (row.value_type) {
        case ENV_VALUE_UINT8:
            status = environment_.set_uint8(name, static_cast<uint8_t>(number));
            break;
        case ENV_VALUE_UINT16:
            status = environment_.set_uint16(name, static_cast<uint16_t>(number));
            break;
        case ENV_VALUE_UINT32:
            status = environment_.set_uint32(name, number);
            break;
        case ENV_VALUE_ENUM:
            status = environment_.set_enum(name, static_cast<eVORN_MGMT_ENV_ENUM>(number));
            break;
        case ENV_VALUE_STRING: {
            const std::string trimmed = orvix::config::internal::strip_spaces(text != nullptr ? text : "");
            status = environment_.set_string(name, trimmed.c_str());
            break;
        }
        default:
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "%s: Config type %d not supported, ignoring %s setting", kFunction,
                           static_cast<int>(row.value_type), name);
            return VORN_STATUS_FAILURE;
    }
    if (status == VORN_STATUS_FAILURE) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                       "%s: Failed to set %s config parameter", kFunction, name);
    }
    return status;
}

std::vector<cVORN_MGMT_CFG_MGR::SourceReport> cVORN_MGMT_CFG_MGR::describe_sources() const {
    std::lock_guard<std::mutex> guard(sources_mutex_);
    std::vector<SourceReport> reports;
    for (size_t i = 0; i < sources_.size(); ++i) {
        reports.push_back(
            SourceReport{labels_[i], sources_[i]->source_name(), sources_[i]->current_values()});
    }
    return reports;
}

Settings* cVORN_MGMT_CFG_MGR::add_source(std::unique_ptr<Settings> source, std::string label) {
    Settings* added = source.get();
    sources_.push_back(std::move(source));
    labels_.push_back(std::move(label));
    return added;
}

// ---- REG ----

cVORN_MGMT_CFG_MGR_REG::cVORN_MGMT_CFG_MGR_REG(const EnvironmentInterface& environment)
    : cVORN_MGMT_CFG_MGR(environment) {}

cVORN_MGMT_CFG_MGR_REG::~cVORN_MGMT_CFG_MGR_REG() { stop_worker(); }

SettingsMap& cVORN_MGMT_CFG_MGR_REG::load(SettingsMap& result, const char*) {
    poll_.exchange(true);
    result = load_reg(1, kAdminPoliciesKey, "admin policies");
    SettingsMap orvix_policies = load_reg(2, kOrvixPoliciesKey, "orvix policies");
    result.merge(orvix_policies);  // a key already in result keeps its value
    SettingsMap defaults = load_reg(3, kAdminDefaultsKey, "over-rideable admin defaults");
    result.merge(defaults);
    return result;
}

SettingsMap cVORN_MGMT_CFG_MGR_REG::load_reg(long priority, const char* root, const char* label) {
    SettingsMap settings;
    {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        Settings* source = add_source(std::make_unique<SettingsFromRegistry>(root), label);
        settings = source->load();
    }
    // The source's description is not part of the line: the format names the label.
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                   "%s[%ld]: %s settings from %s", "cVORN_MGMT_CFG_MGR_REG::load_reg", priority, "Processed",
                   label);
    return settings;
}

// ---- FILE ----

cVORN_MGMT_CFG_MGR_FILE::cVORN_MGMT_CFG_MGR_FILE(const EnvironmentInterface& environment)
    : cVORN_MGMT_CFG_MGR(environment),
      watcher_(std::make_unique<orvix::os::FileWatcher>([this] { reload(); })) {}

cVORN_MGMT_CFG_MGR_FILE::~cVORN_MGMT_CFG_MGR_FILE() {
    stop_worker();
    watcher_.reset();  // waits for a reload the watcher started
}

SettingsMap& cVORN_MGMT_CFG_MGR_FILE::load(SettingsMap& result, const char*) {
    result = load_file(FOLDER_PROGRAM_DATA, kFileName);
    return result;
}

SettingsMap cVORN_MGMT_CFG_MGR_FILE::load_file(int32_t folder_kind, const char* name) {
    static const char kFunction[] = "cVORN_MGMT_CFG_MGR_FILE::load_file";
    char path[SettingsFromFile::kPathSize] = {};
    const int32_t status = vorn_util_get_folder_path(path, sizeof path, folder_kind, name);
    if (status != VORN_STATUS_SUCCESS) {
        path[sizeof path - 1] = '\0';
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status,
                       "%s: Failed to construct file path %s", kFunction, path);
        return {};
    }
    SettingsMap settings;
    {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        Settings* source = add_source(std::make_unique<SettingsFromFile>(path), "configuration file");
        settings = source->load();
    }
    std::u16string wide;
    const bool watched =
        vorn_util_create_wide_string_from_utf8(path, &wide) == VORN_STATUS_SUCCESS && watcher_->watch(wide);
    if (!watched) poll_.exchange(true);
    return settings;
}

// ---- TEST ----

cVORN_MGMT_CFG_MGR_TEST::cVORN_MGMT_CFG_MGR_TEST(const EnvironmentInterface& environment)
    : cVORN_MGMT_CFG_MGR(environment) {}

cVORN_MGMT_CFG_MGR_TEST::~cVORN_MGMT_CFG_MGR_TEST() { stop_worker(); }

SettingsMap& cVORN_MGMT_CFG_MGR_TEST::load(SettingsMap& result, const char* argument) {
    {
        std::lock_guard<std::mutex> guard(sources_mutex_);
        // The source writes the imaging parameters; the settings it hands over (none)
        // must not reach the store.
        add_source(std::make_unique<SettingsForImaging>(argument), "imaging settings")->load();
    }
    result.clear();
    return result;
}

// ---- the process's manager ----

cVORN_MGMT_CFG_MGR* get_vorn_mgmt_cfg_mgr_helper(eVORN_ENV_TYPE type,
                                                 const EnvironmentInterface& environment) {
    ManagerHolder& h = holder();
    std::lock_guard<std::mutex> guard(h.mutex);
    if (!h.manager) {
        switch (type) {
            case VORN_ENV_TYPE_FILE:
                h.manager = std::make_unique<cVORN_MGMT_CFG_MGR_FILE>(environment);
                break;
            case VORN_ENV_TYPE_REG:
                h.manager = std::make_unique<cVORN_MGMT_CFG_MGR_REG>(environment);
                break;
            case VORN_ENV_TYPE_TEST:
                h.manager = std::make_unique<cVORN_MGMT_CFG_MGR_TEST>(environment);
                break;
            default:
                throw std::invalid_argument(
                    "get_vorn_mgmt_cfg_mgr_helper must initially be called with a real environment type");
        }
        h.exists.store(true);
        return h.manager.get();
    }
    if (type != VORN_ENV_TYPE_PREEXISTING) {
        throw std::invalid_argument(
            "The only valid manager type post initial environment manager setup is "
            "VORN_ENV_TYPE_PREEXISTING");
    }
    return h.manager.get();
}

bool vorn_mgmt_cfg_mgr_exists() { return holder().exists.load(); }
