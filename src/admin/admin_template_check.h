// Compares administrative templates already deployed (a PolicyDefinitions folder or a
// central store, perhaps of an older agent) with the templates of the running catalogue:
// which registry values the deployed files let Group Policy write that the agent does not
// read, which the agent reads that they do not offer, and which they write differently
// (another element type, another range or length).
//
// Policies are matched by what they write (key and value name, compared without regard
// to case as the registry does), not by policy name. Bad files never throw: they become
// problems of the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvix::admin {

struct TemplateDifference {
    enum class Kind { Missing, Extra, TypedDifferently };
    Kind kind = Kind::Missing;
    std::string value_name;
    std::string key;
    std::string detail;  // for TypedDifferently: what is deployed and what the agent reads
};

struct TemplateCheck {
    std::string deployed_revision;  // empty when the ADMX file could not be read
    std::string revision;           // of the running catalogue's templates
    size_t compared = 0;            // registry values the running templates offer
    std::vector<TemplateDifference> differences;
    std::vector<std::string> problems;  // files that cannot be read or do not fit together

    bool matches() const { return differences.empty() && problems.empty(); }
};

// Checks dir/orvix.admx and dir/en-US/orvix.adml.
TemplateCheck check_admin_templates(const std::string& dir);
// The same over the files' texts; adml null when the language file is missing.
TemplateCheck compare_admin_templates(std::string_view admx, const std::string* adml);

// "missing", "extra" or "typed differently".
const char* difference_kind_name(TemplateDifference::Kind kind);

}  // namespace orvix::admin
