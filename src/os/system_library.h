// Libraries of the system directory, loaded by absolute path so that a copy planted
// beside the program or on the search path is never picked up: GetSystemDirectoryW, "\"
// and the file name, loaded with LoadLibraryExW (flags 0). For the vendors' driver
// interfaces, which are installed there. Elsewhere those libraries do not exist and every
// load is refused.
#pragma once

#include <cstdint>
#include <string>

namespace orvix::os {

inline constexpr uint32_t kErrorBadArguments = 160;  // ERROR_BAD_ARGUMENTS
inline constexpr uint32_t kErrorModNotFound = 126;   // ERROR_MOD_NOT_FOUND

// The module, or null with *error set to the system's error code. A name that holds "\"
// or "/" is refused with kErrorBadArguments before anything is loaded.
void* load_system_library(const std::string& name, uint32_t* error);
// The exported symbol, or null.
void* system_library_symbol(void* module, const char* name);
void free_system_library(void* module);

}  // namespace orvix::os
