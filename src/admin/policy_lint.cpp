#include "admin/policy_lint.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "config/configuration_manager.h"
#include "config/settings.h"
#include "config/settings_catalogue.h"
#include "config/settings_from_registry.h"
#include "os/codepage.h"
#include "os/registry.h"

namespace orvix::admin {
namespace {

using orvix::config::internal::RegistryInterface;
using orvix::config::internal::SettingsFromRegistry;
using orvix::config::internal::SettingValue;
using orvix::config::internal::strip_spaces;

// The agent's buffers: a name of 512 characters or more, or data above 512 bytes, ends
// the reading of the key.
constexpr uint32_t kAgentBuffer = 512;
// Enough for any value name; data beyond kShownData is not kept.
constexpr uint32_t kLargeName = 32768;
constexpr size_t kShownData = 65536;

uint32_t little_endian_u32(std::string_view data) {
    uint8_t bytes[4] = {};
    std::memcpy(bytes, data.data(), std::min<size_t>(data.size(), 4));
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool is_text_type(uint32_t type) {
    return type == orvix::os::kRegSz || type == orvix::os::kRegExpandSz || type == orvix::os::kRegMultiSz;
}

// The text of string data up to its first NUL.
std::string_view first_string(std::string_view data) { return data.substr(0, data.find('\0')); }

// Leading decimal digits of a text, when the whole stripped text is a number.
bool whole_number(std::string_view text, uint64_t* number) {
    const std::string s = strip_spaces(std::string(text));
    if (s.empty() || s.size() > 10) return false;
    uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    *number = n;
    return n <= 0xFFFFFFFFu;
}

std::string range_of(const sVORN_ENV_LOOKUP_ENTRY& row) {
    return std::to_string(row.min_value) + ".." + std::to_string(row.max_value);
}

uint32_t width_mask(uint32_t value_type) {
    switch (value_type) {
        case ENV_VALUE_UINT8:
            return 0xFFu;
        case ENV_VALUE_UINT16:
            return 0xFFFFu;
        default:
            return 0xFFFFFFFFu;
    }
}

const char* width_name(uint32_t value_type) {
    switch (value_type) {
        case ENV_VALUE_UINT8:
            return "8";
        case ENV_VALUE_UINT16:
            return "16";
        default:
            return "32";
    }
}

// One enumeration of index, with the agent's buffers or large ones.
struct Read {
    int32_t status = 0;
    std::string name;
    uint32_t type = 0;
    uint32_t size = 0;
    std::string data;
};

Read read_agent_way(RegistryInterface& registry, orvix::os::RegKey key, uint32_t index) {
    char name[kAgentBuffer] = {};
    uint8_t data[kAgentBuffer] = {};
    uint32_t name_chars = kAgentBuffer;
    uint32_t data_bytes = kAgentBuffer;
    Read r;
    r.status = registry.enum_value(key, index, name, &name_chars, nullptr, &r.type, data, &data_bytes);
    if (r.status != orvix::os::kErrorSuccess) return r;
    name[kAgentBuffer - 1] = '\0';
    r.name.assign(name, strnlen(name, std::min(name_chars, kAgentBuffer - 1)));
    r.size = data_bytes;
    r.data.assign(reinterpret_cast<const char*>(data), std::min(data_bytes, kAgentBuffer));
    return r;
}

Read read_whole(RegistryInterface& registry, orvix::os::RegKey key, uint32_t index) {
    std::vector<char> name(kLargeName);
    std::vector<uint8_t> data(4096);
    Read r;
    for (int attempt = 0; attempt < 4; ++attempt) {
        uint32_t name_chars = kLargeName;
        uint32_t data_bytes = static_cast<uint32_t>(data.size());
        r.status = registry.enum_value(key, index, name.data(), &name_chars, nullptr, &r.type, data.data(),
                                       &data_bytes);
        if (r.status == orvix::os::kErrorMoreData && data_bytes > data.size() && data_bytes <= (64u << 20)) {
            data.resize(data_bytes);
            continue;
        }
        if (r.status != orvix::os::kErrorSuccess) return r;
        name.back() = '\0';
        r.name.assign(name.data(), strnlen(name.data(), std::min<size_t>(name_chars, kLargeName - 1)));
        r.size = data_bytes;
        r.data.assign(reinterpret_cast<const char*>(data.data()), std::min<size_t>(data_bytes, kShownData));
        return r;
    }
    return r;
}

class Lint {
  public:
    explicit Lint(RegistryInterface& registry) : registry_(registry) {}

    PolicyKey read_key(int priority, const char* path, const char* label) {
        PolicyKey key{path, label, priority, false, {}};
        orvix::os::RegKey handle = 0;
        registry_.open_key(orvix::os::kHkeyLocalMachine, path, 0, SettingsFromRegistry::kKeyAccess, &handle);
        if (handle == 0) return key;
        key.present = true;
        std::string ended_by;  // the value that ended the agent's reading
        for (uint32_t index = 0; index < 0x7FFFFFFF; ++index) {
            if (!ended_by.empty()) {
                const Read whole = read_whole(registry_, handle, index);
                if (whole.status != orvix::os::kErrorSuccess) break;
                PolicyValue v = base(index, whole);
                v.verdict = PolicyVerdict::kNotRead;
                v.takes_effect_as_written = false;
                v.explanation = "the agent stopped reading this key at " + ended_by;
                key.values.push_back(std::move(v));
                continue;
            }
            const Read agent = read_agent_way(registry_, handle, index);
            if (agent.status == orvix::os::kErrorNoMoreItems) break;
            if (agent.status != orvix::os::kErrorSuccess) {
                // The agent's reading ends here, whatever the reason.
                const Read whole = read_whole(registry_, handle, index);
                PolicyValue v = whole.status == orvix::os::kErrorSuccess ? base(index, whole) : PolicyValue{};
                v.index = index;
                v.verdict = PolicyVerdict::kEndsReading;
                v.takes_effect_as_written = false;
                if (whole.status != orvix::os::kErrorSuccess) {
                    v.explanation = "the registry refused to give value " + std::to_string(index) +
                                    " (error " + std::to_string(agent.status) +
                                    "); the agent stops reading this key here";
                    key.values.push_back(std::move(v));
                    break;
                }
                if (whole.name.size() >= kAgentBuffer) {
                    v.explanation = "the name is " + std::to_string(whole.name.size()) +
                                    " characters long and the agent reads names of at most " +
                                    std::to_string(kAgentBuffer - 1) +
                                    ": it stops reading this key here, so this value and every value after "
                                    "it are ignored";
                } else {
                    v.explanation =
                        "the data is " + std::to_string(whole.size) + " bytes and the agent reads at most " +
                        std::to_string(kAgentBuffer) +
                        (is_text_type(whole.type) ? " (a text of at most 511 bytes and its NUL)" : "") +
                        ": it stops reading this key here, so this value and every value after it "
                        "are ignored";
                }
                ended_by = "value " + std::to_string(index) + " (" +
                           printable_quoted(whole.name.substr(0, std::min<size_t>(whole.name.size(), 48))) +
                           (whole.name.size() > 48 ? "..." : "") + ")";
                key.values.push_back(std::move(v));
                continue;
            }
            key.values.push_back(judge(index, agent, label));
        }
        registry_.close_key(handle);
        return key;
    }

  private:
    static PolicyValue base(uint32_t index, const Read& r) {
        PolicyValue v;
        v.index = index;
        v.name = r.name;
        v.type = r.type;
        v.size = r.size;
        v.data = r.data;
        return v;
    }

    static void problem(PolicyValue& v, PolicyVerdict verdict, std::string explanation) {
        v.verdict = verdict;
        v.takes_effect_as_written = false;
        v.explanation = std::move(explanation);
    }

    PolicyValue judge(uint32_t index, const Read& r, const char* label) {
        PolicyValue v = base(index, r);
        if (r.name.empty()) {
            problem(v, PolicyVerdict::kNotRead, "the key's unnamed (default) value is never read");
            return v;
        }
        std::string setting = lower(r.name);
        const uint32_t row_index = orvix::config::internal::find_registry_setting(setting);
        if (row_index == ENV_INDEX_NOT_FOUND) {
            judge_outside_catalogue(v, setting);
            return v;
        }
        v.setting = setting;
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(row_index);
        if (row.value_class != ENV_CLASS_NUMBER && row.value_class != ENV_CLASS_TEXT) {
            problem(v, PolicyVerdict::kNotConfigurable,
                    setting + " is not configurable; the agent ignores it");
            return v;
        }
        SettingValue read;
        std::string type_note;  // what the type made of the value, when it does not fit
        if (row.value_class == ENV_CLASS_NUMBER) {
            if (r.size == 0 || r.size > 4) {
                problem(v, PolicyVerdict::kSkipped,
                        registry_type_name(r.type) + " of " + std::to_string(r.size) +
                            " bytes is skipped: a number setting takes 1 to 4 bytes; " +
                            store_number_hint(r));
                return v;
            }
            read = SettingValue::of_number(little_endian_u32(r.data));
            if (r.type != orvix::os::kRegDword) {
                type_note = describe_registry_data(r.type, r.data) + " is read by its bytes as " +
                            std::to_string(read.number) +
                            " (a number setting takes the data's bytes, whatever the "
                            "type)";
            }
        } else {
            // The source strips the data-size bytes, keeps the text up to its first NUL,
            // and the manager strips again.
            const std::string text = strip_spaces(r.data.substr(0, std::min<size_t>(r.size, kAgentBuffer)));
            read = SettingValue::of_text(text);
            if (r.type == orvix::os::kRegMultiSz) {
                const std::string_view rest = std::string_view(r.data).substr(first_string(r.data).size());
                if (rest.find_first_not_of('\0') != std::string_view::npos) {
                    type_note = "REG_MULTI_SZ: only its first text is read";
                }
            } else if (r.type == orvix::os::kRegExpandSz) {
                if (first_string(r.data).find('%') != std::string_view::npos) {
                    type_note = "REG_EXPAND_SZ is not expanded: the text is read as it stands";
                }
            } else if (r.type != orvix::os::kRegSz) {
                type_note = describe_registry_data(r.type, r.data) + " is read by its bytes as the text " +
                            printable_quoted(read.text) + " (a text setting takes the data's bytes, whatever the type)";
            }
        }

        // The first key that supplies a setting wins the merge.
        const auto earlier = supplied_.find(setting);
        if (earlier != supplied_.end()) {
            problem(v, PolicyVerdict::kOverridden,
                    earlier->second + " sets " + setting +
                        " and is read first; this value has "
                        "no effect");
            return v;
        }
        if (row.configurable != ENV_CONFIGURABLE) {
            supplied_.emplace(setting, std::string(label));
            problem(v, PolicyVerdict::kNotConfigurable,
                    setting + " is not configurable: the agent refuses every value for it");
            return v;
        }

        std::string effect;
        if (row.value_class == ENV_CLASS_NUMBER) {
            uint32_t number = read.number;
            std::string changes;
            if (row.range_checked == ENV_RANGE_CHECKED && number < row.min_value) {
                number = row.min_value;
                changes = "below the legal range " + range_of(row) + ": clamped to " + std::to_string(number);
                v.verdict = PolicyVerdict::kClamped;
            } else if (row.range_checked == ENV_RANGE_CHECKED && number > row.max_value) {
                number = row.max_value;
                changes = "above the legal range " + range_of(row) + ": clamped to " + std::to_string(number);
                v.verdict = PolicyVerdict::kClamped;
            }
            const uint32_t mask = width_mask(row.value_type);
            if (number > mask) {
                changes += std::string(changes.empty() ? "" : "; ") + "wider than the setting's " +
                           width_name(row.value_type) + " bits: cut to " + std::to_string(number & mask);
                number &= mask;
                if (v.verdict == PolicyVerdict::kApplied) v.verdict = PolicyVerdict::kCut;
            }
            v.stored = true;
            v.stored_value = std::to_string(number);
            if (!type_note.empty()) {
                v.verdict = PolicyVerdict::kWrongType;
                effect = type_note + (changes.empty() ? "" : ", " + changes) + "; the agent stores " +
                         v.stored_value + "; " + store_number_hint(r);
            } else if (!changes.empty()) {
                effect =
                    std::to_string(read.number) + " is " + changes + "; the agent stores " + v.stored_value;
            }
        } else {
            const std::string stored = strip_spaces(read.text);
            v.stored = true;
            v.stored_value = printable_quoted(stored);
            const std::string_view written = first_string(r.data);
            if (!type_note.empty() && r.type != orvix::os::kRegExpandSz && r.type != orvix::os::kRegMultiSz) {
                v.verdict = PolicyVerdict::kWrongType;
                effect = type_note + "; store it as REG_SZ";
            } else if (!type_note.empty()) {
                v.verdict = PolicyVerdict::kWrongType;
                effect = type_note + "; the agent stores " + v.stored_value + "; store it as REG_SZ";
            } else if (stored != written) {
                v.verdict = PolicyVerdict::kTrimmed;
                effect = "white space at the ends is removed: the agent stores " + v.stored_value;
            }
        }
        supplied_.emplace(setting, std::string(label));
        if (v.verdict != PolicyVerdict::kApplied) {
            v.takes_effect_as_written = false;
            v.explanation = effect;
        } else {
            v.explanation = "stored as " + v.stored_value;
            if (row.value_class == ENV_CLASS_NUMBER && row.range_checked != ENV_RANGE_CHECKED &&
                (row.min_value != 0 || row.max_value != 0) &&
                (read.number < row.min_value || read.number > row.max_value)) {
                v.explanation += " (the catalogue's bounds " + range_of(row) + " are not enforced)";
            }
        }
        if ((row.modification & ENV_MOD_STARTUP_ONLY) != 0) {
            v.next_start = true;
            v.explanation += "; startup-only: applies at the next start of the agent";
        }
        return v;
    }

    static std::string store_number_hint(const Read& r) {
        uint64_t number = 0;
        if (is_text_type(r.type) && whole_number(first_string(r.data), &number)) {
            return "store it as REG_DWORD " + std::to_string(number);
        }
        if (r.type == orvix::os::kRegQword && r.size == 8) {
            uint64_t q = 0;
            for (int i = 7; i >= 0; --i) q = (q << 8) | static_cast<uint8_t>(r.data[static_cast<size_t>(i)]);
            if (q <= 0xFFFFFFFFu) return "store it as REG_DWORD " + std::to_string(q);
        }
        return "store it as REG_DWORD";
    }

    void judge_outside_catalogue(PolicyValue& v, const std::string& name) {
        const bool has_action = !orvix::config::internal::describe_config_parameter_action(name, 0).empty();
        if (!has_action) {
            const std::string near = nearest_setting_name(name);
            problem(v, PolicyVerdict::kUnknown,
                    "not a setting of the agent; ignored" +
                        (near.empty() ? std::string() : " (did you mean " + near + "?)"));
            return;
        }
        if (v.type == orvix::os::kRegDword) {
            if (v.size == 0 || v.size > 4) {
                problem(v, PolicyVerdict::kSkipped,
                        "REG_DWORD of " + std::to_string(v.size) +
                            " bytes is skipped: it must hold 1 to 4 bytes");
                return;
            }
            v.verdict = PolicyVerdict::kAction;
            v.explanation =
                "when the key is read: " +
                orvix::config::internal::describe_config_parameter_action(name, little_endian_u32(v.data));
            return;
        }
        if (v.type == orvix::os::kRegSz) {
            problem(v, PolicyVerdict::kWrongType,
                    "a REG_SZ value of this name always counts as 0: when the key is read it " +
                        orvix::config::internal::describe_config_parameter_action(name, 0) + "; " +
                        store_number_hint(Read{0, v.name, v.type, v.size, v.data}));
            return;
        }
        problem(v, PolicyVerdict::kSkipped,
                registry_type_name(v.type) +
                    " is ignored for this name: only REG_DWORD is read; store it as "
                    "REG_DWORD");
    }

    RegistryInterface& registry_;
    std::map<std::string, std::string> supplied_;  // setting -> label of the key that supplies it
};

size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

const char* verdict_word(PolicyVerdict verdict) {
    switch (verdict) {
        case PolicyVerdict::kApplied:
            return "applied";
        case PolicyVerdict::kAction:
            return "action";
        case PolicyVerdict::kClamped:
            return "clamped";
        case PolicyVerdict::kCut:
            return "cut";
        case PolicyVerdict::kTrimmed:
            return "trimmed";
        case PolicyVerdict::kWrongType:
            return "wrong type";
        case PolicyVerdict::kSkipped:
            return "skipped";
        case PolicyVerdict::kUnknown:
            return "unknown";
        case PolicyVerdict::kNotConfigurable:
            return "not configurable";
        case PolicyVerdict::kOverridden:
            return "overridden";
        case PolicyVerdict::kEndsReading:
            return "ends reading";
        case PolicyVerdict::kNotRead:
            return "not read";
        case PolicyVerdict::kChangedText:
            return "changed text";
    }
    return "?";
}

PolicyReport check_policy_keys(RegistryInterface& registry) {
    PolicyReport report;
    Lint lint(registry);
    report.keys.push_back(lint.read_key(1, cVORN_MGMT_CFG_MGR_REG::kAdminPoliciesKey, "admin policies"));
    report.keys.push_back(lint.read_key(2, cVORN_MGMT_CFG_MGR_REG::kOrvixPoliciesKey, "orvix policies"));
    report.keys.push_back(
        lint.read_key(3, cVORN_MGMT_CFG_MGR_REG::kAdminDefaultsKey, "over-rideable admin defaults"));
    for (const PolicyKey& key : report.keys) {
        for (const PolicyValue& v : key.values) {
            ++report.values;
            if (!v.takes_effect_as_written) ++report.problems;
        }
    }
    return report;
}

void note_changed_texts(PolicyReport& report, const StoredText& stored_text, uint32_t code_page) {
    for (PolicyKey& key : report.keys) {
        for (PolicyValue& v : key.values) {
            const bool text = v.type == orvix::os::kRegSz || v.type == orvix::os::kRegExpandSz ||
                              v.type == orvix::os::kRegMultiSz;
            if (!text || v.verdict == PolicyVerdict::kNotRead || v.verdict == PolicyVerdict::kEndsReading) continue;
            const std::optional<std::string> stored = stored_text(key, v);
            if (!stored) continue;
            const std::string agent = v.data.substr(0, v.data.find('\0'));
            if (agent == *stored) continue;
            if (v.takes_effect_as_written) ++report.problems;
            v.takes_effect_as_written = false;
            v.verdict = PolicyVerdict::kChangedText;
            v.explanation = "the agent reads texts in the ANSI code page (" + std::to_string(code_page) +
                            "), not as stored: stored " + printable_quoted(*stored) + ", the agent gets " + printable_quoted(agent) +
                            " (\"?\" for a character the code page lacks, other bytes that are no longer UTF-8); "
                            "use only characters of code page " + std::to_string(code_page) +
                            ", or plain ASCII to be safe everywhere";
        }
    }
}

std::optional<std::string> machine_stored_text(const PolicyKey& key, const PolicyValue& value) {
    std::u16string path;
    if (!orvix::os::system_utf8_to_u16(key.path.c_str(), &path)) return std::nullopt;
    orvix::os::RegKey handle = 0;
    if (orvix::os::registry_open_key(orvix::os::kHkeyLocalMachine, path, orvix::os::kKeyRead, &handle) != 0) {
        return std::nullopt;
    }
    std::u16string name(16384, u'\0');
    uint32_t name_chars = static_cast<uint32_t>(name.size());
    std::vector<uint8_t> data(1 << 16);
    uint32_t data_bytes = static_cast<uint32_t>(data.size());
    uint32_t type = 0;
    const int32_t status = orvix::os::registry_enum_value(handle, value.index, name.data(), &name_chars, &type,
                                                          data.data(), &data_bytes);
    orvix::os::registry_close_key(handle);
    if (status != 0 || (type != orvix::os::kRegSz && type != orvix::os::kRegExpandSz && type != orvix::os::kRegMultiSz)) {
        return std::nullopt;
    }
    std::u16string wide(reinterpret_cast<const char16_t*>(data.data()), data_bytes / 2);
    wide = wide.substr(0, wide.find(u'\0'));
    if (wide.empty()) return std::string();
    std::string utf8(wide.size() * 3 + 1, '\0');
    uint32_t error = 0;
    const int32_t written =
        orvix::os::system_wide_to_utf8(wide.c_str(), utf8.data(), static_cast<int32_t>(utf8.size()), &error);
    if (written <= 0) return std::nullopt;
    utf8.resize(static_cast<size_t>(written - 1));
    return utf8;
}

std::string registry_type_name(uint32_t type) {
    switch (type) {
        case orvix::os::kRegNone:
            return "REG_NONE";
        case orvix::os::kRegSz:
            return "REG_SZ";
        case orvix::os::kRegExpandSz:
            return "REG_EXPAND_SZ";
        case orvix::os::kRegBinary:
            return "REG_BINARY";
        case orvix::os::kRegDword:
            return "REG_DWORD";
        case orvix::os::kRegDwordBigEndian:
            return "REG_DWORD_BIG_ENDIAN";
        case orvix::os::kRegLink:
            return "REG_LINK";
        case orvix::os::kRegMultiSz:
            return "REG_MULTI_SZ";
        case orvix::os::kRegQword:
            return "REG_QWORD";
        default:
            return "type " + std::to_string(type);
    }
}

std::string describe_registry_data(uint32_t type, std::string_view data) {
    const std::string name = registry_type_name(type);
    if (type == orvix::os::kRegDword && data.size() == 4)
        return name + " " + std::to_string(little_endian_u32(data));
    if (type == orvix::os::kRegQword && data.size() == 8) {
        uint64_t q = 0;
        for (int i = 7; i >= 0; --i) q = (q << 8) | static_cast<uint8_t>(data[static_cast<size_t>(i)]);
        return name + " " + std::to_string(q);
    }
    if (is_text_type(type)) {
        std::string_view text = data;
        while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
        if (text.size() > 80)
            return name + " " + printable_quoted(text.substr(0, 80)) + "... (" + std::to_string(data.size()) +
                   " bytes)";
        return name + " " + printable_quoted(text);
    }
    std::string out = name;
    const size_t shown = std::min<size_t>(data.size(), 16);
    for (size_t i = 0; i < shown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(static_cast<uint8_t>(data[i])));
        out += hex;
    }
    if (data.empty()) out += " (empty)";
    if (data.size() > shown) out += " ... (" + std::to_string(data.size()) + " bytes)";
    return out;
}

std::string nearest_setting_name(std::string_view name) {
    const std::string wanted = lower(name);
    std::string best;
    size_t best_distance = std::max<size_t>(2, wanted.size() / 4) + 1;
    auto consider = [&](const char* candidate) {
        const size_t d = edit_distance(wanted, lower(candidate));
        if (d < best_distance) {
            best_distance = d;
            best = candidate;
        }
    };
    for (uint32_t i = 1; i <= get_num_entries(); ++i) consider(get_entry(i).name);
    for (const std::string& action : orvix::config::internal::config_parameter_action_names()) {
        consider(action.c_str());
    }
    return best;
}

}  // namespace orvix::admin
