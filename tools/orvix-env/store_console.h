// Start-up shared by the commands that read the environment store: the event log on the
// console (standard error, so that standard output carries only the command's result),
// then the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings_catalogue.h"

namespace orvix_env {

// The event log forwards every admitted message (level 2 and more severe) to standard
// error; no log file is opened and no log folder is touched. Returns the event log's status.
int32_t start_console_log();
// Starts the store after the console log; prints the failure and returns its status.
int32_t start_store();

// One setting as the commands show it.
struct SettingView {
    uint32_t index;
    sVORN_ENV_LOOKUP_ENTRY row;
    std::string value;    // display form of the current value
    std::string initial;  // display form of the default
    bool has_value;
};
// Every setting of the started store, in catalogue order.
std::vector<SettingView> read_settings();

// Short type name of a catalogue value type ("u8", "string", "MAC", ...).
const char* type_name(uint32_t value_type);
// The display form of a 512-byte value of row index, whole (texts are not cut).
std::string display_value(uint32_t index, const uint8_t* value);

}  // namespace orvix_env
