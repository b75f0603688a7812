// Registry access below HKEY_LOCAL_MACHINE with the status codes and semantics of the
// Win32 registry functions. Windows calls the real functions; elsewhere an in-process
// registry stands in, with the same value types, byte layouts (REG_SZ data counts its
// terminating NUL, in UTF-16 bytes), case-insensitive names and change notification.
//
// All functions return a Windows status code (kErrorSuccess on success) and are
// thread-safe. Names are UTF-16.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/event.h"

namespace orvix::os {

using RegKey = std::uintptr_t;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;

// Value types.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// Access rights.
inline constexpr uint32_t kKeyQueryValue = 0x0001;
inline constexpr uint32_t kKeySetValue = 0x0002;
inline constexpr uint32_t kKeyNotify = 0x0010;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;
inline constexpr uint32_t kKeyAllAccess = 0xF003F;
inline constexpr uint32_t kKeyWow64_64Key = 0x0100;

// Notification filters.
inline constexpr uint32_t kRegNotifyChangeName = 0x1;
inline constexpr uint32_t kRegNotifyChangeLastSet = 0x4;

// Type restrictions of registry_get_value (RRF_*).
inline constexpr uint32_t kRrfRtRegNone = 0x1;
inline constexpr uint32_t kRrfRtRegSz = 0x2;
inline constexpr uint32_t kRrfRtRegExpandSz = 0x4;
inline constexpr uint32_t kRrfRtRegBinary = 0x8;
inline constexpr uint32_t kRrfRtRegDword = 0x10;
inline constexpr uint32_t kRrfRtRegMultiSz = 0x20;
inline constexpr uint32_t kRrfRtRegQword = 0x40;
inline constexpr uint32_t kRrfRtAny = 0xFFFF;
inline constexpr uint32_t kRrfNoExpand = 0x10000000;

// Status codes.
inline constexpr int32_t kErrorSuccess = 0;
inline constexpr int32_t kErrorFileNotFound = 2;
inline constexpr int32_t kErrorAccessDenied = 5;
inline constexpr int32_t kErrorInvalidHandle = 6;
inline constexpr int32_t kErrorInvalidParameter = 87;
inline constexpr int32_t kErrorMoreData = 234;
inline constexpr int32_t kErrorNoMoreItems = 259;
inline constexpr int32_t kErrorKeyDeleted = 1018;
inline constexpr int32_t kErrorUnsupportedType = 1630;

int32_t registry_open_key(RegKey parent, std::u16string_view sub_key, uint32_t access, RegKey* out);
int32_t registry_create_key(RegKey parent, std::u16string_view sub_key, uint32_t access, RegKey* out);
int32_t registry_close_key(RegKey key);

// RegEnumValueW: name_chars is the buffer size in characters on input and the name's
// length without its terminator on output; data_bytes likewise in bytes. data may be null
// to ask for the size only. kErrorMoreData when a buffer is too small, kErrorNoMoreItems
// past the last value.
int32_t registry_enum_value(RegKey key, uint32_t index, char16_t* name, uint32_t* name_chars, uint32_t* type,
                            uint8_t* data, uint32_t* data_bytes);
// RegQueryValueExW: the value's type and raw data; an empty name is the default value.
int32_t registry_query_value(RegKey key, std::u16string_view name, uint32_t* type, uint8_t* data,
                             uint32_t* data_bytes);
// RegGetValueW: a value of sub_key (empty for key itself) restricted to the types in
// flags; strings come back terminated and REG_EXPAND_SZ expanded unless kRrfNoExpand.
int32_t registry_get_value(RegKey key, std::u16string_view sub_key, std::u16string_view value, uint32_t flags,
                           uint32_t* type, void* data, uint32_t* data_bytes);
int32_t registry_set_value(RegKey key, std::u16string_view name, uint32_t type, const void* data,
                           uint32_t data_bytes);
int32_t registry_delete_value(RegKey key, std::u16string_view name);
// Deletes sub_key with everything below it (RegDeleteTreeW); with an empty sub_key the
// key's values and subkeys go and the key itself stays.
int32_t registry_delete_tree(RegKey key, std::u16string_view sub_key);

// RegNotifyChangeKeyValue: one-shot; the event is signalled on the next change that
// matches the filter, and the caller registers again after each signal. Deleting the
// watched key signals the event; registering again on that handle reports
// kErrorKeyDeleted.
int32_t registry_notify_change(RegKey key, bool watch_subtree, uint32_t filter, Event& event, bool asynchronous);

// Narrow entry points for callers that keep key paths and value names as narrow text (the
// settings sources): RegOpenKeyExA and RegEnumValueA on Windows, called with exactly the
// caller's arguments, so the system's own conversion and size rules apply. Elsewhere the
// narrow code page is UTF-8 and they behave as the A functions do: names come back narrow
// (name_chars counts characters of the narrow name), REG_SZ, REG_EXPAND_SZ and
// REG_MULTI_SZ data come back converted, their size counting the narrow bytes with the
// terminating NUL when the value was stored with one; other data comes back as stored.
// reserved must be null. *out is written on success only.
int32_t registry_open_key_a(RegKey parent, const char* sub_key, uint32_t options, uint32_t access, RegKey* out);
int32_t registry_enum_value_a(RegKey key, uint32_t index, char* name, uint32_t* name_chars, uint32_t* reserved,
                              uint32_t* type, uint8_t* data, uint32_t* data_bytes);

}  // namespace orvix::os
