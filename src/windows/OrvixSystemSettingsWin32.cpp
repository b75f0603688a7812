#include "windows/OrvixSystemSettingsWin32.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "OrvixLog/IOrvixLog.h"
#include "config/environment_store.h"
#include "eventlog/event_log.h"
#include "os/registry.h"

namespace orvix {

namespace {

constexpr const char kUnit[] = "src/windows/OrvixSystemSettingsWin32";

// Serialises every read: callers may share one buffer per policy. A function's static,
// so a reader called while other statics are still being constructed finds it ready.
std::mutex& reader_lock() {
    static std::mutex lock;
    return lock;
}

// The "%ls" arguments of the reports (wchar_t is UTF-16 on Windows, wider elsewhere). A
// character the C library cannot convert in the current locale would make it drop the
// whole message, error code included: it becomes "?".
std::wstring wide(const char16_t* text) {
    std::wstring out;
    for (const char16_t* p = text != nullptr ? text : u""; *p != 0; ++p) {
        wchar_t c = static_cast<wchar_t>(*p);
        char bytes[MB_LEN_MAX];
        std::mbstate_t state{};
        if (std::wcrtomb(bytes, c, &state) == static_cast<size_t>(-1)) c = L'?';
        out.push_back(c);
    }
    return out;
}

bool is_blank(char16_t c) { return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'; }

// The first string of the data, without the blanks around it. The registry's size bounds
// the text, so data without a terminator is never read past.
std::u16string stripped_text(const char16_t* data, uint32_t bytes) {
    std::u16string_view text(data, bytes / sizeof(char16_t));
    text = text.substr(0, text.find(u'\0'));
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

}  // namespace

int32_t readGpoSetting(const char16_t* key_path, const char16_t* value_name, char16_t* buffer, uint32_t* size) {
    if (buffer == nullptr) {
        orvixLogError(kUnit, 126, "Invalid setting parameter specified for gpo setting '%ls'",
                      wide(value_name).c_str());
        return 1;
    }
    if (size == nullptr) {
        orvixLogError(kUnit, 132, "Invalid size parameter specified for gpo setting '%ls'", wide(value_name).c_str());
        return 1;
    }
    std::lock_guard<std::mutex> guard(reader_lock());
    const uint32_t capacity = *size;
    uint32_t type = os::kRegNone;
    const int32_t result =
        os::registry_get_value(os::kHkeyLocalMachine, key_path != nullptr ? key_path : u"",
                               value_name != nullptr ? value_name : u"", os::kRrfRtAny, &type, buffer, size);
    if (result == os::kErrorSuccess) {
        if (type == os::kRegSz || type == os::kRegMultiSz) {
            const std::u16string text = stripped_text(buffer, std::min(*size, capacity));
            std::memset(buffer, 0, capacity);
            std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
        }
        return 0;
    }
    if (result == os::kErrorFileNotFound) return 1;
    orvixLogError(kUnit, 153, "Could not read gpo setting '%ls\\%ls', error: %d", wide(key_path).c_str(),
                  wide(value_name).c_str(), static_cast<int>(result));
    return 1;
}

int32_t readAgentLogLevel() {
    eVORN_MGMT_ENV_ENUM setting = static_cast<eVORN_MGMT_ENV_ENUM>(2);
    int32_t level = 2;
    if (vorn_mgmt_env_get_enum("orvix.event_filter_mode", &setting) == VORN_STATUS_SUCCESS) {
        level = static_cast<int32_t>(setting);
    }
    if (level < 1) {
        vorn_event_log(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "Unexpected log level %ld set, using default instead.", static_cast<long>(level));
        return 2;
    }
    if (level >= 7) {
        vorn_event_log(VORN_EVENT_CAT_AGENT, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_FAILURE,
                       "Unexpected log level %ld set, using maximum verbosity.", static_cast<long>(level));
        return 6;
    }
    return level;
}

}  // namespace orvix
