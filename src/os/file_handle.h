// An open file as portable code sees it: the HANDLE on Windows, the file descriptor
// elsewhere, carried as an integer so neither header is needed outside src/os.
#pragma once

#include <cstdint>

namespace orvix::os {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;  // INVALID_HANDLE_VALUE on Windows

}  // namespace orvix::os
