// HKEY_LOCAL_MACHINE goes to a per-process key under HKEY_CURRENT_USER, and the known
// folder ProgramData follows "Common AppData" of that (private) machine key.
#include <windows.h>

#include <string>

#include "latency_sandbox.h"

namespace {
std::wstring sandbox_path() { return L"Software\\OrvixLatency\\" + std::to_wstring(GetCurrentProcessId()); }
}  // namespace

bool sandbox_machine_settings(const std::string& folder) {
    const std::wstring path = sandbox_path();
    HKEY root = nullptr;
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr) !=
            ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, root) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring wide(folder.begin(), folder.end());
    for (const wchar_t* key : {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                               L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegSetValueExW(h, L"Common AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
    return true;
}

char path_separator() { return '\\'; }

void end_sandbox() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, sandbox_path().c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, sandbox_path().c_str());
}
