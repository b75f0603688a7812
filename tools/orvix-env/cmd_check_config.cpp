// orvix-env check-config FILE: reads an agent configuration file and says, line by line,
// what the file-backed configuration manager would make of it, so an administrator can
// see why a setting does not take effect before deploying the file.
#include <cctype>
#include <cstdio>
#include <map>
#include <string>

#include "commands.h"
#include "config/registry_export_file.h"
#include "config/settings_catalogue.h"
#include "config/settings_from_file.h"

namespace orvix_env {
namespace {

using orvix::config::internal::ConfigItem;
using orvix::config::internal::ConfigItemConversion;

// A catalogue name that differs from name only in letter case, for a hint.
const char* same_name_ignoring_case(const std::string& name) {
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const char* candidate = get_entry(i).name;
        size_t k = 0;
        while (candidate[k] != '\0' && k < name.size() &&
               std::tolower(static_cast<unsigned char>(candidate[k])) ==
                   std::tolower(static_cast<unsigned char>(name[k]))) {
            ++k;
        }
        if (candidate[k] == '\0' && k == name.size()) return candidate;
    }
    return nullptr;
}

uint32_t width_limit(uint32_t value_type) {
    switch (value_type) {
        case ENV_VALUE_UINT8: return 0xFFu;
        case ENV_VALUE_UINT16: return 0xFFFFu;
        default: return 0xFFFFFFFFu;
    }
}

class Checker {
public:
    void line(int number, const std::string& text) {
        const std::optional<ConfigItem> item = orvix::config::internal::parse_config_line(text);
        if (!item) {
            // Blank lines and comments are fine; anything else is skipped by the agent unseen.
            const std::string rest = orvix::config::internal::strip_spaces(text.substr(0, text.find('#')));
            if (!rest.empty()) {
                problem(number, rest[0] == '=' ? "ignored: the line has no name before \"=\""
                                               : "ignored: the line has no \"=\"");
            }
            return;
        }
        const auto seen = first_line_.find(item->name);
        if (seen != first_line_.end()) {
            problem(number, "duplicate: " + item->name + " is set on line " + std::to_string(seen->second) +
                                "; that line wins and this one is ignored");
            return;
        }
        first_line_.emplace(item->name, number);
        check(number, *item);
    }

    int problems() const { return problems_; }

private:
    void check(int number, const ConfigItem& item) {
        const ConfigItemConversion c = orvix::config::internal::convert_config_item(item);
        if (c.kind == ConfigItemConversion::Kind::kNotInCatalogue) {
            const std::string action = orvix::config::internal::describe_config_parameter_action(item.name, c.number);
            if (!action.empty()) {
                ok(number, item.name + " " + action);
            } else if (const char* other = same_name_ignoring_case(item.name)) {
                problem(number, "unknown name " + item.name + " (names are case-sensitive: did you mean " + other +
                                    "?); ignored");
            } else {
                problem(number, "unknown name " + item.name + "; ignored");
            }
            return;
        }
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(get_entry_index(item.name.c_str()));
        if (row.configurable != ENV_CONFIGURABLE) {
            problem(number, item.name + " is not configurable; the agent refuses the value");
            return;
        }
        if (c.kind == ConfigItemConversion::Kind::kUnsupportedClass) {
            problem(number, item.name + " cannot be set from a file; ignored");
            return;
        }
        if (c.kind == ConfigItemConversion::Kind::kText) {
            if (item.value.size() > 511) {
                problem(number, item.name + ": the text is longer than 511 bytes and will be cut");
            } else {
                // The manager stores the text without its surrounding white space.
                ok(number, item.name + " = \"" + orvix::config::internal::strip_spaces(c.value.text) + "\"");
            }
            return;
        }
        if (!c.number_read) {
            problem(number, item.name + ": '" + item.value + "' is not a number, so 0 is used" + clamp_note(row, 0));
            return;
        }
        const std::string note = clamp_note(row, c.number);
        if (!note.empty()) {
            problem(number, item.name + " = " + std::to_string(c.number) + note);
        } else {
            ok(number, item.name + " = " + std::to_string(c.number));
        }
    }

    // What clamping or the row's width makes of a number; empty when it is stored as it is.
    static std::string clamp_note(const sVORN_ENV_LOOKUP_ENTRY& row, uint32_t number) {
        uint32_t stored = number;
        std::string note;
        if (row.range_checked == ENV_RANGE_CHECKED && number < row.min_value) {
            stored = row.min_value;
            note = ", below the legal range " + range(row) + ": clamped to " + std::to_string(stored);
        } else if (row.range_checked == ENV_RANGE_CHECKED && number > row.max_value) {
            stored = row.max_value;
            note = ", above the legal range " + range(row) + ": clamped to " + std::to_string(stored);
        }
        const uint32_t limit = width_limit(row.value_type);
        if (stored > limit) {
            note += (note.empty() ? ", " : "; ") + std::string("too wide for the setting: stored as ") +
                    std::to_string(stored & limit);
        }
        return note;
    }

    static std::string range(const sVORN_ENV_LOOKUP_ENTRY& row) {
        return std::to_string(row.min_value) + ".." + std::to_string(row.max_value);
    }

    void ok(int number, const std::string& message) { std::printf("%d: ok: %s\n", number, message.c_str()); }
    void problem(int number, const std::string& message) {
        ++problems_;
        std::printf("%d: %s\n", number, message.c_str());
    }

    std::map<std::string, int> first_line_;
    int problems_ = 0;
};

int run_check_config(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: orvix-env check-config FILE\n");
        return 2;
    }
    std::string bytes, error;
    if (!orvix::config::read_file_bytes(argv[0], &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return 2;
    }
    Checker checker;
    int number = 0;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        checker.line(++number, bytes.substr(start, end - start));
        start = end + 1;
    }
    if (checker.problems() == 0) {
        std::printf("%s: no problems found\n", argv[0]);
        return 0;
    }
    std::printf("%s: %d problem%s found\n", argv[0], checker.problems(), checker.problems() == 1 ? "" : "s");
    return 1;
}

}  // namespace

ORVIX_ENV_COMMAND(check_config, "check-config", "FILE",
                  "say line by line what the agent would make of a configuration file; exit 1 on problems",
                  run_check_config);

}  // namespace orvix_env
