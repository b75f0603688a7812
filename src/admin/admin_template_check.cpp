#include "admin/admin_template_check.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "admin/admin_templates.h"
#include "admin/utf8_path.h"
#include "admin/xml_reader.h"

namespace orvix::admin {
namespace {

// One registry value a policy writes.
struct Written {
    std::string key;
    std::string value_name;
    std::string element;  // "decimal", "text", ...; "switch" for a policy's own on/off values
    uint32_t min_value = 0;
    uint32_t max_value = 9999;  // the schema's defaults
    uint32_t max_length = 1023;
    bool store_as_text = false;
    bool expandable = false;
};

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string identity(const std::string& key, const std::string& value_name) {
    return lower(key) + '\n' + lower(value_name);
}

// An unsigned 32-bit attribute; keeps fallback when absent, false when malformed.
bool unsigned_attribute(const XmlElement& e, const char* name, uint32_t* value) {
    const std::string* text = e.attribute(name);
    if (text == nullptr) return true;
    if (text->empty() || text->size() > 10) return false;
    uint64_t v = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool true_attribute(const XmlElement& e, const char* name) {
    const std::string* text = e.attribute(name);
    return text != nullptr && (*text == "true" || *text == "1");
}

std::string describe(const Written& w) {
    if (w.element == "decimal") {
        return "a number " + std::to_string(w.min_value) + " to " + std::to_string(w.max_value) +
               (w.store_as_text ? ", stored as text (REG_SZ)" : "");
    }
    if (w.element == "text") {
        return "text of at most " + std::to_string(w.max_length) + " characters" +
               (w.expandable ? ", stored as REG_EXPAND_SZ" : "");
    }
    if (w.element == "switch") return "an on/off value of the policy itself";
    return "a " + w.element + " element";
}

bool same(const Written& deployed, const Written& expected) {
    if (deployed.element != expected.element) return false;
    if (expected.element == "decimal") {
        return !deployed.store_as_text && deployed.min_value == expected.min_value &&
               deployed.max_value == expected.max_value;
    }
    return !deployed.expandable && deployed.max_length == expected.max_length;
}

void collect_references(const XmlElement& e, std::set<std::string>* strings,
                        std::set<std::string>* presentations) {
    for (const auto& [name, value] : e.attributes) {
        (void)name;
        if (value.rfind("$(string.", 0) == 0 && value.back() == ')')
            strings->insert(value.substr(9, value.size() - 10));
        if (value.rfind("$(presentation.", 0) == 0 && value.back() == ')') {
            presentations->insert(value.substr(15, value.size() - 16));
        }
    }
    for (const auto& c : e.children) collect_references(c, strings, presentations);
}

void check_language_file(const XmlElement& admx, const std::string* adml, TemplateCheck* result) {
    const std::string where = std::string(kAdmlFolder) + "/" + kAdmlFileName;
    if (adml == nullptr) {
        result->problems.push_back(where + " is missing: Group Policy editors cannot show these templates");
        return;
    }
    XmlElement root;
    std::string error;
    if (!parse_xml(*adml, &root, &error)) {
        result->problems.push_back(where + ": " + error);
        return;
    }
    if (root.name != "policyDefinitionResources") {
        result->problems.push_back(where + " is not a policy language file");
        return;
    }
    const std::string* revision = root.attribute("revision");
    const XmlElement* resources = admx.child("resources");
    const std::string* required =
        resources != nullptr ? resources->attribute("minRequiredRevision") : nullptr;
    if (required != nullptr && (revision == nullptr || *revision != *required)) {
        result->problems.push_back(where + " has revision " + (revision != nullptr ? *revision : "(none)") +
                                   ", the templates need " + *required);
    }
    std::set<std::string> strings, presentations;
    collect_references(admx, &strings, &presentations);
    const XmlElement* tables = root.child("resources");
    for (const char* table : {"stringTable", "presentationTable"}) {
        const XmlElement* t = tables != nullptr ? tables->child(table) : nullptr;
        if (t == nullptr) continue;
        for (const auto& entry : t->children) {
            if (const std::string* id = entry.attribute("id")) {
                (std::strcmp(table, "stringTable") == 0 ? strings : presentations).erase(*id);
            }
        }
    }
    for (const auto* missing : {&strings, &presentations}) {
        if (!missing->empty()) {
            result->problems.push_back(where + " lacks " + std::to_string(missing->size()) + " of the " +
                                       (missing == &strings ? "texts" : "presentations") +
                                       " the templates use, among them " + *missing->begin());
        }
    }
}

}  // namespace

const char* difference_kind_name(TemplateDifference::Kind kind) {
    switch (kind) {
        case TemplateDifference::Kind::Missing:
            return "missing";
        case TemplateDifference::Kind::Extra:
            return "extra";
        case TemplateDifference::Kind::TypedDifferently:
            return "typed differently";
    }
    return "?";
}

TemplateCheck compare_admin_templates(std::string_view admx, const std::string* adml) {
    TemplateCheck result;
    result.revision = template_revision();

    XmlElement root;
    std::string error;
    if (!parse_xml(admx, &root, &error)) {
        result.problems.push_back(std::string(kAdmxFileName) + ": " + error);
        return result;
    }
    if (root.name != "policyDefinitions") {
        result.problems.push_back(std::string(kAdmxFileName) + " is not a policy definitions file");
        return result;
    }
    if (const std::string* revision = root.attribute("revision")) result.deployed_revision = *revision;

    // What the deployed policies write, first writer of each value kept.
    std::vector<Written> deployed;
    std::map<std::string, size_t> deployed_index;
    auto add = [&](Written w) {
        if (deployed_index.emplace(identity(w.key, w.value_name), deployed.size()).second) {
            deployed.push_back(std::move(w));
        }
    };
    if (const XmlElement* policies = root.child("policies")) {
        for (const XmlElement& policy : policies->children) {
            if (policy.name != "policy") continue;
            const std::string* key = policy.attribute("key");
            const std::string policy_key = key != nullptr ? *key : std::string();
            const std::string policy_name =
                policy.attribute("name") != nullptr ? *policy.attribute("name") : "?";
            if (const std::string* value_name = policy.attribute("valueName")) {
                add(Written{policy_key, *value_name, "switch"});
            }
            for (const XmlElement& part : policy.children) {
                if (part.name == "enabledList" || part.name == "disabledList") {
                    const std::string* default_key = part.attribute("defaultKey");
                    for (const XmlElement& item : part.children) {
                        const std::string* item_key = item.attribute("key");
                        const std::string* value_name = item.attribute("valueName");
                        if (value_name == nullptr) continue;
                        add(Written{item_key != nullptr      ? *item_key
                                    : default_key != nullptr ? *default_key
                                                             : policy_key,
                                    *value_name, "switch"});
                    }
                }
                if (part.name != "elements") continue;
                for (const XmlElement& e : part.children) {
                    Written w;
                    w.key = e.attribute("key") != nullptr ? *e.attribute("key") : policy_key;
                    w.value_name = e.attribute("valueName") != nullptr     ? *e.attribute("valueName")
                                   : e.attribute("valuePrefix") != nullptr ? *e.attribute("valuePrefix")
                                                                           : std::string();
                    w.element = e.name;
                    if (!unsigned_attribute(e, "minValue", &w.min_value) ||
                        !unsigned_attribute(e, "maxValue", &w.max_value) ||
                        !unsigned_attribute(e, "maxLength", &w.max_length)) {
                        result.problems.push_back(std::string(kAdmxFileName) + ": policy " + policy_name +
                                                  " has a malformed number at line " +
                                                  std::to_string(e.line));
                    }
                    w.store_as_text = true_attribute(e, "storeAsText");
                    w.expandable = true_attribute(e, "expandable");
                    add(std::move(w));
                }
            }
        }
    }

    // What the running catalogue's templates write.
    std::set<std::string> expected_ids;
    const std::vector<TemplateSetting> settings = template_settings();
    for (const auto& category : template_categories()) {
        for (const auto& s : settings) {
            if (!s.in_defaults && std::strcmp(category.key, template_categories().front().key) != 0) continue;
            Written expected;
            expected.key = category.key;
            expected.value_name = s.value_name;
            if (s.kind == PolicyKind::Number) {
                expected.element = "decimal";
                expected.min_value = s.min_value;
                expected.max_value = s.max_value;
            } else {
                expected.element = "text";
                expected.max_length = s.max_length;
            }
            const std::string id = identity(expected.key, expected.value_name);
            expected_ids.insert(id);
            ++result.compared;
            const auto found = deployed_index.find(id);
            if (found == deployed_index.end()) {
                result.differences.push_back(
                    {TemplateDifference::Kind::Missing, s.value_name, category.key, {}});
            } else if (!same(deployed[found->second], expected)) {
                result.differences.push_back({TemplateDifference::Kind::TypedDifferently, s.value_name,
                                              category.key,
                                              "deployed: " + describe(deployed[found->second]) +
                                                  "; the agent reads " + describe(expected)});
            }
        }
    }
    for (const Written& w : deployed) {
        if (expected_ids.count(identity(w.key, w.value_name)) == 0) {
            result.differences.push_back({TemplateDifference::Kind::Extra, w.value_name, w.key, describe(w)});
        }
    }

    check_language_file(root, adml, &result);
    return result;
}

TemplateCheck check_admin_templates(const std::string& dir) {
    const std::filesystem::path root = path_from_utf8(dir);
    auto read = [](const std::filesystem::path& path, std::string* text) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !in.bad();
    };
    std::string admx, adml;
    if (!read(root / kAdmxFileName, &admx)) {
        TemplateCheck result;
        result.revision = template_revision();
        result.problems.push_back("cannot read " + utf8_from_path(root / kAdmxFileName));
        return result;
    }
    const bool have_adml = read(root / kAdmlFolder / kAdmlFileName, &adml);
    return compare_admin_templates(admx, have_adml ? &adml : nullptr);
}

}  // namespace orvix::admin
