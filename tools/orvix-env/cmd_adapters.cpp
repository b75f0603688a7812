// orvix-env adapters [--pci-dump FILE] [FILTER]: every display adapter the system lists,
// with its driver version, and the one FILTER selects (the first that is not the software
// renderer and whose name contains FILTER, case-sensitive). Exit status 1 when the system
// cannot list its adapters or none is selected (with --json: "selected" is null).
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "adapter_source.h"
#include "commands.h"
#include "json_output.h"
#include "platform/display_adapters.h"

namespace orvix_env {
namespace {

std::string adapter_id(const orvix::ListedDisplayAdapter& a) {
    char id[16];
    std::snprintf(id, sizeof id, "%04x:%04x", a.vendor_id, a.device_id);
    return id;
}

int print_json_document(const std::vector<orvix::ListedDisplayAdapter>& all, const std::string& filter,
                        const std::string& name, const std::string& version) {
    Json adapters = Json::array();
    for (const auto& a : all) {
        adapters.push_back({{"id", adapter_id(a)},
                            {"name", a.name},
                            {"software_renderer", a.software_renderer},
                            {"driver_version", a.software_renderer ? Json() : Json(a.driver_version)}});
    }
    print_json({{"adapters", std::move(adapters)},
                {"filter", filter},
                {"selected", name.empty() ? Json() : Json{{"name", name}, {"driver_version", version}}}});
    return name.empty() ? 1 : 0;
}

}  // namespace

int run_adapters(int argc, char** argv) {
    int next = 0;
    if (next < argc && std::string_view(argv[next]) == "--pci-dump") {
        if (next + 1 >= argc) {
            std::fprintf(stderr, "usage: orvix-env adapters [--pci-dump FILE] [FILTER]\n");
            return 2;
        }
        std::string problem;
        if (!use_pci_dump(argv[next + 1], &problem)) {
            std::fprintf(stderr, "orvix-env adapters: %s\n", problem.c_str());
            return 2;
        }
        next += 2;
    }
    if (argc - next > 1) {
        std::fprintf(stderr, "usage: orvix-env adapters [--pci-dump FILE] [FILTER]\n");
        return 2;
    }
    const std::string filter = next < argc ? argv[next] : "";
    try {
        const auto all = orvix::listDisplayAdapters();
        if (json_output()) {
            const auto [name, version] = orvix::getDisplayAdapterInfo(filter);
            return print_json_document(all, filter, name, version);
        }
        std::printf("%-9s  %-16s  %s\n", "id", "driver version", "name");
        for (const auto& a : all) {
            std::printf("%s  %-16s  %s\n", adapter_id(a).c_str(),
                        a.software_renderer ? "(software)" : a.driver_version.c_str(), a.name.c_str());
        }
        if (all.empty()) std::printf("(no display adapters)\n");
        const auto [name, version] = orvix::getDisplayAdapterInfo(filter);
        if (name.empty()) {
            std::printf("\nno adapter matches \"%s\" (the software renderer is never selected)\n", filter.c_str());
            return 1;
        }
        std::printf("\n\"%s\" selects: %s (driver version %s)\n", filter.c_str(), name.c_str(), version.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvix-env adapters: %s (the system cannot list its display adapters)\n", e.what());
        return 1;
    }
}

ORVIX_ENV_COMMAND(adapters, "adapters", "[--pci-dump FILE] [FILTER]",
                  "the display adapters with their driver versions, and the one FILTER selects "
                  "(--pci-dump: read the PCI display controllers from `lspci -x` output, Linux only)",
                  run_adapters);

}  // namespace orvix_env
