// Where orvix-env adapters reads the adapters from, when not from the machine.
#pragma once

#include <string>

namespace orvix_env {

// Reads the PCI display controllers from a dump file (`lspci -x` output) instead of the
// bus. False, with the reason, where adapters do not come from PCI (Windows).
bool use_pci_dump(const std::string& path, std::string* problem);

}  // namespace orvix_env
