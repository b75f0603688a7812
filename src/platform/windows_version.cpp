#include "platform/windows_version.h"

#include <cstdio>
#include <cstring>

#include "eventlog/event_log.h"
#include "os/system_facts.h"
#include "platform/text_conversion.h"

namespace orvix::platform {
namespace {

constexpr uint8_t kWorkstation = 1;

// Windows 5.x is named alike by both services.
const char* windows_5_name(uint32_t minor, const VersionMetrics& metrics) {
    switch (minor) {
        case 2:
            return metrics.server_r2 != 0 ? "Windows Server 2003 R2" : "Windows Server 2003";
        case 1:
            if (metrics.media_center != 0) return "Windows XP Media Center Edition";
            if (metrics.starter != 0) return "Windows XP Starter Edition";
            if (metrics.tablet_pc != 0) return "Windows XP Tablet PC Edition";
            return "Windows XP";
        case 0:
            return "Windows 2000";
        default:
            return nullptr;
    }
}

// Windows 6.x workstations and the 6.0 and 6.1 servers; null for 6.2 and 6.3 servers
// and any other minor version.
const char* windows_6_name(uint32_t minor, bool workstation) {
    switch (minor) {
        case 3:
            return workstation ? "Windows 8.1" : nullptr;
        case 2:
            return workstation ? "Windows 8" : nullptr;
        case 1:
            return workstation ? "Windows 7" : "Windows Server 2008 R2";
        case 0:
            return workstation ? "Windows Vista" : "Windows Server 2008";
        default:
            return nullptr;
    }
}

}  // namespace

const char* windows_version_line_name(uint32_t major, uint32_t minor, uint32_t build, uint8_t product_type,
                                      const VersionMetrics& metrics) {
    static const char kUnknown[] = "Unknown version of Windows";
    const bool workstation = product_type == kWorkstation;
    if (major >= 10 && minor == 0 && build >= 22000 && workstation) return "Windows 11";
    if (major == 10) {
        if (minor != 0) return kUnknown;
        if (workstation) return "Windows 10";
        if (build < 17763) return "Windows Server 2016";
        if (build < 20348) return "Windows Server 2019";
        return "Windows Server 2022";
    }
    const char* name = nullptr;
    if (major == 6) name = windows_6_name(minor, workstation);
    if (major == 5) name = windows_5_name(minor, metrics);
    return name != nullptr ? name : kUnknown;
}

const char* windows_pair_name(uint32_t major, uint32_t minor, uint8_t product_type,
                              const VersionMetrics& metrics) {
    const bool workstation = product_type == kWorkstation;
    if (major == 10) {
        if (minor != 0) return nullptr;
        return workstation ? "Windows 10" : "Windows Server 2016";
    }
    if (major == 6) return windows_6_name(minor, workstation);
    if (major == 5) return windows_5_name(minor, metrics);
    return nullptr;
}

const char* windows_edition_name(uint32_t product_type) {
    struct Edition {
        uint32_t type;
        const char* text;
    };
    // GetProductInfo's product types (PRODUCT_* of the Windows SDK) that have a name here.
    static constexpr Edition kEditions[] = {
        {1, "Ultimate Edition"},
        {2, "Home Basic Edition"},
        {3, "Home Premium Edition"},
        {4, "Enterprise Edition"},
        {6, "Business Edition"},
        {7, "Standard Edition"},
        {8, "Datacenter Edition"},
        {9, "Small Business Server"},
        {10, "Enterprise Edition"},
        {11, "Starter Edition"},
        {12, "Datacenter Edition (core installation)"},
        {13, "Standard Edition (core installation)"},
        {14, "Enterprise Edition (core installation)"},
        {15, "Enterprise Edition for Itanium-based Systems"},
        {17, "Web Server Edition"},
        {18, "Cluster Server Edition"},
        {25, "Small Business Server Premium Edition"},
        {48, "Professional"},
    };
    for (const Edition& e : kEditions) {
        if (e.type == product_type) return e.text;
    }
    return nullptr;
}

namespace {

// Cuts UTF-8 text to at most size bytes without splitting a character.
void cut_utf8(std::string& text, size_t size) {
    if (text.size() <= size) return;
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
    text.resize(size);
}

VersionMetrics read_metrics(const os::SystemFacts& facts, uint32_t major) {
    VersionMetrics metrics;
    if (major != 5) return metrics;  // only 5.x editions are told apart by them
    metrics.server_r2 = facts.system_metric(os::kMetricServerR2);
    metrics.media_center = facts.system_metric(os::kMetricMediaCenter);
    metrics.starter = facts.system_metric(os::kMetricStarter);
    metrics.tablet_pc = facts.system_metric(os::kMetricTabletPc);
    return metrics;
}

// The edition text GetProductInfo gives for this version, or null.
const char* edition(const os::SystemFacts& facts, const os::VersionRecord& v) {
    if (v.major < 6) return nullptr;
    uint32_t type = 0;
    if (!facts.product_info(v.major, v.minor, v.service_pack_major, v.service_pack_minor, &type))
        return nullptr;
    return windows_edition_name(type);
}

}  // namespace
}  // namespace orvix::platform

