// Single group-policy values and the agent log's level, beside the settings sources:
// for components that need one policy value without going through the settings store.
// Portable over the registry seam (the in-process registry on POSIX).
#pragma once

#include <cstdint>

namespace orvix {

// Reads value_name of HKEY_LOCAL_MACHINE\key_path (any type) into buffer. size is the
// buffer's size in bytes on input and the size the registry reported on output. A text
// value (REG_SZ, REG_EXPAND_SZ expanded, or the first string of a REG_MULTI_SZ) comes
// back without blanks, tabs and line ends around it, followed by zeros to the end of the
// buffer; size still counts the unstripped data. Other types come back as stored.
// Returns 0 when the value was read, 1 otherwise: a missing key or value silently,
// everything else reported through orvixLogError. Thread-safe (calls run one at a time).
int32_t readGpoSetting(const char16_t* key_path, const char16_t* value_name, char16_t* buffer, uint32_t* size);

// The agent log level from "orvix.event_filter_mode": 2 when the store cannot say, 2
// for values below 1 and 6 for values above 6 (both logged at level 1, category AGENT).
int32_t readAgentLogLevel();

}  // namespace orvix
