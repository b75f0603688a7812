// orvix-env policy-file: converts between a registry export file (.reg) and a GPO's
// Registry.pol, so a policy tried on one machine can go into a GPO and a GPO can be read
// with regedit. Only the agent's three keys are written unless --all is given. What the
// target format cannot say is listed on standard error (the .reg gets a comment in its
// place) and makes the exit status 1; input that cannot be read exits 2 and writes nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "admin/policy_file_conversion.h"
#include "commands.h"
#include "input_file.h"
#include "json_output.h"
#include "output_file.h"
#include "policy_source.h"
#include "text_output.h"

namespace orvix_env {
namespace {

std::string shown(const std::string& path) { return printable(path, false); }

struct Options {
    std::string from_reg;
    std::string from_pol;
    std::string out;
    bool all = false;
};

int run_policy_file(const Options& options) {
    const std::string& from_reg = options.from_reg;
    const std::string& from_pol = options.from_pol;
    const std::string& out = options.out;
    const bool all = options.all;
    const std::string& input = from_reg.empty() ? from_pol : from_reg;
    std::string bytes, error;
    if (!read_input_file(input, &bytes, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return 2;
    }

    orvix::admin::Conversion conversion;
    std::string written;
    if (!from_reg.empty()) {
        const orvix::config::RegistryFile file = orvix::config::parse_registry_file(bytes);
        // A line the reader skips would be missing from the GPO: nothing is written.
        for (const auto& p : file.problems) {
            std::fprintf(stderr, "%s:%d: %s\n", shown(input).c_str(), p.line, p.message.c_str());
        }
        if (orvix::config::is_not_registry_export_file(file)) return 2;
        if (!file.problems.empty()) {
            std::fprintf(stderr, "orvix-env: %s not written: fix the lines above first\n", shown(out).c_str());
            return 2;
        }
        written = orvix::admin::write_registry_pol(orvix::admin::pol_entries_from_reg(file, all, &conversion));
    } else {
        std::vector<orvix::admin::PolEntry> entries;
        if (!orvix::admin::parse_registry_pol(bytes, &entries, &error)) {
            std::fprintf(stderr, "orvix-env: %s: %s\n", shown(input).c_str(), error.c_str());
            return 2;
        }
        written = orvix::admin::reg_file_from_pol(entries, all, &conversion);
    }
    if (!write_output_file(out, written, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", error.c_str());
        return 2;
    }

    if (json_output()) {
        Json problems = Json::array();
        for (const auto& p : conversion.problems) problems.push_back({{"where", p.where}, {"message", p.message}});
        print_json({{"input", input},
                    {"output", out},
                    {"format", from_reg.empty() ? "registry export" : "Registry.pol"},
                    {"written", conversion.written},
                    {"left_out_other_keys", conversion.left_out},
                    {"problems", std::move(problems)}});
    } else {
        for (const auto& p : conversion.problems) {
            std::fprintf(stderr, "%s: %s: %s\n", shown(input).c_str(), p.where.c_str(), p.message.c_str());
        }
        std::printf("%s: %d entr%s written", shown(out).c_str(), conversion.written,
                    conversion.written == 1 ? "y" : "ies");
        if (conversion.left_out > 0) {
            std::printf(", %d for other keys than the agent's left out (--all writes them)", conversion.left_out);
        }
        if (!conversion.problems.empty()) {
            std::printf(", %zu that the format cannot hold left out", conversion.problems.size());
        }
        std::printf("\n");
    }
    return conversion.problems.empty() ? 0 : 1;
}

std::function<int()> declare_policy_file(CLI::App& command) {
    auto options = std::make_shared<Options>();
    CLI::Option* reg = command.add_option("--from-reg", options->from_reg, "a registry export file to write as Registry.pol")
                           ->type_name("FILE.reg");
    command.add_option("--from-pol", options->from_pol, "a Registry.pol to write as a registry export file")
        ->type_name("Registry.pol")
        ->excludes(reg);
    command.add_option("--out", options->out, "the file to write (replaced when complete)")
        ->type_name("FILE")
        ->required();
    command.add_flag("--all", options->all, "write the entries of every key, not only the agent's three");
    return [options] {
        if (options->from_reg.empty() == options->from_pol.empty()) {
            std::fprintf(stderr, "orvix-env policy-file: give --from-reg FILE.reg or --from-pol Registry.pol\n"
                                 "Run 'orvix-env policy-file --help' for the usage.\n");
            return 2;
        }
        return run_policy_file(*options);
    };
}

}  // namespace

ORVIX_ENV_COMMAND(
    policy_file, "policy-file",
    "convert a registry export file into a GPO's Registry.pol or back (the agent's keys only unless "
    "--all); exit 1 when something has no form in the other format",
    declare_policy_file);

}  // namespace orvix_env
