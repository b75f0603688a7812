// The NVIDIA driver interface (NVAPI), as far as this layer uses it: loading it from the
// system directory and reading the driver version. Its functions are reached through the
// library's query entry by 32-bit interface identifiers.
//
// The state is process-wide and stays loaded for the rest of the process once loaded.
// nvapiInitialize runs under CSingletonCriticalSection; nvapiGetDriverAndBranchVersion
// does not take it. Both are safe to call from any thread.
#pragma once

#include <cstdint>
#include <mutex>

namespace orvix {

// One process-wide critical section, created on first use (re-entrant, as a Windows
// critical section is).
class CSingletonCriticalSection {
public:
    static std::recursive_mutex& get();
};

namespace nvidia {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kError = -1;
inline constexpr int32_t kLibraryNotFound = -2;
inline constexpr int32_t kNoImplementation = -3;

inline constexpr uint32_t kInitializeId = 0x0150E828;
inline constexpr uint32_t kBeforeCallHookId = 0x33C7358C;
inline constexpr uint32_t kAfterCallHookId = 0x593E8644;
inline constexpr uint32_t kDriverAndBranchVersionId = 0x2926AAAD;

inline constexpr size_t kShortStringSize = 64;

// Loads "nvapi64.dll" from the system directory if it is not loaded yet and initialises
// it. kOk, kError (no query entry, no initialise function, an unload that does not end
// within a second), kLibraryNotFound, or the initialise function's own non-zero status
// (the library is then released again).
int32_t nvapiInitialize();

// The driver version (e.g. 53141 for 531.41) and the branch text. kNoImplementation when
// the library offers no such function; otherwise the function's status.
int32_t nvapiGetDriverAndBranchVersion(uint32_t* version, char (&branch)[kShortStringSize]);

}  // namespace nvidia
}  // namespace orvix
