#include <windows.h>

#include "os/codepage.h"

namespace orvix::os {

int32_t system_wide_to_utf8(const char16_t* source, char* destination, int32_t destination_size,
                            uint32_t* error) {
    int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(source), -1, destination,
                                destination_size, nullptr, nullptr);
    if (n == 0 && error != nullptr) *error = GetLastError();
    return n;
}

int32_t system_utf8_to_wide(const char* source, char16_t* destination, int32_t destination_units,
                            uint32_t* error) {
    int n = MultiByteToWideChar(CP_UTF8, 0, source, -1, reinterpret_cast<wchar_t*>(destination),
                                destination_units);
    if (n == 0 && error != nullptr) *error = GetLastError();
    return n;
}

uint32_t narrow_code_page() { return GetACP(); }

}  // namespace orvix::os
