// Sub-commands of orvix-env. Each lives in its own cmd_*.cpp and registers itself with
// ORVIX_ENV_COMMAND: it declares its positionals and options on its CLI11 sub-command, so
// help, usage errors and number checks come from one place, and returns what runs it
// once the whole command line has been parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/registry_export_file.h"

namespace orvix_env {

struct Command {
    std::string_view name;
    std::string_view summary;  // one line, shown by --help
    // Declares the command's arguments on its sub-command; the returned callable runs the
    // command after parsing and returns the process exit status.
    std::function<int()> (*declare)(CLI::App& command);
};

// Every registered command, in name order.
const std::vector<Command>& commands();

// Options given before or after the command.
struct GlobalOptions {
    std::string registry_file;  // --registry FILE.reg, loaded before the command runs
    bool json = false;          // --json: one JSON document instead of text
    bool verbose = false;       // --verbose: every admitted message of the layer on the console
    int registry_file_skipped_lines = 0;  // lines of the --registry file that could not be read
};
const GlobalOptions& global_options();
// False where the machine has a registry of its own (Windows).
bool registry_option_supported();

// Loads a registry export file into the in-process registry, printing every skipped line
// as FILE:LINE: message on standard error. previous is the file as loaded before (its
// values that the new file no longer sets are deleted); the parsed file goes to loaded.
// False when the file cannot be read, is not a registry export file or sets nothing;
// then the only message is one line saying why.
bool load_registry_file(const std::string& path, const orvix::config::RegistryFile* previous,
                        orvix::config::RegistryFile* loaded);

// Argument checks shared by the commands. A number is decimal digits only: no sign, no
// base prefix, no trailing text, no "nan".
extern const CLI::Validator kDecimal;
// Seconds: decimal digits with an optional fraction ("2", "0.5"), above zero.
extern const CLI::Validator kPositiveSeconds;

// The declaration of a command that takes no arguments.
template <int (*Run)()>
std::function<int()> declare_plain(CLI::App&) {
    return Run;
}

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

}  // namespace orvix_env

#define ORVIX_ENV_COMMAND(id, name, summary, declare) \
    static const ::orvix_env::CommandRegistration orvix_env_command_##id({name, summary, declare})
