// Under Windows the known folder ProgramData follows "Common AppData" of the shell
// folders key. The test support sends HKEY_LOCAL_MACHINE to a per-process key, so
// writing it there redirects this process only; the folder must exist to be reported.
#include <cstdlib>
#include <string>

#include "eventlog/log_test_support.h"
#include "os/registry.h"
#include "platform/text_conversion.h"

namespace orvix_test {

void set_env(const char* name, const char* value) { _putenv_s(name, value); }

void redirect_program_data(const std::string& folder) {
    std::u16string value;
    vorn_util_create_wide_string_from_utf8(folder.c_str(), &value);
    for (const char16_t* key : {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
        set_machine_value(key, u"Common AppData", orvix::os::kRegSz, value.c_str(),
                          static_cast<uint32_t>((value.size() + 1) * sizeof(char16_t)));
    }
}

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
