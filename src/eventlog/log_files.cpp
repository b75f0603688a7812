// Folder services, pruning and the opening of the log file with its rotation setting.
#include "eventlog/log_files.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "eventlog/event_log.h"
#include "os/file_system.h"
#include "os/registry.h"
#include "platform/text_conversion.h"

namespace {

constexpr size_t kMaxLogFolderChars = 258;

std::u16string with_separator(std::u16string folder) {
    if (folder.empty() || !orvix::os::is_path_separator(folder.back())) folder.push_back(orvix::os::path_separator());
    return folder;
}

// Joins components with the platform separator.
std::u16string join(std::initializer_list<const char16_t*> parts) {
    std::u16string out;
    for (const char16_t* p : parts) {
        out += p;
        out.push_back(orvix::os::path_separator());
    }
    return out;
}

// Creates a folder (ending in a separator) one component at a time, skipping the root
// ("C:\\" or "/"); a component that exists is fine, the first other failure stops.
void create_folder_by_components(const std::u16string& folder) {
    for (size_t i = 1; i < folder.size(); ++i) {
        if (!orvix::os::is_path_separator(folder[i])) continue;
        if (i == 2 && folder[1] == u':') continue;
        uint32_t error = orvix::os::create_directory(folder.substr(0, i + 1));
        if (error != 0 && error != orvix::os::kErrorAlreadyExists) return;
    }
}

}  // namespace

std::u16string vorn_util_get_log_folder() {
    std::u16string folder;
    if (orvix::os::known_folder_program_data(&folder)) {
        folder = with_separator(folder) + join({u"Quillon", u"OrvixAgent", u"logs"});
    } else if (!orvix::os::temp_folder(&folder) && !orvix::os::current_directory(&folder)) {
        return {};
    }
    folder = with_separator(folder);
    if (folder.size() - 1 > kMaxLogFolderChars) return {};
    return folder;
}

int32_t vorn_util_get_log_folder_utf8(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return VORN_STATUS_MISSING_ARGUMENT;
    std::u16string folder = vorn_util_get_log_folder();
    buffer[0] = '\0';
    if (folder.empty()) return VORN_STATUS_EMPTY;
    if (vorn_util_convert_utf8_string_from_wide(folder.c_str(), buffer, size) == 0) {
        buffer[0] = '\0';
        return VORN_STATUS_FAILURE;
    }
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_util_get_folder(char* buffer, uint32_t size, int32_t kind) {
    if (buffer == nullptr || size == 0) return VORN_STATUS_FAILURE;
    std::string folder;
    if (kind == FOLDER_TEMP) {
        std::u16string temp;
        if (!orvix::os::temp_folder(&temp)) return VORN_STATUS_FAILURE;
        folder = orvix::text::system_utf16_to_utf8(temp);
        if (folder.empty() || folder.size() > 260) return VORN_STATUS_FAILURE;
    } else if (kind == FOLDER_PROGRAM_DATA) {
        std::u16string app_data;
        if (!orvix::os::common_app_data_folder(&app_data)) return VORN_STATUS_FAILURE;
        std::vector<char> utf8(app_data.size() * 3 + 1);
        if (vorn_util_convert_utf8_string_from_wide(app_data.c_str(), utf8.data(),
                                                    static_cast<uint32_t>(utf8.size())) == 0) {
            return VORN_STATUS_FAILURE;  // the conversion logged why
        }
        folder = utf8.data();
        const char sep = static_cast<char>(orvix::os::path_separator());
        if (folder.empty() || !orvix::os::is_path_separator(static_cast<char16_t>(folder.back()))) folder += sep;
        folder += "Quillon";
        folder += sep;
    } else {
        return VORN_STATUS_FAILURE;
    }
    if (!orvix::os::is_path_separator(static_cast<char16_t>(folder.back()))) {
        folder += static_cast<char>(orvix::os::path_separator());
    }
    if (folder.size() >= size) return VORN_STATUS_FAILURE;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);

    if (kind == FOLDER_TEMP) {
        std::u16string wide;
        if (vorn_util_create_wide_string_from_utf8(folder.c_str(), &wide) == VORN_STATUS_SUCCESS &&
            !orvix::os::directory_exists(wide)) {
            create_folder_by_components(wide);
        }
    }
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_util_get_folder_path(char* buffer, uint32_t size, int32_t kind, const char* name) {
    int32_t status = vorn_util_get_folder(buffer, size, kind);
    if (status != VORN_STATUS_SUCCESS || name == nullptr) return status;
    const size_t used = std::strlen(buffer);
    const size_t extra = std::strlen(name);
    if (used + extra >= size) return VORN_STATUS_FAILURE;
    std::memcpy(buffer + used, name, extra + 1);
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_util_build_prune_pattern(char* buffer, uint32_t size, const char* folder, const char* app_name) {
    if (buffer == nullptr || folder == nullptr || app_name == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    int n = std::snprintf(buffer, size, "%s%s*.txt", folder, app_name);
    return (n < 0 || static_cast<uint32_t>(n) >= size) ? VORN_STATUS_FAILURE : VORN_STATUS_SUCCESS;
}

int32_t vorn_util_prune_old_logs(const char* pattern, uint32_t max_age_days) {
    if (pattern == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    std::u16string wide;
    if (vorn_util_create_wide_string_from_utf8(pattern, &wide) != VORN_STATUS_SUCCESS) return VORN_STATUS_INVALID;
    const int64_t cutoff = orvix::os::unix_time_now() - static_cast<int64_t>(max_age_days) * 86400;

    std::vector<orvix::os::FoundFile> found;
    if (orvix::os::find_files(wide, &found) != 0) return VORN_STATUS_INVALID;
    size_t slash = wide.size();
    while (slash > 0 && !orvix::os::is_path_separator(wide[slash - 1])) --slash;
    const std::u16string folder = slash > 0 ? wide.substr(0, slash - 1) : u".";
    for (const auto& f : found) {
        if (f.is_directory || f.last_write_unix >= cutoff) continue;
        std::u16string path = folder + orvix::os::path_separator() + f.name;
        if (path.size() > 1023) continue;
        orvix::os::delete_file(path);
    }
    return VORN_STATUS_SUCCESS;
}

namespace {

// Parses the leading decimal integer of a text as atoi does.
int32_t parse_decimal(const std::u16string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > INT32_MAX) value = INT32_MAX + int64_t{1};
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t get_log_rotation_time() {
    static const char kFunction[] = "get_log_rotation_time";
    using namespace orvix::os;
    RegKey key = 0;
    if (registry_open_key(kHkeyLocalMachine, u"SOFTWARE\\Quillon\\OrvixAgent", kKeyRead, &key) != kErrorSuccess) {
        return 0;
    }
    uint8_t data[1024] = {};
    uint32_t size = sizeof data - sizeof(char16_t);  // keep room for a terminator
    uint32_t type = kRegNone;
    int32_t status = registry_query_value(key, u"OrvixLogRotationTime", &type, data, &size);
    registry_close_key(key);
    if (status != kErrorSuccess) return 0;
    if (type != kRegSz && type != kRegExpandSz) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "%s: Unexpected type %d for LOG_ROTATION_KEY.  Log rotation disabled.", kFunction,
                       static_cast<int>(type));
        return 0;
    }
    std::u16string text(reinterpret_cast<const char16_t*>(data), size / sizeof(char16_t));
    text = text.substr(0, text.find(u'\0'));
    int32_t minutes = parse_decimal(text);
    if (minutes < 0) {
        vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, VORN_STATUS_INVALID,
                       "%s: Invalid value %d for LOG_ROTATION_KEY. Reverting to default (0).", kFunction, minutes);
        return 0;
    }
    vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_INFO, VORN_STATUS_INVALID,
                   "%s: parsed value %d for LOG_ROTATION_KEY.", kFunction, minutes);
    return minutes;
}

}  // namespace

