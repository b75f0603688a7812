// Conversion between Registry.pol and the registry export format (.reg), so that a policy
// tried on one machine can go into a GPO and a GPO can be read with the tools
// administrators know. Each entry becomes the entry of the same effect; what one format
// cannot say is left out and reported (never dropped without a word): the default value
// and deleting a top-level key in .pol; "**delvals.", "**soft." and "**SecureKey" in .reg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "admin/registry_pol.h"
#include "config/registry_export_file.h"

namespace orvix::admin {

struct ConversionProblem {
    std::string where;  // "line 12" or "entry 3 (byte 96)"
    std::string message;
};

struct Conversion {
    int written = 0;   // entries or lines written
    int left_out = 0;  // entries for other keys than the agent's (without all)
    std::vector<ConversionProblem> problems;  // what the target format cannot say
};

// The Registry.pol entries of a parsed export file (its problems are the caller's).
// Without all, only entries for the agent's keys are converted.
std::vector<PolEntry> pol_entries_from_reg(const orvix::config::RegistryFile& file, bool all, Conversion* result);

// The export file for entries: UTF-16LE with its byte-order mark and CRLF line ends, as
// regedit writes it.
std::string reg_file_from_pol(const std::vector<PolEntry>& entries, bool all, Conversion* result);

}  // namespace orvix::admin
