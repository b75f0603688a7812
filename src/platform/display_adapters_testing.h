// Test hook of the display adapters: a scripted list in place of the system's.
#pragma once

#include <functional>
#include <memory>

#include "os/display_adapters.h"

namespace orvix::testing {

// Opens the list instead of the system; null restores the system's list. The function
// returns null (with *error set) to act as a system that cannot list adapters.
using DisplayAdapterListOpener = std::function<std::unique_ptr<os::DisplayAdapterList>(int32_t* error)>;
void setDisplayAdapterListOpener(DisplayAdapterListOpener opener);

}  // namespace orvix::testing
