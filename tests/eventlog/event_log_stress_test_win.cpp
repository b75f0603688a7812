// The stress binary is built on its own, so it carries its own folder redirection: the
// known folder ProgramData follows "Common AppData", and HKEY_LOCAL_MACHINE is a
// per-process key in the tests.
#include <windows.h>

#include <string>

namespace orvix_stress {

void use_program_data(const std::string& folder) {
    const std::wstring value(folder.begin(), folder.end());
    for (const wchar_t* key : {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                               L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        RegSetValueExW(h, L"Common AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
}

}  // namespace orvix_stress
