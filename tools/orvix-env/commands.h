// Sub-commands of orvix-env. Each lives in its own cmd_*.cpp and registers itself with
// ORVIX_ENV_COMMAND; it takes the arguments after its own name and returns the process
// exit status.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/registry_export_file.h"

namespace orvix_env {

struct Command {
    std::string_view name;
    std::string_view usage;    // arguments, shown by --help
    std::string_view summary;  // one line, shown by --help
    int (*run)(int argc, char** argv);
};

// Every registered command, in name order.
const std::vector<Command>& commands();

// Options given before the command.
struct GlobalOptions {
    std::string registry_file;  // --registry FILE.reg, loaded before the command runs
    bool json = false;          // --json: one JSON document instead of text
    bool verbose = false;       // --verbose: every admitted message of the layer on the console
};
const GlobalOptions& global_options();
// False where the machine has a registry of its own (Windows).
bool registry_option_supported();

// Loads a registry export file into the in-process registry, printing every skipped line
// as FILE:LINE: message on standard error. previous is the file as loaded before (its
// values that the new file no longer sets are deleted); the parsed file goes to loaded.
// False when the file cannot be read or is not a registry export file; then the only
// message is one line saying why.
bool load_registry_file(const std::string& path, const orvix::config::RegistryFile* previous,
                        orvix::config::RegistryFile* loaded);

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

}  // namespace orvix_env

#define ORVIX_ENV_COMMAND(id, name, usage, summary, run) \
    static const ::orvix_env::CommandRegistration orvix_env_command_##id({name, usage, summary, run})
