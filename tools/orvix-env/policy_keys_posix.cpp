// The in-process registry is the process's own: the keys are written into it.
#include "admin/registry_pol.h"
#include "policy_keys.h"

namespace orvix_env {

bool install_policy_keys(const orvix::admin::MemoryRegistry& registry, std::string* error) {
    return registry.store_to_system(orvix::admin::agent_policy_keys(), error);
}

}  // namespace orvix_env
