// orvix-env check-config FILE: reads an agent configuration file and says, line by line,
// what the file-backed configuration manager would make of it, so an administrator can
// see why a setting does not take effect before deploying the file. Every byte taken from
// the file is shown escaped when it is not printable, so a file cannot drive the terminal.
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "admin/policy_lint.h"
#include "commands.h"
#include "config/registry_export_file.h"
#include "config/settings_catalogue.h"
#include "config/settings_from_file.h"
#include "console.h"
#include "input_file.h"
#include "json_output.h"

namespace orvix_env {
namespace {

using orvix::admin::printable;
using orvix::config::internal::ConfigItem;
using orvix::config::internal::ConfigItemConversion;

// The name as shown in messages: escaped, and cut when very long.
std::string shown(const std::string& text) {
    std::string out = printable(text);
    if (out.size() > 120) out = out.substr(0, 120) + "...";
    return out;
}

// Why the value of a line ends where it does when "#" cuts it: empty when the "#" reads
// as a comment after the value (blank before it, outside quotation marks).
std::string cut_by_hash(std::string_view line) {
    const size_t hash = line.find('#');
    const size_t equals = line.find('=');
    if (hash == std::string_view::npos || equals == std::string_view::npos || hash < equals) return {};
    const std::string_view before = line.substr(equals + 1, hash - equals - 1);
    size_t quotes = 0;
    for (char c : before) quotes += (c == '"' || c == '\'') ? 1 : 0;
    const bool blank_before = hash > 0 && (line[hash - 1] == ' ' || line[hash - 1] == '\t');
    const bool empty_before = before.find_first_not_of(" \t\"'") == std::string_view::npos;
    if (quotes % 2 == 1)
        return "the value is cut at \"#\" inside quotation marks (\"#\" starts a comment anywhere)";
    if (empty_before) return "the value is empty: everything from \"#\" on is a comment";
    if (!blank_before)
        return "the value is cut at \"#\" (\"#\" starts a comment anywhere, also inside a value)";
    return {};
}

// A value that starts with a number too large for 32 bits: its digits, else empty.
std::string out_of_range_number(const std::string& value) {
    size_t start = 0;
    while (start < value.size() && std::isspace(static_cast<unsigned char>(value[start]))) ++start;
    if (start < value.size() && value[start] == '+') ++start;
    size_t end = start;
    while (end < value.size() && std::isdigit(static_cast<unsigned char>(value[end]))) ++end;
    if (end == start) return {};
    std::string digits = value.substr(start, end - start);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (digits.size() < 10 || (digits.size() == 10 && digits <= "4294967295")) return {};
    return digits;
}

// A value whose leading decimal number is followed by more than blanks ("0x10", "1e3",
// "2 3", "1;"): the agent's read stops at the first character that cannot continue it.
bool has_text_after_number(const std::string& value) {
    size_t i = 0;
    if (i < value.size() && value[i] == '+') ++i;
    const size_t digits = i;
    while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i]))) ++i;
    return i > digits && value.find_first_not_of(" \t\r", i) != std::string::npos;
}

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

struct Finding {
    int line = 0;
    bool ok = false;
    std::string name;  // the item's name and value, when the line has one
    std::string value;
    std::string message;
};

class Checker {
public:
    void line(int number, const std::string& text) {
        const std::optional<ConfigItem> item = orvix::config::internal::parse_config_line(text);
        current_ = item ? *item : ConfigItem{};
        if (!item) {
            // Blank lines and comments are fine; anything else is skipped by the agent unseen.
            const std::string rest = orvix::config::internal::strip_spaces(text.substr(0, text.find('#')));
            if (!rest.empty()) {
                problem(number, rest[0] == '=' ? "ignored: the line has no name before \"=\""
                                               : "ignored: the line has no \"=\" (" + quoted(rest) + ")");
            }
            return;
        }
        const auto seen = first_line_.find(item->name);
        if (seen != first_line_.end()) {
            problem(number, "duplicate: " + shown(item->name) + " is set on line " +
                                std::to_string(seen->second) + "; that line wins and this one is ignored");
            return;
        }
        first_line_.emplace(item->name, number);
        cut_ = cut_by_hash(text);
        check(number, *item);
    }

    // A problem of the whole file, before its lines.
    void file_problem(int number, const std::string& message) {
        current_ = ConfigItem{};
        problem(number, message);
    }

    // The last line's finding is not what the file says after all (its line end is
    // wrong): it is shown as a problem, already counted by the file problem before it.
    void withdraw_last_ok() {
        if (!findings_.empty()) findings_.back().ok = false;
    }

    int problems() const { return problems_; }
    const std::vector<Finding>& findings() const { return findings_; }

