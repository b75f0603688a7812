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

// Creates a folder (UTF-8) with its missing parents; false with error set to "cannot
// create PATH: REASON" when it cannot.
bool create_output_folder(const std::string& path, std::string* error);

// A name in a folder, joined with the platform's separator (UTF-8 throughout, where a
// std::filesystem::path from narrow text would read the ANSI code page on Windows).
std::string output_path(const std::string& folder, const std::string& name);

}  // namespace orvix_env
