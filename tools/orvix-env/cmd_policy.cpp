// orvix-env policy KEY VALUE: reads one group-policy value below HKEY_LOCAL_MACHINE through
// the policy reader, as a component would, and prints it with its type; or why it could
// not be read (the reader's own report, or which of key and value is missing).
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "OrvixLog/IOrvixLog.h"
#include "commands.h"
#include "text_output.h"
#include "json_output.h"
#include "os/registry.h"
#include "platform/text_conversion.h"
#include "windows/OrvixSystemSettingsWin32.h"

namespace orvix_env {
namespace {

// Reports of the policy reader, without the agent log's level and thread prefix.
std::vector<std::string> g_reports;

void collect(const std::string& text) {
    const size_t level_end = text.find(' ');
    const size_t thread_end = level_end == std::string::npos ? level_end : text.find(' ', level_end + 1);
    g_reports.push_back(thread_end == std::string::npos ? text : text.substr(thread_end + 1));
}

std::u16string utf16(const char* text) {
    std::u16string out;
    vorn_util_create_wide_string_from_utf8(text, &out);
    return out;
}

// Accepts the key as regedit shows it, with the root key in front.
std::string relative_key(std::string key) {
    for (const char* root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"}) {
        const size_t n = std::strlen(root);
        bool same = key.size() >= n;
        for (size_t i = 0; same && i < n; ++i) same = std::toupper(static_cast<unsigned char>(key[i])) == root[i];
        if (same) return key.substr(n);
    }
    return key;
}

const char* type_name(uint32_t type) {
    switch (type) {
        case orvix::os::kRegNone: return "REG_NONE";
        case orvix::os::kRegSz: return "REG_SZ";
        case orvix::os::kRegExpandSz: return "REG_EXPAND_SZ";
        case orvix::os::kRegBinary: return "REG_BINARY";
        case orvix::os::kRegDword: return "REG_DWORD";
        case orvix::os::kRegDwordBigEndian: return "REG_DWORD_BIG_ENDIAN";
        case orvix::os::kRegLink: return "REG_LINK";
        case orvix::os::kRegMultiSz: return "REG_MULTI_SZ";
        case orvix::os::kRegQword: return "REG_QWORD";
        default: return nullptr;
    }
}

// The value as the text output shows it after the type, and as JSON: a text, a number,
// or the bytes in hexadecimal.
struct ShownValue {
    std::string text;
    Json json;
};

ShownValue shown_value(uint32_t type, const std::vector<char16_t>& buffer, uint32_t size) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
    char number[64];
    if (type == orvix::os::kRegSz || type == orvix::os::kRegMultiSz) {
        // The reader keeps the first string, stripped and terminated by the zeroed rest.
        std::u16string text(buffer.begin(), buffer.end());
        text.resize(text.find(u'\0') == std::u16string::npos ? text.size() : text.find(u'\0'));
        const std::string utf8 = orvix::text::utf16_to_utf8(text);
        return {printable_quoted(utf8), utf8};
    }
    if (type == orvix::os::kRegDword && size == 4) {
        uint32_t v = 0;
        std::memcpy(&v, bytes, sizeof v);
        std::snprintf(number, sizeof number, "%" PRIu32 " (0x%08" PRIX32 ")", v, v);
        return {number, v};
    }
    if (type == orvix::os::kRegQword && size == 8) {
        uint64_t v = 0;
        std::memcpy(&v, bytes, sizeof v);
        std::snprintf(number, sizeof number, "%" PRIu64 " (0x%016" PRIX64 ")", v, v);
        return {number, v};
    }
    std::string hex;
    for (uint32_t i = 0; i < size; ++i) {
        std::snprintf(number, sizeof number, i == 0 ? "%02X" : " %02X", bytes[i]);
        hex += number;
    }
    return {hex, hex};
}

void print_value(const std::string& key, const char* value_name, uint32_t type,
                 const std::vector<char16_t>& buffer, uint32_t size) {
    const ShownValue value = shown_value(type, buffer, size);
    const char* name = type_name(type);
    if (json_output()) {
        print_json({{"key", key},
                    {"value", value_name},
                    {"type", name != nullptr ? Json(name) : Json()},
                    {"type_code", type},
                    {"data", value.json},
                    {"size", size}});
        return;
    }
    if (name != nullptr) {
        std::printf("%s ", name);
    } else {
        std::printf("type %" PRIu32 " ", type);
    }
    std::printf("%s (%" PRIu32 " bytes)\n", value.text.c_str(), size);
}

}  // namespace

int run_policy(const std::string& key_argument, const std::string& value_name) {
    const std::string key_text = relative_key(key_argument.c_str());
    const std::u16string key = utf16(key_text.c_str());
    const std::u16string value = utf16(value_name.c_str());

    // An agent log without a file whose reports this command prints itself.
    orvix::IOrvixLog::createInstanceIfNeeded(false, false);
    if (auto log = orvix::IOrvixLog::getInstance()) log->setCallback(collect);

    std::vector<char16_t> buffer(512);
    uint32_t size = 0;
    int32_t result = 1;
    // A value larger than the buffer reports its size: one more try with room for it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const uint32_t capacity = static_cast<uint32_t>(buffer.size() * sizeof(char16_t));
        size = capacity;
        g_reports.clear();
        result = orvix::readGpoSetting(key.c_str(), value.c_str(), buffer.data(), &size);
        if (result == 0 || size <= capacity) break;
        buffer.assign(size / sizeof(char16_t) + 2, 0);
    }
    const std::string where = printable(key_text + "\\" + value_name, false);
    if (result == 0) {
        // The reader does not say which type it read; the registry does.
        uint32_t type = orvix::os::kRegNone;
        orvix::os::registry_get_value(orvix::os::kHkeyLocalMachine, key, value, orvix::os::kRrfRtAny, &type, nullptr,
                                      nullptr);
        print_value(key_text, value_name.c_str(), type, buffer, size);
        return 0;
    }
    if (!g_reports.empty()) {
        for (const std::string& report : g_reports) {
            std::fprintf(stderr, "orvix-env: %s\n", printable(report, false).c_str());
        }
        return 1;
    }
    orvix::os::RegKey handle = 0;
    if (orvix::os::registry_open_key(orvix::os::kHkeyLocalMachine, key, orvix::os::kKeyRead, &handle) ==
        orvix::os::kErrorSuccess) {
        orvix::os::registry_close_key(handle);
        std::fprintf(stderr, "orvix-env: %s: the key has no such value\n", where.c_str());
    } else {
        std::fprintf(stderr, "orvix-env: %s: the key does not exist\n", where.c_str());
    }
    return 1;
}

std::function<int()> declare_policy(CLI::App& command) {
    auto key = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    command.add_option("KEY", *key, "the key below HKEY_LOCAL_MACHINE")->required();
    command.add_option("VALUE", *value, "the value's name")->required();
    return [key, value] { return run_policy(*key, *value); };
}

ORVIX_ENV_COMMAND(policy, "policy",
                  "read one policy value below HKEY_LOCAL_MACHINE as the agent's policy reader does, with its type",
                  declare_policy);

}  // namespace orvix_env
