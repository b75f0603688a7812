// orvix-env admx DIR: writes the Group Policy administrative templates of this agent's
// settings catalogue, DIR/orvix.admx and DIR/en-US/orvix.adml, each whole or not at all.
// orvix-env admx --check DIR: compares templates deployed in DIR (a PolicyDefinitions
// folder or a central store) with this agent's catalogue; exit status 1 when they differ,
// 2 when they cannot be read.
#include <cstdio>
#include <string>
#include <string_view>

#include "admin/admin_template_check.h"
#include "admin/admin_templates.h"
#include "commands.h"
#include "console.h"
#include "json_output.h"
#include "output_file.h"
#include "text_output.h"

namespace orvix_env {
namespace {

// Exit status: 0 when the templates match, 1 when they differ, 2 when they cannot be read.
int check_status(const orvix::admin::TemplateCheck& result) {
    if (result.deployed_revision.empty() && !result.problems.empty()) return 2;
    return result.matches() ? 0 : 1;
}

int print_check_json(const std::string& dir, const orvix::admin::TemplateCheck& result) {
    Json differences = Json::array();
    for (const auto& d : result.differences) {
        differences.push_back({{"kind", orvix::admin::difference_kind_name(d.kind)},
                               {"value_name", d.value_name},
                               {"key", d.key},
                               {"detail", d.detail.empty() ? Json() : Json(d.detail)}});
    }
    print_json(
        {{"folder", dir},
         {"deployed_revision", result.deployed_revision.empty() ? Json() : Json(result.deployed_revision)},
         {"revision", result.revision},
         {"compared", result.compared},
         {"matches", result.matches()},
         {"differences", std::move(differences)},
         {"problems", result.problems}});
    return check_status(result);
}

int check(const std::string& dir) {
    const orvix::admin::TemplateCheck result = orvix::admin::check_admin_templates(dir);
    if (json_output()) return print_check_json(dir, result);
    for (const auto& d : result.differences) {
        std::printf("%s: %s (%s)%s%s\n", orvix::admin::difference_kind_name(d.kind), d.value_name.c_str(),
                    d.key.c_str(), d.detail.empty() ? "" : ": ", d.detail.c_str());
    }
    for (const auto& p : result.problems) std::printf("problem: %s\n", p.c_str());
    if (check_status(result) == 2) return 2;
    std::printf("%s: revision %s, this agent's revision %s\n", dir.c_str(), result.deployed_revision.c_str(),
                result.revision.c_str());
    if (result.matches()) {
        std::printf("the templates match this agent's catalogue (%zu policy values)\n", result.compared);
        return 0;
    }
    std::printf("%zu differences and %zu problems in %zu policy values\n", result.differences.size(),
                result.problems.size(), result.compared);
    return 1;
}

// Each file appears whole or not at all: a full disk leaves no truncated template behind.
bool write_templates(const std::string& dir, const std::string& admx, const std::string& adml,
                     std::string* error) {
    const orvix::admin::AdminTemplates templates = orvix::admin::generate_admin_templates();
    return create_output_folder(output_path(dir, orvix::admin::kAdmlFolder), error) &&
           write_output_file(admx, templates.admx, error) && write_output_file(adml, templates.adml, error);
}

int run_admx(const std::string& dir, bool checking) {
    if (checking) return check(dir);
    const std::string admx = output_path(dir, orvix::admin::kAdmxFileName);
    const std::string adml = output_path(output_path(dir, orvix::admin::kAdmlFolder), orvix::admin::kAdmlFileName);
    std::string error;
    if (!write_templates(dir, admx, adml, &error)) {
        std::fprintf(stderr, "orvix-env: %s\n", printable(error, false).c_str());
        return 1;
    }
    if (json_output()) {
        print_json({{"written", {admx, adml}}, {"revision", orvix::admin::template_revision()}});
    } else {
        std::printf("%s\n%s\nrevision %s\n", printable(admx, false).c_str(), printable(adml, false).c_str(),
                    orvix::admin::template_revision().c_str());
    }
    return 0;
}

std::function<int()> declare_admx(CLI::App& command) {
    auto folder = std::make_shared<std::string>();
    auto checking = std::make_shared<bool>(false);
    command.add_option("DIR", *folder, "the folder to write the templates to, or with --check the deployed "
                                       "PolicyDefinitions folder (or central store)")
        ->required();
    command.add_flag("--check", *checking, "compare the templates deployed in DIR with this agent's catalogue");
    return [folder, checking] { return run_admx(*folder, *checking); };
}

}  // namespace

ORVIX_ENV_COMMAND(
    admx, "admx",
    "write the Group Policy templates DIR/orvix.admx and DIR/en-US/orvix.adml from the catalogue, or "
    "compare templates deployed in DIR with it (--check)",
    declare_admx);

}  // namespace orvix_env
