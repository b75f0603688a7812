// The configuration manager: owns the configuration sources of the process in priority
// order, merges their settings (the first source that supplies a name wins) and writes
// the merged values into the environment store after checking each against the
// catalogue: unknown and fixed settings are refused, numbers of range-checked rows are
// clamped, text is trimmed. A worker thread asks the sources every 500 ms whether they
// changed and, when one did, reloads them all, restores the default of every setting
// that no source supplies any longer and applies the new values; settings marked
// ENV_MOD_STARTUP_ONLY keep their start-up value.
//
// The manager reaches the store only through the nine callables of EnvironmentInterface,
// so a test can give it another store. One manager exists per process, made by the first
// call of get_vorn_mgmt_cfg_mgr_helper.
//
// Locks: the sources mutex is held while sources are added, polled and reloaded, and is
// never held while values are written into the store.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/environment_store.h"
#include "config/settings.h"
#include "config/settings_catalogue.h"

namespace orvix::os {
class FileWatcher;
}

// The argument of get_vorn_mgmt_cfg_mgr_helper.
enum eVORN_ENV_TYPE : int32_t {
    VORN_ENV_TYPE_FILE = 0,         // the agent configuration file
    VORN_ENV_TYPE_REG = 1,          // the three policy registry keys
    VORN_ENV_TYPE_TEST = 2,         // the imaging settings file
    VORN_ENV_TYPE_PREEXISTING = 3,  // the manager that exists
};

// The store as the manager sees it, in this order.
struct EnvironmentInterface {
    std::function<int32_t(const char* name)> init_default;     // restore the default
    std::function<int32_t(const char* name)> get_entry_index;  // -1 when not found
    std::function<eENV_MODIFICATION(uint32_t index)> get_entry_modification;
    std::function<sVORN_ENV_LOOKUP_ENTRY(uint64_t index)> get_entry;
    std::function<int32_t(const char* name, uint8_t value)> set_uint8;
    std::function<int32_t(const char* name, uint16_t value)> set_uint16;
    std::function<int32_t(const char* name, uint32_t value)> set_uint32;
    std::function<int32_t(const char* name, const char* value)> set_string;
    std::function<int32_t(const char* name, eVORN_MGMT_ENV_ENUM value)> set_enum;
};

// The callables bound to the environment store and the catalogue.
EnvironmentInterface store_environment_interface();

class cVORN_MGMT_CFG_MGR {
public:
    using SettingsMap = orvix::config::internal::SettingsMap;
    // True for a catalogue row whose entry is to be left out.
    using ExcludePredicate = std::function<bool(const sVORN_ENV_LOOKUP_ENTRY& row)>;

    static constexpr uint32_t kPollIntervalMs = 500;

    // Copies the callables and starts the worker (not polling until a load asks for it).
    // Throws std::system_error when the worker cannot be started.
    explicit cVORN_MGMT_CFG_MGR(const EnvironmentInterface& environment);
    // Stops the worker, then destroys the sources.
    virtual ~cVORN_MGMT_CFG_MGR();
    cVORN_MGMT_CFG_MGR(const cVORN_MGMT_CFG_MGR&) = delete;
    cVORN_MGMT_CFG_MGR& operator=(const cVORN_MGMT_CFG_MGR&) = delete;

    // Reloads every source in priority order, restores the defaults of settings that no
    // source supplies any longer and applies the merged values, leaving startup-only
    // settings alone. Safe from any thread; two reloads overlap only outside their source
    // phase.
    virtual void reload();
    // Appends the manager's sources, loads them and returns their merged values in result.
    virtual SettingsMap& load(SettingsMap& result, const char* argument) = 0;
    // Reloads when a source reports a change.
    virtual void check_for_changes();

    // Writes every entry of settings into the store, in name order, except those whose
    // catalogue row exclude accepts.
    void apply_config_settings(const SettingsMap& settings, const ExcludePredicate& exclude);
    // Writes one value: -500 (logged) for a name that is not in the catalogue or not
    // configurable, or a value type the store cannot take; numbers of range-checked rows
    // are clamped (logged), then cut to the row's width; text is trimmed of white space.
    // Otherwise the store's status.
    int32_t set_config_parameter_to_env_mgr(const char* name, uint32_t number, const char* text);

    // Diagnostic, read-only: the sources in priority order, each with the label the
    // manager gave it, its description (key path or file path) and what it holds now.
    struct SourceReport {
        std::string label;
        std::string description;
        SettingsMap values;
    };
    std::vector<SourceReport> describe_sources() const;

