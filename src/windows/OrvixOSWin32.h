// Host facts for the agent's tools: the machine's host name. Portable over the system
// facts seam (GetComputerNameExW on Windows, the resolver's canonical name on POSIX).
#pragma once

#include <string>

namespace orvix {

// The fully qualified DNS name of the physical machine (UTF-8). Never fails: when the
// name cannot be read it is "(Unknown)" and the system's error code goes to the agent
// log (nothing is logged when there is no agent log). Thread-safe.
std::string getHostName();

}  // namespace orvix