  private:
    void check(int number, const ConfigItem& item) {
        const ConfigItemConversion c = orvix::config::internal::convert_config_item(item);
        if (c.kind == ConfigItemConversion::Kind::kNotInCatalogue) {
            const std::string action = orvix::config::internal::describe_config_parameter_action(item.name, c.number);
            if (!action.empty() && !cut_.empty()) {
                problem(number, item.name + ": " + cut_ + ", so it " + action);
            } else if (!action.empty()) {
                ok(number, item.name + " " + action);
            } else if (const char* other = same_name_ignoring_case(item.name)) {
                problem(number, "unknown name " + shown(item.name) +
                                    " (names are case-sensitive: did you mean " + other + "?); ignored");
            } else if (item.name.rfind("\xEF\xBB\xBF", 0) == 0) {
                problem(
                    number,
                    "unknown name " + shown(item.name) +
                        ": the file starts with a UTF-8 byte-order mark, which the agent reads as part of "
                        "the first name; save the file without it");
            } else {
                const std::string near = orvix::admin::nearest_setting_name(item.name);
                problem(number, "unknown name " + shown(item.name) + "; ignored" +
                                    (near.empty() ? std::string() : " (did you mean " + near + "?)"));
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
            // The manager stores the text without its surrounding white space.
            const std::string stored = quoted(orvix::config::internal::strip_spaces(c.value.text));
            if (item.value.size() > 511) {
                problem(number, item.name + ": the text is longer than 511 bytes and will be cut");
            } else if (!cut_.empty()) {
                problem(number, item.name + ": " + cut_ + "; the agent stores " + stored);
            } else {
                ok(number, item.name + " = " + stored);
            }
            return;
        }
        if (!c.number_read) {
            const std::string digits = out_of_range_number(item.value);
            if (!digits.empty()) {
                problem(number, item.name + ": " + digits +
                                    " is out of the 32-bit range 0..4294967295, so the agent reads 0" +
                                    clamp_note(row, 0));
            } else {
                problem(number, item.name + ": " + quoted(item.value) + " is not a number, so 0 is used" +
                                    clamp_note(row, 0));
            }
            return;
        }
        const std::string note = clamp_note(row, c.number);
        const std::string value = orvix::config::internal::strip_spaces(item.value);
        if (has_text_after_number(value)) {
            problem(number, item.name + ": " + quoted(value) + " has text after its number, which the agent "
                                "ignores: it reads " + std::to_string(c.number) + note +
                                " (only decimal digits are read: no hexadecimal, exponent or list)");
        } else if (!value.empty() && value[0] == '-') {
            problem(number, item.name + ": " + quoted(value) +
                                " is negative, which wraps around: the agent reads " +
                                std::to_string(c.number) + note);
        } else if (!cut_.empty()) {
            problem(number, item.name + ": " + cut_ + "; the agent reads " + std::to_string(c.number) + note);
        } else if (!note.empty()) {
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

    static std::string quoted(const std::string& text) { return "\"" + shown(text) + "\""; }

    void ok(int number, const std::string& message) {
        findings_.push_back({number, true, current_.name, current_.value, message});
    }
    void problem(int number, const std::string& message) {
        ++problems_;
        findings_.push_back({number, false, current_.name, current_.value, message});
    }

    std::map<std::string, int> first_line_;
    ConfigItem current_;  // the item of the line being checked
    std::string cut_;     // how "#" cut the line's value, when it did
    std::vector<Finding> findings_;
    int problems_ = 0;
};

int run_check_config(const std::string& file) {
    std::string bytes, error;
    if (!read_input_file(file, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return 2;
    }
    Checker checker;
    std::string encoding = "UTF-8";
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        // Every other byte of such a file is NUL: no line would match a setting.
        encoding = byte(0) == 0xFF ? "UTF-16LE" : "UTF-16BE";
        checker.file_problem(
            1, "the file is " + encoding +
                   " (it starts with that byte-order mark); the agent cannot read it at all: save "
                   "it as UTF-8 without a byte-order mark");
    } else {
        if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
            encoding = "UTF-8 with byte-order mark";
        int number = 0;
        for (size_t start = 0; start < bytes.size();) {
            size_t end = bytes.find('\n', start);
            if (end == std::string::npos) end = bytes.size();
            const std::string line = bytes.substr(start, end - start);
            ++number;
            const size_t cr = line.find('\r');
            if (cr != std::string::npos && cr + 1 < line.size()) {
                // Lines end only at a line feed: what follows a lone carriage return stays
                // part of this line, so a setting written there is lost.
                checker.file_problem(number, "the line holds a carriage return (CR) that does not end it: the "
                                             "agent ends lines only at line feeds (LF), so everything after "
                                             "the CR is part of this line; save the file with LF or CRLF "
                                             "line ends");
            }
            checker.line(number, line);
            if (cr != std::string::npos && cr + 1 < line.size()) checker.withdraw_last_ok();
            start = end + 1;
        }
    }
    const std::string path = printable(file, false);
    if (json_output()) {
        Json lines = Json::array();
        for (const Finding& f : checker.findings()) {
            Json line = {{"line", f.line}, {"ok", f.ok}};
            if (!f.name.empty()) {
                line["name"] = f.name;
                line["value"] = f.value;
            }
            line["message"] = f.message;
            lines.push_back(std::move(line));
        }
        print_json({{"file", file},
                    {"encoding", encoding},
                    {"lines", std::move(lines)},
                    {"problems", checker.problems()}});
        return checker.problems() == 0 ? 0 : 1;
    }
    for (const Finding& f : checker.findings()) {
        // Every line fits 100 columns; a long message continues under its start.
        const std::string number = std::to_string(f.line) + ": ";
        const std::string text = wrap_text(number + (f.ok ? "ok: " : "") + f.message, 100, number.size());
        std::printf("%s\n", text.c_str());
    }
    if (checker.problems() == 0) {
        std::printf("%s: no problems found\n", path.c_str());
        return 0;
    }
    std::printf("%s: %d problem%s found\n", path.c_str(), checker.problems(),
                checker.problems() == 1 ? "" : "s");
    return 1;
}

std::function<int()> declare_check_config(CLI::App& command) {
    auto file = std::make_shared<std::string>();
    command.add_option("FILE", *file, "the agent configuration file (orvix-agent.conf)")->required();
    return [file] { return run_check_config(*file); };
}

}  // namespace

ORVIX_ENV_COMMAND(check_config, "check-config",
                  "say line by line what the agent would make of a configuration file; exit 1 on problems",
                  declare_check_config);

}  // namespace orvix_env
