// The registry settings source: one key below HKEY_LOCAL_MACHINE. Its values are
// converted by the settings catalogue (value names lower-cased first) into setting values;
// a worker thread of its own watches the key with the registry's change notification,
// re-reads it once changes have settled for 200 ms and raises has_changes, which the
// configuration manager polls. At the next hand-over the source reports every name it
// supplied before and no longer supplies.
//
// Thread-safety: one lock serialises the worker's re-read with load, reload_into and
// current_values; has_changes reads an atomic flag. A source never takes the manager's
// lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/registry_interface.h"
#include "config/settings.h"
#include "os/event.h"

namespace orvix::config::internal {

class SettingsFromRegistry : public Settings {
public:
    // KEY_READ with KEY_WOW64_64KEY: the 64-bit view of the registry is read.
    static constexpr uint32_t kKeyAccess = 0x20119;
    static constexpr uint32_t kSettleMs = 200;

    // key_path is relative to HKEY_LOCAL_MACHINE. Takes registry, or uses the system's
    // registry when none is given, and starts the worker at once. Throws std::system_error
    // when the worker cannot be started.
    explicit SettingsFromRegistry(std::string key_path,
                                  std::unique_ptr<RegistryInterface> registry = nullptr);
    // Stops the worker (at the end of its current pass: at most one 200 ms wait or sleep
    // and one reading) and waits for it. Must not run on the worker itself.
    ~SettingsFromRegistry() override;
    SettingsFromRegistry(const SettingsFromRegistry&) = delete;
    SettingsFromRegistry& operator=(const SettingsFromRegistry&) = delete;

    // The first reading; an empty map when the key cannot be opened (the worker keeps
    // trying every 200 ms and raises has_changes once it opens).
    SettingsMap load() override;
    int32_t reload_into(SettingsMap* merged, RemovedNames* removed) override;
    std::string source_name() const override { return key_path_; }
    bool has_changes() override { return have_changes_.load() != 0; }
    void refresh_timestamp() override {}
    // The newest reading of the key.
    SettingsMap current_values() const override;

private:
    orvix::os::RegKey open_key();
    // Reads every value of key into newest_values_, the names into names, and returns the
    // status that ended the reading. The caller holds lock_.
    int32_t load_config_from_registry(orvix::os::RegKey key, std::vector<std::string>& names);
    void worker();

    std::unique_ptr<RegistryInterface> registry_;
    const std::string key_path_;
    orvix::os::Event change_event_{orvix::os::Event::Reset::kAuto};
    std::atomic<uint8_t> have_changes_{0};
    std::atomic<uint8_t> stop_request_{0};
    mutable std::mutex lock_;
    SettingsMap newest_values_;
    std::vector<std::string> newest_names_;
    std::thread worker_;  // last: started once everything above exists
};

// The catalogue row that a lower-cased registry value name supplies: an exact match, or
// else the row whose name differs only in case (registry names do not keep case, so
// "orvix.CAD_insert_substitution_scan_code" can still be set there). name becomes the
// catalogue's spelling. ENV_INDEX_NOT_FOUND when none.
uint32_t find_registry_setting(std::string& name);

}  // namespace orvix::config::internal
