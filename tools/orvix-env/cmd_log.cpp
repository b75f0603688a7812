// orvix-env log [COUNT]: writes COUNT numbered lines (default 10) through the event log
// into a log file of its own, as the agent would, so a person can look at the format.
// Lines the event log could not write (a full disk) are reported with the system's
// reason and exit status 1.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "commands.h"
#include "eventlog/event_log.h"
#include "eventlog/log_files.h"
#include "json_output.h"

namespace orvix_env {
namespace {

// Why a log folder cannot be used, in the operating system's words: the folder cannot
// be created, or a file cannot be created in it.
std::string folder_problem(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(folder);
    if (!fs::is_directory(path, error)) {
        fs::create_directories(path, error);
        if (error) return "the folder cannot be created: " + error.message();
        if (!fs::is_directory(path, error)) return "it is not a folder";
    }
    const fs::path probe = path / "orvix-env-write-test.tmp";
    errno = 0;
    std::FILE* file = std::fopen(probe.string().c_str(), "wb");
    if (file == nullptr) {
        return "no file can be created in it: " +
               std::generic_category().message(errno != 0 ? errno : EACCES);
    }
    std::fclose(file);
    fs::remove(probe, error);
    return "the folder can be written now; it may have been full or busy";
}

}  // namespace

int run_log(unsigned long count) {
    // Asynchronous, no console echo, the default file name and no session identifier.
    const int32_t status = vorn_event_start_logging("orvix_env", 1, 1, 0, 1);
    if (status != VORN_STATUS_SUCCESS) {
        std::fprintf(stderr, "orvix-env log: the event log started with status %d\n", static_cast<int>(status));
    }
    // The banner's lost lines are counted before the numbered ones start.
    uint64_t lost_before = 0;
    vorn_event_get_lost_count(&lost_before, nullptr, 0);
    for (unsigned long i = 1; i <= count; ++i) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "orvix-env log: line %lu of %lu", i, count);
    }
    char path[1024];
    const int32_t found = vorn_event_get_log_file_path(path, sizeof path);
    vorn_event_shutdown();
    uint64_t lost = 0;
    char reason[256] = {};
    vorn_event_get_lost_count(&lost, reason, sizeof reason);
    if (found != VORN_STATUS_SUCCESS) {
        char folder[1024];
        if (vorn_util_get_log_folder_utf8(folder, sizeof folder) != VORN_STATUS_SUCCESS) folder[0] = '\0';
        if (folder[0] == '\0') {
            std::fprintf(stderr, "orvix-env log: the log folder could not be determined\n");
        } else {
            std::fprintf(stderr, "orvix-env log: no log file could be opened in the log folder \"%s\": %s\n",
                         folder, folder_problem(folder).c_str());
        }
        return 1;
    }
    // A line cut short and finished later stops counting, so the difference can shrink.
    const uint64_t numbered_lost = lost > lost_before ? std::min<uint64_t>(lost - lost_before, count) : 0;
    if (json_output()) {
        print_json({{"file", path},
                    {"lines", count - numbered_lost},
                    {"lost", lost},
                    {"reason", lost > 0 ? Json(reason) : Json()}});
    } else {
        std::printf("%s\n", path);
    }
    if (lost > 0) {
        std::fprintf(stderr, "orvix-env log: %llu log lines could not be written to \"%s\": %s\n",
                     static_cast<unsigned long long>(lost), path, reason);
        return 1;
    }
    return 0;
}

std::function<int()> declare_log(CLI::App& command) {
    auto count = std::make_shared<unsigned long>(10);
    command.add_option("COUNT", *count, "lines to write, 0 to 100000000 (default 10)")
        ->check(kDecimal)
        ->check(CLI::Range(0ul, 100000000ul));
    return [count] { return run_log(*count); };
}

ORVIX_ENV_COMMAND(log, "log",
                  "write COUNT numbered lines (default 10) to a log file of the event log and print its path",
                  declare_log);

}  // namespace orvix_env
