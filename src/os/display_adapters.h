// The machine's display adapters as the system lists them. On Windows this is DXGI: a
// factory (CreateDXGIFactory1 with IDXGIFactory1) and EnumAdapters1 in DXGI's order, the
// software renderer included. Elsewhere the PCI display controllers (class 03) as libpci
// sees them, in bus order, named from the pci.ids database; a controller whose kernel
// driver reports a module version carries it as its driver version.
//
// Which adapter is wanted, and its vendor's driver interface, are decided above this seam.
// A list is used by one thread at a time; opening lists from several threads is fine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace orvix::os {

struct DisplayAdapterEntry {
    std::u16string description;  // DXGI's description, or "vendor device" from pci.ids
    uint16_t vendor_id = 0;
    uint16_t device_id = 0;
    // The version the system reports beside the adapter, empty when none: the kernel
    // module's version on Linux; DXGI reports none.
    std::string driver_version;
};

class DisplayAdapterList {
public:
    virtual ~DisplayAdapterList() = default;
    // The adapter at index; false at the end of the list and on any failure.
    virtual bool adapter(uint32_t index, DisplayAdapterEntry* entry) = 0;
};

// The system's list, or null when the system cannot list adapters; *error is then the
// HRESULT of CreateDXGIFactory1 (0x887A0004 under Wine without a display), or -1 when
// the PCI bus cannot be read.
std::unique_ptr<DisplayAdapterList> open_display_adapter_list(int32_t* error);

}  // namespace orvix::os
