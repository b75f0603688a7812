// The registry is the process's own already; the program-data folder follows $PROGRAMDATA.
#include <stdlib.h>

#include "latency_sandbox.h"

bool sandbox_machine_settings(const std::string& folder) { return setenv("PROGRAMDATA", folder.c_str(), 1) == 0; }

char path_separator() { return '/'; }

void end_sandbox() {}
