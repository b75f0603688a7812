// Windows parts of the event log tests' folders.
#include <cstdlib>
#include <string>

#include "eventlog/log_test_support.h"

namespace orvix_test {

void set_env(const char* name, const char* value) { _putenv_s(name, value); }

void redirect_temp(const std::string& folder_with_separator) {
    set_env("TMP", folder_with_separator.c_str());
}

// A folder that cannot exist (its parent is a file) is not reported as the known folder.
void make_program_data_unavailable(const std::string& root) {
    write_file(root + "not-a-folder", "x");
    redirect_program_data(root + "not-a-folder\\ProgramData");
}

// The error marker has a fixed path under the real program-data folder.
std::string error_marker_path(const std::string&) {
    return "C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\error_file.txt";
}

char separator() { return '\\'; }

}  // namespace orvix_test
