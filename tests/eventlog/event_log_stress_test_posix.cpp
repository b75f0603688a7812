// The stress binary is built on its own, so it carries its own folder redirection.
#include <stdlib.h>

#include <string>

namespace orvix_stress {

void use_program_data(const std::string& folder) { ::setenv("PROGRAMDATA", folder.c_str(), 1); }

}  // namespace orvix_stress