    // Whether the worker polls the sources.
    bool polling() const { return poll_.load(); }

protected:
    // Appends a source; the caller holds sources_mutex_.
    orvix::config::internal::Settings* add_source(std::unique_ptr<orvix::config::internal::Settings> source,
                                                  std::string label);
    // Ends the worker; every subclass destructor calls it first, so the worker never
    // runs into a half-destroyed object. Idempotent.
    void stop_worker();

    EnvironmentInterface environment_;
    mutable std::mutex sources_mutex_;
    std::vector<std::unique_ptr<orvix::config::internal::Settings>> sources_;  // priority order
    std::vector<std::string> labels_;                                          // one per source
    std::atomic<bool> poll_{false};

private:
    void worker();

    std::mutex worker_mutex_;
    bool stop_ = false;  // guarded by worker_mutex_
    std::condition_variable worker_wake_;
    std::thread worker_;
};

// The three policy keys below HKEY_LOCAL_MACHINE.
class cVORN_MGMT_CFG_MGR_REG : public cVORN_MGMT_CFG_MGR {
public:
    static constexpr const char* kAdminPoliciesKey = "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
    static constexpr const char* kOrvixPoliciesKey = "SOFTWARE\\Quillon\\Orvix\\orvix_admin";
    static constexpr const char* kAdminDefaultsKey =
        "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults";

    explicit cVORN_MGMT_CFG_MGR_REG(const EnvironmentInterface& environment);
    ~cVORN_MGMT_CFG_MGR_REG() override;

    // Starts polling, then loads the three keys, highest priority first.
    SettingsMap& load(SettingsMap& result, const char* argument) override;
    // Appends a registry source for root and returns its first reading.
    SettingsMap load_reg(long priority, const char* root, const char* label);
};

// The agent configuration file in the program-data folder, watched for change; the
// manager polls only when the file cannot be watched.
class cVORN_MGMT_CFG_MGR_FILE : public cVORN_MGMT_CFG_MGR {
public:
    static constexpr const char* kFileName = "orvix-agent.conf";

    explicit cVORN_MGMT_CFG_MGR_FILE(const EnvironmentInterface& environment);
    ~cVORN_MGMT_CFG_MGR_FILE() override;

    SettingsMap& load(SettingsMap& result, const char* argument) override;
    // Appends a file source for name in the folder of that kind (eVORN_FOLDER_KIND) and
    // returns its first reading; watches the file, or starts polling when it cannot.
    SettingsMap load_file(int32_t folder_kind, const char* name);

private:
    std::unique_ptr<orvix::os::FileWatcher> watcher_;
};

// The imaging test manager: its source writes the imaging parameters
// (config/imaging_parameters.h), so it loads no settings into the store and never reloads.
class cVORN_MGMT_CFG_MGR_TEST : public cVORN_MGMT_CFG_MGR {
public:
    explicit cVORN_MGMT_CFG_MGR_TEST(const EnvironmentInterface& environment);
    ~cVORN_MGMT_CFG_MGR_TEST() override;

    void reload() override {}
    // Appends an imaging settings source for the file argument (null: "..\img_settings.cfg"
    // with the platform's separator, relative to the current directory), reads it and
    // returns result emptied.
    SettingsMap& load(SettingsMap& result, const char* argument) override;
    void check_for_changes() override {}
};

// The process's manager. The first call creates it with type FILE, REG or TEST (other
// types throw std::invalid_argument); later calls accept only PREEXISTING, which returns
// it (others throw std::invalid_argument). The manager lives until process exit. The
// one-argument form binds the manager to the environment store; the other gives it the
// callables of the caller's choice.
cVORN_MGMT_CFG_MGR* get_vorn_mgmt_cfg_mgr_helper(eVORN_ENV_TYPE type);
cVORN_MGMT_CFG_MGR* get_vorn_mgmt_cfg_mgr_helper(eVORN_ENV_TYPE type,
                                                 const EnvironmentInterface& environment);

// Whether the process's manager has been created. Thread-safe.
bool vorn_mgmt_cfg_mgr_exists();

// Used by the store's start-up: obtains the manager of type, loads its sources with
// argument and writes every merged value into the store. 0, or -500 (logged) when the
// manager cannot be obtained.
int32_t configure_from_sources(eVORN_ENV_TYPE type, const char* argument);
