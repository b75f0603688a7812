#include "admin/admin_templates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>

#include "admin/admin_template_check.h"
#include "admin/xml_reader.h"
#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/settings.h"

namespace {

using orvix::admin::AdminTemplates;
using orvix::admin::TemplateDifference;
using orvix::admin::XmlElement;

constexpr const char* kAdmin = cVORN_MGMT_CFG_MGR_REG::kAdminPoliciesKey;
constexpr const char* kDefaults = cVORN_MGMT_CFG_MGR_REG::kAdminDefaultsKey;

XmlElement parsed(const std::string& text) {
    XmlElement root;
    std::string error;
    EXPECT_TRUE(orvix::admin::parse_xml(text, &root, &error)) << error;
    return root;
}

struct Policy {
    const XmlElement* policy;
    const XmlElement* element;  // the one element each policy has
};

// Policies by key and value name.
std::map<std::pair<std::string, std::string>, Policy> policies_of(const XmlElement& admx) {
    std::map<std::pair<std::string, std::string>, Policy> out;
    for (const XmlElement& p : admx.child("policies")->children) {
        const XmlElement* elements = p.child("elements");
        EXPECT_TRUE(elements != nullptr && elements->children.size() == 1u) << *p.attribute("name");
        const XmlElement* e = &elements->children.front();
        EXPECT_TRUE(
            out.emplace(std::make_pair(*p.attribute("key"), *e->attribute("valueName")), Policy{&p, e})
                .second)
            << "two policies write " << *e->attribute("valueName");
    }
    return out;
}

std::string range_of(const Policy& p) {
    return *p.element->attribute("minValue") + ".." + *p.element->attribute("maxValue");
}

TEST(Templates, OfferEveryConfigurableSettingUnderBothKeysAndTheActionsUnderTheAdminKey) {
    const AdminTemplates t = orvix::admin::generate_admin_templates();
    const XmlElement admx = parsed(t.admx);
    const XmlElement adml = parsed(t.adml);
    const auto policies = policies_of(admx);

    size_t configurable = 0;
    for (uint32_t index = 1; index <= get_num_entries(); ++index) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
        for (const char* key : {kAdmin, kDefaults}) {
            const auto found = policies.find({key, row.name});
            if (row.configurable != ENV_CONFIGURABLE) {
                EXPECT_TRUE(found == policies.end()) << row.name << " is fixed";
                continue;
            }
            ASSERT_TRUE(found != policies.end()) << row.name << " under " << key;
            EXPECT_EQ(found->second.element->name, row.value_class == ENV_CLASS_TEXT ? "text" : "decimal")
                << row.name;
            if (row.value_class == ENV_CLASS_TEXT) {
                EXPECT_EQ(*found->second.element->attribute("maxLength"), "511");
            }
        }
        configurable += row.configurable == ENV_CONFIGURABLE ? 1 : 0;
    }
    const std::pair<const char*, const char*> ranges[] = {
        {"orvix.mtu_size", "500..1500"},           // checked
        {"orvix.max_link_rate", "0..4294967295"},  // bounds stored, not checked
        {"orvix.enable_ipv6", "0..255"},           // u8, not checked: its width
        {"orvix.server_statistics_interval_seconds", "0..65535"},
        {"orvix.fast_change_decomp_delta", "0..255"},  // u8 checked 0..100000: what fits
        {"orvix.event_filter_mode", "0..3"},           // enumeration
        {"orvix.vorn_event_cat_mgmt_usb.log_level", "0..5"},
        {"orvix.start_delay_time", "0..30"},
    };
    for (const auto& [name, range] : ranges) EXPECT_EQ(range_of(policies.at({kAdmin, name})), range) << name;

    const std::vector<std::string> actions = orvix::config::internal::config_parameter_action_names();
    ASSERT_EQ(actions.size(), 11u);
    for (const auto& name : actions) {
        EXPECT_EQ(policies.count({kAdmin, name}), 1u) << name;
        EXPECT_EQ(policies.count({kDefaults, name}), 0u) << name << " would not yield to the other keys";
    }
    EXPECT_EQ(policies.size(), 2 * configurable + actions.size());