int32_t vorn_util_open_log_file(char* path_out, uint32_t path_size, const char* folder, const char* app_name,
                                const char* session_id, int32_t simple_name, int32_t move_closed_files,
                                orvix::os::FileHandle* handle_out) {
    if (path_out == nullptr || app_name == nullptr || handle_out == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    *handle_out = orvix::os::kInvalidFile;
    if (path_size > 0) path_out[0] = '\0';
    const bool session_counts = session_id != nullptr && session_id[0] != '\0' &&
                                std::strcmp(session_id, VORN_EVENT_NULL_SESSION_ID) != 0;

    std::vector<const char*> components;
    components.push_back(app_name);
    if (!simple_name) {
        for (const char* c : {"%Date", "%Process", "0", "%Unique"}) components.push_back(c);
    }
    if (session_counts) components.push_back(session_id);
    components.push_back("txt");
    components.push_back(nullptr);

    const int32_t rotation = get_log_rotation_time();
    if (vorn_log_rotor_init(rotation, folder != nullptr ? folder : "", components.data(), move_closed_files) != 0) {
        return VORN_STATUS_SUCCESS;
    }
    vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_DEBUG, 0, "%s: Log rotor initialized.",
                   "vorn_util_open_log_file");

    std::vector<char16_t> name(path_size > 0 ? path_size : 1, u'\0');
    orvix::os::FileHandle file = orvix::os::kInvalidFile;
    if (vorn_log_rotor_get_handle(&file, name.data(), static_cast<uint32_t>(name.size())) == 0) {
        if (path_size == 0 || vorn_util_convert_utf8_string_from_wide(name.data(), path_out, path_size) == 0) {
            vorn_event_log(VORN_EVENT_CAT_COMMON, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                           "%s: Unable to extract logging file name from log rotor.  <file_name> will not be set.",
                           "vorn_util_open_log_file");
        }
        *handle_out = file;  // only marks that a file exists; the duplicate is closed here
        orvix::os::close_file(file);
    }
    return VORN_STATUS_SUCCESS;
}
