// Which display adapter matches a name fragment, and which driver version it runs.
//
// Adapters come from the system's list (src/os/display_adapters.h: DXGI on Windows, the
// PCI display controllers elsewhere), in its order; the software renderer ("Microsoft
// Basic Render Driver") is never reported. The driver version comes from the vendor's
// interface: NVAPI for a name with "NVIDIA", the AMD display library for one with "AMD";
// where neither gives one, from the system's list when it reports one beside the adapter
// (the kernel module on Linux), else "unknown".
//
// Both operations throw std::runtime_error "Failed to create DXGI factory!" when the
// system cannot list its adapters. Safe to call from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvix {

// The first adapter, in the system's order, that is not the software renderer and whose
// name contains filter (case-sensitive; empty accepts any). Empty when none does.
std::string findDisplayAdapterName(const std::string& filter);

// The name above and its driver version ("unknown" when it cannot be read).
std::pair<std::string, std::string> getDisplayAdapterInfo(const std::string& filter);

// Every adapter the system lists, in order, for tools that show them all.
struct ListedDisplayAdapter {
    std::string name;
    uint16_t vendor_id = 0;
    uint16_t device_id = 0;
    bool software_renderer = false;  // never selected by a filter
    std::string driver_version;      // as getDisplayAdapterInfo reads it
};
std::vector<ListedDisplayAdapter> listDisplayAdapters();

}  // namespace orvix
