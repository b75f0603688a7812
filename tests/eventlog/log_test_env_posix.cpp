// On POSIX the temporary folder is $TMPDIR.
#include <stdlib.h>

#include "eventlog/log_test_support.h"

namespace orvix_test {

void set_env(const char* name, const char* value) { ::setenv(name, value, 1); }

void redirect_temp(const std::string& folder_with_separator) {
    set_env("TMPDIR", folder_with_separator.c_str());
}

// A relative path is never a known folder.
void make_program_data_unavailable(const std::string&) { set_env("PROGRAMDATA", "relative/ProgramData"); }

std::string error_marker_path(const std::string& program_data) {
    return join({program_data, "Quillon", "OrvixAgent", "logs", "error_file.txt"});
}

char separator() { return '/'; }

}  // namespace orvix_test
