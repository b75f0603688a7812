#include "config/settings_from_file.h"

#include <fmt/format.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/settings_catalogue.h"
#include "eventlog/event_log.h"
#include "os/file_watcher.h"
#include "platform/text_conversion.h"

namespace orvix::config::internal {
namespace {

bool is_quote(char c) { return c == '"' || c == '\''; }

// The path as the standard library wants it: the layer's paths are UTF-8, which Windows
// would otherwise read in the ANSI code page.
std::filesystem::path file_system_path(const char* utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8)));
}

}  // namespace

std::optional<ConfigItem> parse_config_line(std::string_view raw) {
    std::string line = strip_spaces(std::string(raw));
    if (line.empty()) return std::nullopt;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (line.empty()) return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) return std::nullopt;

    ConfigItem item{strip_spaces(line.substr(0, equals)), strip_spaces(line.substr(equals + 1))};
    if (item.name.empty()) return std::nullopt;
    std::string& value = item.value;
    while (!value.empty() && is_quote(value.back())) value.pop_back();
    size_t lead = 0;
    while (lead < value.size() && is_quote(value[lead])) ++lead;
    value.erase(0, lead);
    return item;
}

bool read_config_number(const std::string& value, uint32_t* number) {
    std::istringstream in(value);
    uint32_t n = 0;
    in >> n;
    const bool read = !in.fail();
    if (number != nullptr) *number = read ? n : 0;
    return read;
}

ConfigItemConversion convert_config_item(const ConfigItem& item) {
    ConfigItemConversion c;
    const uint32_t index =
        item.name.find('\0') == std::string::npos ? get_entry_index(item.name.c_str()) : ENV_INDEX_NOT_FOUND;
    if (index == ENV_INDEX_NOT_FOUND) {
        c.kind = ConfigItemConversion::Kind::kNotInCatalogue;
        c.number_read = read_config_number(item.value, &c.number);
        c.value = SettingValue::of_text(item.value);
        return c;
    }
    const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
    if (row.value_class == ENV_CLASS_NUMBER) {
        c.kind = ConfigItemConversion::Kind::kNumber;
        c.number_read = read_config_number(item.value, &c.number);
        c.value = SettingValue::of_number(c.number);
    } else if (row.value_class == ENV_CLASS_TEXT) {
        c.kind = ConfigItemConversion::Kind::kText;
        c.value = SettingValue::of_text(item.value);
    } else {
        c.kind = ConfigItemConversion::Kind::kUnsupportedClass;
    }
    return c;
}

SettingsFromFile::SettingsFromFile(const char* path) {
    if (path != nullptr) {
        size_t n = std::strlen(path);
        if (n > kPathSize - 1) n = kPathSize - 1;
        std::memcpy(path_, path, n);
        path_[n] = '\0';
    }
}

orvix::os::FileStamp SettingsFromFile::current_stamp() const {
    orvix::os::FileStamp stamp;
    std::u16string wide;
    if (path_[0] == '\0' || vorn_util_create_wide_string_from_utf8(path_, &wide) != VORN_STATUS_SUCCESS)
        return stamp;
    orvix::os::file_stamp(wide, &stamp);
    return stamp;
}

bool SettingsFromFile::has_changes() { return !(current_stamp() == recorded_); }

void SettingsFromFile::refresh_timestamp() { recorded_ = current_stamp(); }

std::unique_ptr<std::istream> SettingsFromFile::load_file() {
    static const char kFunction[] = "orvix::config::internal::SettingsFromFile::load_file";
    auto stream = std::make_unique<std::ifstream>();
    try {
        stream->exceptions(std::ios::failbit | std::ios::badbit);
        stream->open(file_system_path(path_), std::ios::in);
    } catch (const std::exception& e) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "%s: Error reading configuration file %s: %s", kFunction, path_, e.what());
        return nullptr;
    }
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                   "%s: Successfully opened file %s for reading.", kFunction, path_);
    return stream;
}

std::vector<ConfigItem> SettingsFromFile::parse(std::istream& in) {
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                   "%s: Parsing buffer into parameters", "orvix::config::internal::SettingsFromFile::parse");
    std::vector<ConfigItem> items;
    std::string line;
    try {
        while (std::getline(in, line)) {
            if (auto item = parse_config_line(line)) items.push_back(std::move(*item));
        }
    } catch (const std::exception&) {
        // The end of the stream, or a read error (a failing buffer's own exception comes
        // through when bad states raise): the items so far count.
    }
    return items;
}

int32_t SettingsFromFile::process_config(const std::vector<ConfigItem>& items, SettingsMap* settings) {
    static const char kFunction[] = "orvix::config::internal::SettingsFromFile::process_config";
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS, "%s",
                   fmt::format("{} configuration item(s) to apply", items.size()).c_str());
    for (const ConfigItem& item : items) {
        const ConfigItemConversion c = convert_config_item(item);
        switch (c.kind) {
            case ConfigItemConversion::Kind::kNotInCatalogue:
                apply_config_parameter_action(item.name, c.number, c.value.text);
                break;
            case ConfigItemConversion::Kind::kNumber:
                if (!c.number_read) {
                    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                                   "%s: Expected int value for %s parameter, recvd: '%s'.", kFunction,
                                   item.name.c_str(), item.value.c_str());
                }
                [[fallthrough]];
            case ConfigItemConversion::Kind::kText:
                handed_over_names_.push_back(item.name);
                if (settings != nullptr) settings->emplace(item.name, c.value);
                break;
            case ConfigItemConversion::Kind::kUnsupportedClass:
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                               "%s: Unknown type for %s parameter, recvd: '%s'.", kFunction,
                               item.name.c_str(), item.value.c_str());
                break;
        }
    }
    return VORN_STATUS_SUCCESS;
}

SettingsMap SettingsFromFile::load() {
    recorded_ = current_stamp();
    std::unique_ptr<std::istream> stream = load_file();
    if (!stream) return {};
    SettingsMap settings;
    const std::vector<ConfigItem> items = parse(*stream);
    if (process_config(items, &settings) != 0) return {};
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_SUCCESS,
                   "Configuration file %s loaded", path_);
    return settings;
}

int32_t SettingsFromFile::reload_into(SettingsMap* merged, RemovedNames* removed) {
    if (merged == nullptr || removed == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    refresh_timestamp();
    const std::vector<std::string> previous = handed_over_names_;
    handed_over_names_.clear();
    std::unique_ptr<std::istream> stream = load_file();
    if (!stream) return VORN_STATUS_FAILURE;
    process_config(parse(*stream), merged);
    for (const auto& name : collect_removed(previous, *merged, removed)) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_DEBUG, VORN_STATUS_SUCCESS,
                       "Setting parameter %s no longer exist in configuration file %s", name.c_str(), path_);
    }
    return VORN_STATUS_SUCCESS;
}

SettingsMap SettingsFromFile::current_values() const {
    SettingsMap settings;
    std::ifstream in(file_system_path(path_));
    std::string line;
    while (in && std::getline(in, line)) {
        const std::optional<ConfigItem> item = parse_config_line(line);
        if (!item) continue;
        const ConfigItemConversion c = convert_config_item(*item);
        if (c.kind == ConfigItemConversion::Kind::kNumber || c.kind == ConfigItemConversion::Kind::kText) {
            settings.emplace(item->name, c.value);
        }
    }
    return settings;
}

}  // namespace orvix::config::internal
