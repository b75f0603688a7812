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
#include "console.h"
#include "json_output.h"
#include "os/codepage.h"
#include "text_output.h"

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
    if (!v.setting.empty() && v.setting != v.name) text += " (" + printable(v.setting, false) + ")";
    return text;
}

// Every line fits 100 columns; a long explanation continues under its start.
void print_wrapped(const std::string& line, size_t indent) {
    const std::string wrapped = wrap_text(line, 100, indent);
    std::printf("%s\n", wrapped.c_str());
}

void print_text(const PolicyReport& report, int skipped_lines) {
    for (const PolicyKey& key : report.keys) {
        std::string header = std::to_string(key.priority) + ". " + key.label + ": " + printable(full_path(key), false);
        if (!key.present) {
            print_wrapped(header + ": not present", 3);
            continue;
        }
        print_wrapped(header + ": " + std::to_string(key.values.size()) + (key.values.size() == 1 ? " value" : " values"),
                      3);
        for (const PolicyValue& v : key.values) {
            print_wrapped("  " + name_text(v) + " = " + orvix::admin::describe_registry_data(v.type, v.data), 6);
            print_wrapped("      " + std::string(orvix::admin::verdict_word(v.verdict)) + ": " + v.explanation, 6);
        }
    }
    std::string summary = std::to_string(report.values) + (report.values == 1 ? " value" : " values");
    if (report.problems == 0 && skipped_lines == 0) {
        summary += ", all take effect as written";
    } else if (report.problems != 0) {
        summary += ", " + std::to_string(report.problems) + (report.problems == 1 ? " does" : " do") +
                   " not take effect as written";
    } else {
        summary += report.values == 1 ? " takes effect as written" : " take effect as written";
    }
    if (skipped_lines != 0) {
        summary += "; " + std::to_string(skipped_lines) + " line" + (skipped_lines == 1 ? "" : "s") + " of " +
                   printable(global_options().registry_file, false) +
                   " could not be read (see above), so what they set is missing";
    }
    print_wrapped(summary, 0);
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
    print_json({{"keys", std::move(keys)},
                {"values", report.values},
                {"problems", report.problems},
                {"skipped_file_lines", global_options().registry_file_skipped_lines}});
}

int run_check_policy() {
    if (registry_option_supported() && global_options().registry_file.empty()) {
        std::fprintf(stderr,
                     "orvix-env check-policy: this machine has no registry; give the policies as a registry "
                     "export file: orvix-env --registry FILE.reg check-policy\n");
        return 2;
    }
    orvix::config::internal::RegistryInterfaceImpl registry;
    PolicyReport report = orvix::admin::check_policy_keys(registry);
    // The agent reads texts through the narrow calls; what they make of a text is only
    // visible beside the text as stored.
    orvix::admin::note_changed_texts(report, orvix::admin::machine_stored_text, orvix::os::narrow_code_page());
    const int skipped = global_options().registry_file_skipped_lines;
    if (json_output()) {
        print_json_report(report);
    } else {
        print_text(report, skipped);
    }
    return report.problems == 0 && skipped == 0 ? 0 : 1;
}

}  // namespace

ORVIX_ENV_COMMAND(
    check_policy, "check-policy",
    "say for every value of the three policy keys what the agent makes of it and why; exit 1 when "
    "one does not take effect as written",
    declare_plain<run_check_policy>);

}  // namespace orvix_env
