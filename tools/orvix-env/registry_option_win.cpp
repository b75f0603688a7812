// On Windows --registry would write the machine's policy keys: refuse it, the
// administrator's own tools do that.
#include "commands.h"

namespace orvix_env {
bool registry_option_supported() { return false; }
}  // namespace orvix_env
