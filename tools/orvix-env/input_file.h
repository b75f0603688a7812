// Files the tool reads by a name from its arguments or environment. Only a regular file
// is read, and only up to a limit: a folder, a FIFO (which would wait for a writer), a
// device such as /dev/zero (which never ends) or a file over the limit is refused before
// anything is read, with one line naming the file and the reason.
#pragma once

#include <cstdint>
#include <string>

namespace orvix_env {

// Policy exports, configuration and imaging files and adapter dumps are far smaller.
inline constexpr std::uintmax_t kMaxInputFileSize = 64u << 20;

// True when path names a regular file of at most max_size bytes; otherwise error holds
// "cannot read PATH: REASON" (the path shown printable).
bool check_input_file(const std::string& path, std::string* error, std::uintmax_t max_size = kMaxInputFileSize);

// Reads the whole file after check_input_file; false with error set when it is refused or
// cannot be read (the operating system's reason).
bool read_input_file(const std::string& path, std::string* bytes, std::string* error,
                     std::uintmax_t max_size = kMaxInputFileSize);

}  // namespace orvix_env
