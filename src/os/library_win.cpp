#include <windows.h>

#include <string>

#include "os/library.h"

namespace orvix::os {

void* library_load(const char* name, uint32_t flags, uint32_t* error) {
    HMODULE module = LoadLibraryExA(name, nullptr, flags);
    if (module == nullptr && error != nullptr) *error = GetLastError();
    return module;
}

uint32_t library_file_name(void* module, char* buffer, uint32_t size, uint32_t* error) {
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
    if (n == 0 && error != nullptr) *error = GetLastError();
    return n;
}

void* library_symbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void library_free(void* module) {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
}

void* load_system_library(const std::string& name, uint32_t* error) {
    if (name.find_first_of("\\/") != std::string::npos) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        if (error != nullptr) *error = kErrorBadArguments;
        return nullptr;
    }
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (error != nullptr) *error = GetLastError();
        return nullptr;
    }
    // The names are the vendors' fixed ASCII file names.
    std::wstring path(directory, length);
    path += L'\\';
    path.append(name.begin(), name.end());
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, 0);
    if (module == nullptr && error != nullptr) *error = GetLastError();
    return module;
}

}  // namespace orvix::os
