// orvix-env show: starts the event log on the console and the environment store (its
// defaults, then the configured values), names the sources it read, and prints every
// setting as a table: index, name, current value, range, flags and the source that set
// it, with "*" before each setting whose value differs from its default, then a legend of
// the marks. The table fits 100 columns; --wide adds the default and shows texts, flags
// and sources whole. --source file shows what the file-backed variant would apply from
// the agent configuration file instead of the policy keys. --pol FILE (or --gpo DIR) shows
// what the store would hold on a machine with a GPO's Registry.pol applied (on top of the
// --registry keys when given).
//
// The table is a list of columns, each a header and a function of one setting, so that a
// column is added in one place.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "config/environment_store.h"
#include "config/environment_store_internal.h"
#include "config/settings_from_file.h"
#include "input_file.h"
#include "json_output.h"
#include "policy_keys.h"
#include "policy_source.h"
#include "store_console.h"
#include "text_output.h"

namespace orvix_env {

namespace {

using Setting = SettingView;

std::vector<SourceView> g_sources;
bool g_wide = false;
const AppliedPolicyFile* g_pol = nullptr;
// Settings the configuration file names that its source does not record (their value class
// is not one it reads, which are the settings that are not configurable): refused too.
std::set<std::string> g_unrecorded_in_file;

std::string quoted(const Setting& s, const std::string& text) {
    return s.row.value_type == ENV_VALUE_STRING ? printable_quoted(text) : printable(text, false);
}

// Cuts a cell to width in the narrow table, marking the cut.
std::string fit(std::string text, size_t width) {
    if (g_wide || text.size() <= width) return text;
    return text.substr(0, width - 2) + "..";
}

std::string range_text(const sVORN_ENV_LOOKUP_ENTRY& row) {
    char text[48];
    if (row.configurable == ENV_NOT_CONFIGURABLE) return "fixed";
    if (row.range_checked == ENV_RANGE_CHECKED) {
        std::snprintf(text, sizeof text, "%" PRIu32 "..%" PRIu32, row.min_value, row.max_value);
        return text;
    }
    if (row.min_value != 0 || row.max_value != 0) {
        // Bounds that are stored but not enforced.
        std::snprintf(text, sizeof text, "(%" PRIu32 "..%" PRIu32 ")", row.min_value, row.max_value);
        return text;
    }
    return "-";
}

bool startup_only(const sVORN_ENV_LOOKUP_ENTRY& row) {
    return (row.modification & ENV_MOD_STARTUP_ONLY) != 0;
}
bool notifies(const sVORN_ENV_LOOKUP_ENTRY& row) {
    return row.modification != ENV_MOD_ALL_ONES && (row.modification & ENV_MOD_NOTIFY) != 0;
}

std::string flags_text(const sVORN_ENV_LOOKUP_ENTRY& row) {
    std::string letters = std::string(startup_only(row) ? "S" : "") + (notifies(row) ? "N" : "");
    if (letters.empty()) letters = "-";
    if (!g_wide) return letters;
    const std::string mod = row.modification == ENV_MOD_ALL_ONES ? "all" : std::to_string(row.modification);
    const std::string cat = row.category == 0xFFFFFFFFu ? "all" : std::to_string(row.category);
    return letters + " mod=" + mod + " cat=" + cat;
}

std::string setting_value_text(const orvix::config::internal::SettingValue& v) {
    return v.type == orvix::config::internal::kSettingText ? printable_quoted(v.text)
                                                            : std::to_string(v.number);
}

// Which source set a setting: the first that supplies it, with the number of lower
// ones it overrides; "!" when the store refuses it (not configurable).
std::string source_text(const Setting& s) {
    std::vector<const SourceView*> supplying;
    for (const SourceView& source : g_sources) {
        if (source.values.count(s.row.name) != 0) supplying.push_back(&source);
    }
    if (supplying.empty()) {
        if (g_unrecorded_in_file.count(s.row.name) == 0) return "-";
        return g_wide ? "configuration file [refused: not configurable]" : "file!";
    }
    const bool refused = s.row.configurable != ENV_CONFIGURABLE;
    if (!g_wide) {
        std::string label = supplying.front()->label;
        label = label.substr(0, label.find(' '));
        if (label == "over-rideable") label = "default";
        if (label == "configuration") label = "file";
        if (supplying.size() > 1) label += "+" + std::to_string(supplying.size() - 1);
        return refused ? label + "!" : label;
    }
    std::string text;
    for (size_t i = 0; i < supplying.size(); ++i) {
        const std::string item =
            supplying[i]->label + " = " + setting_value_text(supplying[i]->values.at(s.row.name));
        text += i == 0 ? item : (i == 1 ? " (overrides " : ", ") + item;
    }
    if (supplying.size() > 1) text += ")";
    if (refused) text += " [refused: not configurable]";
    return text;
}

struct Column {
    const char* header;
    bool right_aligned;
    bool wide_only;
    std::string (*cell)(const Setting&);
};

const Column kColumns[] = {
    {"#", true, false, [](const Setting& s) { return std::to_string(s.index); }},
    {"name", false, false, [](const Setting& s) { return std::string(s.row.name); }},
    {"type", false, true, [](const Setting& s) { return std::string(type_name(s.row.value_type)); }},
    {"value", false, false,
     [](const Setting& s) { return fit(s.has_value ? quoted(s, s.value) : std::string("(no value)"), 10); }},
    {"default", false, true, [](const Setting& s) { return quoted(s, s.initial); }},
    {"range", false, false, [](const Setting& s) { return fit(range_text(s.row), 15); }},
    {"flags", false, false, [](const Setting& s) { return flags_text(s.row); }},
    {"source", false, false, source_text},
};

bool differs(const Setting& s) { return !s.has_value || s.value != s.initial; }

void print_table(const std::vector<Setting>& settings) {
    std::vector<const Column*> columns;
    for (const Column& column : kColumns) {
        if (g_wide || !column.wide_only) columns.push_back(&column);
    }
    const size_t n = columns.size();
    std::vector<std::vector<std::string>> cells;
    std::vector<size_t> widths(n);
    for (size_t c = 0; c < n; ++c) widths[c] = std::strlen(columns[c]->header);
    for (const Setting& s : settings) {
        std::vector<std::string> line;
        for (size_t c = 0; c < n; ++c) {
            line.push_back(columns[c]->cell(s));
            // In the wide table a long text overflows its line instead of widening all.
            const bool text = std::strcmp(columns[c]->header, "value") == 0 ||
                              std::strcmp(columns[c]->header, "default") == 0;
            const size_t limit = g_wide && text ? 24 : line.back().size();
            widths[c] = std::max(widths[c], std::min(line.back().size(), std::max(limit, widths[c])));
        }
        cells.push_back(std::move(line));
    }
    auto print_line = [&](const char* mark, const std::vector<std::string>& line) {
        std::string out = mark;
        for (size_t c = 0; c < n; ++c) {
            const std::string& cell = line[c];
            const std::string pad(widths[c] > cell.size() ? widths[c] - cell.size() : 0, ' ');
            if (c > 0) out += "  ";
            if (c + 1 == n) {
                out += cell;  // no trailing blanks
            } else {
                out += columns[c]->right_aligned ? pad + cell : cell + pad;
            }
        }
        std::printf("%s\n", out.c_str());
    };
    std::vector<std::string> headers;
    for (const Column* column : columns) headers.push_back(column->header);
    print_line("  ", headers);
    for (size_t i = 0; i < settings.size(); ++i) print_line(differs(settings[i]) ? "* " : "  ", cells[i]);
}

void print_sources(bool file_variant) {
    if (g_pol != nullptr) {
        std::printf("policy keys as %s gives them (%d entr%s, %d for other keys ignored%s)\n",
                    printable(g_pol->path, false).c_str(), g_pol->applied.entries,
                    g_pol->applied.entries == 1 ? "y" : "ies", g_pol->applied.other_entries,
                    global_options().registry_file.empty() ? "" : "; on top of the --registry keys");
    }
    if (g_sources.empty()) {
        std::printf("sources read: none%s\n",
                    file_variant
                        ? " (no path for the configuration file: the program-data folder could not be "
                          "determined)"
                        : "");
        return;
    }
    std::printf("sources read, highest priority first:\n");
    for (size_t i = 0; i < g_sources.size(); ++i) {
        const size_t count = g_sources[i].values.size();
        std::string state = std::to_string(count) + (count == 1 ? " setting" : " settings");
        if (g_sources[i].label == "configuration file") {
            std::string problem;
            if (!check_input_file(g_sources[i].location, &problem)) state = "not read: " + problem;
        }
        std::printf("  %zu. %s (%s)\n     %s\n", i + 1, g_sources[i].label.c_str(), state.c_str(),
                    printable(g_sources[i].location, false).c_str());
    }
}

void print_legend() {
    std::printf(
        "\nmarks:\n"
        "  *          the value differs from the setting's default\n"
        "  range      a..b: numbers outside are clamped to it; (a..b): bounds the catalogue carries but\n"
        "             does not enforce, so any number is stored; fixed: not configurable; -: no range\n"
        "  flags      S: startup-only, a change applies at the next start; N: a change notifies the\n"
        "             components that listen\n"
        "  source     the source that set the value; +N: N lower-priority sources also set it and are\n"
        "             overridden; !: refused, the setting is not configurable\n");
    if (g_wide) {
        std::printf(
            "  mod, cat   the catalogue's modification bits (1 startup-only, 8 notify; 2 and 4 are carried\n"
            "             but change nothing here) and its category code (not interpreted by the layer)\n");
    } else {
        std::printf(
            "  .. ends a cut value or range; --wide shows the type, the default and everything whole\n");
    }
}

Json range_json(const sVORN_ENV_LOOKUP_ENTRY& row) {
    if (row.configurable == ENV_NOT_CONFIGURABLE) return "fixed";
    if (row.min_value == 0 && row.max_value == 0 && row.range_checked != ENV_RANGE_CHECKED) return nullptr;
    return {
        {"min", row.min_value}, {"max", row.max_value}, {"enforced", row.range_checked == ENV_RANGE_CHECKED}};
}

void print_json_document(const std::vector<Setting>& settings) {
    Json sources = Json::array();
    for (const SourceView& source : g_sources) {
        Json values = Json::object();
        for (const auto& [name, value] : source.values) {
            values[name] =
                value.type == orvix::config::internal::kSettingText ? Json(value.text) : Json(value.number);
        }
        sources.push_back(
            {{"label", source.label}, {"location", source.location}, {"values", std::move(values)}});
    }
    Json rows = Json::array();
    for (const Setting& s : settings) {
        Json supplied_by = Json::array();
        for (const SourceView& source : g_sources) {
            if (source.values.count(s.row.name) != 0) supplied_by.push_back(source.label);
        }
        rows.push_back({{"index", s.index},
                        {"name", s.row.name},
                        {"type", type_name(s.row.value_type)},
                        {"value", s.has_value ? value_json(s.row.value_type, s.value) : Json()},
                        {"default", value_json(s.row.value_type, s.initial)},
                        {"differs", differs(s)},
                        {"range", range_json(s.row)},
                        {"configurable", s.row.configurable == ENV_CONFIGURABLE},
                        {"startup_only", startup_only(s.row)},
                        {"notify", notifies(s.row)},
                        {"modification", static_cast<uint32_t>(s.row.modification)},
                        {"category", s.row.category},
                        {"sources", std::move(supplied_by)}});
    }
    Json document;
    if (g_pol != nullptr) {
        document["registry_pol"] = {{"path", g_pol->path},
                                    {"entries", g_pol->applied.entries},
                                    {"other_entries", g_pol->applied.other_entries},
                                    {"on_registry_file", !global_options().registry_file.empty()}};
    }
    document["sources"] = std::move(sources);
    document["settings"] = std::move(rows);
    print_json(document);
}

// The names the configuration file gives that its source leaves out of its values.
void find_unrecorded_file_settings() {
    for (const SourceView& source : g_sources) {
        if (source.label != "configuration file") continue;
        std::string bytes, problem;
        if (!read_input_file(source.location, &bytes, &problem)) continue;
        std::string_view rest = bytes;
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            const auto item = orvix::config::internal::parse_config_line(line);
            if (item && orvix::config::internal::convert_config_item(*item).kind ==
                            orvix::config::internal::ConfigItemConversion::Kind::kUnsupportedClass) {
                g_unrecorded_in_file.insert(item->name);
            }
        }
    }
}

}  // namespace

