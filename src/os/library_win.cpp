#include <windows.h>

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

}  // namespace orvix::os
