// The vendors' driver interfaces are Windows libraries: there is nothing to load here.
#include "os/system_library.h"

namespace orvix::os {

void* load_system_library(const std::string& name, uint32_t* error) {
    if (error != nullptr) {
        *error = name.find_first_of("\\/") != std::string::npos ? kErrorBadArguments : kErrorModNotFound;
    }
    return nullptr;
}

void* system_library_symbol(void*, const char*) { return nullptr; }

void free_system_library(void*) {}

}  // namespace orvix::os
