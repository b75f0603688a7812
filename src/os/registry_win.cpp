#include <windows.h>

#include <string>

#include "os/registry.h"

namespace orvix::os {
namespace {

HKEY h(RegKey key) { return reinterpret_cast<HKEY>(key); }
std::wstring w(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

int32_t registry_open_key(RegKey parent, std::u16string_view sub_key, uint32_t access, RegKey* out) {
    HKEY key = nullptr;
    LSTATUS s = RegOpenKeyExW(h(parent), w(sub_key).c_str(), 0, access, &key);
    if (s == ERROR_SUCCESS) *out = reinterpret_cast<RegKey>(key);
    return s;
}

int32_t registry_create_key(RegKey parent, std::u16string_view sub_key, uint32_t access, RegKey* out) {
    HKEY key = nullptr;
    LSTATUS s = RegCreateKeyExW(h(parent), w(sub_key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                &key, nullptr);
    if (s == ERROR_SUCCESS) *out = reinterpret_cast<RegKey>(key);
    return s;
}

int32_t registry_close_key(RegKey key) { return RegCloseKey(h(key)); }

int32_t registry_enum_value(RegKey key, uint32_t index, char16_t* name, uint32_t* name_chars, uint32_t* type,
                            uint8_t* data, uint32_t* data_bytes) {
    DWORD chars = *name_chars;
    DWORD t = 0;
    DWORD bytes = data_bytes != nullptr ? *data_bytes : 0;
    LSTATUS s = RegEnumValueW(h(key), index, reinterpret_cast<wchar_t*>(name), &chars, nullptr, &t, data,
                              data_bytes != nullptr ? &bytes : nullptr);
    *name_chars = chars;
    if (type != nullptr) *type = t;
    if (data_bytes != nullptr) *data_bytes = bytes;
    return s;
}

int32_t registry_query_value(RegKey key, std::u16string_view name, uint32_t* type, uint8_t* data,
                             uint32_t* data_bytes) {
    DWORD t = 0;
    DWORD bytes = data_bytes != nullptr ? *data_bytes : 0;
    LSTATUS s = RegQueryValueExW(h(key), w(name).c_str(), nullptr, &t, data, data_bytes != nullptr ? &bytes : nullptr);
    if (type != nullptr) *type = t;
    if (data_bytes != nullptr) *data_bytes = bytes;
    return s;
}

int32_t registry_get_value(RegKey key, std::u16string_view sub_key, std::u16string_view value, uint32_t flags,
                           uint32_t* type, void* data, uint32_t* data_bytes) {
    DWORD t = 0;
    DWORD bytes = data_bytes != nullptr ? *data_bytes : 0;
    const std::wstring sub = w(sub_key);
    const DWORD capacity = bytes;
    LSTATUS s = RegGetValueW(h(key), sub.empty() ? nullptr : sub.c_str(), w(value).c_str(), flags, &t, data,
                             data_bytes != nullptr ? &bytes : nullptr);
    // Windows terminates strings that were stored without their NUL and counts the
    // terminator; Wine returns them as stored. Give callers the Windows result on both.
    if (s == ERROR_SUCCESS && data != nullptr && (t == REG_SZ || t == REG_EXPAND_SZ) && bytes % 2 == 0) {
        wchar_t* text = static_cast<wchar_t*>(data);
        const DWORD units = bytes / 2;
        if ((units == 0 || text[units - 1] != L'\0') && bytes + 2 <= capacity) {
            text[units] = L'\0';
            bytes += 2;
        }
    }
    if (type != nullptr) *type = t;
    if (data_bytes != nullptr) *data_bytes = bytes;
    return s;
}

int32_t registry_set_value(RegKey key, std::u16string_view name, uint32_t type, const void* data,
                           uint32_t data_bytes) {
    return RegSetValueExW(h(key), w(name).c_str(), 0, type, static_cast<const BYTE*>(data), data_bytes);
}

int32_t registry_delete_value(RegKey key, std::u16string_view name) {
    return RegDeleteValueW(h(key), w(name).c_str());
}

int32_t registry_delete_tree(RegKey key, std::u16string_view sub_key) {
    const std::wstring sub = w(sub_key);
    if (sub.empty()) return RegDeleteTreeW(h(key), nullptr);
    // Empty the key before deleting it. Windows signals a watcher of a key when the key
    // is deleted; Wine does so only when its values go, so this gives watchers the same
    // signal on both.
    HKEY doomed = nullptr;
    LSTATUS s = RegOpenKeyExW(h(key), sub.c_str(), 0, KEY_ALL_ACCESS, &doomed);
    if (s != ERROR_SUCCESS) return s;
    s = RegDeleteTreeW(doomed, nullptr);
    RegCloseKey(doomed);
    if (s != ERROR_SUCCESS) return s;
    return RegDeleteKeyW(h(key), sub.c_str());
}

int32_t registry_notify_change(RegKey key, bool watch_subtree, uint32_t filter, Event& event, bool asynchronous) {
    return RegNotifyChangeKeyValue(h(key), watch_subtree ? TRUE : FALSE, filter,
                                   static_cast<HANDLE>(event.native_handle()), asynchronous ? TRUE : FALSE);
}

int32_t registry_open_key_a(RegKey parent, const char* sub_key, uint32_t options, uint32_t access, RegKey* out) {
    HKEY key = nullptr;
    LSTATUS s = RegOpenKeyExA(h(parent), sub_key, options, access, &key);
    if (s == ERROR_SUCCESS && out != nullptr) *out = reinterpret_cast<RegKey>(key);
    return s;
}

int32_t registry_enum_value_a(RegKey key, uint32_t index, char* name, uint32_t* name_chars, uint32_t* reserved,
                              uint32_t* type, uint8_t* data, uint32_t* data_bytes) {
    // DWORD is unsigned long here: pass copies rather than reinterpret the caller's words.
    DWORD chars = name_chars != nullptr ? *name_chars : 0;
    DWORD t = 0;
    DWORD bytes = data_bytes != nullptr ? *data_bytes : 0;
    LSTATUS s = RegEnumValueA(h(key), index, name, name_chars != nullptr ? &chars : nullptr,
                              reinterpret_cast<LPDWORD>(reserved), type != nullptr ? &t : nullptr, data,
                              data_bytes != nullptr ? &bytes : nullptr);
    if (name_chars != nullptr) *name_chars = chars;
    if (type != nullptr) *type = t;
    if (data_bytes != nullptr) *data_bytes = bytes;
    return s;
}

}  // namespace orvix::os
