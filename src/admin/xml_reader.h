// A small XML reader for the files administrators hand back to the tools: administrative
// templates already deployed on a machine. It reads UTF-8 documents into a tree of
// elements (local names, attributes, character data) and refuses what such files never
// need: document type declarations (and with them entity definitions), UTF-16, nesting
// deeper than 64 elements. Kept free of dependencies so the Windows build carries it too.
//
// Bad input never throws and never reads past the text: parse_xml returns false with a
// message naming the line.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvix::admin {

struct XmlElement {
    std::string name;                                             // local name, without a namespace prefix
    std::vector<std::pair<std::string, std::string>> attributes;  // local names; values decoded
    std::vector<XmlElement> children;
    std::string text;  // the character data directly inside, references decoded
    int line = 0;

    // The value of an attribute, or null.
    const std::string* attribute(std::string_view local_name) const;
    // The first child of that name, or null.
    const XmlElement* child(std::string_view local_name) const;
};

// Parses a whole document into root. False, with "line N: what" in error, when the text is
// not a well-formed document of the kind described above.
bool parse_xml(std::string_view text, XmlElement* root, std::string* error);

// Text with &, <, > and " replaced by references, for element content and attribute values.
std::string xml_escape(std::string_view text);

}  // namespace orvix::admin
