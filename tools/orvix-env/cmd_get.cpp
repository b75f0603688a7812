// orvix-env get NAME: starts the store on the built-in defaults and the configured values
// and prints the current value of one setting in its display form; standard error names
// the source that set it, or says that none did and which were read. An unknown name
// ends with the store's own message on standard error and exit status 1. --source file
// reads the agent configuration file as the file-backed variant does.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "config/environment_store.h"
#include "config/environment_store_internal.h"
#include "json_output.h"
#include "store_console.h"
#include "text_output.h"

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

int run_get(const std::string& setting, bool file_variant) {
    const char* name = setting.c_str();
    if (start_console_log() != VORN_STATUS_SUCCESS || start_store(file_variant) != VORN_STATUS_SUCCESS)
        return 1;
    const uint32_t index = get_entry_index(name);
    const uint32_t type = index == ENV_INDEX_NOT_FOUND ? ENV_VALUE_UNDEFINED : get_entry(index).value_type;
    uint8_t value[VORN_MGMT_ENV_SLOT_SIZE] = {};
    if (read_value(name, index, type, value) != VORN_STATUS_SUCCESS) {
        // The store's refusal went to the layer's messages; say it here too.
        if (!global_options().verbose) {
            std::fprintf(stderr, "orvix-env: %s is not a setting (see orvix-env catalogue)\n",
                         printable(setting, false).c_str());
        }
        return 1;
    }
    const std::string display = display_value(index, value);
    const std::vector<SourceView> sources = read_sources();
    const std::string source = source_of(sources, name);
    if (json_output()) {
        Json read = Json::array();
        for (const SourceView& s : sources) read.push_back({{"label", s.label}, {"location", s.location}});
        print_json({{"name", name},
                    {"type", type_name(type)},
                    {"value", value_json(type, display)},
                    {"source", source.empty() ? Json() : Json(source)},
                    {"sources_read", std::move(read)}});
    } else {
        std::printf("%s\n", printable(display, false).c_str());
        if (!source.empty()) {
            std::fprintf(stderr, "orvix-env: %s is set by %s\n", name, source.c_str());
        } else {
            std::string read;
            for (const SourceView& s : sources) read += (read.empty() ? "" : ", ") + s.label;
            std::fprintf(stderr, "orvix-env: %s has its default: no source sets it (read: %s)\n", name,
                         read.empty() ? "none" : read.c_str());
        }
    }
    summarise_console_problems();
    return 0;
}

std::function<int()> declare_get(CLI::App& command) {
    auto name = std::make_shared<std::string>();
    auto file = std::make_shared<bool>(false);
    command.add_option("NAME", *name, "the setting, e.g. orvix.tcp_port")->required();
    add_source_option(command, file);
    return [name, file] { return run_get(*name, *file); };
}

ORVIX_ENV_COMMAND(get, "get", "print the current value of setting NAME; standard error names the source that set it",
                  declare_get);

}  // namespace orvix_env
