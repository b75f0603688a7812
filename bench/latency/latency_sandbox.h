// Keeps the latency benchmark off the machine's own settings: the policy keys it writes
// and the program-data folder of its configuration file are the process's own.
#pragma once

#include <string>

// Sends this process's machine keys and program-data folder to private places under
// folder (which exists). False when that is not possible.
bool sandbox_machine_settings(const std::string& folder);
// Removes what sandbox_machine_settings created.
void end_sandbox();
// The platform's path separator.
char path_separator();
