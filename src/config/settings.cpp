#include "config/settings.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <thread>

#include "eventlog/event_log.h"

namespace orvix::config::internal {
namespace {

std::atomic<StartDelaySleeper> g_sleeper{nullptr};

struct LogLevelName {
    const char* name;
    uint32_t category;
    const char* message;
};

// The non-catalogue names that set a category's log threshold.
constexpr LogLevelName kLogLevelNames[] = {
    {"orvix.vorn_event_cat_mgmt_ddc.log_level", VORN_EVENT_CAT_MGMT_DDC,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_DDC to %d."},
    {"orvix.vorn_event_cat_mgmt_hda.log_level", VORN_EVENT_CAT_MGMT_HDA,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_HDA to %d."},
    {"orvix.vorn_event_cat_mgmt_img.log_level", VORN_EVENT_CAT_MGMT_IMG,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_IMG to %d."},
    {"orvix.vorn_event_cat_img_frontend.log_level", VORN_EVENT_CAT_IMG_FRONTEND,
     "%s: Setting log level for VORN_EVENT_CAT_IMG_FRONTEND to %d."},
    {"orvix.vorn_event_cat_soft_usb.log_level", VORN_EVENT_CAT_SOFT_USB,
     "%s: Setting log level for VORN_EVENT_CAT_SOFT_USB to %d."},
    {"orvix.vorn_event_cat_mgmt_usb.log_level", VORN_EVENT_CAT_MGMT_USB,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_USB to %d."},
    {"orvix.vorn_event_cat_mgmt_kmp.log_level", VORN_EVENT_CAT_MGMT_KMP,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_KMP to %d."},
    {"orvix.vorn_event_cat_mgmt_vchan.log_level", VORN_EVENT_CAT_MGMT_VCHAN,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_VCHAN to %d."},
    {"orvix.vorn_event_cat_mgmt_schan.log_level", VORN_EVENT_CAT_MGMT_SCHAN,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_SCHAN to %d."},
    {"orvix.vorn_event_cat_mgmt_ssig.log_level", VORN_EVENT_CAT_MGMT_SSIG,
     "%s: Setting log level for VORN_EVENT_CAT_MGMT_SSIG to %d."},
};

void sleep_ms(uint32_t milliseconds) {
    if (StartDelaySleeper sleeper = g_sleeper.load()) {
        sleeper(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace

SettingValue SettingValue::of_number(uint32_t number) {
    SettingValue v;
    v.type = kSettingNumber;
    v.number = number;
    return v;
}

SettingValue SettingValue::of_text(const char* text) {
    SettingValue v;
    v.type = kSettingText;
    if (text != nullptr) {
        size_t n = std::strlen(text);
        if (n > kSettingTextSize - 1) n = kSettingTextSize - 1;
        std::memcpy(v.text, text, n);
        v.text[n] = '\0';
    }
    return v;
}

bool SettingValue::operator==(const SettingValue& other) const {
    if (type != other.type) return false;
    if (type == kSettingText) return std::strcmp(text, other.text) == 0;
    return number == other.number;
}

Settings::~Settings() = default;

int32_t Settings::apply_config_parameter_action(const std::string& name, uint32_t number,
                                                const std::string&) {
    static const char kFunction[] = "orvix::config::internal::Settings::apply_config_parameter_action";
    for (const auto& entry : kLogLevelNames) {
        if (name != entry.name) continue;
        const int32_t level = number < 6 ? static_cast<int32_t>(number) : VORN_EVENT_LEVEL_DEBUG;
        const int32_t status = vorn_event_set_category_level(entry.category, level);
        vorn_event_log(entry.category, VORN_EVENT_LEVEL_CRITICAL, status, entry.message, kFunction, level);
        return status;
    }
    if (name == "orvix.start_delay_time") {
        const uint32_t seconds = number < kMaxStartDelaySeconds ? number : kMaxStartDelaySeconds;
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                       "%s: Delaying start for %d seconds.", kFunction, static_cast<int>(seconds));
        sleep_ms(seconds * 1000);
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                       "%s: Delay complete.", kFunction);
    }
    return VORN_STATUS_SUCCESS;
}

std::string describe_config_parameter_action(const std::string& name, uint32_t number) {
    for (const auto& entry : kLogLevelNames) {
        if (name != entry.name) continue;
        const int32_t level = number < 6 ? static_cast<int32_t>(number) : VORN_EVENT_LEVEL_DEBUG;
        return std::string("sets the log level of VORN_EVENT_CAT_") +
               vorn_event_category_name(entry.category) + " to " + std::to_string(level);
    }
    if (name == "orvix.start_delay_time") {
        const uint32_t seconds = number < kMaxStartDelaySeconds ? number : kMaxStartDelaySeconds;
        return "delays the start by " + std::to_string(seconds) + " seconds";
    }
    return {};
}

std::vector<std::string> config_parameter_action_names() {
    std::vector<std::string> names;
    for (const auto& entry : kLogLevelNames) names.emplace_back(entry.name);
    names.emplace_back("orvix.start_delay_time");
    return names;
}

std::vector<std::string> Settings::collect_removed(const std::vector<std::string>& previous,
                                                   const SettingsMap& merged, RemovedNames* removed) const {
    std::vector<std::string> gone;
    for (const auto& name : previous) {
        if (merged.count(name) != 0 ||
            std::find(handed_over_names_.begin(), handed_over_names_.end(), name) != handed_over_names_.end()) {
            continue;
        }
        if (std::find(removed->begin(), removed->end(), name) == removed->end()) removed->push_back(name);
        gone.push_back(name);
    }
    return gone;
}

void set_start_delay_sleeper(StartDelaySleeper sleeper) { g_sleeper.store(sleeper); }

std::string strip_spaces(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    return text.substr(begin, end - begin);
}

}  // namespace orvix::config::internal
