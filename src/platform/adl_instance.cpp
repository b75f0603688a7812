// The ADL object over the vendor's signed library, and the process's single instance.
// Apart from the portable core so that tests of the core need no loader.
#include "platform/adl.h"

namespace orvix {

ADL::ADL(std::unique_ptr<logging::LoggerBase> logger)
    : ADL(std::move(logger), [](const std::string& name, std::unique_ptr<logging::LoggerBase> loaderLogger) {
          return loadSignedLibrary(name, std::move(loaderLogger), "Advanced Micro Devices", true);
      }) {}

std::shared_ptr<iADL> getAdlInstance(std::unique_ptr<logging::LoggerBase> logger) {
    // A function-local static initialised by a throwing expression stays uninitialised,
    // so a failed construction is tried again by the next call.
    static const std::shared_ptr<iADL> instance = std::make_shared<ADL>(std::move(logger));
    return instance;
}

}  // namespace orvix