    // Names as the schema and the editor need them (that references resolve, --check's
    // own comparison of these templates shows).
    std::map<std::string, std::string> texts;
    for (const auto& s : adml.child("resources")->child("stringTable")->children)
        texts[*s.attribute("id")] = s.text;
    for (const auto& p : adml.child("resources")->child("presentationTable")->children) {
        EXPECT_EQ(*p.children.at(0).attribute("refId"), *p.attribute("id")) << "the element's id";
    }
    std::set<std::string> names, shown, categories;
    for (const auto& c : admx.child("categories")->children) categories.insert(*c.attribute("name"));
    for (const auto& [where, p] : policies) {
        const std::string& name = *p.policy->attribute("name");
        EXPECT_TRUE(std::regex_match(name, std::regex("[A-Za-z0-9_]+"))) << name;
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(*p.policy->attribute("class"), "Machine");
        EXPECT_EQ(categories.count(*p.policy->child("parentCategory")->attribute("ref")), 1u) << name;
        const std::string& display = *p.policy->attribute("displayName");
        if (where.first == kAdmin) {
            EXPECT_TRUE(shown.insert(texts[display.substr(9, display.size() - 10)]).second)
                << "shown twice: " << name;
        }
    }
    EXPECT_EQ(*admx.attribute("revision"), t.revision);
    EXPECT_EQ(*admx.child("resources")->attribute("minRequiredRevision"), t.revision);
    EXPECT_EQ(*adml.attribute("revision"), t.revision);
    EXPECT_EQ(t.revision, orvix::admin::template_revision());
}

// The explanations against the store itself: its defaults, and when a change applies.
TEST(Templates, ExplanationsStateTheStoresDefaultsRangesAndWhenAChangeTakesEffect) {
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    const std::vector<orvix::admin::TemplateSetting> settings = orvix::admin::template_settings();
    size_t checked = 0;
    for (const auto& s : settings) {
        const uint32_t index = get_entry_index(s.value_name.c_str());
        if (index == ENV_INDEX_NOT_FOUND) continue;  // an action name
        ++checked;
        std::string value;
        if (get_entry_type(s.value_name.c_str()) == ENV_VALUE_ENUM) {
            eVORN_MGMT_ENV_ENUM e{};
            ASSERT_EQ(vorn_mgmt_env_get_enum(s.value_name.c_str(), &e), 0);
            value = std::to_string(static_cast<int>(e));
        } else {
            ASSERT_EQ(vorn_mgmt_env_get_string_value(s.value_name, value), 0) << s.value_name;
        }
        const std::string default_line =
            s.kind == orvix::admin::PolicyKind::Text
                ? (value.empty() ? "Default: empty." : "Default: \"" + value + "\".")
                : "Default: " + value + ".";
        EXPECT_NE(s.description.find(default_line), std::string::npos) << s.value_name << ":\n"
                                                                       << s.description;
        const bool later = (get_entry_modification(index) & ENV_MOD_STARTUP_ONLY) != 0;
        EXPECT_EQ(s.description.find("Takes effect at the next start") != std::string::npos, later)
            << s.value_name;
        if (s.kind == orvix::admin::PolicyKind::Number) {
            EXPECT_NE(s.description.find("Range: " + std::to_string(s.min_value) + " to " +
                                         std::to_string(s.max_value)),
                      std::string::npos)
                << s.value_name;
            const bool clamps = get_entry(index).range_checked == ENV_RANGE_CHECKED;
            EXPECT_EQ(s.description.find("clamp") != std::string::npos, clamps) << s.value_name;
        }
    }
    EXPECT_GT(checked, 200u);
    const auto retry = std::find_if(settings.begin(), settings.end(), [](const auto& s) {
        return s.value_name == "orvix.session_retry_timeout";
    });
    ASSERT_NE(retry, settings.end());
    EXPECT_NE(retry->description.find("Default: 20."), std::string::npos)
        << "computed by the store, not the row's text";
}

