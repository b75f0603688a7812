// Shared by the configuration fuzz targets: a started store, no real start delay, and
// the check that whatever a source hands over reaches the store only in a legal form.
#pragma once

#include <cctype>
#include <cstring>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/settings.h"

namespace fuzz_support {

inline void no_sleep(uint32_t) {}

// Once per process: the store with its registry-backed manager (over an empty registry).
inline void start_store() {
    orvix::config::internal::set_start_delay_sleeper(no_sleep);
    if (vorn_mgmt_env_init(0) != 0) __builtin_trap();
}

inline void apply(const orvix::config::internal::SettingsMap& map) {
    get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING)
        ->apply_config_settings(map, [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });
}

// Every configurable setting holds a value of its width, inside its range when the range
// is checked; texts are at most 511 bytes without white space at either end.
inline void check_store() {
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        if (row.configurable != ENV_CONFIGURABLE) continue;
        uint32_t number = 0;
        bool is_number = true;
        switch (row.value_type) {
            case ENV_VALUE_UINT8: {
                uint8_t v = 0;
                if (vorn_mgmt_env_get_uint8(row.name, &v) != 0) __builtin_trap();
                number = v;
                break;
            }
            case ENV_VALUE_UINT16: {
                uint16_t v = 0;
                if (vorn_mgmt_env_get_uint16(row.name, &v) != 0) __builtin_trap();
                number = v;
                break;
            }
            case ENV_VALUE_UINT32:
                if (vorn_mgmt_env_get_uint32(row.name, &number) != 0) __builtin_trap();
                break;
            case ENV_VALUE_ENUM: {
                eVORN_MGMT_ENV_ENUM v{};
                if (vorn_mgmt_env_get_enum(row.name, &v) != 0) __builtin_trap();
                number = static_cast<uint32_t>(v);
                break;
            }
            case ENV_VALUE_STRING: {
                is_number = false;
                char text[600];
                std::memset(text, 'x', sizeof text);
                if (vorn_mgmt_env_get_string(row.name, text, sizeof text) != 0) __builtin_trap();
                const size_t n = strnlen(text, sizeof text);
                if (n > 511) __builtin_trap();
                if (n > 0 && (std::isspace(static_cast<unsigned char>(text[0])) ||
                              std::isspace(static_cast<unsigned char>(text[n - 1])))) {
                    __builtin_trap();
                }
                break;
            }
            default:
                __builtin_trap();  // no other type is configurable
        }
        if (is_number && row.range_checked == ENV_RANGE_CHECKED &&
            (number < row.min_value || number > row.max_value)) {
            __builtin_trap();
        }
    }
}

}  // namespace fuzz_support
