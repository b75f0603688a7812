// A GPO's Registry.pol for the commands that preview one (check-policy --pol/--gpo,
// show --pol/--gpo, policy-file): finding it in a GPO folder, reading it, and applying it
// to an in-memory registry that starts as the policy keys loaded with --registry (or
// empty), as a policy refresh applies it on top of a machine's state.
#pragma once

#include <string>
#include <vector>

#include "admin/memory_registry.h"
#include "admin/registry_pol.h"

namespace orvix_env {

// Registry.pol files are small; a larger file is not one.
inline constexpr std::uintmax_t kMaxPolicyFileSize = 64u << 20;

// Reads a whole input file, refusing what is not a regular file or is larger than
// max_size; false with one line "cannot read PATH: REASON" in error.
bool read_regular_file(const std::string& path, std::uintmax_t max_size, std::string* bytes, std::string* error);

// Writes bytes to path through a temporary file in the same folder, renamed into place
// when complete, so a failure never leaves half a file. False with one line in error.
bool write_file_atomically(const std::string& path, const std::string& bytes, std::string* error);

// The Machine\Registry.pol below a GPO or GPO backup folder (names compared without
// regard to case). False with one line in error when there is none or more than one.
bool find_machine_registry_pol(const std::string& folder, std::string* path, std::string* error);

// "--pol FILE" or "--gpo DIR" taken from a command's arguments (and removed).
struct PolicyFileOption {
    bool given = false;
    std::string pol;  // as given
    std::string gpo;  // as given
    std::string path;  // the file read: pol, or the one found below gpo
};
// False (with a message on standard error) for a missing argument or both options.
bool take_policy_file_option(const char* command, int* argc, char** argv, PolicyFileOption* option);

// A Registry.pol applied to the machine state of --registry (or to nothing).
struct AppliedPolicyFile {
    std::string path;
    std::vector<orvix::admin::PolEntry> entries;
    orvix::admin::MemoryRegistry registry;
    orvix::admin::PolApplied applied;
};
// Finds, reads, parses and applies the file; false after one line on standard error
// ("orvix-env: ...") when it cannot.
bool apply_policy_file(const PolicyFileOption& option, AppliedPolicyFile* out);

}  // namespace orvix_env
