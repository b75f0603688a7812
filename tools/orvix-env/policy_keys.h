// Puts the policy keys of an applied Registry.pol where the environment store reads them,
// for show --pol. Without a machine registry that is the layer's in-process registry. On
// Windows the tool must not write the machine's policy keys, so HKEY_LOCAL_MACHINE is sent
// (for this process only, with RegOverridePredefKey) to a private key under
// HKEY_CURRENT_USER that holds the three keys and is deleted again at exit.
#pragma once

#include <string>

#include "admin/memory_registry.h"

namespace orvix_env {

// False with one line in error when the keys cannot be put in place.
bool install_policy_keys(const orvix::admin::MemoryRegistry& registry, std::string* error);

}  // namespace orvix_env
