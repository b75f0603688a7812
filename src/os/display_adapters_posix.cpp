// Display adapters on Linux: the PCI display controllers through libpci.
extern "C" {  // libpci's header declares C functions without saying so
#include <pci/pci.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "os/codepage.h"
#include "os/display_adapters_posix.h"

namespace orvix::os {
namespace {

constexpr uint16_t kDisplayControllerClass = 0x03;

// libpci ends the process from its error callback unless the callback leaves; it is called
// from C frames that hold nothing to clean up, so an exception carries us back out.
struct PciFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// libpci's error hook is declared with the GNU attribute, which clang counts as part of
// the function's type (the standard attribute is not), so this one carries it too.
__attribute__((noreturn)) void pci_error(char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    throw PciFailure(text);
}

void pci_quiet(char*, ...) {}

std::u16string to_wide(const std::string& text) {
    std::u16string wide;
    system_utf8_to_u16(text.c_str(), &wide);
    return wide;
}

// "vendor device" as pci.ids names them. Vendors call their adapters by the brand ("NVIDIA
// GeForce ...", "Microsoft Basic Render Driver"), so a trailing " Corporation" of the
// vendor's registered name is dropped; the numbers stand in for names the database lacks.
std::string adapter_name(pci_access* access, uint16_t vendor_id, uint16_t device_id) {
    char vendor_buffer[256];
    char device_buffer[256];
    const char* vendor = pci_lookup_name(access, vendor_buffer, sizeof vendor_buffer,
                                         PCI_LOOKUP_VENDOR | PCI_LOOKUP_NO_NUMBERS, vendor_id);
    const char* device = pci_lookup_name(access, device_buffer, sizeof device_buffer,
                                         PCI_LOOKUP_DEVICE | PCI_LOOKUP_NO_NUMBERS, vendor_id, device_id);
    char numbers[32];
    std::string name;
    if (vendor == nullptr) {
        std::snprintf(numbers, sizeof numbers, "Vendor %04x", vendor_id);
        name = numbers;
    } else {
        name = vendor;
        const std::string suffix = " Corporation";
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            name.erase(name.size() - suffix.size());
        }
    }
    if (device == nullptr) {
        std::snprintf(numbers, sizeof numbers, " Device %04x", device_id);
        name += numbers;
    } else {
        name += ' ';
        name += device;
    }
    return name;
}

struct Found {
    std::tuple<int, int, int, int> position;  // domain, bus, device, function
    DisplayAdapterEntry entry;
};

class PciDisplayAdapterList : public DisplayAdapterList {
public:
    explicit PciDisplayAdapterList(std::vector<DisplayAdapterEntry> entries) : entries_(std::move(entries)) {}

    bool adapter(uint32_t index, DisplayAdapterEntry* entry) override {
        if (index >= entries_.size()) return false;
        *entry = entries_[index];
        return true;
    }

private:
    std::vector<DisplayAdapterEntry> entries_;
};

std::vector<Found> scan(pci_access* access, const std::string& dump_file, const std::string& module_root) {
    access->error = pci_error;
    access->warning = pci_quiet;
    access->debug = pci_quiet;
    // Names come from pci.ids alone; the udev hardware database would also leave its handle
    // behind at every list.
    pci_set_param(access, const_cast<char*>("hwdb.disable"), const_cast<char*>("1"));
    if (!dump_file.empty()) {
        access->method = PCI_ACCESS_DUMP;
        if (pci_set_param(access, const_cast<char*>("dump.name"), const_cast<char*>(dump_file.c_str())) != 0) {
            throw PciFailure("dump.name");
        }
    }
    pci_init(access);
    pci_scan_bus(access);
    std::vector<Found> found;
    for (pci_dev* dev = access->devices; dev != nullptr; dev = dev->next) {
        pci_fill_info(dev, PCI_FILL_IDENT | PCI_FILL_CLASS | PCI_FILL_DRIVER);
        if ((dev->device_class >> 8) != kDisplayControllerClass) continue;
        Found f;
        f.position = {dev->domain, dev->bus, dev->dev, dev->func};
        f.entry.vendor_id = dev->vendor_id;
        f.entry.device_id = dev->device_id;
        f.entry.description = to_wide(adapter_name(access, dev->vendor_id, dev->device_id));
        if (const char* driver = pci_get_string_property(dev, PCI_FILL_DRIVER); driver != nullptr) {
            f.entry.driver_version = kernel_module_version(module_root, driver);
        }
        found.push_back(std::move(f));
    }
    return found;
}

}  // namespace

std::string kernel_module_version(const std::string& module_root, const std::string& module) {
    if (module.empty() || module.find('/') != std::string::npos || module == "." || module == "..") return {};
    std::ifstream file(module_root + "/" + module + "/version");
    std::string line;
    if (!std::getline(file, line)) return {};
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

std::unique_ptr<DisplayAdapterList> open_pci_display_adapter_list(const std::string& dump_file,
                                                                  const std::string& module_root,
                                                                  int32_t* error) {
    pci_access* access = pci_alloc();
    if (access == nullptr) {
        if (error != nullptr) *error = -1;
        return nullptr;
    }
    std::vector<Found> found;
    try {
        found = scan(access, dump_file, module_root);
    } catch (const PciFailure&) {
        pci_cleanup(access);
        if (error != nullptr) *error = -1;
        return nullptr;
    }
    pci_cleanup(access);
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.position < b.position; });
    std::vector<DisplayAdapterEntry> entries;
    entries.reserve(found.size());
    for (Found& f : found) entries.push_back(std::move(f.entry));
    return std::make_unique<PciDisplayAdapterList>(std::move(entries));
}

std::unique_ptr<DisplayAdapterList> open_display_adapter_list(int32_t* error) {
    return open_pci_display_adapter_list({}, "/sys/module", error);
}

}  // namespace orvix::os
