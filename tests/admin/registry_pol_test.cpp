// Registry.pol reading, writing and applying. Files are spelled out byte by byte here
// (UTF-16LE text widened by hand from ASCII), never made with the writer under test.
#include "admin/registry_pol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/memory_registry.h"
#include "admin/policy_file_conversion.h"
#include "admin/policy_lint.h"
#include "config/registry_export_file.h"
#include "platform/text_conversion.h"

namespace {

using orvix::admin::MemoryRegistry;
using orvix::admin::MemoryRegistryInterface;
using orvix::admin::PolEntry;

// "PReg", version 1.
const std::string kHeader("\x50\x52\x65\x67\x01\x00\x00\x00", 8);

// ASCII text as UTF-16LE, without terminator.
std::string w(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}
std::string u32(uint32_t n) {
    return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
}
const std::string kNul("\0\0", 2);
std::string utf8(const std::u16string& s) { return orvix::text::utf16_to_utf8(s); }

// One entry as the format lays it out: [key NUL ; value NUL ; type ; size ; data ].
std::string entry(const std::string& key, const std::string& value, uint32_t type, const std::string& data) {
    return w("[") + w(key) + kNul + w(";") + w(value) + kNul + w(";") + u32(type) + w(";") + u32(data.size()) +
           w(";") + data + w("]");
}
std::string sz(const std::string& ascii) { return w(ascii) + kNul; }

const std::string kAdmin = "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
const std::string kDefaults = "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults";

// [SOFTWARE\P;mtu;REG_DWORD;4;1400], every byte written out.
constexpr char kOneDwordBytes[] =
    "PReg\x01\x00\x00\x00"
    "[\0S\0O\0F\0T\0W\0A\0R\0E\0\\\0P\0\0\0;\0"
    "m\0t\0u\0\0\0;\0"
    "\x04\x00\x00\x00;\0"
    "\x04\x00\x00\x00;\0"
    "\x78\x05\x00\x00"
    "]\0";
const std::string kOneDword(kOneDwordBytes, sizeof kOneDwordBytes - 1);

std::vector<PolEntry> parse_ok(const std::string& bytes) {
    std::vector<PolEntry> entries;
    std::string error;
    EXPECT_TRUE(orvix::admin::parse_registry_pol(bytes, &entries, &error)) << error;
    return entries;
}

std::string parse_error(const std::string& bytes) {
    std::vector<PolEntry> entries(1);
    std::string error;
    EXPECT_FALSE(orvix::admin::parse_registry_pol(bytes, &entries, &error));
    EXPECT_TRUE(entries.empty()) << "a refused file gives no entries";
    return error;
}

TEST(RegistryPol, ReadsAndWritesTheDocumentedLayout) {
    const std::vector<PolEntry> entries = parse_ok(kOneDword);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].number, 1u);
    EXPECT_EQ(entries[0].offset, 8u);
    EXPECT_EQ(entries[0].key, u"SOFTWARE\\P");
    EXPECT_EQ(entries[0].value, u"mtu");
    EXPECT_EQ(entries[0].type, 4u);
    EXPECT_EQ(entries[0].data, std::string("\x78\x05\x00\x00", 4));
    EXPECT_EQ(orvix::admin::write_registry_pol(entries), kOneDword);

    // Offsets of later entries, and a file with a header only.
    const std::string two = kHeader + entry("K", "a", 1, sz("x")) + entry("K", "b", 3, "");
    const std::vector<PolEntry> both = parse_ok(two);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].number, 2u);
    EXPECT_EQ(both[1].offset, 8u + entry("K", "a", 1, sz("x")).size());
    EXPECT_EQ(orvix::admin::write_registry_pol(both), two);
    EXPECT_TRUE(parse_ok(kHeader).empty());
}