int32_t vorn_util_get_windows_version(char* buffer, uint32_t size) {
    using namespace orvix;
    const os::SystemFacts& facts = os::system_facts();
    os::VersionRecord v;
    if (!facts.version(&v)) vorn_event_assert(VORN_STATUS_FAILURE, "vorn_util_get_windows_version", 3010);

    std::string line = !v.system_name.empty()
                           ? v.system_name
                           : platform::windows_version_line_name(v.major, v.minor, v.build, v.product_type,
                                                                 platform::read_metrics(facts, v.major));
    platform::cut_utf8(line, 255);
    if (const char* edition = platform::edition(facts, v)) line.append(" ").append(edition);
    if (!v.service_pack.empty()) {
        // What a failed conversion left in the buffer is still appended.
        char service_pack[128] = {};
        vorn_util_convert_utf8_string_from_wide(v.service_pack.c_str(), service_pack, sizeof service_pack);
        service_pack[sizeof service_pack - 1] = '\0';
        line.append(" ").append(service_pack);
    }

    // The numbers always fit: a name too long for the line is cut, not the line dropped.
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, " (%d.%d build %d)", static_cast<int>(v.major),
                  static_cast<int>(v.minor), static_cast<int>(v.build));
    char result[256];
    const size_t room = sizeof result - 1 - std::strlen(numbers);
    platform::cut_utf8(line, room);
    const int n = std::snprintf(result, sizeof result, "%s%s", line.c_str(), numbers);
    if (n < 0 || static_cast<size_t>(n) >= sizeof result) return 0;
    const auto needed = static_cast<uint32_t>(n) + 1;
    if (buffer == nullptr || size == 0) return static_cast<int32_t>(needed);
    if (needed > size) return 0;
    std::memcpy(buffer, result, needed);
    return 1;
}

namespace orvix {

std::pair<std::string, std::string> getWindowsNameAndVersion() {
    std::string name = "Windows";
    std::string version = "unknown";
    const os::SystemFacts& facts = os::system_facts();
    os::VersionRecord v;
    if (!facts.version(&v)) return {name, version};

    version = std::to_string(v.major) + "." + std::to_string(v.minor) + " build " + std::to_string(v.build);
    if (!v.system_name.empty()) {
        name = v.system_name;
    } else if (const char* table_name = platform::windows_pair_name(v.major, v.minor, v.product_type,
                                                                    platform::read_metrics(facts, v.major))) {
        name = table_name;
    }
    if (const char* edition = platform::edition(facts, v)) name.append(" ").append(edition);
    if (!v.service_pack.empty()) {
        char service_pack[128] = {};
        if (vorn_util_convert_utf8_string_from_wide(v.service_pack.c_str(), service_pack,
                                                    sizeof service_pack) != 0) {
            name.append(" ").append(service_pack);
        }
    }
    return {name, version};
}

}  // namespace orvix
