// Test hooks of the NVIDIA driver interface: the library functions it loads through and
// the pause of its unload wait, so a scripted library stands in for the vendor's on any
// platform, and the state it keeps.
#pragma once

#include <cstdint>
#include <string>

namespace orvix::nvidia::testing {

struct LibraryOps {
    void* (*load)(const std::string& name, uint32_t* error);
    void* (*symbol)(void* module, const char* name);
    void (*release)(void* module);
    void (*sleep_ms)(uint32_t ms);
};

// Null restores the system's (src/os/library.h and a real sleep).
void setLibraryOps(const LibraryOps* ops);

// Interface kinds: 0 "nvapi64.dll", 1 "nvpowerapi.dll".
void setUnloadInProgress(int kind, bool in_progress);
uint32_t loadCount(int kind);
bool loaded(int kind);
int32_t busyCount();
// Forgets every loaded library and cached function, without releasing anything.
void reset();

}  // namespace orvix::nvidia::testing
