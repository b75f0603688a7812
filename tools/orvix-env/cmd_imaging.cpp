// orvix-env imaging [FILE]: loads an imaging settings file as the test configuration
// manager does and shows what the imaging harness would get: every parameter that differs
// from its default, then each line that was refused with the reason. Exit status 1 when
// a line was refused, 2 when the file cannot be read. The facts are gathered as one
// document, which --json prints instead of the lines.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "config/configuration_manager.h"
#include "config/imaging_parameters.h"
#include "config/registry_export_file.h"
#include "config/settings_for_imaging.h"
#include "config/settings_from_file.h"
#include "eventlog/event_log.h"
#include "input_file.h"
#include "json_output.h"
#include "text_output.h"

namespace orvix_env {
namespace {

using orvix::config::internal::ImagingParameterKind;
using orvix::config::internal::ImagingParameterRow;
using orvix::config::internal::SettingsForImaging;

struct Message {
    std::string text;
    int32_t level;
    int32_t status;
};
std::vector<Message> g_messages;

int32_t record(const char* message, int32_t, uint32_t, int32_t level, int32_t status) {
    g_messages.push_back(Message{message, level, status});
    return 0;
}

std::string shown(const ImagingParameterRow& row, const std::string& value) {
    return row.kind == ImagingParameterKind::kText ? printable_quoted(value) : printable(value, false);
}

Json value_json(const ImagingParameterRow& row, const std::string& value) {
    if (row.kind == ImagingParameterKind::kText) return value;
    return std::strtol(value.c_str(), nullptr, 10);
}

struct FileItem {
    int line;
    orvix::config::internal::ConfigItem item;
};

// Every item of the file with its line number, in file order, as the source's parser finds
// them; lines that hold a carriage return which does not end them go to cr_lines.
std::vector<FileItem> file_items(const std::string& bytes, std::vector<int>* cr_lines) {
    std::vector<FileItem> items;
    int number = 0;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        ++number;
        const std::string line = bytes.substr(start, end - start);
        const size_t cr = line.find('\r');
        if (cr != std::string::npos && cr + 1 < line.size()) cr_lines->push_back(number);
        if (auto item = orvix::config::internal::parse_config_line(line)) items.push_back({number, std::move(*item)});
        start = end + 1;
    }
    return items;
}

// A number parameter's value whose leading number is followed by more than blanks
// ("0x10", "1e3", "2 3", "1;"): the harness reads the number and ignores the rest.
std::optional<std::string> text_after_number(const orvix::config::internal::ConfigItem& item) {
    const ImagingParameterRow* row = orvix::config::internal::find_imaging_parameter(item.name);
    if (row == nullptr || row->kind != ImagingParameterKind::kNumber) return std::nullopt;
    const std::string& v = item.value;
    size_t i = v.find_first_not_of(" \t\r\f\v");
    if (i == std::string::npos) return std::nullopt;
    if (v[i] == '+' || v[i] == '-') ++i;
    const size_t digits = i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
    if (i == digits || v.find_first_not_of(" \t\r\f\v", i) == std::string::npos) return std::nullopt;
    return printable_quoted(v) + " has text after its number, which is ignored: " + item.name + " reads " +
           std::to_string(std::strtol(v.c_str(), nullptr, 10)) + " (only decimal digits are read)";
}

int run_imaging(const std::optional<std::string>& file) {
    const std::string path = file ? *file : SettingsForImaging::default_path();
    std::string bytes, error;
    if (!read_input_file(path, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return 2;
    }
    const std::string where = printable(path, false);

    vorn_event_set_forwarding_callback(record);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "orvix-env";
    params.stream = stderr;  // no log file; the callback takes every line
    vorn_event_init(&params);

    cVORN_MGMT_CFG_MGR::SettingsMap unused;
    get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST)->load(unused, file ? file->c_str() : nullptr);
    vorn_event_set_forwarding_callback(nullptr);

    // Every item yields exactly one message of set_settings_parameter, in file order.
    const std::string prefix = std::string(SettingsForImaging::kSetFunction) + ": ";
    std::vector<Message> results;
    for (const Message& m : g_messages) {
        if (m.text.rfind("orvix::config::internal::SettingsFromFile::load_file: Error reading", 0) == 0) {
            std::fprintf(stderr, "orvix-env: %s\n", printable(m.text, false).c_str());
            return 2;
        }
        if (m.text.rfind(prefix, 0) == 0)
            results.push_back(Message{m.text.substr(prefix.size()), m.level, m.status});
    }

    Json differing = Json::array();
    for (const ImagingParameterRow& row : orvix::config::internal::imaging_parameter_table()) {
        const std::string value = orvix::config::internal::imaging_value_text(row);
        const std::string initial = orvix::config::internal::imaging_default_text(row);
        if (value == initial) continue;
        differing.push_back(
            {{"name", row.name}, {"value", value_json(row, value)}, {"default", value_json(row, initial)}});
        if (json_output()) continue;
        std::printf("%s = %s (default %s)\n", row.name, shown(row, value).c_str(), shown(row, initial).c_str());
    }

    // The file could have changed between the two readings; then the lines go unnumbered.
    std::vector<int> cr_lines;
    const std::vector<FileItem> items = file_items(bytes, &cr_lines);
    const bool numbered = items.size() == results.size();
    Json refused = Json::array();
    Json flagged = Json::array();
    for (const int line : cr_lines) {
        const std::string message =
            "the line holds a carriage return (CR) that does not end it: lines end only at line feeds (LF), "
            "so everything after the CR is part of this line";
        flagged.push_back({{"line", line}, {"message", message}});
        if (!json_output()) std::printf("%s:%d: %s\n", where.c_str(), line, message.c_str());
    }
    for (size_t i = 0; i < results.size(); ++i) {
        const Json line = numbered ? Json(items[i].line) : Json();
        if (results[i].status == VORN_STATUS_SUCCESS) {
            const std::optional<std::string> note = numbered ? text_after_number(items[i].item) : std::nullopt;
            if (!note) continue;
            flagged.push_back({{"line", line}, {"message", *note}});
            if (!json_output()) std::printf("%s:%d: %s\n", where.c_str(), items[i].line, note->c_str());
            continue;
        }
        refused.push_back({{"line", line}, {"message", results[i].text}});
        if (json_output()) continue;
        if (numbered) {
            std::printf("%s:%d: %s\n", where.c_str(), items[i].line, printable(results[i].text, false).c_str());
        } else {
            std::printf("%s: %s\n", where.c_str(), printable(results[i].text, false).c_str());
        }
    }
    if (json_output()) {
        print_json({{"file", path}, {"differing", differing}, {"refused", refused}, {"flagged", flagged}});
    } else {
        const size_t d = differing.size(), r = refused.size(), f = flagged.size();
        std::printf("%s: %zu parameter%s differ%s from the defaults, %zu line%s refused", where.c_str(), d,
                    d == 1 ? "" : "s", d == 1 ? "s" : "", r, r == 1 ? "" : "s");
        if (f != 0) std::printf(", %zu line%s not read as written", f, f == 1 ? "" : "s");
        std::printf("\n");
    }
    return refused.empty() && flagged.empty() ? 0 : 1;
}

std::function<int()> declare_imaging(CLI::App& command) {
    auto file = std::make_shared<std::optional<std::string>>();
    command.add_option_function<std::string>(
        "FILE", [file](const std::string& value) { *file = value; },
        std::string("the imaging settings file (default ") + SettingsForImaging::default_path() + ")");
    return [file] { return run_imaging(*file); };
}

}  // namespace

ORVIX_ENV_COMMAND(imaging, "imaging",
                  "load an imaging settings file as the test manager does; show the parameters that differ "
                  "from their defaults and the refused lines (exit 1)",
                  declare_imaging);

}  // namespace orvix_env
