#include "platform/display_adapters.h"

#include <cstring>
#include <mutex>
#include <stdexcept>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/display_adapters_testing.h"
#include "platform/nvidia_interface.h"
#include "platform/text_conversion.h"

namespace orvix {
namespace {

const char kUnknown[] = "unknown";

std::mutex g_opener_mutex;
testing::DisplayAdapterListOpener g_opener;
testing::AdlInstanceSource g_adl_source;

std::unique_ptr<os::DisplayAdapterList> open_list() {
    int32_t error = 0;
    std::unique_ptr<os::DisplayAdapterList> list;
    {
        std::lock_guard<std::mutex> lock(g_opener_mutex);
        list = g_opener ? g_opener(&error) : os::open_display_adapter_list(&error);
    }
    if (list == nullptr) throw std::runtime_error("Failed to create DXGI factory!");
    return list;
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool is_software_renderer(const std::string& name) { return contains(name, "Microsoft Basic"); }

struct Adapter {
    std::string name;
    std::string listed_version;
};

// The first adapter that passes the filter; an empty name when none does.
Adapter find_adapter(const std::string& filter) {
    std::unique_ptr<os::DisplayAdapterList> list = open_list();
    os::DisplayAdapterEntry entry;
    for (uint32_t index = 0; list->adapter(index, &entry); ++index) {
        std::string name = text::utf16_to_utf8(entry.description);
        if (is_software_renderer(name)) continue;
        if (filter.empty() || name.find(filter) != std::string::npos) {
            return {std::move(name), std::move(entry.driver_version)};
        }
    }
    return {};
}

std::string nvidia_driver_version() {
    if (nvidia::nvapiInitialize() != nvidia::kOk) return {};
    uint32_t version = 0;
    char branch[nvidia::kShortStringSize] = {};
    if (nvidia::nvapiGetDriverAndBranchVersion(&version, branch) != nvidia::kOk) return {};
    return std::to_string(version);
}

std::shared_ptr<iADL> adl_instance() {
    testing::AdlInstanceSource source;
    {
        std::lock_guard<std::mutex> lock(g_opener_mutex);
        source = g_adl_source;
    }
    auto logger = std::make_unique<logging::NOPLogger>();
    return source ? source(std::move(logger)) : getAdlInstance(std::move(logger));
}

// The record's driver text is taken when the call succeeded or only warned (statuses 1 to
// 4: the library did its work and adds a note, such as a pending restart); a critical
// status leaves the record unfilled. An empty text is no version either.
std::string amd_driver_version() {
    try {
        const std::shared_ptr<iADL> adl = adl_instance();
        if (adl == nullptr) return {};
        ADLVersionsInfoX2 versions{};
        const std::error_code code = adl->getGraphicsVersions(versions);
        if (code && code != AdlSeverity::Warning) return {};
        return std::string(adlText(versions.strDriverVer));
    } catch (const std::exception&) {
        return {};  // the library is missing, unsigned or refuses a context
    }
}

// The vendor is told by the name alone, NVIDIA first: a name with both words is NVIDIA's.
std::string driver_version(const Adapter& adapter) {
    std::string version;
    if (contains(adapter.name, "NVIDIA")) {
        version = nvidia_driver_version();
    } else if (contains(adapter.name, "AMD")) {
        version = amd_driver_version();
    }
    if (version.empty()) version = adapter.listed_version;
    return version.empty() ? kUnknown : version;
}

}  // namespace

std::string findDisplayAdapterName(const std::string& filter) { return find_adapter(filter).name; }

std::pair<std::string, std::string> getDisplayAdapterInfo(const std::string& filter) {
    Adapter adapter = find_adapter(filter);
    std::string version = driver_version(adapter);
    return {std::move(adapter.name), std::move(version)};
}

std::vector<ListedDisplayAdapter> listDisplayAdapters() {
    std::unique_ptr<os::DisplayAdapterList> list = open_list();
    std::vector<ListedDisplayAdapter> all;
    os::DisplayAdapterEntry entry;
    for (uint32_t index = 0; list->adapter(index, &entry); ++index) {
        ListedDisplayAdapter a;
        a.name = text::utf16_to_utf8(entry.description);
        a.vendor_id = entry.vendor_id;
        a.device_id = entry.device_id;
        a.software_renderer = is_software_renderer(a.name);
        if (!a.software_renderer) a.driver_version = driver_version({a.name, entry.driver_version});
        all.push_back(std::move(a));
    }
    return all;
}

namespace testing {

void setDisplayAdapterListOpener(DisplayAdapterListOpener opener) {
    std::lock_guard<std::mutex> lock(g_opener_mutex);
    g_opener = std::move(opener);
}

void setAdlInstanceSource(AdlInstanceSource source) {
    std::lock_guard<std::mutex> lock(g_opener_mutex);
    g_adl_source = std::move(source);
}

}  // namespace testing
}  // namespace orvix
