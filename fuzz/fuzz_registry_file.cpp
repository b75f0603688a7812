// Feeds arbitrary bytes to the registry export file reader and writes what it accepts
// into the in-process registry: nothing may crash, and every skipped line is reported.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "config/registry_export_file.h"
#include "os/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvix::config;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const RegistryFile file = parse_registry_file(bytes);
    for (const RegistryFileProblem& p : file.problems) {
        if (p.line <= 0 || p.message.empty()) __builtin_trap();
    }
    apply_registry_file(file, &file);

    // Leave the registry empty for the next input.
    std::set<std::u16string> tops;
    for (const RegistryFileEntry& e : file.entries) tops.insert(e.key.substr(0, e.key.find(u'\\')));
    for (const std::u16string& top : tops) orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, top);
    return 0;
}
