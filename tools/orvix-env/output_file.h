// Files the tool writes appear whole or not at all: the bytes go to a temporary name in
// the target's folder, are flushed to the disk, and only then renamed over the target. A
// full disk or a refused write leaves the target as it was (absent, or its old content)
// and no temporary file behind.
#pragma once

#include <string>
#include <string_view>

namespace orvix_env {

// path is UTF-8. False on failure, with error set to "cannot write PATH: REASON" (the
// operating system's reason).
bool write_output_file(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace orvix_env
