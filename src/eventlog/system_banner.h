// The machine banner written at the head of every log file: the local time with its
// offset from UTC, the application, a description of the machine (operating system,
// processors, memory), the session's masked domain and user, the two standard folders
// and the process identifier. Every line is an ordinary event-log message (category
// COMMON, level 2, status 0); a line the event log refuses is simply missing.
//
// Thread-safe as the event log is; the facts come from os/system_facts.h.
#pragma once

#include <cstdint>
#include <string>

#include "eventlog/event_log.h"
#include "os/system_facts.h"

// Writes the banner for an initialised event log, with the application name (empty or
// null: "unknown_app", as the event log names it) and the two banner flags of the
// initialisation record; its other fields are not read. Returns 0, -502 without a record,
// or -500 when the local time or the time zone cannot be read (nothing is written then).
int32_t vorn_event_write_banner(const vorn_event_init_params* params);
// The short form, for callers that hold the three values alone (a null name prints empty).
int32_t vorn_event_write_banner(const char* app_name, int32_t show_system_info, int32_t show_folders);

// The multi-line machine description (OS line, processor count, architecture and
// processor type, physical and virtual memory), each line ending in a line feed, cut to
// size - 1 bytes. 0, or -502 without a buffer or with size 0.
int32_t vorn_util_get_system_info(char* buffer, uint32_t size);
// The description as banner lines between "**** System Info" and "**** ".
void vorn_util_log_system_info();
// "APP running under session (DOMAIN\USER)" between separator lines, both names masked;
// "Unable to determine username." (level 1, the system's error code as status) when the
// session cannot be asked.
void vorn_util_log_session_user(const char* app_name);

// First character, five asterisks, last character ("administrator" -> "a*****r"); empty
// stays empty. A character outside the basic plane counts as one.
std::u16string vorn_util_mask_name(const std::u16string& text);

namespace orvix::eventlog {

// "local time 2024-03-09T07:05:04.032-05:00" from the local time and the runtime's
// offset in seconds (positive west of UTC); more than 30 left-over seconds round up a minute.
std::string banner_local_time_line(const os::LocalDateTime& now, int64_t seconds_west);

}  // namespace orvix::eventlog
