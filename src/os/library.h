// Dynamic libraries of the seam. On Windows: LoadLibraryExA, GetModuleFileNameA,
// GetProcAddress and FreeLibrary. On POSIX the same search rules over the file system:
// a probe load (kLoadDontResolveReferences) only finds the file, so none of the
// library's code runs, and a load by full path is dlopen.
//
// Errors are Windows error codes (126 for a library that is not found).
#pragma once

#include <cstdint>
#include <string>

namespace orvix::os {

inline constexpr uint32_t kLoadDontResolveReferences = 0x1;  // DONT_RESOLVE_DLL_REFERENCES
inline constexpr uint32_t kLoadSearchApplicationDir = 0x200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
inline constexpr uint32_t kLoadSearchSystem32 = 0x800;        // LOAD_LIBRARY_SEARCH_SYSTEM32
inline constexpr uint32_t kErrorModNotFound = 126;
inline constexpr uint32_t kErrorBadExeFormat = 193;
inline constexpr uint32_t kErrorInsufficientBufferModule = 122;
inline constexpr uint32_t kErrorBadArguments = 160;

// LoadLibraryExA(name, no file, flags). Null on failure, with *error set.
void* library_load(const char* name, uint32_t flags, uint32_t* error);
// GetModuleFileNameA: characters written without the terminator; 0 on failure, with
// *error set. A path longer than the buffer is cut to size - 1 characters.
uint32_t library_file_name(void* module, char* buffer, uint32_t size, uint32_t* error);
// GetProcAddress; null when the library does not export name.
void* library_symbol(void* module, const char* name);
// FreeLibrary. Null is ignored.
void library_free(void* module);

// A library of the system directory, loaded by absolute path so that a copy planted beside
// the program or on the search path is never picked up: GetSystemDirectoryW, "\" and the
// file name, loaded with LoadLibraryExW (flags 0). For the vendors' driver interfaces,
// which are installed there; elsewhere those libraries do not exist and every load is
// refused. A name that holds "\" or "/" is refused with kErrorBadArguments before
// anything is loaded. Null on failure, with *error set.
void* load_system_library(const std::string& name, uint32_t* error);

}  // namespace orvix::os
