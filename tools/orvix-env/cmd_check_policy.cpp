// orvix-env check-policy: every value of the three policy keys, in the order the agent
// reads them, with what the agent makes of it and why (unknown names, wrong registry
// types, sizes that are skipped, a value that ends the reading of its key, clamping,
// trimming, overriding, startup-only). It reads the machine's keys on Windows and the
// keys loaded with --registry elsewhere; it never changes anything. Exit status 1 when a
// value does not take effect as written.
#include <cstdio>
#include <string>

#include "admin/policy_lint.h"
#include "commands.h"
#include "json_output.h"

namespace orvix_env {
namespace {

using orvix::admin::PolicyKey;
using orvix::admin::PolicyReport;
using orvix::admin::PolicyValue;

std::string full_path(const PolicyKey& key) { return "HKEY_LOCAL_MACHINE\\" + key.path; }

std::string name_text(const PolicyValue& v) {
    if (v.name.empty()) return "(default)";
    std::string text = orvix::admin::printable(v.name);
    if (text.size() > 80) text = text.substr(0, 80) + "...";
    if (!v.setting.empty() && v.setting != v.name) text += " (" + v.setting + ")";
    return text;
}

void print_text(const PolicyReport& report) {
    for (const PolicyKey& key : report.keys) {
        std::printf("%d. %s: %s", key.priority, key.label.c_str(), full_path(key).c_str());
        if (!key.present) {
            std::printf(": not present\n");
            continue;
        }
        std::printf(": %zu value%s\n", key.values.size(), key.values.size() == 1 ? "" : "s");
        for (const PolicyValue& v : key.values) {
            std::printf("  %s = %s\n", name_text(v).c_str(),
                        orvix::admin::describe_registry_data(v.type, v.data).c_str());
            std::printf("      %s: %s\n", orvix::admin::verdict_word(v.verdict), v.explanation.c_str());
        }
    }
    if (report.problems == 0) {
        std::printf("%d value%s, all take effect as written\n", report.values, report.values == 1 ? "" : "s");
    } else {
        std::printf("%d value%s, %d do%s not take effect as written\n", report.values,
                    report.values == 1 ? "" : "s", report.problems, report.problems == 1 ? "es" : "");
    }
}

void print_json_report(const PolicyReport& report) {
    Json keys = Json::array();
    for (const PolicyKey& key : report.keys) {
        Json values = Json::array();
        for (const PolicyValue& v : key.values) {
            values.push_back({
                {"index", v.index},
                {"name", v.name},
                {"setting", v.setting.empty() ? Json() : Json(v.setting)},
                {"type", orvix::admin::registry_type_name(v.type)},
                {"size", v.size},
                {"data", orvix::admin::describe_registry_data(v.type, v.data)},
                {"verdict", orvix::admin::verdict_word(v.verdict)},
                {"takes_effect_as_written", v.takes_effect_as_written},
                {"next_start", v.next_start},
                {"stored_value", v.stored ? Json(v.stored_value) : Json()},
                {"explanation", v.explanation},
            });
        }
        keys.push_back({{"priority", key.priority},
                        {"label", key.label},
                        {"path", full_path(key)},
                        {"present", key.present},
                        {"values", std::move(values)}});
    }
    print_json({{"keys", std::move(keys)}, {"values", report.values}, {"problems", report.problems}});
}

int run_check_policy(int argc, char**) {
    if (argc != 0) {
        std::fprintf(stderr, "usage: orvix-env check-policy\n");
        return 2;
    }
    if (registry_option_supported() && global_options().registry_file.empty()) {
        std::fprintf(stderr,
                     "orvix-env check-policy: this machine has no registry; give the policies as a registry "
                     "export file: orvix-env --registry FILE.reg check-policy\n");
        return 2;
    }
    orvix::config::internal::RegistryInterfaceImpl registry;
    const PolicyReport report = orvix::admin::check_policy_keys(registry);
    if (json_output()) {
        print_json_report(report);
    } else {
        print_text(report);
    }
    return report.problems == 0 ? 0 : 1;
}

}  // namespace

ORVIX_ENV_COMMAND(
    check_policy, "check-policy", "",
    "say for every value of the three policy keys what the agent makes of it and why; exit 1 when "
    "one does not take effect as written",
    run_check_policy);

}  // namespace orvix_env
