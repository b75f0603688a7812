// Placeholder until the configuration manager lands: the store's start-up calls this
// step, and with no sources there is nothing to apply yet.
#include "config/configuration_manager.h"

int32_t configure_from_sources(eVORN_ENV_TYPE, const char*) { return 0; }
