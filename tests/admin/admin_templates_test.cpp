#include "admin/admin_templates.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "admin/admin_template_check.h"
#include "admin/xml_reader.h"
#include "config/configuration_manager.h"
#include "config/settings.h"

namespace {

using orvix::admin::AdminTemplates;
using orvix::admin::XmlElement;

constexpr const char* kAdmin = cVORN_MGMT_CFG_MGR_REG::kAdminPoliciesKey;
constexpr const char* kDefaults = cVORN_MGMT_CFG_MGR_REG::kAdminDefaultsKey;

TEST(Templates, OfferEveryConfigurableSettingUnderBothKeysAndTheActionsUnderTheAdminKey) {
    XmlElement admx;
    std::string error;
    ASSERT_TRUE(orvix::admin::parse_xml(orvix::admin::generate_admin_templates().admx, &admx, &error))
        << error;
    std::set<std::pair<std::string, std::string>> policies;  // by key and value name
    std::set<std::string> names;
    for (const XmlElement& p : admx.child("policies")->children) {
        // Policy names as the schema needs them; that references resolve, the template check shows.
        const std::string& name = *p.attribute("name");
        EXPECT_TRUE(std::regex_match(name, std::regex("[A-Za-z0-9_]+")) && names.insert(name).second) << name;
        const XmlElement* elements = p.child("elements");
        ASSERT_TRUE(elements != nullptr && elements->children.size() == 1u) << name;
        const std::string& value_name = *elements->children.front().attribute("valueName");
        EXPECT_TRUE(policies.emplace(*p.attribute("key"), value_name).second)
            << "two policies write " << value_name;
    }

    size_t configurable = 0;
    for (uint32_t index = 1; index <= get_num_entries(); ++index) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
        const bool offered = row.configurable == ENV_CONFIGURABLE;
        configurable += offered ? 1 : 0;
        EXPECT_EQ(policies.count({kAdmin, row.name}), offered ? 1u : 0u) << row.name;
        EXPECT_EQ(policies.count({kDefaults, row.name}), offered ? 1u : 0u) << row.name;
    }
    const std::vector<std::string> actions = orvix::config::internal::config_parameter_action_names();
    ASSERT_EQ(actions.size(), 11u);
    for (const auto& name : actions) {
        EXPECT_EQ(policies.count({kAdmin, name}), 1u) << name;
        EXPECT_EQ(policies.count({kDefaults, name}), 0u) << name << " would not yield to the other keys";
    }
    EXPECT_EQ(policies.size(), 2 * configurable + actions.size());
}

// The last number the fingerprint takes of the last row, the text after it and the row
// order each change it.
TEST(Revision, ChangesWithTheCatalogueAndKeepsTheSchemasForm) {
    const std::vector<sVORN_ENV_LOOKUP_ENTRY> rows = orvix::admin::catalogue_rows();
    ASSERT_EQ(rows.size(), get_num_entries() + 2u);
    const std::string base = orvix::admin::template_revision(rows);
    EXPECT_TRUE(std::regex_match(base, std::regex("[0-9]{1,4}\\.[0-9]{1,5}"))) << base;
    EXPECT_EQ(base, orvix::admin::template_revision(rows));

    const std::string longer = std::string(rows.back().default_value) + "0";
    for (int change = 0; change < 3; ++change) {
        std::vector<sVORN_ENV_LOOKUP_ENTRY> changed = rows;
        if (change == 0) ++changed.back().max_value;
        if (change == 1) changed.back().default_value = longer.c_str();
        if (change == 2) std::swap(changed[10], changed[11]);  // the row index is the store's slot
        EXPECT_NE(orvix::admin::template_revision(changed), base) << change;
    }
}

void replace(std::string* text, const std::string& from, const std::string& to) {
    const size_t at = text->find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text->replace(at, from.size(), to);
}

