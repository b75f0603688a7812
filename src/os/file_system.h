// Folders, files and background work as the log files need them. Paths are UTF-16 with
// the platform's separator; Windows error codes are returned on both sides.
//
// On POSIX: the known folder ProgramData is $PROGRAMDATA when set, else
// /var/lib/orvix/ProgramData; a value that is not an absolute path cannot be a known
// folder and counts as "cannot be obtained". The common application-data folder is the
// same folder; the temporary folder is $TMPDIR or /tmp. Wildcards ("*" and "?") match
// without regard to case, as they do on Windows. File handles are entries of a
// process-wide table (os/handle_table_posix.h), so duplicates cost no system call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/file_handle.h"

namespace orvix::os {

inline constexpr uint32_t kErrorFileNotFoundFs = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorAccessDeniedFs = 5;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorSharingViolation = 32;

// The platform's path separator ('\\' on Windows, '/' elsewhere).
char16_t path_separator();
bool is_path_separator(char16_t c);

// The known folder ProgramData (no trailing separator); false when it cannot be obtained.
bool known_folder_program_data(std::u16string* folder);
// The common application-data folder, created when missing (no trailing separator).
bool common_app_data_folder(std::u16string* folder);
// The temporary-files folder (with its trailing separator), and the current directory.
bool temp_folder(std::u16string* folder);
bool current_directory(std::u16string* folder);

// One directory level; 0, kErrorAlreadyExists, or another error code.
uint32_t create_directory(const std::u16string& path);
// A directory with all missing parents; 0 also when it exists already.
uint32_t create_directory_tree(const std::u16string& path);
bool directory_exists(const std::u16string& path);
bool file_exists(const std::u16string& path);

// Creates (replacing) a file for writing, shared for reading by others; appends go to its end.
uint32_t create_log_file(const std::u16string& path, FileHandle* out);
// Opens (creating it when missing) a file for appending.
uint32_t open_for_append(const std::u16string& path, FileHandle* out);
// A second handle of the same open file, with the same access.
uint32_t duplicate_handle(FileHandle file, FileHandle* out);
void close_file(FileHandle file);

// The program-data root that fixed paths (the error marker file) are written under:
// "C:\ProgramData" on Windows, the ProgramData folder above elsewhere.
std::u16string fixed_program_data_root();

// Moves a file, replacing the target, copying across volumes, written through. A log
// file that is still open cannot be moved (kErrorSharingViolation), on both sides.
uint32_t move_file_replace(const std::u16string& from, const std::u16string& to);
uint32_t delete_file(const std::u16string& path);

struct FoundFile {
    std::u16string name;         // the name alone, without the folder
    int64_t last_write_unix = 0; // seconds since 1970, UTC
    bool is_directory = false;
};
// Files of a folder matching a wildcard pattern ("*" and "?"), as FindFirstFileW does;
// kErrorFileNotFoundFs when nothing matches.
uint32_t find_files(const std::u16string& pattern, std::vector<FoundFile>* found);

uint32_t current_process_id();
// Milliseconds of a monotonic clock (GetTickCount64).
uint64_t tick_count_ms();
// Seconds since 1970, UTC.
int64_t unix_time_now();
struct LocalTime {
    int32_t hour = 0, minute = 0, second = 0;
};
bool local_time_now(LocalTime* now);

// Runs fn(context) as a thread-pool work item marked as a long function; false when it
// cannot be queued.
bool submit_work_item(void (*fn)(void*), void* context);
// Runs fn(context) on a persistent thread-pool thread (a loop that lives until told to
// stop); false when it cannot be started.
bool start_persistent_work(void (*fn)(void*), void* context);

}  // namespace orvix::os
