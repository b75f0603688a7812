// orvix-env policy-file: converts between a registry export file (.reg) and a GPO's
// Registry.pol, so a policy tried on one machine can go into a GPO and a GPO can be read
// with regedit. Only the agent's three keys are written unless --all is given. What the
// target format cannot say is listed on standard error (the .reg gets a comment in its
// place) and makes the exit status 1; input that cannot be read exits 2 and writes nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "admin/policy_file_conversion.h"
#include "admin/policy_lint.h"
#include "commands.h"
#include "json_output.h"
#include "policy_source.h"

namespace orvix_env {
namespace {

constexpr char kUsage[] =
    "usage: orvix-env policy-file (--from-reg FILE.reg | --from-pol Registry.pol) --out FILE [--all]\n";

std::string shown(const std::string& path) { return orvix::admin::printable(path, false); }

int run_policy_file(int argc, char** argv) {
    std::string from_reg, from_pol, out;
    bool all = false;
    for (int i = 0; i < argc; ++i) {
        const std::string option = argv[i];
        std::string* target = option == "--from-reg" ? &from_reg
                              : option == "--from-pol" ? &from_pol
                              : option == "--out"      ? &out
                                                       : nullptr;
        if (option == "--all") {
            all = true;
        } else if (target != nullptr && i + 1 < argc && target->empty()) {
            *target = argv[++i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (out.empty() || from_reg.empty() == from_pol.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& input = from_reg.empty() ? from_pol : from_reg;
    std::string bytes, error;
    if (!read_regular_file(input, kMaxPolicyFileSize, &bytes, &error)) {
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
    if (!write_file_atomically(out, written, &error)) {
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

}  // namespace

ORVIX_ENV_COMMAND(
    policy_file, "policy-file", "(--from-reg FILE.reg | --from-pol Registry.pol) --out FILE [--all]",
    "convert a registry export file into a GPO's Registry.pol or back (the agent's keys only unless "
    "--all); exit 1 when something has no form in the other format",
    run_policy_file);

}  // namespace orvix_env
