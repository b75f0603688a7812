#include "config/settings_for_imaging.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "config/imaging_parameters.h"
#include "eventlog/event_log.h"
#include "os/file_system.h"

namespace orvix::config::internal {
namespace {

// The leading number of text as scanf's "%d" reads it: blanks skipped, an optional sign,
// then digits up to the first other character. A number beyond 32 bits saturates, so it
// is refused by every parameter's bounds instead of wrapping into them.
bool scan_int(const char* text, int32_t* number) {
    const char* p = text;
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= std::numeric_limits<int32_t>::max()) value = value * 10 + (*p - '0');
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
    *number = static_cast<int32_t>(value);
    return true;
}

}  // namespace

const char* SettingsForImaging::default_path() {
    static const std::string path =
        std::string("..") + static_cast<char>(orvix::os::path_separator()) + "img_settings.cfg";
    return path.c_str();
}

SettingsForImaging::SettingsForImaging(const char* path)
    : SettingsFromFile(path != nullptr ? path : default_path()) {}

SettingsForImaging::~SettingsForImaging() = default;

int32_t SettingsForImaging::process_config(const std::vector<ConfigItem>& items, SettingsMap*) {
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                   "================= Configuration parameters =======================");
    for (const ConfigItem& item : items) set_settings_parameter(item.name, item.value);
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                   "==================================================================");
    return VORN_STATUS_SUCCESS;
}

int32_t SettingsForImaging::set_settings_parameter(const std::string& name, const std::string& value) {
    const ImagingParameterRow* row = find_imaging_parameter(name);
    if (row == nullptr) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                       "%s: Parameter Name '%s' not recognized.", kSetFunction, name.c_str());
        return VORN_STATUS_FAILURE;
    }
    switch (row->kind) {
        case ImagingParameterKind::kNumber: {
            int32_t number = 0;
            if (value.empty() || !scan_int(value.c_str(), &number)) {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                               "%s: Expected int value for %s parameter, recvd: '%s'", kSetFunction,
                               name.c_str(), value.c_str());
                return VORN_STATUS_FAILURE;
            }
            if (number < row->minimum || number > row->maximum) {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                               "%s: Error in input parameter %s. Int value %d is not in [%d, %d] range",
                               kSetFunction, row->name, static_cast<int>(number),
                               static_cast<int>(row->minimum), static_cast<int>(row->maximum));
                return VORN_STATUS_FAILURE;
            }
            *static_cast<int32_t*>(row->target) = number;
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "%s: setting %s = %d", kSetFunction, row->name, static_cast<int>(number));
            break;
        }
        case ImagingParameterKind::kText: {
            char* text = static_cast<char*>(row->target);
            const size_t n = strnlen(value.c_str(), kImagingTextSize - 1);
            std::memcpy(text, value.c_str(), n);
            text[n] = '\0';
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "%s: setting %s = %s", kSetFunction, row->name, text);
            break;
        }
        case ImagingParameterKind::kFlag: {
            uint8_t flag = 0;
            if (value == "0" || value == "false") {
                flag = 0;
            } else if (value == "1" || value == "true") {
                flag = 1;
            } else {
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                               "%s: Expected boolean value for %s parameter, recvd: '%s'", kSetFunction,
                               name.c_str(), value.c_str());
                return VORN_STATUS_FAILURE;
            }
            *static_cast<uint8_t*>(row->target) = flag;
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "%s: setting %s = %d", kSetFunction, row->name, static_cast<int>(flag));
            break;
        }
    }
    return VORN_STATUS_SUCCESS;
}

}  // namespace orvix::config::internal
