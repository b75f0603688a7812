// Start-up of the agent log object: the event log for "orvix_agent" in the agent's log
// folder, and the level from configuration. Portable over the seam: the folder, the
// event log and the store are the layer's own operations.
#include <cstdio>
#include <string>
#include <vector>

#include "OrvixLog/OrvixLog.h"
#include "config/configuration_manager.h"
#include "eventlog/event_log.h"
#include "eventlog/log_files.h"
#include "platform/text_conversion.h"
#include "windows/OrvixSystemSettingsWin32.h"

namespace orvix {

namespace {

constexpr const char kUnit[] = "src/windows/OrvixLogWindows";

std::string log_folder_utf8() {
    // The folder has at most 259 UTF-16 units, each at most three bytes of UTF-8.
    char buffer[3 * 260 + 1];
    if (vorn_util_get_log_folder_utf8(buffer, sizeof buffer) != VORN_STATUS_SUCCESS) return {};
    return buffer;
}

}  // namespace

bool OrvixLog::init() {
    if (file_logging_) {
        // The level comes from the configuration the store's start-up loaded; without a
        // manager the agent would log at a level nobody configured.
        if (!vorn_mgmt_cfg_mgr_exists()) {
            std::fprintf(stderr, "Failed to get the configuration management instance.\n");
            return false;
        }
        const std::string unsanitised = log_folder_utf8();
        std::string sanitised = unsanitised;
        const bool changed = sanitizeLogPath(sanitised);
        log_path_ = sanitised;

        if (vorn_event_start_logging("orvix_agent", 1, 1, 0, archive_closed_files_ ? 1 : 0, 1) !=
            VORN_STATUS_SUCCESS) {
            std::fprintf(stderr, "Could not create log file \"%s\".\n", log_path_.c_str());
        }

        level_.store(readAgentLogLevel());
        if (vorn_event_set_category_level(0, level_.load()) != VORN_STATUS_SUCCESS) {
            std::fprintf(stderr, "Error setting log level.\n");
        }
        if (changed) {
            log(VORN_EVENT_LEVEL_ERROR, kUnit, __LINE__, "Log path was sanitized: %s => %s", unsanitised.c_str(),
                sanitised.c_str());
        }
    }
    log(VORN_EVENT_LEVEL_INFO, kUnit, __LINE__, "LOG LEVEL is set to %d", level_.load());
    return true;
}

}  // namespace orvix
