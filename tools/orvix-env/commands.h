// Sub-commands of orvix-env. Each lives in its own cmd_*.cpp and registers itself with
// ORVIX_ENV_COMMAND; it takes the arguments after its own name and returns the process
// exit status.
#pragma once

#include <string_view>
#include <vector>

namespace orvix_env {

struct Command {
    std::string_view name;
    std::string_view usage;    // arguments, shown by --help
    std::string_view summary;  // one line, shown by --help
    int (*run)(int argc, char** argv);
};

// Every registered command, in name order.
const std::vector<Command>& commands();

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

}  // namespace orvix_env

#define ORVIX_ENV_COMMAND(id, name, usage, summary, run) \
    static const ::orvix_env::CommandRegistration orvix_env_command_##id({name, usage, summary, run})
