// Linux passes arguments as the bytes that were typed, which are UTF-8 in practice.
#include "console.h"

namespace orvix_env {

std::vector<std::string> utf8_arguments(int argc, char** argv) { return {argv, argv + argc}; }

void prepare_console() {}

std::string layer_narrow_path(const std::string& utf8) { return utf8; }

}  // namespace orvix_env