TEST(Revision, ChangesWithEveryFieldOfEveryRowAndKeepsTheSchemasForm) {
    const std::vector<sVORN_ENV_LOOKUP_ENTRY> rows = orvix::admin::catalogue_rows();
    ASSERT_EQ(rows.size(), get_num_entries() + 2u);
    const std::string base = orvix::admin::template_revision(rows);
    EXPECT_TRUE(std::regex_match(base, std::regex("[0-9]{1,4}\\.[0-9]{1,5}"))) << base;
    EXPECT_EQ(base, orvix::admin::template_revision(rows));

    std::vector<std::string> texts;  // kept alive for the changed rows' pointers
    texts.reserve(rows.size() * 2);
    for (size_t i = 0; i < rows.size(); ++i) {
        for (int field = 0; field < 10; ++field) {
            std::vector<sVORN_ENV_LOOKUP_ENTRY> changed = rows;
            sVORN_ENV_LOOKUP_ENTRY& r = changed[i];
            switch (field) {
                case 0:
                    r.name = texts.emplace_back(std::string(r.name) + "x").c_str();
                    break;
                case 1:
                    ++r.value_type;
                    break;
                case 2:
                    ++r.category;
                    break;
                case 3:
                    r.modification = static_cast<eENV_MODIFICATION>(r.modification ^ 1u);
                    break;
                case 4:
                    ++r.configurable;
                    break;
                case 5:
                    ++r.value_class;
                    break;
                case 6:
                    ++r.range_checked;
                    break;
                case 7:
                    ++r.min_value;
                    break;
                case 8:
                    ++r.max_value;
                    break;
                case 9:
                    r.default_value = texts.emplace_back(std::string(r.default_value) + "0").c_str();
                    break;
            }
            EXPECT_NE(orvix::admin::template_revision(changed), base) << "row " << i << ", field " << field;
        }
    }
    std::vector<sVORN_ENV_LOOKUP_ENTRY> swapped = rows;
    std::swap(swapped[10], swapped[11]);
    EXPECT_NE(orvix::admin::template_revision(swapped), base) << "the row index is the store's slot";
}

void replace(std::string* text, const std::string& from, const std::string& to) {
    const size_t at = text->find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text->replace(at, from.size(), to);
}

std::string policy_block(const std::string& admx, const std::string& name) {
    const size_t begin = admx.find("    <policy name=\"" + name + "\"");
    EXPECT_NE(begin, std::string::npos) << name;
    const size_t end = admx.find("</policy>\n", begin) + 10;
    return admx.substr(begin, end - begin);
}

TEST(Check, DeployedTemplatesOfAnotherCatalogueShowEachDifference) {
    const AdminTemplates t = orvix::admin::generate_admin_templates();
    const auto same = orvix::admin::compare_admin_templates(t.admx, &t.adml);
    EXPECT_TRUE(same.matches());
    EXPECT_EQ(same.deployed_revision, t.revision);
    EXPECT_EQ(same.compared, policies_of(parsed(t.admx)).size());

    // An older catalogue: mtu_size unknown, priority_level unchecked, server_type a number
    // among the defaults, a setting since retired; names written in other letter case.
    std::string admx = t.admx;
    replace(&admx, policy_block(admx, "orvix_mtu_size"), "");
    replace(&admx, "valueName=\"orvix.priority_level\" required=\"true\" minValue=\"0\" maxValue=\"4\"",
            "valueName=\"orvix.priority_level\" required=\"true\" minValue=\"0\" maxValue=\"9999\"");
    const std::string server_type = policy_block(admx, "orvix_server_type_Default");
    std::string as_number = server_type;
    replace(&as_number, "<text id=\"orvix_server_type\" valueName=\"orvix.server_type\" maxLength=\"511\"/>",
            "<decimal id=\"orvix_server_type\" valueName=\"orvix.server_type\"/>");
    replace(&admx, server_type, as_number);
    std::string retired = policy_block(admx, "orvix_enable_audio");
    replace(&retired, "valueName=\"orvix.enable_audio\"", "valueName=\"orvix.retired_setting\"");
    replace(&retired, "name=\"orvix_enable_audio\"", "name=\"orvix_retired_setting\"");
    replace(&admx, "</policies>", retired + "  </policies>");
    replace(&admx, "valueName=\"orvix.enable_usb\"", "valueName=\"Orvix.Enable_USB\"");

    const auto result = orvix::admin::compare_admin_templates(admx, &t.adml);
    EXPECT_TRUE(result.problems.empty()) << result.problems.front();
    std::vector<std::string> seen;
    for (const auto& d : result.differences) {
        seen.push_back(std::string(orvix::admin::difference_kind_name(d.kind)) + " " + d.value_name + " " +
                       d.key + (d.detail.empty() ? "" : ": " + d.detail));
    }
    const std::vector<std::string> expected = {
        std::string("typed differently orvix.priority_level ") + kAdmin +
            ": deployed: a number 0 to 9999; the agent reads a number 0 to 4",
        std::string("missing orvix.mtu_size ") + kAdmin,
        std::string("typed differently orvix.server_type ") + kDefaults +
            ": deployed: a number 0 to 9999; the agent reads text of at most 511 characters",
        std::string("extra orvix.retired_setting ") + kAdmin + ": a number 0 to 1",
    };
    EXPECT_EQ(seen, expected);
}

