// A GPO's Registry.pol for the commands that preview one (check-policy --pol/--gpo,
// show --pol/--gpo, policy-file): finding it in a GPO folder, reading it, and applying it
// to an in-memory registry that starts as the policy keys loaded with --registry (or
// empty), as a policy refresh applies it on top of a machine's state.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "admin/memory_registry.h"
#include "admin/registry_pol.h"

namespace orvix_env {

// The Machine\Registry.pol below a GPO or GPO backup folder (names compared without
// regard to case). False with one line in error when there is none or more than one.
bool find_machine_registry_pol(const std::string& folder, std::string* path, std::string* error);

// "--pol FILE" or "--gpo DIR", as given.
struct PolicyFileOption {
    std::string pol;
    std::string gpo;
    bool given() const { return !pol.empty() || !gpo.empty(); }
};
// Declares --pol and --gpo (which exclude each other) on a command.
void add_policy_file_options(CLI::App& command, const std::shared_ptr<PolicyFileOption>& option);

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
