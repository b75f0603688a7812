// Libraries on POSIX. The search follows the Windows flags the loader uses: the
// executable's directory (LOAD_LIBRARY_SEARCH_APPLICATION_DIR) and the system library
// directories (LOAD_LIBRARY_SEARCH_SYSTEM32); never the current directory. A probe load
// (DONT_RESOLVE_DLL_REFERENCES) only records the file it found, because dlopen would run
// the library's constructors.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "os/library.h"

namespace orvix::os {
namespace {

struct Library {
    std::string path;
    void* handle = nullptr;  // null for a probe
};

bool is_file(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string executable_directory() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/'));
}

std::string full_path(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string out(resolved);
    ::free(resolved);
    return out;
}

std::string find_library(const std::string& name, uint32_t flags) {
    if (name.find('/') != std::string::npos) return is_file(name) ? full_path(name) : std::string();
    if ((flags & kLoadSearchApplicationDir) != 0) {
        const std::string candidate = executable_directory() + "/" + name;
        if (is_file(candidate)) return full_path(candidate);
    }
    if ((flags & kLoadSearchSystem32) != 0) {
        for (const char* dir : {"/lib64", "/usr/lib64", "/lib", "/usr/lib"}) {
            const std::string candidate = std::string(dir) + "/" + name;
            if (is_file(candidate)) return full_path(candidate);
        }
    }
    return {};
}

}  // namespace

void* library_load(const char* name, uint32_t flags, uint32_t* error) {
    if (name == nullptr || name[0] == '\0') {
        if (error != nullptr) *error = kErrorModNotFound;
        return nullptr;
    }
    auto library = std::make_unique<Library>();
    if ((flags & kLoadDontResolveReferences) != 0) {
        library->path = find_library(name, flags);
        if (library->path.empty()) {
            if (error != nullptr) *error = kErrorModNotFound;
            return nullptr;
        }
        return library.release();
    }
    library->handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library->handle == nullptr) {
        if (error != nullptr) *error = is_file(name) ? kErrorBadExeFormat : kErrorModNotFound;
        return nullptr;
    }
    library->path = full_path(name);
    return library.release();
}

uint32_t library_file_name(void* module, char* buffer, uint32_t size, uint32_t* error) {
    if (module == nullptr || buffer == nullptr || size == 0) {
        if (error != nullptr) *error = 87;  // ERROR_INVALID_PARAMETER
        return 0;
    }
    const std::string& path = static_cast<Library*>(module)->path;
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        if (error != nullptr) *error = kErrorInsufficientBufferModule;
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<uint32_t>(path.size());
}

void* library_symbol(void* module, const char* name) {
    auto* library = static_cast<Library*>(module);
    if (library == nullptr || library->handle == nullptr || name == nullptr) return nullptr;
    return ::dlsym(library->handle, name);
}

void library_free(void* module) {
    auto* library = static_cast<Library*>(module);
    if (library == nullptr) return;
    if (library->handle != nullptr) ::dlclose(library->handle);
    delete library;
}

// The vendors' driver interfaces are Windows libraries: there is nothing to load here.
void* load_system_library(const std::string& name, uint32_t* error) {
    if (error != nullptr) {
        *error = name.find_first_of("\\/") != std::string::npos ? kErrorBadArguments : kErrorModNotFound;
    }
    return nullptr;
}

}  // namespace orvix::os
