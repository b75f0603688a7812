// Shared helpers of the event log tests: a per-test folder that the program-data and
// temporary folders are redirected into, a fixed clock, a recording forwarding callback
// and small file helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"

namespace orvix_test {

// Platform parts (log_test_env_posix.cpp / log_test_env_win.cpp).
void set_env(const char* name, const char* value);
// Makes the known folder ProgramData (and the common application-data folder) this path;
// the folder must exist on Windows.
void redirect_program_data(const std::string& folder);
void redirect_temp(const std::string& folder_with_separator);
// Makes the known folder ProgramData unobtainable (using scratch space under root).
void make_program_data_unavailable(const std::string& root);
// Where the error marker file is written.
std::string error_marker_path(const std::string& program_data);
char separator();

// A fresh folder for one test, removed at its end, with the program-data folder ("pd")
// and the temporary folder ("tmp") redirected inside it.
class LogSandbox {
public:
    LogSandbox();
    ~LogSandbox();
    LogSandbox(const LogSandbox&) = delete;
    LogSandbox& operator=(const LogSandbox&) = delete;

    std::string root;            // ends in a separator
    std::string program_data;    // no trailing separator
    std::string log_folder;      // ends in a separator
    std::string archive_folder;  // ends in a separator
    std::string temp;            // ends in a separator
};

// Joins path parts with the platform separator.
std::string join(std::initializer_list<std::string> parts);

// Whole file as bytes; empty when it cannot be read.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
void make_folder(const std::string& path);
// Names of the regular files of a folder, sorted.
std::vector<std::string> files_in(const std::string& folder);
// Sets a file's last-write time to now minus the given seconds.
void age_file(const std::string& path, int64_t seconds);

// The clock of the line format fixed at 2024-03-09 07:05:04.032 UTC, so lines start
// with "2024-03-09T07:05:04.032Z".
void fixed_time(vorn_event_utc_time* now);
inline constexpr const char* kFixedStamp = "2024-03-09T07:05:04.032Z";
inline constexpr const char* kFixedFileDate = "2024_03_09T07_05_04Z";
inline constexpr const char* kFixedArchivePrefix = "2024-03-09-07-05-";

// One expected line: fixed time, session, level, status, category and message, with the
// given line end.
std::string line(const char* session, int32_t level, int32_t status, const char* category, const std::string& message,
                 const char* end = "\n");

// Splits text after each "\n" (the line ends are kept).
std::vector<std::string> split_lines(const std::string& text);

// A forwarding callback that records every call.
struct Forwarded {
    std::string message;
    int32_t reserved;
    uint32_t category;
    int32_t level;
    int32_t status;
};
std::vector<Forwarded>& forwarded();
int32_t record_forwarded(const char* message, int32_t reserved, uint32_t category, int32_t level, int32_t status);
// Installs record_forwarded, initialises the event log with the defaults and admits every level.
void start_recording();

// The process identifier as the log file names print it.
std::string process_hex();

// Writes the rotation value under HKEY_LOCAL_MACHINE\SOFTWARE\Quillon\OrvixAgent.
void set_rotation_value(uint32_t type, const void* data, uint32_t bytes);
void set_rotation_text(const std::u16string& text, uint32_t type = 1);

}  // namespace orvix_test
