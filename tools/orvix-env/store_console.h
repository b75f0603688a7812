// Start-up shared by the commands that read the environment store: the event log on the
// console (standard error, so that standard output carries only the command's result),
// then the store.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_catalogue.h"

namespace orvix_env {

// The event log forwards every admitted message (level 2 and more severe) to the tool;
// no log file is opened and no log folder is touched. With --verbose each message goes to
// standard error as it comes; otherwise only those that report a failure (a negative
// status) are kept, and summarise_console_problems tells how many there were. Returns the
// event log's status.
int32_t start_console_log();
// Starts the store after the console log; prints the failure and returns its status.
// With file_variant the store is filled by the file-backed configuration manager (the
// agent configuration file in the program-data folder) instead of the policy keys.
int32_t start_store(bool file_variant = false);
// One line on standard error when the layer reported problems that were not shown (none
// with --verbose, where they were), pointing to where they are explained.
void summarise_console_problems();

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

// One configuration source of the started store's manager, in priority order.
struct SourceView {
    std::string label;                            // "admin policies", ..., "configuration file"
    std::string location;                         // HKEY_LOCAL_MACHINE\key path, or the file's path
    orvix::config::internal::SettingsMap values;  // what it holds now
};
std::vector<SourceView> read_sources();
// The label of the first source that supplies name; empty when none does.
std::string source_of(const std::vector<SourceView>& sources, const std::string& name);
// Declares "--source registry|file" on a command; file is set for "file".
void add_source_option(CLI::App& command, std::shared_ptr<bool> file);

// A display value as JSON: numbers of the numeric types as numbers, everything else as
// its text.
nlohmann::ordered_json value_json(uint32_t value_type, const std::string& display);

// Short type name of a catalogue value type ("u8", "string", "MAC", ...).
const char* type_name(uint32_t value_type);
// The display form of a 512-byte value of row index, whole (texts are not cut).
std::string display_value(uint32_t index, const uint8_t* value);

}  // namespace orvix_env
