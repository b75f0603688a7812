// The system's UTF-8 <-> UTF-16 conversion (code page 65001). On Windows these are
// WideCharToMultiByte and MultiByteToWideChar with default flags; elsewhere a converter
// that behaves the same way: unpaired surrogates and invalid UTF-8 become U+FFFD, and
// sizes and errors are reported as Windows reports them.
//
// Both read a zero-terminated source and count the terminating zero in their result.
// A destination size of 0 asks for the size needed. On failure they return 0 and set
// *error to the Windows error code.
#pragma once

#include <cstdint>
#include <string>

namespace orvix::os {

inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidParameterCodepage = 87;

// Bytes written (or needed), terminator included; 0 on failure.
int32_t system_wide_to_utf8(const char16_t* source, char* destination, int32_t destination_size,
                            uint32_t* error);
// UTF-16 units written (or needed), terminator included; 0 on failure.
int32_t system_utf8_to_wide(const char* source, char16_t* destination, int32_t destination_units,
                            uint32_t* error);

// The whole zero-terminated text in UTF-16 (without the terminator); false, with *out
// empty, when the conversion fails.
bool system_utf8_to_u16(const char* source, std::u16string* out);

// The code page of the narrow ("A") system calls: GetACP on Windows, where the registry's
// narrow reads convert to it; 65001 (UTF-8) elsewhere.
uint32_t narrow_code_page();

}  // namespace orvix::os
