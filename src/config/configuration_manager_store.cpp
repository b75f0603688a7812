// The manager bound to the environment store. Kept apart from the manager itself so that
// tests can run a manager over callables of their own without linking the store.
#include <exception>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/settings_catalogue.h"
#include "eventlog/event_log.h"

EnvironmentInterface store_environment_interface() {
    EnvironmentInterface environment;
    environment.init_default = [](const char* name) { return vorn_mgmt_env_init_default(name); };
    environment.get_entry_index = [](const char* name) {
        return static_cast<int32_t>(get_entry_index(name));
    };
    environment.get_entry_modification = [](uint32_t index) { return get_entry_modification(index); };
    environment.get_entry = [](uint64_t index) { return get_entry(static_cast<uint32_t>(index)); };
    environment.set_uint8 = [](const char* name, uint8_t value) {
        return vorn_mgmt_env_set_uint8(name, value);
    };
    environment.set_uint16 = [](const char* name, uint16_t value) {
        return vorn_mgmt_env_set_uint16(name, value);
    };
    environment.set_uint32 = [](const char* name, uint32_t value) {
        return vorn_mgmt_env_set_uint32(name, value);
    };
    environment.set_string = [](const char* name, const char* value) {
        return vorn_mgmt_env_set_string(name, value);
    };
    environment.set_enum = [](const char* name, eVORN_MGMT_ENV_ENUM value) {
        return vorn_mgmt_env_set_enum(name, value);
    };
    return environment;
}

cVORN_MGMT_CFG_MGR* get_vorn_mgmt_cfg_mgr_helper(eVORN_ENV_TYPE type) {
    return get_vorn_mgmt_cfg_mgr_helper(type, store_environment_interface());
}

int32_t configure_from_sources(eVORN_ENV_TYPE type, const char* argument) {
    try {
        cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(type);
        cVORN_MGMT_CFG_MGR::SettingsMap merged;
        manager->load(merged, argument);
        manager->apply_config_settings(merged, [](const sVORN_ENV_LOOKUP_ENTRY&) { return false; });
    } catch (const std::exception& e) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE, "%s: %s",
                       "configure_from_sources", e.what());
        return VORN_STATUS_FAILURE;
    }
    return VORN_STATUS_SUCCESS;
}
