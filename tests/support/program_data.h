// Points the known folder ProgramData of this test process at a folder of its own.
#pragma once

#include <string>

namespace orvix_test {

// $PROGRAMDATA on POSIX; under Windows "Common AppData" of the shell folders, which the
// registry sandbox keeps per process. The folder must exist to be reported there.
void redirect_program_data(const std::string& folder);

}  // namespace orvix_test
