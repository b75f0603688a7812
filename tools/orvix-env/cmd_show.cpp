// orvix-env show: starts the event log on the console and the environment store (its
// defaults, then the configured values), and prints every setting as a table: index, name,
// type, current value, default, range and flags, with "*" before each setting whose value
// differs from its default, and, for each setting a registry source supplies, which source
// it is and which lower-priority sources it overrides. Texts are shown in double quotes,
// whole.
//
// The table is a list of columns, each a header and a function of one setting, so that a
// column (such as where a value came from) is added in one place.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/environment_store_internal.h"
#include "store_console.h"

namespace orvix_env {

namespace {

using Setting = SettingView;

std::string quoted(const Setting& s, const std::string& text) {
    return s.row.value_type == ENV_VALUE_STRING ? "\"" + text + "\"" : text;
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

std::string flags_text(const sVORN_ENV_LOOKUP_ENTRY& row) {
    if (row.modification == ENV_MOD_ALL_ONES) return "mod=all cat=all";
    std::string text = "mod=" + std::to_string(row.modification);
    std::vector<std::string> words;
    if (row.modification & ENV_MOD_STARTUP_ONLY) words.push_back("startup-only");
    if (row.modification & ENV_MOD_NOTIFY) words.push_back("notify");
    for (size_t i = 0; i < words.size(); ++i) text += (i == 0 ? " (" : ", ") + words[i];
    if (!words.empty()) text += ")";
    text += " cat=" + std::to_string(row.category);
    return text;
}

// Where a setting's configured value comes from: the registry sources of the manager in
// priority order, each with the values it holds now. An administrator reads here which
// policy won when a setting is set in more than one place.
struct SourceValues {
    std::string label;
    cVORN_MGMT_CFG_MGR::SettingsMap values;
};
std::vector<SourceValues> g_sources;

std::string setting_value_text(const orvix::config::internal::SettingValue& v) {
    return v.type == orvix::config::internal::kSettingText ? "\"" + std::string(v.text) + "\""
                                                            : std::to_string(v.number);
}

std::string source_text(const Setting& s) {
    std::string text;
    for (const SourceValues& source : g_sources) {
        const auto found = source.values.find(s.row.name);
        if (found == source.values.end()) continue;
        const std::string item = source.label + " = " + setting_value_text(found->second);
        text += text.empty() ? item : (text.find(" (overrides ") == std::string::npos ? " (overrides " : ", ") + item;
    }
    if (text.empty()) return "-";
    if (text.find(" (overrides ") != std::string::npos) text += ")";
    if (s.row.configurable != ENV_CONFIGURABLE) text += " [refused: not configurable]";
    return text;
}

struct Column {
    const char* header;
    bool right_aligned;
    size_t max_width;  // longer cells overflow instead of widening every line
    std::string (*cell)(const Setting&);
};

const Column kColumns[] = {
    {"#", true, 3, [](const Setting& s) { return std::to_string(s.index); }},
    {"name", false, 44, [](const Setting& s) { return std::string(s.row.name); }},
    {"type", false, 6, [](const Setting& s) { return std::string(type_name(s.row.value_type)); }},
    {"value", false, 24,
     [](const Setting& s) { return s.has_value ? quoted(s, s.value) : std::string("(no value)"); }},
    {"default", false, 24, [](const Setting& s) { return quoted(s, s.initial); }},
    {"range", false, 16, [](const Setting& s) { return range_text(s.row); }},
    {"flags", false, 26, [](const Setting& s) { return flags_text(s.row); }},
    {"source", false, 0, source_text},
};

void print_table(const std::vector<Setting>& settings) {
    const size_t n = sizeof kColumns / sizeof kColumns[0];
    std::vector<std::vector<std::string>> cells;
    std::vector<size_t> widths(n);
    for (size_t c = 0; c < n; ++c) widths[c] = std::strlen(kColumns[c].header);
    for (const Setting& s : settings) {
        std::vector<std::string> line;
        for (size_t c = 0; c < n; ++c) {
            line.push_back(kColumns[c].cell(s));
            const size_t limit = kColumns[c].max_width == 0 ? line.back().size() : kColumns[c].max_width;
            widths[c] = std::max(widths[c], std::min(line.back().size(), limit));
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
                out += kColumns[c].right_aligned ? pad + cell : cell + pad;
            }
        }
        std::printf("%s\n", out.c_str());
    };
    std::vector<std::string> headers;
    for (const Column& column : kColumns) headers.push_back(column.header);
    print_line("  ", headers);
    for (size_t i = 0; i < settings.size(); ++i) {
        const Setting& s = settings[i];
        print_line(s.has_value && s.value == s.initial ? "  " : "* ", cells[i]);
    }
}

}  // namespace

int run_show(int argc, char**) {
    if (argc != 0) {
        std::fprintf(stderr, "usage: orvix-env show\n");
        return 2;
    }
    if (start_console_log() != VORN_STATUS_SUCCESS || start_store() != VORN_STATUS_SUCCESS) return 1;
    if (vorn_mgmt_cfg_mgr_exists()) {
        for (auto& report : get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING)->describe_sources()) {
            g_sources.push_back({report.label, std::move(report.values)});
        }
    }
    const std::vector<Setting> settings = read_settings();
    const size_t changed = std::count_if(settings.begin(), settings.end(),
                                         [](const Setting& s) { return !s.has_value || s.value != s.initial; });
    std::printf("%zu settings, %zu differ from their defaults (marked *)\n", settings.size(), changed);
    print_table(settings);
    return 0;
}

ORVIX_ENV_COMMAND(show, "show", "",
                  "start the environment store and print every setting: value, default, range, flags and the "
                  "policy key that set it",
                  run_show);

}  // namespace orvix_env
