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
#include "input_file.h"
#include "json_output.h"
#include "platform/display_adapters.h"
#include "text_output.h"

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

int run_adapters(const std::string& pci_dump, const std::string& filter) {
    if (!pci_dump.empty()) {
        std::string problem;
        if (!check_input_file(pci_dump, &problem) || !use_pci_dump(pci_dump, &problem)) {
            std::fprintf(stderr, "orvix-env adapters: %s\n", problem.c_str());
            return 2;
        }
    }
    try {
        const auto all = orvix::listDisplayAdapters();
        if (json_output()) {
            const auto [name, version] = orvix::getDisplayAdapterInfo(filter);
            return print_json_document(all, filter, name, version);
        }
        std::printf("%-9s  %-16s  %s\n", "id", "driver version", "name");
        for (const auto& a : all) {
            std::printf("%s  %-16s  %s\n", adapter_id(a).c_str(),
                        a.software_renderer ? "(software)" : printable(a.driver_version, false).c_str(),
                        printable(a.name, false).c_str());
        }
        if (all.empty()) std::printf("(no display adapters)\n");
        const auto [name, version] = orvix::getDisplayAdapterInfo(filter);
        if (name.empty()) {
            std::printf("\nno adapter matches \"%s\" (the software renderer is never selected)\n",
                        printable(filter).c_str());
            return 1;
        }
        std::printf("\n\"%s\" selects: %s (driver version %s)\n", printable(filter).c_str(),
                    printable(name, false).c_str(), printable(version, false).c_str());
        return 0;
    } catch (const std::exception& e) {
        if (!pci_dump.empty()) {
            // The layer names the Windows call it would have made; the dump is what failed.
            std::fprintf(stderr,
                         "orvix-env adapters: libpci could not read the adapters from the dump %s (the layer "
                         "reports \"%s\")\n",
                         printable(pci_dump, false).c_str(), printable(e.what(), false).c_str());
            return 2;
        }
        std::fprintf(stderr, "orvix-env adapters: %s (the system cannot list its display adapters)\n",
                     printable(e.what(), false).c_str());
        return 1;
    }
}

std::function<int()> declare_adapters(CLI::App& command) {
    auto dump = std::make_shared<std::string>();
    auto filter = std::make_shared<std::string>();
    command.add_option("--pci-dump", *dump, "read the PCI display controllers from `lspci -x` output (Linux only)")
        ->type_name("FILE");
    command.add_option("FILTER", *filter, "a case-sensitive part of the adapter's name");
    return [dump, filter] { return run_adapters(*dump, *filter); };
}

ORVIX_ENV_COMMAND(adapters, "adapters",
                  "the display adapters with their driver versions, and the one FILTER selects "
                  "(--pci-dump: read the PCI display controllers from `lspci -x` output, Linux only)",
                  declare_adapters);

}  // namespace orvix_env
