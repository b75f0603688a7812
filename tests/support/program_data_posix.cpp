#include "support/program_data.h"

#include <stdlib.h>

namespace orvix_test {

void redirect_program_data(const std::string& folder) { ::setenv("PROGRAMDATA", folder.c_str(), 1); }

}  // namespace orvix_test
