// A scripted NVIDIA driver interface for the library hooks of nvidia_interface_testing.h:
// "nvapi64.dll" loads as a token module whose query entry answers the identifiers the
// script offers, and records what is asked of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvix::test {

struct ScriptedNvapi {
    bool present = true;            // the library file exists
    bool has_query_entry = true;    // it exports nvapi_QueryInterface
    bool has_initialize = true;
    int32_t initialize_status = 0;
    bool has_hooks = true;
    bool has_driver_version = true;
    int32_t driver_version_status = 0;
    uint32_t driver_version = 53141;
    // The unload in progress ends during this many-th pause (0: never).
    int unload_ends_at_sleep = 0;

    // What happened, in order: "load nvapi64.dll", "query 0x2926AAAD", "before", "version",
    // "after", "release", "sleep 100".
    std::vector<std::string> events;
};

// Installs script (which must outlive the test) in place of the system's library functions
// and clears the interface's state; uninstall restores the system's.
void install_scripted_nvapi(ScriptedNvapi* script);
void uninstall_scripted_nvapi();

// The events that start with prefix.
std::vector<std::string> scripted_events(const ScriptedNvapi& script, const std::string& prefix);

}  // namespace orvix::test
