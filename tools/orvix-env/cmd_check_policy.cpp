// orvix-env check-policy: every value of the three policy keys, in the order the agent
// reads them, with what the agent makes of it and why (unknown names, wrong registry
// types, sizes that are skipped, a value that ends the reading of its key, clamping,
// trimming, overriding, startup-only). It reads the machine's keys on Windows and the
// keys loaded with --registry elsewhere; it never changes anything. Exit status 1 when a
// value does not take effect as written. With --pol FILE (or --gpo DIR) it lints a GPO's
// Registry.pol applied to an in-memory registry (on top of the --registry keys when given),
// naming each value's entry and byte offset in the file.
#include <cstdio>
#include <string>

#include "admin/memory_registry.h"
#include "admin/policy_lint.h"
#include "commands.h"
#include "console.h"
#include "json_output.h"
#include "os/codepage.h"
#include "policy_source.h"
#include "text_output.h"

namespace orvix_env {
namespace {

using orvix::admin::PolicyKey;
using orvix::admin::PolicyReport;
using orvix::admin::PolicyValue;

std::string full_path(const PolicyKey& key) { return "HKEY_LOCAL_MACHINE\\" + key.path; }

// The Registry.pol applied, when one was given.
const AppliedPolicyFile* g_pol = nullptr;

// The entry of the Registry.pol that set a value; null for one it did not set.
const orvix::admin::MemoryRegistry::Value* origin(const PolicyKey& key, const PolicyValue& v) {
    if (g_pol == nullptr) return nullptr;
    std::u16string path, name;
    if (!orvix::os::system_utf8_to_u16(key.path.c_str(), &path) || !orvix::os::system_utf8_to_u16(v.name.c_str(), &name))
        return nullptr;
    const auto* value = g_pol->registry.find_value(path, name);
    return value != nullptr && value->entry != 0 ? value : nullptr;
}

std::string origin_text(const PolicyKey& key, const PolicyValue& v) {
    const auto* value = origin(key, v);
    if (value == nullptr) return "";
    return "  (entry " + std::to_string(value->entry) + ", byte " + std::to_string(value->offset) + ")";
}

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

void print_pol_header() {
    const orvix::admin::PolApplied& a = g_pol->applied;
    print_wrapped(printable(g_pol->path, false) + ": " + std::to_string(a.entries) + (a.entries == 1 ? " entry, " : " entries, ") +
                      std::to_string(a.agent_entries) + " for the agent's keys, " + std::to_string(a.other_entries) +
                      " for other keys (ignored)" +
                      (global_options().registry_file.empty() ? "" : ", applied on top of the --registry keys"),
                  2);
    for (const auto& note : a.notes) {
        print_wrapped("  entry " + std::to_string(note.entry) + " (byte " + std::to_string(note.offset) + "): " + note.text,
                      4);
    }
}

void print_text(const PolicyReport& report, int skipped_lines) {
    if (g_pol != nullptr) print_pol_header();
    for (const PolicyKey& key : report.keys) {
        std::string header = std::to_string(key.priority) + ". " + key.label + ": " + printable(full_path(key), false);
        if (!key.present) {
            print_wrapped(header + ": not present", 3);
            continue;
        }
        print_wrapped(header + ": " + std::to_string(key.values.size()) + (key.values.size() == 1 ? " value" : " values"),
                      3);
        for (const PolicyValue& v : key.values) {
            print_wrapped("  " + name_text(v) + " = " + orvix::admin::describe_registry_data(v.type, v.data) +
                              origin_text(key, v),
                          6);
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
            const auto* from = origin(key, v);
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
            if (g_pol != nullptr) {
                values.back()["entry"] = from != nullptr ? Json(from->entry) : Json();
                values.back()["offset"] = from != nullptr ? Json(from->offset) : Json();
            }
        }
        keys.push_back({{"priority", key.priority},
                        {"label", key.label},
                        {"path", full_path(key)},
                        {"present", key.present},
                        {"values", std::move(values)}});
    }
    Json document;
    if (g_pol != nullptr) {
        Json notes = Json::array();
        for (const auto& note : g_pol->applied.notes) {
            notes.push_back({{"entry", note.entry}, {"offset", note.offset}, {"note", note.text}});
        }
        document["registry_pol"] = {{"path", g_pol->path},
                                    {"entries", g_pol->applied.entries},
                                    {"agent_entries", g_pol->applied.agent_entries},
                                    {"other_entries", g_pol->applied.other_entries},
                                    {"on_registry_file", !global_options().registry_file.empty()},
                                    {"notes", std::move(notes)}};
    }
    document["keys"] = std::move(keys);
    document["values"] = report.values;
    document["problems"] = report.problems;
    document["skipped_file_lines"] = global_options().registry_file_skipped_lines;
    print_json(document);
}

int run_check_policy(const PolicyFileOption& pol) {
    const int skipped_lines = global_options().registry_file_skipped_lines;
    if (pol.given()) {
        // An in-memory registry: linting a GPO never writes the machine's policy keys.
        static AppliedPolicyFile applied;
        if (!apply_policy_file(pol, &applied)) return 2;
        g_pol = &applied;
        orvix::admin::MemoryRegistryInterface view(applied.registry);
        const PolicyReport report = orvix::admin::check_policy_keys(view);
        if (json_output()) {
            print_json_report(report);
        } else {
            print_text(report, skipped_lines);
        }
        return report.problems == 0 && skipped_lines == 0 ? 0 : 1;
    }
    if (registry_option_supported() && global_options().registry_file.empty()) {
        std::fprintf(stderr,
                     "orvix-env check-policy: this machine has no registry; give the policies as a registry "
                     "export file: orvix-env --registry FILE.reg check-policy (or a GPO's file: check-policy "
                     "--pol Registry.pol)\n");
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

std::function<int()> declare_check_policy(CLI::App& command) {
    auto pol = std::make_shared<PolicyFileOption>();
    add_policy_file_options(command, pol);
    return [pol] { return run_check_policy(*pol); };
}

}  // namespace

ORVIX_ENV_COMMAND(
    check_policy, "check-policy",
    "say for every value of the three policy keys what the agent makes of it and why; exit 1 when "
    "one does not take effect as written (--pol, --gpo: the keys a GPO's Registry.pol gives)",
    declare_check_policy);

}  // namespace orvix_env
