// Without a machine registry, --registry fills the layer's in-process one.
#include "commands.h"

namespace orvix_env {
bool registry_option_supported() { return true; }
}  // namespace orvix_env
