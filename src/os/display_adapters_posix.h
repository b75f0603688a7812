// The PCI side of the display adapter list, with the sources it reads named, so tests can
// hand libpci a dump file (its "dump" access method, the text lspci -x writes) and the
// module versions a folder of their own.
#pragma once

#include <memory>
#include <string>

#include "os/display_adapters.h"

namespace orvix::os {

// dump_file: empty reads the machine's bus. module_root: where "<module>/version" files
// are found ("/sys/module" on the machine). Null when libpci cannot read the source.
std::unique_ptr<DisplayAdapterList> open_pci_display_adapter_list(const std::string& dump_file,
                                                                  const std::string& module_root,
                                                                  int32_t* error);

// The version a kernel module reports in module_root/<module>/version (first line, blanks
// trimmed); empty when it reports none.
std::string kernel_module_version(const std::string& module_root, const std::string& module);

}  // namespace orvix::os
