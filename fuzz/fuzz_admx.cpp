// Feeds arbitrary bytes to the administrative-template check as a deployed ADMX file and,
// after the first NUL, its language file: nothing may crash, and whatever the check
// reports, a file it could not read is a problem, never a difference.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "admin/admin_template_check.h"
#include "admin/xml_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view admx = input.substr(0, split);
    const std::string adml(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
    const orvix::admin::TemplateCheck result =
        orvix::admin::compare_admin_templates(admx, split == std::string_view::npos ? nullptr : &adml);
    orvix::admin::XmlElement root;
    std::string error;
    const bool readable = orvix::admin::parse_xml(admx, &root, &error) && root.name == "policyDefinitions";
    if (!readable && (!result.differences.empty() || result.problems.empty())) __builtin_trap();
    if (readable && result.compared == 0) __builtin_trap();
    return 0;
}
