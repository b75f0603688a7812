// The machine banner written at the head of every log file. It describes the system
// (local time, OS, memory, session) once the platform facts exist; until then it writes
// nothing.
#pragma once

#include <cstdint>

// Returns 0, or -500 when the local time zone cannot be read.
int32_t vorn_event_write_banner(const char* app_name, int32_t show_system_info, int32_t show_folders);
