// The process-wide event log: one entry point, vorn_event_log, for every component of
// the layer. Messages are admitted by category and level before any lock is taken,
// formatted into one fixed-layout line with repeat suppression, and handed to the
// console, a caller's stream or the current log file (written asynchronously), or,
// when a forwarding callback is installed, passed to it instead.
//
// Until vorn_event_init succeeds every message is refused with -503 and costs nothing.
// Initialisation and shutdown are not serialised against logging: call them while no
// other thread logs. A forwarding callback runs under the event log's lock and must
// not log itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "eventlog/status.h"

// Log levels; lower is more severe. 5 means "not set" in a threshold table and 6 is
// the most verbose threshold a category can carry.
enum : int32_t {
    VORN_EVENT_LEVEL_CRITICAL = 0,
    VORN_EVENT_LEVEL_ERROR = 1,
    VORN_EVENT_LEVEL_INFO = 2,
    VORN_EVENT_LEVEL_DEBUG = 3,
    VORN_EVENT_LEVEL_TRACE = 4,
    VORN_EVENT_LEVEL_NOT_SET = 5,
    VORN_EVENT_LEVEL_MOST_VERBOSE = 6,
};

enum eVORN_EVENT_CATEGORY : uint32_t {
#include "eventlog/event_categories.inc"
    VORN_EVENT_NUM_CATEGORIES = 156,
};

inline constexpr const char* VORN_EVENT_NULL_SESSION_ID = "00000000-0000-0000-0000-000000000000";

// Initialisation record; vorn_event_get_default_init_params fills in the defaults.
struct vorn_event_init_params {
    int32_t enabled;            // 0 drops every message (default 1)
    int32_t echo_to_console;    // also print each line on standard output (default 0)
    int32_t level;              // initial global threshold (default 2)
    const char* app_name;       // names the log file and the banner; empty means "unknown_app"
    int32_t simple_file_name;   // file name without date, process and counter (default 0)
    int32_t asynchronous;       // write the log file with overlapped writes (default 0)
    int32_t move_closed_files;  // archive closed files and run the archiver (default 0)
    FILE* stream;               // when given, lines go here and no log file is opened
    uint32_t max_age_days;      // old files of this application are pruned (default 7; 0 means 7)
    int32_t show_system_info;   // banner options (default 1)
    int32_t show_folders;
    const char* session_id;     // 36 characters; all zeros when none
};

// Forwarding callback: (message, always 0, category, level, status) -> the status that
// vorn_event_log returns to its caller.
typedef int32_t (*vorn_event_forwarding_callback)(const char* message, int32_t reserved,
                                                   uint32_t category, int32_t level, int32_t status);

int32_t vorn_event_get_default_init_params(vorn_event_init_params* params);

// Returns 0 (also when already initialised, changing nothing), or -500 when a synchronous
// log found no file, or when the asynchronous write event cannot be created.
int32_t vorn_event_init(const vorn_event_init_params* params);

// Builds a record from the defaults and the arguments, stores the session identifier for
// the line format, initialises the event log and writes the banner.
int32_t vorn_event_start_logging(const char* app_name, const char* session_id, int32_t show_system_info,
                                 int32_t show_folders, int32_t echo_to_console, uint32_t max_age_days,
                                 int32_t move_closed_files, int32_t asynchronous);
int32_t vorn_event_start_logging(const char* app_name, int32_t show_system_info, int32_t show_folders,
                                 int32_t echo_to_console, int32_t asynchronous);
int32_t vorn_event_start_logging(const char* app_name, int32_t show_system_info, int32_t show_folders,
                                 int32_t echo_to_console, int32_t move_closed_files, int32_t asynchronous);

// Logs one message. Returns 0 (also for a dropped message), the forwarding callback's
// result, -503 before initialisation or after shutdown, -501 for a category above 155.
int32_t vorn_event_log(uint32_t category, int32_t level, int32_t status, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

int32_t vorn_event_set_filter_mode(int32_t mode);
int32_t vorn_event_set_category_level(uint32_t category, int32_t level);
int32_t vorn_event_set_forwarding_callback(vorn_event_forwarding_callback callback);
int32_t vorn_event_shutdown();

// Logs the assertion, flushes the log and ends the process with exit status 1.
[[noreturn]] void vorn_event_assert(int32_t code, const char* function_name, int32_t line);

// The log file opened at initialisation, in UTF-8 (at most 254 bytes were recorded).
// 0; -506 when no file was opened; -502 for a missing buffer; -500 when it does not fit.
int32_t vorn_event_get_log_file_path(char* buffer, uint32_t size);

// Lines that the event log could not write to its file since initialisation (the write
// refused, the disk full, no file), and the system's reason for the latest of them (one
// line, at most reason_size - 1 bytes; empty when none was lost). The part of a line that
// a full disk took is removed again, so the file holds whole lines only (where the file
// cannot be shortened, the rest of the line is written before anything else, and the line
// counts as lost until then). The next write that succeeds first writes
// "Event logger lost N log messages (REASON)." for the lines lost since the last such
// notice. Lines dropped by a full queue are reported by their own notice and not counted.
// 0, or -502 without count; reason may be null. Thread-safe, also after shutdown; it
// takes the event log's lock, so a forwarding callback must not call it.
int32_t vorn_event_get_lost_count(uint64_t* count, char* reason, size_t reason_size);

// Display name of a category; null for a number above 155.
const char* vorn_event_category_name(uint32_t category);
