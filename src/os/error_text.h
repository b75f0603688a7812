// The operating system's own words for an error code that the seam returned, for messages
// that tell a person why something failed ("No space left on device", "There is not enough
// space on the disk"). One line, without a line end or a closing full stop, so callers can
// put it in parentheses or after a colon.
//
// Codes are Windows error codes on both sides. On POSIX the seam maps the errno values
// that Windows has a code for (ENOSPC is 112, ERROR_DISK_FULL); any other errno e travels
// as kErrnoCode | e, a code in the range Windows leaves to applications, so its text is
// never lost. Thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace orvix::os {

inline constexpr uint32_t kErrnoCode = 0x20000000;

std::string error_text(uint32_t code);

// Cuts a system message to its first line and drops trailing white space and full stops.
std::string one_line_reason(std::string text);

}  // namespace orvix::os
