// orvix-env: the console tool of the utility layer. It shows what the layer sees on
// this machine; every sub-command is a thin front over the layer's public operations.
// Arguments, help and usage errors go through CLI11: each command declares its own.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "commands.h"
#include "console.h"
#include "input_file.h"
#include "json_output.h"
#include "text_output.h"
#include "version.h"

namespace orvix_env {

namespace {
std::vector<Command>& registry() {
    static std::vector<Command> all;
    return all;
}
GlobalOptions g_options;

// Help is wrapped to this many columns, like every other output of the tool.
constexpr size_t kHelpWidth = 100;

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

const std::vector<Command>& commands() { return registry(); }

const GlobalOptions& global_options() { return g_options; }

bool json_output() { return g_options.json; }

const CLI::Validator kDecimal(
    [](std::string& text) {
        return all_digits(text) ? std::string() : printable_quoted(text) + " is not a decimal number";
    },
    "DECIMAL");

const CLI::Validator kPositiveSeconds(
    [](std::string& text) {
        const size_t dot = text.find('.');
        const std::string_view whole = std::string_view(text).substr(0, dot);
        const std::string_view fraction =
            dot == std::string::npos ? std::string_view("0") : std::string_view(text).substr(dot + 1);
        if (!(all_digits(whole) || (whole.empty() && dot != std::string::npos)) || !all_digits(fraction)) {
            return printable_quoted(text) + " is not a number of seconds";
        }
        if (whole.find_first_not_of('0') == std::string_view::npos &&
            fraction.find_first_not_of('0') == std::string_view::npos) {
            return std::string("the number of seconds must be above zero");
        }
        return std::string();
    },
    "SECONDS");

bool load_registry_file(const std::string& path, const orvix::config::RegistryFile* previous,
                        orvix::config::RegistryFile* loaded) {
    std::string bytes, error;
    if (!read_input_file(path, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return false;
    }
    if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) {
        std::fprintf(stderr, "orvix-env: %s is %s: it is not a registry export file (no header line)\n",
                     printable(path, false).c_str(), bytes.empty() ? "empty" : "blank");
        return false;
    }
    *loaded = orvix::config::parse_registry_file(bytes);
    const std::string shown = printable(path, false);
    for (const auto& p : loaded->problems) {
        std::fprintf(stderr, "%s:%d: %s\n", shown.c_str(), p.line, printable(p.message, false).c_str());
    }
    if (orvix::config::is_not_registry_export_file(*loaded)) return false;
    const orvix::config::RegistryFileApplied applied = orvix::config::apply_registry_file(*loaded, previous);
    for (const auto& p : applied.problems) {
        std::fprintf(stderr, "%s:%d: %s\n", shown.c_str(), p.line, printable(p.message, false).c_str());
    }
    g_options.registry_file_skipped_lines = static_cast<int>(loaded->problems.size() + applied.problems.size());
    return true;
}

CommandRegistration::CommandRegistration(const Command& command) {
    std::vector<Command>& all = registry();
    all.insert(std::upper_bound(all.begin(), all.end(), command,
                                [](const Command& a, const Command& b) { return a.name < b.name; }),
               command);
}

namespace {

int run(const std::vector<std::string>& arguments) {
    CLI::App app("Shows what the Orvix agent's utility layer sees on this machine.", "orvix-env");
    app.get_formatter()->column_width(26);
    app.set_version_flag("--version", std::string("orvix-env ") + ORVIX_ENV_VERSION, "print the version and exit");
    app.add_flag("--json", g_options.json,
                 "print one JSON document with the command's result instead of text (every command but "
                 "watch, which reports changes as they come); may follow the command");
    app.add_flag("--verbose", g_options.verbose,
                 "show the layer's messages on standard error (otherwise one line counts the problems "
                 "they report); may follow the command");
    app.add_option("--registry", g_options.registry_file,
                   "load a registry export file into the layer's own registry before the command runs "
                   "(machines without a registry only)")
        ->type_name("FILE.reg");
    app.require_subcommand(1, 1);
    // A path such as /tmp/x.conf is an argument, not a Windows-style "/option".
    app.allow_windows_style_options(false);
    // --json and --verbose may also follow the command, as people tend to type them.
    app.fallthrough();

    std::vector<std::pair<CLI::App*, std::function<int()>>> runners;
    for (const Command& c : commands()) {
        CLI::App* sub = app.add_subcommand(std::string(c.name), std::string(c.summary));
        runners.emplace_back(sub, c.declare(*sub));
    }

    std::vector<const char*> argv;
    for (const std::string& a : arguments) argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        const std::string help = wrap_text(app.help(), kHelpWidth);
        std::fwrite(help.data(), 1, help.size(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        const CLI::App* where = app.get_subcommands().empty() ? &app : app.get_subcommands().front();
        const std::string name = where == &app ? "orvix-env" : "orvix-env " + where->get_name();
        std::fprintf(stderr, "%s: %s\nRun '%s --help' for the usage.\n", name.c_str(),
                     printable(e.what(), false).c_str(), name.c_str());
        return 2;
    }

    if (!g_options.registry_file.empty()) {
        if (!registry_option_supported()) {
            std::fprintf(stderr,
                         "orvix-env: --registry is for machines without a registry; import the file with "
                         "regedit instead\n");
            return 2;
        }
        orvix::config::RegistryFile loaded;
        if (!load_registry_file(g_options.registry_file, nullptr, &loaded)) return 2;
    }
    for (auto& [sub, runner] : runners) {
        if (sub->parsed()) return runner();
    }
    return 2;
}

}  // namespace
}  // namespace orvix_env

int main(int argc, char** argv) {
    orvix_env::prepare_console();
    return orvix_env::run(orvix_env::utf8_arguments(argc, argv));
}
