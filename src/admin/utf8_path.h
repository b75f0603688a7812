// File-system paths from the UTF-8 texts the layer and its tools keep, and back. A path
// made from a narrow std::string is read in the ANSI code page on Windows, where
// characters outside it are lost; these keep every character on every platform.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvix::admin {

inline std::filesystem::path path_from_utf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8_from_path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace orvix::admin
