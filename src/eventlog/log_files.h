// Where the event log's files live and how they are named, opened, rotated, archived
// and pruned. The rotor owns the one open log file of the process; the event log asks
// it for a handle on every write, which is where a due rotation happens.
//
// Lock order: callers of vorn_log_rotor_get_handle hold the event log's lock; the rotor
// takes its own lock after it, never the other way round.
#pragma once

#include <cstdint>
#include <string>

#include "eventlog/status.h"
#include "os/file_handle.h"

enum eVORN_FOLDER_KIND : int32_t {
    FOLDER_TEMP = 0,          // the temporary-files folder (created when missing)
    FOLDER_PROGRAM_DATA = 1,  // the common application-data folder followed by "Quillon\"
};

// The log folder with its trailing separator; empty when none can be determined.
std::u16string vorn_util_get_log_folder();
// The archive folder that rotated files are moved into, with its trailing separator.
// Asking creates no folder.
std::u16string vorn_util_get_archive_folder();
// The log folder in UTF-8 (at most size - 1 bytes and a terminating zero); -506 when empty.
int32_t vorn_util_get_log_folder_utf8(char* buffer, uint32_t size);
// One of the folder kinds in UTF-8, ending in a separator; 0 or -500.
int32_t vorn_util_get_folder(char* buffer, uint32_t size, int32_t kind);
// The folder of that kind with name appended (name may be null); 0 or -500.
int32_t vorn_util_get_folder_path(char* buffer, uint32_t size, int32_t kind, const char* name);

// "%s%s*.txt" from folder and application name; -502 when an argument is missing.
int32_t vorn_util_build_prune_pattern(char* buffer, uint32_t size, const char* folder, const char* app_name);
// Deletes files matching the UTF-8 pattern last written more than max_age_days ago.
// -502 for a missing pattern; -501 when it cannot be converted or matches nothing.
int32_t vorn_util_prune_old_logs(const char* pattern, uint32_t max_age_days);

// Starts the rotor for this application's log file and reports the opened path in
// UTF-8. handle_out becomes a valid marker when a file exists (the handle itself is
// closed again). -502 when path_out, app_name or handle_out is missing.
int32_t vorn_util_open_log_file(char* path_out, uint32_t path_size, const char* folder, const char* app_name,
                                const char* session_id, int32_t simple_name, int32_t move_closed_files,
                                orvix::os::FileHandle* handle_out);

// components: a list of UTF-8 texts ended by a null entry (at most 20).
// Returns 0, or 183 when already initialised.
int32_t vorn_log_rotor_init(int32_t rotation_minutes, const char* folder, const char* const* components,
                            int32_t run_archiver);
// A duplicate of the current file's handle, which the caller closes; the full path goes
// to name_out (name_size wide characters) when a new file was opened and name_out is
// given. Returns 0, 21 after shutdown, or the system's error code.
int32_t vorn_log_rotor_get_handle(orvix::os::FileHandle* handle_out, char16_t* name_out, uint32_t name_size);
// The system's error code of the rotor's last failed attempt to open a log file; 0 when
// the last attempt succeeded or none was made.
uint32_t vorn_log_rotor_open_error();
void vorn_log_rotor_shutdown();