std::string policy_block(const std::string& admx, const std::string& name) {
    const size_t begin = admx.find("    <policy name=\"" + name + "\"");
    EXPECT_NE(begin, std::string::npos) << name;
    return admx.substr(begin, admx.find("</policy>\n", begin) + 10 - begin);
}

TEST(Check, DeployedTemplatesOfAnotherCatalogueShowEachDifference) {
    const AdminTemplates t = orvix::admin::generate_admin_templates();
    const auto same = orvix::admin::compare_admin_templates(t.admx, &t.adml);
    EXPECT_TRUE(same.matches());
    EXPECT_EQ(same.deployed_revision, t.revision);

    // An older catalogue: mtu_size unknown, priority_level unchecked, server_type a number
    // among the defaults; a name written in other letter case.
    std::string admx = t.admx;
    replace(&admx, policy_block(admx, "orvix_mtu_size"), "");
    replace(&admx, "valueName=\"orvix.priority_level\" required=\"true\" minValue=\"0\" maxValue=\"4\"",
            "valueName=\"orvix.priority_level\" required=\"true\" minValue=\"0\" maxValue=\"9999\"");
    const std::string server_type = policy_block(admx, "orvix_server_type_Default");
    std::string as_number = server_type;
    replace(&as_number, "<text id=\"orvix_server_type\" valueName=\"orvix.server_type\" maxLength=\"511\"/>",
            "<decimal id=\"orvix_server_type\" valueName=\"orvix.server_type\"/>");
    replace(&admx, server_type, as_number);
    replace(&admx, "valueName=\"orvix.enable_usb\"", "valueName=\"Orvix.Enable_USB\"");

    const auto result = orvix::admin::compare_admin_templates(admx, &t.adml);
    EXPECT_TRUE(result.problems.empty()) << result.problems.front();
    std::vector<std::string> seen;
    for (const auto& d : result.differences) {
        seen.push_back(std::string(orvix::admin::difference_kind_name(d.kind)) + " " + d.value_name + " " +
                       d.key + (d.detail.empty() ? "" : ": " + d.detail));
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{
                  std::string("typed differently orvix.priority_level ") + kAdmin +
                      ": deployed: a number 0 to 9999; the agent reads a number 0 to 4",
                  std::string("missing orvix.mtu_size ") + kAdmin,
                  std::string("typed differently orvix.server_type ") + kDefaults +
                      ": deployed: a number 0 to 9999; the agent reads text of at most 511 characters"}));
}

TEST(Check, UnreadableOrMismatchedFilesAreProblemsNotFailures) {
    const AdminTemplates t = orvix::admin::generate_admin_templates();
    std::string older = t.adml;
    replace(&older, "revision=\"" + t.revision + "\"", "revision=\"1.0\"");
    replace(&older, "<string id=\"orvix_mtu_size\">", "<string id=\"orvix_mtu_size_old\">");
    const struct {
        std::string admx;
        const std::string* adml;
        std::vector<std::string> problems;
    } cases[] = {
        {t.admx, nullptr, {"en-US/orvix.adml is missing: Group Policy editors cannot show these templates"}},
        {t.admx,
         &older,
         {"en-US/orvix.adml has revision 1.0, the templates need " + t.revision,
          "en-US/orvix.adml lacks 1 of the texts the templates use, among them orvix_mtu_size"}},
        {"<policyDefinitionResources/>", &t.adml, {"orvix.admx is not a policy definitions file"}}};
    for (const auto& c : cases) {
        const auto check = orvix::admin::compare_admin_templates(c.admx, c.adml);
        EXPECT_TRUE(check.differences.empty());
        EXPECT_EQ(check.problems, c.problems);
    }
    const auto cut = orvix::admin::compare_admin_templates(t.admx.substr(0, t.admx.size() / 2), &t.adml);
    EXPECT_TRUE(cut.deployed_revision.empty());
    ASSERT_EQ(cut.problems.size(), 1u);
    EXPECT_EQ(cut.problems[0].rfind("orvix.admx: line ", 0), 0u) << cut.problems[0];
}

}  // namespace
