// The imaging settings source: reads the imaging test parameters (config/imaging_parameters.h)
// from their own file, in the line format of the configuration file source, and writes
// each item into the parameter record instead of handing settings to the manager. Numbers
// are range-checked and refused (never clamped) when outside; flags take exactly "0",
// "1", "false" or "true"; a text is cut to 511 characters. A parameter named twice takes
// the later value. The file is read once: the source never reports a change, hands over
// no settings and reports none removed.
//
// Created by the test configuration manager (cVORN_MGMT_CFG_MGR_TEST), which serialises
// every call; the record has no lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings_from_file.h"

namespace orvix::config::internal {

class SettingsForImaging : public SettingsFromFile {
public:
    // The first argument of every message of set_settings_parameter.
    static constexpr const char* kSetFunction =
        "orvix::config::internal::SettingsForImaging::set_settings_parameter";

    // "..\img_settings.cfg" with the platform's separator, relative to the current directory.
    static const char* default_path();

    // path: the file to read; null for default_path(). Neither opens nor examines the file.
    explicit SettingsForImaging(const char* path = nullptr);
    ~SettingsForImaging() override;

    // Read once: never changed, and no time is recorded.
    bool has_changes() override { return false; }
    void refresh_timestamp() override {}
    // The source hands no settings to the manager.
    SettingsMap current_values() const override { return {}; }

    // Writes the items into the parameter record in file order between two separator
    // lines of the event log; settings is left untouched. Always 0.
    int32_t process_config(const std::vector<ConfigItem>& items, SettingsMap* settings) override;

    // Sets one parameter from its text: 0, or -500 (logged) for an unknown name, a number
    // that is missing or outside the parameter's bounds, or a flag other than "0", "1",
    // "false" or "true"; a refused value leaves the parameter as it was.
    int32_t set_settings_parameter(const std::string& name, const std::string& value);
};

}  // namespace orvix::config::internal
