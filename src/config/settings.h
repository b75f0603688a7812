// The settings source: one place from which agent settings are read (a registry key, the
// agent configuration file, the imaging settings file). The configuration manager asks
// each source for its values, for whether it changed and for the names it no longer
// supplies; the sources convert their raw values by the settings catalogue.
//
// A few names that are not catalogue settings act at once when a source reads them
// (apply_config_parameter_action): per-category log levels and a start delay.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orvix::config::internal {

inline constexpr uint32_t kSettingNumber = 1;
inline constexpr uint32_t kSettingText = 2;
inline constexpr size_t kSettingTextSize = 512;  // at most 511 characters and the NUL

// One setting's value as a source hands it over: a number or a text.
struct SettingValue {
    uint32_t type = kSettingNumber;  // kSettingNumber or kSettingText
    uint32_t number = 0;
    char text[kSettingTextSize] = {};

    static SettingValue of_number(uint32_t number);
    // Copies text up to its first NUL, at most 511 characters.
    static SettingValue of_text(const char* text);
    static SettingValue of_text(const std::string& text) { return of_text(text.c_str()); }

    bool operator==(const SettingValue& other) const;
};

// Setting name -> value, ordered byte-wise by name.
using SettingsMap = std::map<std::string, SettingValue>;
// Names that a source no longer supplies, each at most once.
using RemovedNames = std::vector<std::string>;

class Settings {
public:
    virtual ~Settings();

    // The source's first reading: every setting it holds.
    virtual SettingsMap load() = 0;
    // Re-reads (or takes the newest reading of) the source: adds each of its settings to
    // merged unless merged holds the name already (sources handed earlier win), appends
    // to removed, once, each name the source supplied at the previous hand-over and no
    // longer supplies and merged does not hold, and clears the changed state.
    // 0; -502 when an argument is missing; -500 when the source cannot be read.
    virtual int32_t reload_into(SettingsMap* merged, RemovedNames* removed) = 0;
    // The key path or file path, for log lines.
    virtual std::string source_name() const = 0;
    // True when the source changed since its last hand-over.
    virtual bool has_changes() = 0;
    // The file source records its file's modification time; others do nothing.
    virtual void refresh_timestamp() = 0;

    // Diagnostic, read-only: what the source holds now, without acting on anything and
    // without logging. Safe while the source is in use.
    virtual SettingsMap current_values() const = 0;

    // Acts on a name that is not a catalogue setting: the ten per-category
    // "orvix.vorn_event_cat_*.log_level" names set that category's threshold (the number
    // when below 6, else 3); "orvix.start_delay_time" sleeps min(number, 30) seconds.
    // Other names are ignored. Returns the status of the level setting, or 0.
    int32_t apply_config_parameter_action(const std::string& name, uint32_t number, const std::string& text);

    // The names of the reading last handed over, in the order read.
    const std::vector<std::string>& handed_over_names() const { return handed_over_names_; }

protected:
    // The removed-names rule of a hand-over: each name of previous that is neither among
    // the names handed over now nor in merged goes to removed, once. Returns every such
    // name, also those listed already, for the source's log line.
    std::vector<std::string> collect_removed(const std::vector<std::string>& previous, const SettingsMap& merged,
                                             RemovedNames* removed) const;

    std::vector<std::string> handed_over_names_;
};

// What apply_config_parameter_action would do for name and number, in words, without
// doing it ("sets the log level of VORN_EVENT_CAT_MGMT_USB to 3", "delays the start by
// 30 seconds"); empty for a name that has no action. For diagnostic tools.
std::string describe_config_parameter_action(const std::string& name, uint32_t number);

// Every name apply_config_parameter_action acts on, in table order, for tools that
// describe what the sources understand (the administrative templates).
std::vector<std::string> config_parameter_action_names();

// The start delay sleeps through this function (milliseconds), process-wide, so a test
// can see how long a start would be delayed without waiting. Null restores real sleep.
using StartDelaySleeper = void (*)(uint32_t milliseconds);
void set_start_delay_sleeper(StartDelaySleeper sleeper);

// The longest start delay, in seconds.
inline constexpr uint32_t kMaxStartDelaySeconds = 30;

// Removes the characters for which isspace is true from both ends.
std::string strip_spaces(const std::string& text);

}  // namespace orvix::config::internal
