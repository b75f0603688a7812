// orvix-env system: what the log banner says about this machine (system description,
// masked session user, folders), then the operating system's name and version as a
// pair and the host name.
#include <cstdio>
#include <string>

#include "commands.h"
#include "eventlog/event_log.h"
#include "eventlog/log_files.h"
#include "eventlog/system_banner.h"
#include "json_output.h"
#include "text_output.h"
#include "platform/windows_version.h"
#include "windows/OrvixOSWin32.h"

namespace orvix_env {
namespace {

// With --json the banner's lines are collected here instead of printed.
Json g_banner = Json::array();

// The banner's own lines, as messages without the log line prefix; errors included.
int32_t print_message(const char* message, int32_t, uint32_t, int32_t level, int32_t status) {
    const bool error = level <= VORN_EVENT_LEVEL_ERROR;
    if (json_output()) {
        g_banner.push_back({{"message", message}, {"error", error ? Json(status) : Json()}});
    } else if (error) {
        std::printf("%s (error %d)\n", printable(message, false).c_str(), static_cast<int>(status));
    } else {
        std::printf("%s\n", printable(message, false).c_str());
    }
    return 0;
}

std::string folder(int32_t kind) {
    char path[260];
    if (vorn_util_get_folder(path, sizeof path, kind) != VORN_STATUS_SUCCESS) path[0] = '\0';
    return path;
}

}  // namespace

int run_system() {
    vorn_event_set_forwarding_callback(print_message);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "orvix-env";
    vorn_event_init(&params);
    vorn_util_log_system_info();
    vorn_util_log_session_user("orvix-env");
    vorn_event_shutdown();

    const std::string temp = folder(FOLDER_TEMP);
    const std::string program_data = folder(FOLDER_PROGRAM_DATA);
    const auto [name, version] = orvix::getWindowsNameAndVersion();
    const std::string host = orvix::getHostName();
    if (json_output()) {
        print_json({{"banner", std::move(g_banner)},
                    {"folders", {{"FOLDER_TEMP", temp}, {"FOLDER_PROGRAM_DATA", program_data}}},
                    {"name", name},
                    {"version", version},
                    {"host", host}});
        return 0;
    }
    std::printf("FOLDER_TEMP               = '%s'\n", printable(temp, false).c_str());
    std::printf("FOLDER_PROGRAM_DATA       = '%s'\n", printable(program_data, false).c_str());
    std::printf("name:    %s\nversion: %s\nhost:    %s\n", printable(name, false).c_str(),
                printable(version, false).c_str(), printable(host, false).c_str());
    return 0;
}

ORVIX_ENV_COMMAND(
    system, "system",
    "describe this machine as the log banner does, with the OS name and version and the host name",
    declare_plain<run_system>);

}  // namespace orvix_env
