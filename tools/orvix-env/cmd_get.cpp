// orvix-env get NAME: starts the store on the built-in defaults and the configured values
// and prints the current value of one setting in its display form. An unknown name ends
// with the store's own message on standard error and exit status 1.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "config/environment_store.h"
#include "config/environment_store_internal.h"
#include "store_console.h"

namespace orvix_env {

namespace {

// Reads through the store's typed getter of the row's type, so that the store checks
// the name and reports it the way it does for every caller.
int32_t read_value(const char* name, uint32_t index, uint32_t type, uint8_t* value) {
    switch (type) {
        case ENV_VALUE_UINT8: return vorn_mgmt_env_get_uint8(name, value);
        case ENV_VALUE_UINT16: {
            uint16_t v = 0;
            const int32_t status = vorn_mgmt_env_get_uint16(name, &v);
            std::memcpy(value, &v, sizeof v);
            return status;
        }
        case ENV_VALUE_UINT32: {
            uint32_t v = 0;
            const int32_t status = vorn_mgmt_env_get_uint32(name, &v);
            std::memcpy(value, &v, sizeof v);
            return status;
        }
        case ENV_VALUE_ENUM: {
            eVORN_MGMT_ENV_ENUM v = VORN_MGMT_ENV_LANGUAGE_ENGLISH;
            const int32_t status = vorn_mgmt_env_get_enum(name, &v);
            const int32_t raw = v;
            std::memcpy(value, &raw, sizeof raw);
            return status;
        }
        case ENV_VALUE_STRING:
            return vorn_mgmt_env_get_string(name, reinterpret_cast<char*>(value), VORN_MGMT_ENV_SLOT_SIZE);
        case ENV_VALUE_MAC_ADDR:
            // No typed getter exists for addresses; the slot is read as the store keeps it.
            return mgmt_vorn_env_get(index, value);
        default: {
            // Unknown names and the placeholder row: the store says why it refuses them.
            std::string ignored;
            if (index == ENV_INDEX_NOT_FOUND) {
                uint32_t v = 0;
                return vorn_mgmt_env_get_uint32(name, &v);
            }
            return vorn_mgmt_env_get_string_value(name, ignored);
        }
    }
}

}  // namespace

int run_get(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: orvix-env get NAME\n");
        return 2;
    }
    const char* name = argv[0];
    if (start_console_log() != VORN_STATUS_SUCCESS || start_store() != VORN_STATUS_SUCCESS) return 1;
    const uint32_t index = get_entry_index(name);
    const uint32_t type = index == ENV_INDEX_NOT_FOUND ? ENV_VALUE_UNDEFINED : get_entry(index).value_type;
    uint8_t value[VORN_MGMT_ENV_SLOT_SIZE] = {};
    if (read_value(name, index, type, value) != VORN_STATUS_SUCCESS) return 1;
    std::printf("%s\n", display_value(index, value).c_str());
    return 0;
}

ORVIX_ENV_COMMAND(get, "get", "NAME",
                  "print the current value of setting NAME (store messages go to standard error)", run_get);

}  // namespace orvix_env
