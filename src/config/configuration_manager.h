// The configuration manager: merges the configuration sources of the process by
// priority into the environment store and keeps it current while they change.
#pragma once

#include <cstdint>

// The argument of get_vorn_mgmt_cfg_mgr_helper.
enum eVORN_ENV_TYPE : int32_t {
    VORN_ENV_TYPE_FILE = 0,         // the agent configuration file
    VORN_ENV_TYPE_REG = 1,          // the three policy registry keys
    VORN_ENV_TYPE_TEST = 2,         // the imaging settings file
    VORN_ENV_TYPE_PREEXISTING = 3,  // the manager that exists
};

// Used by the store's start-up: obtains the manager of type, loads its sources with
// argument and writes every merged value into the store. Returns 0 or a failure status.
int32_t configure_from_sources(eVORN_ENV_TYPE type, const char* argument);