TEST(RegistryPol, RefusesMalformedFilesWithOneMessageNamingTheEntry) {
    const std::string good = entry("K", "v", 4, u32(1));
    struct Case {
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {"PRe", "not a Registry.pol file: it has 3 bytes, fewer than the 8 of its header"},
        {"Preg" + u32(1), "not a Registry.pol file: it does not start with \"PReg\""},
        {"PReg" + u32(2), "Registry.pol version 2 is not known (only 1 is)"},
        {kHeader + good + good.substr(0, 4), "entry 2 (byte 40): the file ends inside it (expected the rest of its key)"},
        {kHeader + good.substr(0, 14), "entry 1 (byte 8): the file ends inside it (expected its type field)"},
        {kHeader + good.substr(0, good.size() - 1), "entry 1 (byte 8): the file ends inside it (expected \"]\" after the data)"},
        {kHeader + w("[") + w("K") + "\x01", "entry 1 (byte 8): its key has an odd number of bytes"},
        {kHeader + w("[K") + kNul + w(";v") + kNul + w(";") + u32(1) + w(";") + u32(100) + w(";") + w("ab]"),
         "entry 1 (byte 8): its size field says 100 bytes of data, but only 6 bytes follow"},
        {kHeader + w("[K") + kNul + w(",v") + kNul, "entry 1 (byte 8): expected \";\" after the key at byte 14"},
        {kHeader + w("K"), "entry 1 (byte 8): expected \"[\" to open it at byte 8"},
        {kHeader + entry("K", "v", 4, u32(1)).substr(0, good.size() - 2) + w(")"), "expected \"]\" after the data"},
        {kHeader + entry("K", "v", 12, u32(1)), "entry 1 (byte 8): type 12 is not a registry type (0 to 11)"},
        {kHeader + entry("", "v", 4, u32(1)), "entry 1 (byte 8): it has no key"},
        {kHeader + entry("A\\\\B", "v", 4, u32(1)), "the key \"A\\\\B\" has an empty part"},
        // A line break in a name is shown escaped: the message stays one line.
        {kHeader + entry("A\n\\\\B", "v", 4, u32(1)), "the key \"A\\n\\\\B\" has an empty part"},
        {kHeader + entry("A\\" + std::string(256, 'k'), "v", 4, u32(1)),
         "a part of its key is 256 characters long; the registry allows 255"},
        {kHeader + entry("K", std::string(16384, 'n'), 4, u32(1)),
         "its value name is 16384 characters long; the registry allows 16383"},
        {kHeader + entry("K", "v", 1, std::string("a\0b", 3)),
         "its text data has an odd number of bytes (3), so it is not UTF-16"},
    };
    for (const Case& c : cases) {
        const std::string error = parse_error(c.bytes);
        EXPECT_NE(error.find(c.message), std::string::npos) << error << "\nexpected: " << c.message;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
    // At the limits the names are accepted.
    EXPECT_EQ(parse_ok(kHeader + entry("A\\" + std::string(255, 'k'), std::string(16383, 'n'), 11, u32(0) + u32(0)))
                  .size(),
              1u);
}

struct Applied {
    MemoryRegistry registry;
    orvix::admin::PolApplied result;
};
Applied apply(const std::string& body) {
    Applied a;
    a.result = orvix::admin::apply_registry_pol(parse_ok(kHeader + body), &a.registry);
    return a;
}

std::vector<std::u16string> names(const MemoryRegistry& r, const std::string& key) {
    std::vector<std::u16string> out;
    const MemoryRegistry::Key* k = r.find_key(std::u16string(key.begin(), key.end()));
    if (k != nullptr) {
        for (const auto& v : k->values) out.push_back(v.name);
    }
    return out;
}

TEST(RegistryPol, AppliesValuesAndDeletionsAsTheClientDoes) {
    const std::string body =
        entry(kAdmin, "a", 4, u32(1)) + entry(kAdmin, "b", 4, u32(2)) + entry(kAdmin, "c", 1, sz("x")) +
        entry(kAdmin, "d", 4, u32(4)) + entry(kAdmin, "**del.B", 1, sz(" ")) +           // b goes
        entry(kAdmin, "**DeleteValues", 1, sz("c; nosuch ;")) +                         // c goes
        entry(kAdmin, "A", 4, u32(10)) +                                                 // a changes in place
        entry(kDefaults, "x", 4, u32(1)) + entry(kDefaults, "**delvals.", 1, sz(" ")) +  // x goes
        entry(kDefaults, "y", 4, u32(2)) +
        entry("SOFTWARE\\Quillon\\Orvix\\orvix_admin", "z", 4, u32(3)) +
        entry("SOFTWARE\\Quillon\\Orvix", "**DeleteKeys", 1, sz("orvix_admin")) +  // z's key goes
        entry("SOFTWARE\\Other", "o", 4, u32(1));                                   // not the agent's
    const Applied a = apply(body);
    EXPECT_EQ(names(a.registry, kAdmin), (std::vector<std::u16string>{u"a", u"d"}));
    EXPECT_EQ(a.registry.find_value(u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin", u"a")->data, u32(10));
    EXPECT_EQ(a.registry.find_value(u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin", u"a")->entry, 7u);
    EXPECT_EQ(names(a.registry, kDefaults), (std::vector<std::u16string>{u"y"}));
    EXPECT_EQ(a.registry.find_key(u"software\\quillon\\orvix\\ORVIX_ADMIN"), nullptr);
    EXPECT_EQ(a.registry.find_key(u"SOFTWARE\\Other"), nullptr);
    EXPECT_EQ(a.result.entries, 13);
    EXPECT_EQ(a.result.agent_entries, 12);
    EXPECT_EQ(a.result.other_entries, 1);
    EXPECT_TRUE(a.result.notes.empty());
}

TEST(RegistryPol, SoftValuesSetOnlyWhereNoneExistsAndOddInstructionsAreNoted) {
    MemoryRegistry registry;
    registry.set_value(u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin", {u"kept", 4, u32(5), 0, 0});
    const std::string body = entry(kAdmin, "**soft.kept", 4, u32(6)) + entry(kAdmin, "**soft.new", 4, u32(7)) +
                             entry(kAdmin, "**SecureKey", 4, u32(1)) + entry(kAdmin, "**frobnicate.x", 4, u32(1));
    const auto result = orvix::admin::apply_registry_pol(parse_ok(kHeader + body), &registry);
    const std::u16string key = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
    EXPECT_EQ(registry.find_value(key, u"kept")->data, u32(5));
    EXPECT_EQ(registry.find_value(key, u"new")->data, u32(7));
    EXPECT_EQ(registry.find_value(key, u"**frobnicate.x"), nullptr);
    ASSERT_EQ(result.notes.size(), 3u);
    EXPECT_EQ(result.notes[0].entry, 1u);
    EXPECT_NE(result.notes[0].text.find("it exists, so this entry changes nothing"), std::string::npos);
    EXPECT_NE(result.notes[1].text.find("access rights"), std::string::npos);
    EXPECT_NE(result.notes[2].text.find("not an instruction the client knows"), std::string::npos);
}

// The lint reads the applied file through the interface exactly as it reads a registry:
// a REG_SZ where a number belongs, and a name too long for the agent's buffer that ends
// the reading of its key.
TEST(RegistryPol, TheLintReadsTheAppliedFile) {
    const std::string body = entry(kAdmin, "orvix.enable_audio", 1, sz("0")) +
                             entry(kAdmin, std::string(600, 'n'), 4, u32(1)) +
                             entry(kAdmin, "orvix.mtu_size", 4, u32(1400));
    const Applied a = apply(body);
    MemoryRegistryInterface view(a.registry);
    const orvix::admin::PolicyReport report = orvix::admin::check_policy_keys(view);
    ASSERT_EQ(report.keys.size(), 3u);
    ASSERT_EQ(report.keys[0].values.size(), 3u);
    EXPECT_EQ(report.keys[0].values[0].verdict, orvix::admin::PolicyVerdict::kWrongType);
    EXPECT_EQ(report.keys[0].values[0].data, std::string("0\0", 2));
    EXPECT_EQ(report.keys[0].values[1].verdict, orvix::admin::PolicyVerdict::kEndsReading);
    EXPECT_EQ(report.keys[0].values[2].verdict, orvix::admin::PolicyVerdict::kNotRead);
    EXPECT_FALSE(report.keys[1].present);
    EXPECT_EQ(report.problems, 3);
}

TEST(RegistryPolConversion, ExportFileToPolAndBackKeepsTheValues) {
    const std::string reg =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\" + kAdmin + "]\n"
        "\"orvix.mtu_size\"=dword:00000578\n"
        "\"orvix.server_name\"=\"a \\\"quoted\\\" \\\\ text\"\n"
        "\"orvix.blob\"=hex:01,02,03\n"
        "\"orvix.multi\"=hex(7):61,00,00,00,00,00\n"
        "\"orvix.gone\"=-\n"
        "@=\"default\"\n\n"
        "[-HKEY_LOCAL_MACHINE\\" + kDefaults + "]\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"x\"=dword:1\n";
    const auto file = orvix::config::parse_registry_file(reg);
    ASSERT_TRUE(file.problems.empty());

    orvix::admin::Conversion to_pol;
    const std::vector<PolEntry> entries = orvix::admin::pol_entries_from_reg(file, false, &to_pol);
    EXPECT_EQ(to_pol.written, 6);
    EXPECT_EQ(to_pol.left_out, 1);
    ASSERT_EQ(to_pol.problems.size(), 1u);
    EXPECT_EQ(to_pol.problems[0].where, "line 9");
    EXPECT_NE(to_pol.problems[0].message.find("default value (@)"), std::string::npos);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[4].value, u"**del.orvix.gone");
    EXPECT_EQ(entries[5].key, u"SOFTWARE\\Policies\\Quillon\\Orvix");
    EXPECT_EQ(entries[5].value, u"**DeleteKeys");
    EXPECT_EQ(orvix::admin::pol_list_items(entries[5].data), std::vector<std::u16string>{u"orvix_admin_defaults"});

    std::vector<PolEntry> read_back;
    std::string error;
    ASSERT_TRUE(orvix::admin::parse_registry_pol(orvix::admin::write_registry_pol(entries), &read_back, &error));
    orvix::admin::Conversion to_reg;
    const std::string back = orvix::admin::reg_file_from_pol(read_back, false, &to_reg);
    EXPECT_TRUE(to_reg.problems.empty());
    ASSERT_GE(back.size(), 2u);
    EXPECT_EQ(back.substr(0, 2), "\xFF\xFE");
    const auto again = orvix::config::parse_registry_file(back);
    EXPECT_TRUE(again.problems.empty());
    // Every value operation of the original (but the default value) is there, same data.
    std::vector<std::string> original, returned;
    auto list = [](const orvix::config::RegistryFile& f, std::vector<std::string>* out) {
        for (const auto& e : f.entries) {
            if (e.kind == orvix::config::RegistryFileEntry::Kind::kKey ||
                (e.name.empty() && e.kind == orvix::config::RegistryFileEntry::Kind::kSetValue)) {
                continue;
            }
            if (orvix::admin::fold_registry_name(e.key).find(u"other") != std::u16string::npos) continue;
            out->push_back(std::to_string(static_cast<int>(e.kind)) + " " + utf8(e.key) + " " + utf8(e.name) + " " +
                           std::to_string(e.type) + " " +
                           orvix::admin::printable(std::string(e.data.begin(), e.data.end())));
        }
    };
    list(file, &original);
    list(again, &returned);
    EXPECT_EQ(returned, original);
}

TEST(RegistryPolConversion, WhatAnExportFileCannotSayIsReportedAndCommented) {
    const std::string body = entry(kAdmin, "**delvals.", 1, sz(" ")) + entry(kAdmin, "**soft.x", 4, u32(1)) +
                             entry(kAdmin, "**DeleteValues", 1, sz("a;b")) + entry("SOFTWARE\\Other", "o", 4, u32(1));
    orvix::admin::Conversion result;
    const std::string reg = orvix::admin::reg_file_from_pol(parse_ok(kHeader + body), false, &result);
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(result.left_out, 1);
    ASSERT_EQ(result.problems.size(), 2u);
    EXPECT_EQ(result.problems[0].where, "entry 1 (byte 8)");
    EXPECT_NE(result.problems[1].message.find("\"**soft.\" (set only where no value exists)"), std::string::npos);
    const auto parsed = orvix::config::parse_registry_file(reg);
    EXPECT_TRUE(parsed.problems.empty());
    ASSERT_EQ(parsed.entries.size(), 3u);  // the key, then a and b deleted
    EXPECT_EQ(parsed.entries[1].kind, orvix::config::RegistryFileEntry::Kind::kDeleteValue);
    EXPECT_EQ(parsed.entries[2].name, u"b");
}

}  // namespace
