#include "adapter_source.h"
#include "os/display_adapters_posix.h"
#include "platform/display_adapters_testing.h"

namespace orvix_env {

// Through the list opener the tests use: the same selection, over the dump's adapters.
bool use_pci_dump(const std::string& path, std::string*) {
    orvix::testing::setDisplayAdapterListOpener(
        [path](int32_t* error) { return orvix::os::open_pci_display_adapter_list(path, "/sys/module", error); });
    return true;
}

}  // namespace orvix_env
