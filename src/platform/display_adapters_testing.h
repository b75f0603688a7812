// Test hooks of the display adapters: a scripted list in place of the system's, and an
// AMD display library object of the test's own.
#pragma once

#include <functional>
#include <memory>

#include "logging/logger.h"
#include "os/display_adapters.h"
#include "platform/adl.h"

namespace orvix::testing {

// Opens the list instead of the system; null restores the system's list. The function
// returns null (with *error set) to act as a system that cannot list adapters.
using DisplayAdapterListOpener = std::function<std::unique_ptr<os::DisplayAdapterList>(int32_t* error)>;
void setDisplayAdapterListOpener(DisplayAdapterListOpener opener);

// Obtains the AMD display library object instead of getAdlInstance; null restores it.
using AdlInstanceSource = std::function<std::shared_ptr<iADL>(std::unique_ptr<logging::LoggerBase> logger)>;
void setAdlInstanceSource(AdlInstanceSource source);

}  // namespace orvix::testing
