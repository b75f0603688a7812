// Hooks that let tests drive the rotor without waiting: its tick count (rotation after
// N minutes) and the submission of archive work items (to see a failed submission).
// Install them while nothing logs; null restores the system's.
#pragma once

#include <cstdint>

typedef uint64_t (*vorn_log_rotor_tick_source)();
typedef bool (*vorn_log_rotor_work_submitter)(void (*fn)(void*), void* context);

void vorn_log_rotor_set_tick_source(vorn_log_rotor_tick_source source);
void vorn_log_rotor_set_work_submitter(vorn_log_rotor_work_submitter submitter);
// The archive interval of the archiver thread (5000 ms unless changed).
void vorn_log_rotor_set_archiver_interval(uint32_t milliseconds);
