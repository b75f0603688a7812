#include "admin/xml_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvix::admin::parse_xml;
using orvix::admin::XmlElement;

TEST(XmlReader, ReadsNamesAttributesAndDecodedText) {
    const std::string text =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- a comment -->\n"
        "<pd:root xmlns:pd=\"urn:x\" a='1 &amp; 2' pd:b=\"&#x3C;&#233;&#x1F600;&gt;\">\n"
        "  <item>x &lt;y&gt; <![CDATA[<raw & text>]]><?skip me?><!-- gone --></item>\n"
        "  <empty/>\n"
        "</pd:root>\n";
    XmlElement root;
    std::string error;
    ASSERT_TRUE(parse_xml(text, &root, &error)) << error;
    EXPECT_EQ(root.name, "root");
    ASSERT_EQ(root.attributes.size(), 2u) << "namespace declarations are not attributes";
    EXPECT_EQ(*root.attribute("a"), "1 & 2");
    EXPECT_EQ(*root.attribute("b"), "<\xC3\xA9\xF0\x9F\x98\x80>");
    EXPECT_EQ(root.attribute("c"), nullptr);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.child("item")->text, "x <y> <raw & text>");
    EXPECT_EQ(root.child("item")->line, 4);
    EXPECT_TRUE(root.child("empty")->children.empty());
    EXPECT_EQ(root.child("none"), nullptr);
}

TEST(XmlReader, RefusesWhatTemplatesNeverHoldNamingTheLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"<a>\n<b></a>", "line 2: </a> closes <b>"},
        {"<a>\n  <b>", "line 2: <b> is not closed"},
        {"<!DOCTYPE a [<!ENTITY x \"y\">]><a/>", "line 1: document type declarations are not accepted"},
        {"<a>&x;</a>", "line 1: unknown entity &x;"},
        {"<a>&#xD800;</a>", "line 1: bad character reference"},
        {"<a>&#1114112;</a>", "line 1: bad character reference"},
        {"<a b=\"1\"c=\"2\"/>", "line 1: white space is expected between attributes"},
        {"<a b=1/>", "line 1: a quoted value is expected for b"},
        {"<a/><b/>", "line 1: text after the root element"},
        {"", "line 1: no root element"},
        {std::string("\xFF\xFE<\0a\0/\0>\0", 8), "line 1: the file is UTF-16; save it as UTF-8"},
        {"<a><!-- open", "line 1: unterminated comment"},
    };
    for (const auto& c : cases) {
        XmlElement root;
        std::string error;
        EXPECT_FALSE(parse_xml(c.text, &root, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }

    std::string deep = "<a/>";  // 65 levels
    for (int i = 0; i < 64; ++i) deep = "<a>" + deep + "</a>";
    XmlElement root;
    std::string error;
    EXPECT_TRUE(parse_xml(deep.substr(3, deep.size() - 7), &root, &error)) << "64 levels are fine: " << error;
    EXPECT_FALSE(parse_xml(deep, &root, &error));
    EXPECT_EQ(error, "line 1: elements nested too deeply");
}

}  // namespace
