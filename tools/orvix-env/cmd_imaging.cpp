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
#include "json_output.h"

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
    return row.kind == ImagingParameterKind::kText ? "\"" + value + "\"" : value;
}

Json value_json(const ImagingParameterRow& row, const std::string& value) {
    if (row.kind == ImagingParameterKind::kText) return value;
    return std::strtol(value.c_str(), nullptr, 10);
}

// The line number of every item of the file, in file order, as the source's parser finds them.
std::vector<int> item_lines(const std::string& path) {
    std::vector<int> lines;
    std::string bytes, error;
    if (!orvix::config::read_file_bytes(path, &bytes, &error)) return lines;
    int number = 0;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        ++number;
        if (orvix::config::internal::parse_config_line(bytes.substr(start, end - start)))
            lines.push_back(number);
        start = end + 1;
    }
    return lines;
}

int run_imaging(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(stderr, "usage: orvix-env imaging [FILE]   (default %s)\n",
                     SettingsForImaging::default_path());
        return 2;
    }
    const char* file = argc == 1 ? argv[0] : nullptr;
    const std::string path = file != nullptr ? file : SettingsForImaging::default_path();

    vorn_event_set_forwarding_callback(record);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "orvix-env";
    params.stream = stderr;  // no log file; the callback takes every line
    vorn_event_init(&params);

    cVORN_MGMT_CFG_MGR::SettingsMap unused;
    get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_TEST)->load(unused, file);
    vorn_event_set_forwarding_callback(nullptr);

    // Every item yields exactly one message of set_settings_parameter, in file order.
    const std::string prefix = std::string(SettingsForImaging::kSetFunction) + ": ";
    std::vector<Message> results;
    for (const Message& m : g_messages) {
        if (m.text.rfind("orvix::config::internal::SettingsFromFile::load_file: Error reading", 0) == 0) {
            std::fprintf(stderr, "orvix-env: %s\n", m.text.c_str());
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
        std::printf("%s = %s (default %s)\n", row.name, shown(row, value).c_str(),
                    shown(row, initial).c_str());
    }

    // The file could have changed between the two readings; then the lines go unnumbered.
    const std::vector<int> lines = item_lines(path);
    const bool numbered = lines.size() == results.size();
    Json refused = Json::array();
    for (size_t i = 0; i < results.size(); ++i) {
        if (results[i].status == VORN_STATUS_SUCCESS) continue;
        refused.push_back({{"line", numbered ? Json(lines[i]) : Json()}, {"message", results[i].text}});
        if (json_output()) continue;
        if (numbered) {
            std::printf("%s:%d: %s\n", path.c_str(), lines[i], results[i].text.c_str());
        } else {
            std::printf("%s: %s\n", path.c_str(), results[i].text.c_str());
        }
    }
    if (json_output()) {
        print_json({{"file", path}, {"differing", differing}, {"refused", refused}});
    } else {
        const size_t d = differing.size(), r = refused.size();
        std::printf("%s: %zu parameter%s differ%s from the defaults, %zu line%s refused\n", path.c_str(), d,
                    d == 1 ? "" : "s", d == 1 ? "s" : "", r, r == 1 ? "" : "s");
    }
    return refused.empty() ? 0 : 1;
}

}  // namespace

ORVIX_ENV_COMMAND(imaging, "imaging", "[FILE]",
                  "load an imaging settings file as the test manager does; show the parameters that differ "
                  "from their defaults and the refused lines (exit 1)",
                  run_imaging);

}  // namespace orvix_env
