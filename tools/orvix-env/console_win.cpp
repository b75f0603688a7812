// Windows: the arguments come from the UTF-16 command line, and the console is switched to
// UTF-8 output, so that a name such as "日本.conf" survives both ways.
#include <windows.h>
#include <shellapi.h>

#include "console.h"

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

void prepare_console() {
    // Only a console needs telling; a pipe or a file gets the UTF-8 bytes unchanged.
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace orvix_env
