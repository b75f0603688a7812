// The policy lint: what the agent makes of every value of its three policy keys, and why.
// It reads the keys the way the registry settings source does (the same narrow reads with
// the same 512-byte buffers, value names lower-cased, the same catalogue lookup) and
// follows each value through the manager's merge and checks (priority, configurable,
// clamping, width, trimming, startup-only), so an administrator learns why a policy does
// not take effect as written. It only reads: nothing is written to the registry or the
// store, and no non-catalogue action (log level, start delay) is carried out.
//
// Thread-safe as far as the registry interface given is.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "admin/printable.h"
#include "config/registry_interface.h"

namespace orvix::admin {

// What became of one value.
enum class PolicyVerdict {
    kApplied,          // stored as written (startup_only: from the next start on)
    kAction,           // a name outside the catalogue that acts when read (log level, start delay)
    kClamped,          // a number outside the checked range: the bound is stored
    kCut,              // a number wider than the setting: its low bits are stored
    kTrimmed,          // white space at the ends of a text is removed
    kWrongType,        // a registry type that does not fit the setting: another value is read
    kSkipped,          // not read: a size or type the agent does not take for this name
    kUnknown,          // not a setting name: ignored
    kNotConfigurable,  // the setting cannot be set from outside: refused
    kOverridden,       // a key read earlier supplies the setting: this value has no effect
    kEndsReading,      // too long a name or data: the agent stops reading the key here
    kNotRead,          // after a value that ended the reading, or the key's unnamed value
    kChangedText,      // a text the agent's narrow read changes (characters outside the ANSI code page)
};

// Short word for a verdict, as printed and in machine-readable output ("applied", ...).
const char* verdict_word(PolicyVerdict verdict);

struct PolicyValue {
    uint32_t index = 0;   // enumeration index within the key
    std::string name;     // the value name as the registry gives it (narrow)
    uint32_t type = 0;    // registry type (REG_SZ = 1, ...)
    uint32_t size = 0;    // data size in bytes, as the agent's narrow read counts it
    std::string data;     // the data read, up to 64 KiB
    std::string setting;  // the catalogue setting the name supplies; empty for none
    PolicyVerdict verdict = PolicyVerdict::kApplied;
    bool takes_effect_as_written = true;
    bool next_start = false;   // startup-only: the running agent keeps its value until restarted
    bool stored = false;       // the agent stores a value for the setting
    std::string stored_value;  // that value in display form (texts in double quotes)
    std::string explanation;   // why, in a sentence or two, with how to store it instead
};

struct PolicyKey {
    std::string path;   // below HKEY_LOCAL_MACHINE
    std::string label;  // "admin policies", "orvix policies", "over-rideable admin defaults"
    int priority = 0;   // 1 is read first and wins
    bool present = false;
    std::vector<PolicyValue> values;  // in the order the agent reads them
};

struct PolicyReport {
    std::vector<PolicyKey> keys;  // in priority order
    int values = 0;
    int problems = 0;  // values that do not take effect as written
};

// Reads the three policy keys below HKEY_LOCAL_MACHINE through registry. Never throws for
// bad registry content.
PolicyReport check_policy_keys(orvix::config::internal::RegistryInterface& registry);

// The text of a value as stored (UTF-8 of its UTF-16 data, a multi-string's first string),
// or nothing when it cannot be read or is not a text.
using StoredText = std::function<std::optional<std::string>(const PolicyKey& key, const PolicyValue& value)>;

// Marks every text value whose bytes, as the agent's narrow read returns them, differ from
// the text as stored: on Windows that read converts to the ANSI code page (code_page), so
// characters it lacks become "?" and the rest are no longer UTF-8. Such a value does not
// take effect as written; report.problems counts it.
void note_changed_texts(PolicyReport& report, const StoredText& stored_text, uint32_t code_page);

// Reads a value's text as stored from the machine's registry (HKEY_LOCAL_MACHINE) by the
// key's path and the value's enumeration index.
std::optional<std::string> machine_stored_text(const PolicyKey& key, const PolicyValue& value);

// Registry type name ("REG_SZ", "REG_DWORD", ..., "type 42").
std::string registry_type_name(uint32_t type);
// A value's type and data as an administrator writes it: REG_DWORD 5000, REG_SZ "text",
// REG_BINARY 01 02 (long data shortened).
std::string describe_registry_data(uint32_t type, std::string_view data);

// The catalogue name (or non-catalogue action name) nearest to name by edit distance,
// ignoring case; empty when nothing is reasonably near.
std::string nearest_setting_name(std::string_view name);

}  // namespace orvix::admin
