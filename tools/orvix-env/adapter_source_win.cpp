// Windows lists its adapters through DXGI: there is no PCI dump to read.
#include "adapter_source.h"

namespace orvix_env {

bool use_pci_dump(const std::string&, std::string* problem) {
    *problem = "--pci-dump reads Linux's PCI display controllers; Windows lists adapters through DXGI";
    return false;
}

}  // namespace orvix_env
