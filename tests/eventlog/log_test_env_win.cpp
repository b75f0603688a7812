// Under Windows the known folder ProgramData follows "Common AppData" of the shell
// folders key. The test support sends HKEY_LOCAL_MACHINE to a per-process key, so
// writing it there redirects this process only; the folder must exist to be reported.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "eventlog/log_test_support.h"

namespace orvix_test {
namespace {

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void set_common_app_data(const std::wstring& folder) {
    for (const wchar_t* key : {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                               L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        RegSetValueExW(h, L"Common AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
}

}  // namespace

void set_env(const char* name, const char* value) { _putenv_s(name, value); }

void redirect_program_data(const std::string& folder) { set_common_app_data(wide(folder)); }

void redirect_temp(const std::string& folder_with_separator) { set_env("TMP", folder_with_separator.c_str()); }

// A folder that cannot exist (its parent is a file) is not reported as the known folder.
void make_program_data_unavailable(const std::string& root) {
    write_file(root + "not-a-folder", "x");
    set_common_app_data(wide(root + "not-a-folder\\ProgramData"));
}

// The error marker has a fixed path under the real program-data folder.
std::string error_marker_path(const std::string&) { return "C:\\ProgramData\\Quillon\\OrvixAgent\\logs\\error_file.txt"; }

char separator() { return '\\'; }

}  // namespace orvix_test