TEST(Check, UnreadableOrMismatchedFilesAreProblemsNotFailures) {
    const AdminTemplates t = orvix::admin::generate_admin_templates();

    auto missing_adml = orvix::admin::compare_admin_templates(t.admx, nullptr);
    EXPECT_TRUE(missing_adml.differences.empty());
    ASSERT_EQ(missing_adml.problems.size(), 1u);
    EXPECT_EQ(missing_adml.problems[0],
              "en-US/orvix.adml is missing: Group Policy editors cannot show these templates");

    std::string adml = t.adml;
    replace(&adml, "revision=\"" + t.revision + "\"", "revision=\"1.0\"");
    replace(&adml, "<string id=\"orvix_mtu_size\">", "<string id=\"orvix_mtu_size_old\">");
    const auto older = orvix::admin::compare_admin_templates(t.admx, &adml);
    EXPECT_TRUE(older.differences.empty());
    EXPECT_EQ(older.problems,
              (std::vector<std::string>{
                  "en-US/orvix.adml has revision 1.0, the templates need " + t.revision,
                  "en-US/orvix.adml lacks 1 of the texts the templates use, among them orvix_mtu_size",
              }));

    const auto cut = orvix::admin::compare_admin_templates(t.admx.substr(0, t.admx.size() / 2), &t.adml);
    EXPECT_TRUE(cut.deployed_revision.empty());
    EXPECT_TRUE(cut.differences.empty());
    ASSERT_EQ(cut.problems.size(), 1u);
    EXPECT_EQ(cut.problems[0].rfind("orvix.admx: line ", 0), 0u) << cut.problems[0];

    const auto other = orvix::admin::compare_admin_templates("<policyDefinitionResources/>", &t.adml);
    EXPECT_EQ(other.problems, std::vector<std::string>{"orvix.admx is not a policy definitions file"});
}

std::filesystem::path fresh_folder() {
    std::random_device random;
    const auto path = std::filesystem::temp_directory_path() / ("orvix_admx_" + std::to_string(random()));
    std::filesystem::create_directories(path);
    return path;
}

std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Check, WrittenTemplatesMatchAndAFolderInTheWayIsReported) {
    const std::filesystem::path folder = fresh_folder();
    std::string error;
    ASSERT_TRUE(orvix::admin::write_admin_templates((folder / "store").string(), &error)) << error;
    const AdminTemplates t = orvix::admin::generate_admin_templates();
    EXPECT_EQ(read(folder / "store" / "orvix.admx"), t.admx);
    EXPECT_EQ(read(folder / "store" / "en-US" / "orvix.adml"), t.adml);
    EXPECT_TRUE(orvix::admin::check_admin_templates((folder / "store").string()).matches());

    std::ofstream(folder / "file") << "x";
    EXPECT_FALSE(orvix::admin::write_admin_templates((folder / "file").string(), &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;

    const auto empty = orvix::admin::check_admin_templates(folder.string());
    ASSERT_EQ(empty.problems.size(), 1u);
    EXPECT_EQ(empty.problems[0], "cannot read " + (folder / "orvix.admx").string());
    std::filesystem::remove_all(folder);
}

}  // namespace
