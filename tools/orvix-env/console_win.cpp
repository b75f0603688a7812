// Windows: the arguments come from the UTF-16 command line, and the console is switched to
// UTF-8 output, so that a name such as "日本.conf" survives both ways.
#include <windows.h>
#include <shellapi.h>

#include "console.h"
#include "wide_text_win.h"

namespace orvix_env {

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int length = lstrlenW(wide[i]);
        std::string arg(static_cast<size_t>(length) * 3, '\0');
        arg.resize(static_cast<size_t>(
            WideCharToMultiByte(CP_UTF8, 0, wide[i], length, arg.data(), static_cast<int>(arg.size()), nullptr, nullptr)));
        out.push_back(std::move(arg));
    }
    LocalFree(wide);
    return out;
}

namespace {

// The wide text in the ANSI code page; false when a character has no place in it.
bool ansi_from_wide(const std::wstring& wide, std::string* out) {
    if (wide.empty()) return false;
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, &lost);
    if (n <= 0 || lost) return false;
    out->assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out->data(), n,
                        nullptr, &lost);
    return !lost;
}

}  // namespace

std::string layer_narrow_path(const std::string& utf8) {
    const std::wstring wide = wide_from_utf8(utf8);
    std::string ansi;
    if (ansi_from_wide(wide, &ansi)) return ansi;
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetShortPathNameW(wide.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return ansi_from_wide(std::wstring(buffer, n), &ansi) ? ansi : std::string();
}

void prepare_console() {
    // Only a console needs telling; a pipe or a file gets the UTF-8 bytes unchanged.
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace orvix_env
