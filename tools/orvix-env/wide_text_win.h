// Windows: UTF-8 text as the UTF-16 the wide API calls take.
#pragma once

#include <windows.h>

#include <string>

namespace orvix_env {

// Empty when the text is not valid UTF-8: a replacement character would name another file.
inline std::wstring wide_from_utf8(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

}  // namespace orvix_env
