// The time source of the event log's line format. Tests fix it so whole lines can be
// compared byte for byte; the default is the system's UTC time with milliseconds.
#pragma once

#include <cstdint>

struct vorn_event_utc_time {
    int32_t year, month, day, hour, minute, second, millisecond;
};

typedef void (*vorn_event_time_source)(vorn_event_utc_time* now);

// Installs a time source (null restores the system clock). Call it while nothing logs.
void vorn_event_set_time_source(vorn_event_time_source source);
void vorn_event_system_utc_time(vorn_event_utc_time* now);
// The current UTC time from the installed source; the log file names use it too.
void vorn_event_current_utc_time(vorn_event_utc_time* now);