int run_show(bool wide, bool file_variant, const PolicyFileOption& pol) {
    g_wide = wide;
    if (pol.given() && file_variant) {
        std::fprintf(stderr, "orvix-env show: --pol and --gpo give the policy keys; --source file reads the agent "
                             "configuration file instead: give one of them\n");
        return 2;
    }
    static AppliedPolicyFile applied;
    if (pol.given()) {
        std::string error;
        if (!apply_policy_file(pol, &applied)) return 2;
        if (!install_policy_keys(applied.registry, &error)) {
            std::fprintf(stderr, "orvix-env show: %s\n", error.c_str());
            return 2;
        }
        g_pol = &applied;
    }
    if (start_console_log() != VORN_STATUS_SUCCESS || start_store(file_variant) != VORN_STATUS_SUCCESS)
        return 1;
    g_sources = read_sources();
    find_unrecorded_file_settings();
    const std::vector<Setting> settings = read_settings();
    if (json_output()) {
        print_json_document(settings);
    } else {
        const size_t changed = std::count_if(settings.begin(), settings.end(), differs);
        print_sources(file_variant);
        std::printf("%zu settings, %zu differ from their defaults (marked *)\n", settings.size(), changed);
        print_table(settings);
        print_legend();
    }
    summarise_console_problems();
    return 0;
}

std::function<int()> declare_show(CLI::App& command) {
    auto wide = std::make_shared<bool>(false);
    auto file = std::make_shared<bool>(false);
    command.add_flag("--wide", *wide, "add the type and the default, and show every cell whole");
    add_source_option(command, file);
    auto pol = std::make_shared<PolicyFileOption>();
    add_policy_file_options(command, pol);
    return [wide, file, pol] { return run_show(*wide, *file, *pol); };
}

ORVIX_ENV_COMMAND(
    show, "show",
    "start the environment store and print every setting: value, range, flags and the source that "
    "set it (--source file: what the agent configuration file would give; --pol, --gpo: what a GPO's "
    "Registry.pol would give)",
    declare_show);

}  // namespace orvix_env
