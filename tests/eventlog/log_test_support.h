// Shared helpers of the event log tests: a per-test folder that the program-data and
// temporary folders are redirected into, a fixed clock, a recording forwarding callback
// and small file helpers. Paths are UTF-8.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"
#include "support/program_data.h"

namespace orvix_test {

// Platform parts (log_test_env_posix.cpp / log_test_env_win.cpp). On Windows the
// program-data folder must exist; making it unobtainable uses scratch space under root.
void set_env(const char* name, const char* value);
void redirect_temp(const std::string& folder_with_separator);
void make_program_data_unavailable(const std::string& root);
std::string error_marker_path(const std::string& program_data);
char separator();

// A fresh folder for one test, removed at its end, with the program-data folder ("pd")
// and the temporary folder ("tmp") redirected inside it. Every path but program_data
// ends in a separator.
struct LogSandbox {
    LogSandbox();
    ~LogSandbox();
    LogSandbox(const LogSandbox&) = delete;
    LogSandbox& operator=(const LogSandbox&) = delete;
    std::string root, program_data, log_folder, archive_folder, temp;
};

std::string join(std::initializer_list<std::string> parts);  // with the platform separator
std::string read_file(const std::string& path);               // empty when it cannot be read
// Writes a file (its folder must exist) last written the given number of seconds ago.
void write_file(const std::string& path, const std::string& bytes, int64_t age_seconds = 0);
bool eventually_exists(const std::string& path);               // archive moves run on other threads
std::vector<std::string> files_in(const std::string& folder);  // its regular files, sorted

// The clock of lines and file names fixed at 2024-03-09 07:05:04.032 UTC.
void fixed_time(vorn_event_utc_time* now);
inline constexpr const char* kFixedFileDate = "2024_03_09T07_05_04Z";
// The archive name of a log file moved at the fixed time (".txt" becomes ".log").
std::string archived(const std::string& name);
// One expected line at the fixed time, with the given line end.
std::string line(const char* session, int32_t level, int32_t status, const char* category,
                 const std::string& message, const char* end = "\n");
std::string process_hex();    // as the log file names print it
std::string thread_prefix();  // as the agent log prints it before a message
vorn_event_init_params init_params(const char* app_name, int32_t asynchronous);

// A forwarding callback that records every call (and checks that its second argument is
// 0); it returns how many calls it has recorded, so callers can see its result come back.
struct Forwarded {
    std::string message;
    uint32_t category;
    int32_t level;
    int32_t status;
    bool operator==(const Forwarded&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Forwarded& f);
std::vector<Forwarded>& forwarded();
int32_t record_forwarded(const char* message, int32_t reserved, uint32_t category, int32_t level,
                         int32_t status);
// Installs record_forwarded, initialises the event log with the defaults and admits every level.
void start_recording();

// Writes a value under HKEY_LOCAL_MACHINE (a per-process key under Windows).
void set_machine_value(const char16_t* key, const char16_t* name, uint32_t type, const void* data,
                       uint32_t bytes);

}  // namespace orvix_test
