// HKEY_LOCAL_MACHINE is overridden for this process only, so the store reads the keys of
// the Registry.pol without the machine's policy keys being written. The private key
// cannot be volatile: the seam creates ordinary subkeys, and a volatile key refuses them.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "admin/registry_pol.h"
#include "policy_keys.h"

namespace orvix_env {
namespace {

constexpr wchar_t kPreviewKeys[] = L"Software\\Quillon\\orvix-env preview";
std::wstring g_private_key;

void remove_private_key() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, g_private_key.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, g_private_key.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kPreviewKeys);  // fails while another run uses it
}

}  // namespace

bool install_policy_keys(const orvix::admin::MemoryRegistry& registry, std::string* error) {
    g_private_key = std::wstring(kPreviewKeys) + L"\\" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, g_private_key.c_str());
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, g_private_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS) {
        *error = "cannot create a private registry key under HKEY_CURRENT_USER (error " + std::to_string(status) + ")";
        return false;
    }
    status = RegOverridePredefKey(HKEY_LOCAL_MACHINE, key);
    RegCloseKey(key);
    std::atexit(remove_private_key);
    if (status != ERROR_SUCCESS) {
        *error = "cannot redirect HKEY_LOCAL_MACHINE for this process (error " + std::to_string(status) + ")";
        return false;
    }
    return registry.store_to_system(orvix::admin::agent_policy_keys(), error);
}

}  // namespace orvix_env
