// orvix-env adl: loads the AMD display library as the agent does and prints what it
// reports (adapters, connectors, displays, modes) through the TRACE dumps of the ADL
// object. When the library does not load, the loader's lines say why.
#include <cstdio>
#include <map>
#include <memory>
#include <system_error>
#include <vector>

#include "commands.h"
#include "eventlog/event_log.h"
#include "logging/terminal_logger.h"
#include "platform/adl.h"
#include "platform/signature_check.h"

namespace orvix_env {

namespace {

void report(const char* operation, int adapter, const std::error_code& code) {
    if (!code) return;
    std::printf("%s for adapter %d: %s (%s %d)\n", operation, adapter, code.message().c_str(), code.category().name(),
                code.value());
}

}  // namespace

int run_adl(int argc, char**) {
    if (argc != 0) {
        std::fprintf(stderr, "usage: orvix-env adl\n");
        return 2;
    }
    // Static: the ADL instance keeps a clone that writes through this logger until exit.
    static orvix::logging::TerminalLogger root(VORN_EVENT_CAT_VIDEO_DRIVER, 4, false);
    std::shared_ptr<orvix::iADL> adl;
    try {
        adl = orvix::getAdlInstance(root.clone());
    } catch (const std::system_error& e) {
        std::printf("The AMD display library is not available: %s (%s %d)\n", e.what(), e.code().category().name(),
                    e.code().value());
        if (!orvix::signatureVerificationAvailable()) {
            std::printf("This platform cannot verify Authenticode signatures, so the signed loader refuses every "
                        "library.\n");
        }
        return 1;
    }

    ADLVersionsInfoX2 versions{};
    if (!adl->getGraphicsVersions(versions)) {
        std::printf("driver %.*s, software %.*s\n", ADL_MAX_PATH, versions.strDriverVer, ADL_MAX_PATH,
                    versions.strCrimsonVersion);
    }
    std::map<int32_t, AdapterInfo> adapters;
    const std::error_code listed = adl->getAdaptersInfo(adapters);
    if (listed) {
        std::printf("no AMD adapters: %s (%s %d)\n", listed.message().c_str(), listed.category().name(),
                    listed.value());
        return 1;
    }
    for (const auto& [position, info] : adapters) {
        const int index = info.iAdapterIndex;
        orvix::AdapterProps props;
        report("getAdapterProps", index, adl->getAdapterProps(index, props));
        std::vector<ADLDisplayInfo> displays;
        report("getAdapterDisplays", index, adl->getAdapterDisplays(index, displays));
        for (const ADLDisplayInfo& display : displays) {
            std::vector<ADLMode> modes;
            report("getDisplayModes", index, adl->getDisplayModes(index, display.displayID.iDisplayLogicalIndex, modes));
        }
    }
    return 0;
}

ORVIX_ENV_COMMAND(adl, "adl", "",
                  "load the AMD display library and dump its adapters, connectors, displays and modes (or say why "
                  "it did not load)",
                  run_adl);

}  // namespace orvix_env
