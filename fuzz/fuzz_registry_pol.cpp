// Feeds arbitrary bytes to the Registry.pol reader. A file is either refused with one
// line or read whole; what is read must write back to the same bytes, apply to the
// in-memory registry, be linted through it and convert to an export file that the .reg
// reader takes without a problem.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "admin/memory_registry.h"
#include "admin/policy_file_conversion.h"
#include "admin/policy_lint.h"
#include "admin/registry_pol.h"
#include "config/registry_export_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvix::admin;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<PolEntry> entries;
    std::string error;
    if (!parse_registry_pol(bytes, &entries, &error)) {
        if (error.empty() || error.find('\n') != std::string::npos || !entries.empty()) __builtin_trap();
        return 0;
    }
    if (write_registry_pol(entries) != bytes) __builtin_trap();

    MemoryRegistry registry;
    const PolApplied applied = apply_registry_pol(entries, &registry, false);
    if (applied.entries != static_cast<int>(entries.size()) ||
        applied.agent_entries + applied.other_entries != applied.entries) {
        __builtin_trap();
    }
    MemoryRegistryInterface view(registry);
    check_policy_keys(view);

    Conversion conversion;
    const std::string reg = reg_file_from_pol(entries, true, &conversion);
    if (!orvix::config::parse_registry_file(reg).problems.empty()) __builtin_trap();
    return 0;
}
