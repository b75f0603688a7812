#include "eventlog/system_banner.h"

#include <fmt/format.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/log_files.h"
#include "os/file_system.h"
#include "platform/text_conversion.h"
#include "platform/windows_version.h"

namespace {

constexpr size_t kDescriptionSize = 1024;
constexpr const char kSeparator[] =
    "============================================================================= ";

void info(const char* text) { vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "%s", text); }

const char* architecture_line(uint16_t architecture) {
    switch (architecture) {
        case 0:
            return "Intel or AMD 32 bit\n";
        case 5:
            return "ARM\n";
        case 6:
            return "Itanium\n";
        case 9:
            return "Intel or AMD 64 bit\n";
        default:
            return "";
    }
}

const char* processor_type_line(uint32_t type) {
    switch (type) {
        case 386:
            return "Intel 386\n";
        case 486:
            return "Intel 486\n";
        case 586:
            return "Intel Pentium\n";
        case 2200:
            return "Intel Itanium\n";
        case 8664:
            return "AMD processor\n";
        default:
            return "";
    }
}

// The description as the banner prints it, at most kDescriptionSize - 1 bytes.
std::string system_description() {
    char os_line[256] = {};
    if (vorn_util_get_windows_version(os_line, sizeof os_line) != 1) os_line[0] = '\0';
    const orvix::os::SystemFacts& facts = orvix::os::system_facts();
    const orvix::os::ProcessorInfo processors = facts.processors();

    char head[kDescriptionSize];
    std::snprintf(head, sizeof head, "%s\n%d processors detected\n", os_line,
                  static_cast<int>(processors.count));
    std::string text = head;
    text += architecture_line(processors.architecture);
    text += processor_type_line(processors.processor_type);

    orvix::os::MemoryStatus memory;
    if (!facts.memory(&memory)) memory = {};
    text += fmt::format("{}MB/{}MB of physical memory available\n", memory.available_physical >> 20,
                        memory.total_physical >> 20);
    text += fmt::format("{}MB/{}MB of virtual memory available\n", memory.available_virtual >> 20,
                        memory.total_virtual >> 20);
    if (text.size() > kDescriptionSize - 1) text.resize(kDescriptionSize - 1);
    return text;
}

std::string folder(int32_t kind) {
    char path[260];
    if (vorn_util_get_folder(path, sizeof path, kind) != VORN_STATUS_SUCCESS) return {};
    return path;
}

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

namespace orvix::eventlog {

std::string banner_local_time_line(const os::LocalDateTime& now, int64_t seconds_west) {
    const int64_t offset = seconds_west < 0 ? -seconds_west : seconds_west;
    int64_t hours = offset / 3600;
    int64_t minutes = offset % 3600 / 60;
    if (offset % 60 > 30 && ++minutes == 60) {
        minutes = 0;
        ++hours;
    }
    char text[96];
    std::snprintf(text, sizeof text, "local time %d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", now.year,
                  now.month, now.day, now.hour, now.minute, now.second, now.millisecond,
                  seconds_west > 0 ? '-' : '+', static_cast<int>(hours), static_cast<int>(minutes));
    return text;
}

}  // namespace orvix::eventlog

std::u16string vorn_util_mask_name(const std::u16string& text) {
    if (text.empty()) return {};
    // A surrogate pair is one character: it is kept whole, never split.
    const size_t first = text.size() > 1 && is_high_surrogate(text[0]) && is_low_surrogate(text[1]) ? 2 : 1;
    const size_t n = text.size();
    const size_t last = n > 1 && is_low_surrogate(text[n - 1]) && is_high_surrogate(text[n - 2]) ? 2 : 1;
    return text.substr(0, first) + u"*****" + text.substr(n - last);
}

int32_t vorn_util_get_system_info(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return VORN_STATUS_MISSING_ARGUMENT;
    const std::string text = system_description();
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return VORN_STATUS_SUCCESS;
}

void vorn_util_log_system_info() {
    info("**** System Info");
    const std::string text = system_description();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) info(text.substr(start, end - start).c_str());
        start = end + 1;
    }
    info("**** ");
}

void vorn_util_log_session_user(const char* app_name) {
    const orvix::os::SystemFacts& facts = orvix::os::system_facts();
    std::u16string user;
    uint32_t error = 0;
    if (!facts.session_user(&user, &error)) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, static_cast<int32_t>(error),
                       "Unable to determine username.");
        return;
    }
    if (user.empty()) return;
    std::u16string domain;
    if (!facts.session_domain(&domain, &error)) domain.clear();
    const std::string domain_text = domain.empty() ? std::string(".") : orvix::text::system_utf16_to_utf8(vorn_util_mask_name(domain));
    const std::string user_text = orvix::text::system_utf16_to_utf8(vorn_util_mask_name(user));
    info(kSeparator);
    info(fmt::format("{} running under session ({}\\{})", app_name != nullptr ? app_name : "", domain_text,
                     user_text)
             .c_str());
    info(kSeparator);
}

int32_t vorn_event_write_banner(const char* app_name, int32_t show_system_info, int32_t show_folders) {
    const orvix::os::SystemFacts& facts = orvix::os::system_facts();
    orvix::os::LocalDateTime now;
    int64_t seconds_west = 0;
    if (!facts.local_time(&now) || !facts.time_zone_offset(&seconds_west)) return VORN_STATUS_FAILURE;
    if (app_name == nullptr) app_name = "";

    info(orvix::eventlog::banner_local_time_line(now, seconds_west).c_str());
    vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "-- %s begins.", app_name);
    info("--------------------------");
    if (show_system_info != 0) {
        vorn_util_log_system_info();
        vorn_util_log_session_user(app_name);
    }
    if (show_folders != 0) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "FOLDER_TEMP               = '%s'",
                       folder(FOLDER_TEMP).c_str());
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "FOLDER_PROGRAM_DATA       = '%s'",
                       folder(FOLDER_PROGRAM_DATA).c_str());
    }
    vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, 0, "Process ID = %d",
                   static_cast<int>(orvix::os::current_process_id()));
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_event_write_banner(const vorn_event_init_params* params) {
    if (params == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    const char* app_name =
        params->app_name != nullptr && params->app_name[0] != '\0' ? params->app_name : "unknown_app";
    return vorn_event_write_banner(app_name, params->show_system_info, params->show_folders);
}
