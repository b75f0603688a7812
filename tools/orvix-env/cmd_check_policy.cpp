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
#include "json_output.h"
#include "os/codepage.h"
#include "policy_source.h"

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

void print_pol_header() {
    const orvix::admin::PolApplied& a = g_pol->applied;
    std::printf("%s: %d entr%s, %d for the agent's keys, %d for other keys (ignored)%s\n",
                orvix::admin::printable(g_pol->path, false).c_str(), a.entries, a.entries == 1 ? "y" : "ies",
                a.agent_entries, a.other_entries,
                global_options().registry_file.empty() ? "" : ", applied on top of the --registry keys");
    for (const auto& note : a.notes) {
        std::printf("  entry %u (byte %llu): %s\n", note.entry, static_cast<unsigned long long>(note.offset),
                    note.text.c_str());
    }
}

std::string name_text(const PolicyValue& v) {
    if (v.name.empty()) return "(default)";
    std::string text = orvix::admin::printable(v.name);
    if (text.size() > 80) text = text.substr(0, 80) + "...";
    if (!v.setting.empty() && v.setting != v.name) text += " (" + v.setting + ")";
    return text;
}

void print_text(const PolicyReport& report) {
    if (g_pol != nullptr) print_pol_header();
    for (const PolicyKey& key : report.keys) {
        std::printf("%d. %s: %s", key.priority, key.label.c_str(), full_path(key).c_str());
        if (!key.present) {
            std::printf(": not present\n");
            continue;
        }
        std::printf(": %zu value%s\n", key.values.size(), key.values.size() == 1 ? "" : "s");
        for (const PolicyValue& v : key.values) {
            std::printf("  %s = %s%s\n", name_text(v).c_str(),
                        orvix::admin::describe_registry_data(v.type, v.data).c_str(), origin_text(key, v).c_str());
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
    print_json(document);
}

int run_check_policy(int argc, char** argv) {
    PolicyFileOption pol;
    if (!take_policy_file_option("check-policy", &argc, argv, &pol)) return 2;
    if (argc != 0) {
        std::fprintf(stderr, "usage: orvix-env check-policy [--pol Registry.pol | --gpo DIR]\n");
        return 2;
    }
    static AppliedPolicyFile applied;
    if (pol.given) {
        // An in-memory registry: linting a GPO never writes the machine's policy keys.
        if (!apply_policy_file(pol, &applied)) return 2;
        g_pol = &applied;
        orvix::admin::MemoryRegistryInterface view(applied.registry);
        const PolicyReport report = orvix::admin::check_policy_keys(view);
        if (json_output()) {
            print_json_report(report);
        } else {
            print_text(report);
        }
        return report.problems == 0 ? 0 : 1;
    }
    if (registry_option_supported() && global_options().registry_file.empty()) {
        std::fprintf(stderr,
                     "orvix-env check-policy: this machine has no registry; give the policies as a registry "
                     "export file: orvix-env --registry FILE.reg check-policy (or a GPO's file: check-policy "
                     "--pol Registry.pol)\n");
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
    check_policy, "check-policy", "[--pol Registry.pol | --gpo DIR]",
    "say for every value of the three policy keys what the agent makes of it and why; exit 1 when "
    "one does not take effect as written (--pol, --gpo: the keys a GPO's Registry.pol gives)",
    run_check_policy);

}  // namespace orvix_env
