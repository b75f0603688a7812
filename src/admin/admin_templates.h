// The Group Policy administrative templates of the agent: orvix.admx and its language file
// en-US/orvix.adml, generated from the settings catalogue at run time so that they offer
// exactly what the agent reads. Each configurable setting is one policy under the admin
// policy key and once more under the over-rideable defaults key; the non-catalogue names
// the registry source acts on (category log levels, start delay) are offered under the
// admin policy key only, since the agent acts on them under every key it reads and the
// defaults key could not keep a promise to yield to the other keys.
//
// Reads the catalogue, the store's default computation and the sources' action names;
// changes nothing. Every function is safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings_catalogue.h"

namespace orvix::admin {

// The longest text a policy accepts: the registry source reads 511 bytes and a NUL.
inline constexpr uint32_t kTextPolicyMaxLength = 511;

enum class PolicyKind {
    Number,  // a decimal element, written as REG_DWORD
    Text,    // a text element, written as REG_SZ
};

// One setting as the templates offer it.
struct TemplateSetting {
    std::string value_name;   // the registry value name: the setting's name as the agent matches it
    std::string policy_name;  // the ADMX name (no "."), before a category's suffix
    PolicyKind kind = PolicyKind::Number;
    uint32_t min_value = 0;  // numbers: the range the policy accepts
    uint32_t max_value = 0;
    uint32_t max_length = 0;      // texts
    bool in_defaults = true;      // also offered under the over-rideable defaults key
    uint32_t default_number = 0;  // what the editor shows first
    std::string default_text;
    std::string display_name;
    std::string description;  // type, range, default, when it takes effect
};

// A policy category: where Group Policy writes its values.
struct TemplateCategory {
    const char* name;           // the ADMX category name
    const char* key;            // below HKEY_LOCAL_MACHINE
    const char* policy_suffix;  // appended to policy names, so both categories' names differ
    const char* label;          // for messages: "admin policies", ...
};
// The admin policy category first, then the over-rideable defaults.
const std::vector<TemplateCategory>& template_categories();

// Every setting the templates offer: the configurable catalogue rows in catalogue order,
// then the action names.
std::vector<TemplateSetting> template_settings();

// Every catalogue row, from the placeholder row 0 to the end row.
std::vector<sVORN_ENV_LOOKUP_ENTRY> catalogue_rows();
// The templates' revision ("major.minor", as the ADMX schema writes versions): a
// fingerprint of every row and of the action names, so it changes whenever the catalogue
// does. It is not a sequence number: compare revisions for equality only.
std::string template_revision(const std::vector<sVORN_ENV_LOOKUP_ENTRY>& rows);
std::string template_revision();

struct AdminTemplates {
    std::string revision;
    std::string admx;  // orvix.admx
    std::string adml;  // en-US/orvix.adml
};
AdminTemplates generate_admin_templates();

inline constexpr const char* kAdmxFileName = "orvix.admx";
inline constexpr const char* kAdmlFolder = "en-US";
inline constexpr const char* kAdmlFileName = "orvix.adml";

}  // namespace orvix::admin
