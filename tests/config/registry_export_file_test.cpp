#include "config/registry_export_file.h"

#include <gtest/gtest.h>

#include <string>

#include "os/registry.h"

namespace {

using namespace orvix::config;
using namespace orvix::os;

constexpr char16_t kAdmin[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";

struct Read {
    int32_t status = -1;
    uint32_t type = 0;
    std::string bytes;
};

Read read_value(std::u16string_view key, std::u16string_view name) {
    Read r;
    RegKey handle = 0;
    r.status = registry_open_key(kHkeyLocalMachine, key, kKeyRead | kKeyWow64_64Key, &handle);
    if (r.status != kErrorSuccess) return r;
    uint8_t data[256];
    uint32_t size = sizeof data;
    r.status = registry_query_value(handle, name, &r.type, data, &size);
    registry_close_key(handle);
    if (r.status == kErrorSuccess) r.bytes.assign(reinterpret_cast<char*>(data), size);
    return r;
}

std::string utf16le(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

class RegistryExportFileTest : public testing::Test {
  protected:
    void SetUp() override { registry_delete_tree(kHkeyLocalMachine, u"SOFTWARE\\Policies\\Quillon"); }
    void TearDown() override { registry_delete_tree(kHkeyLocalMachine, u"SOFTWARE\\Policies\\Quillon"); }
};

TEST_F(RegistryExportFileTest, WritesEveryValueFormWithItsTypeAndBytes) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; an administrator's policies\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin]\r\n"
        "\"orvix.mtu_size\"=dword:00001388\r\n"
        "\"orvix.server_type\"=\"say \\\"hi\\\" \\\\ there\"\r\n"
        "\"Expand\"=hex(2):25,00,41,00,\\\r\n"
        "  25,00,00,00\r\n"
        "\"Raw\"=hex:01,ff\r\n"
        "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
        "@=\"default\"\r\n";
    const RegistryFile file = parse_registry_file(text);
    EXPECT_TRUE(file.problems.empty()) << file.problems.front().message;
    const RegistryFileApplied applied = apply_registry_file(file);
    EXPECT_TRUE(applied.problems.empty());
    EXPECT_EQ(applied.values, 6);

    const std::string nul(2, '\0');  // REG_SZ data counts its NUL
    const struct {
        const char16_t* name;
        uint32_t type;
        std::string bytes;
    } expected[] = {
        {u"orvix.mtu_size", kRegDword, std::string("\x88\x13\0\0", 4)},
        {u"orvix.server_type", kRegSz, utf16le(u"say \"hi\" \\ there") + nul},
        {u"Expand", kRegExpandSz, utf16le(u"%A%") + nul},  // continued over two lines
        {u"Raw", kRegBinary, "\x01\xff"},
        {u"Big", kRegQword, std::string("\x01\0\0\0\0\0\0\0", 8)},
        {u"", kRegSz, utf16le(u"default") + nul},
    };
    for (const auto& e : expected) {
        const Read r = read_value(kAdmin, e.name);
        EXPECT_EQ(r.type, e.type) << r.bytes;
        EXPECT_EQ(r.bytes, e.bytes);
    }
}

TEST_F(RegistryExportFileTest, BadLinesAreReportedWithTheirNumbersAndSkipped) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n"
        "\"early\"=dword:1\n"                                                      // 2: before any key
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin]\n"  // 3
        "\"a\"=dword:123456789\n"                                                  // 4: nine digits
        "\"b\"=dword:xyz\n"                                                        // 5
        "\"c\"=\"unterminated\n"                                                   // 6
        "\"d\"=hex:1,2\n"                                                          // 7: one-digit bytes
        "\"e\" dword:1\n"                                                          // 8: no =
        "\"f\"=qword:1\n"                                                          // 9: unknown form
        "garbage\n"                                                                // 10
        "\"ok\"=dword:7\n"                                                         // 11
        "[HKEY_CURRENT_USER\\Software]\n"                                          // 12
        "\"lost\"=dword:1\n"                                                       // 13: under a bad key
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin\n"   // 14: no ]
        "\"bad utf8 \xC3\x28\"=dword:1\n";                                         // 15
    const RegistryFile file = parse_registry_file(text);
    std::vector<int> lines;
    for (const RegistryFileProblem& p : file.problems) lines.push_back(p.line);
    EXPECT_EQ(lines, (std::vector<int>{2, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15}));
    EXPECT_EQ(file.problems[0].message, "a value before any key");
    EXPECT_EQ(file.problems[8].message, "only keys below HKEY_LOCAL_MACHINE can be loaded");

    apply_registry_file(file);
    EXPECT_EQ(read_value(kAdmin, u"ok").bytes, std::string("\x07\0\0\0", 4));
    EXPECT_EQ(read_value(kAdmin, u"a").status, kErrorFileNotFound);
    EXPECT_EQ(read_value(kAdmin, u"lost").status, kErrorFileNotFound);
}

TEST_F(RegistryExportFileTest, ReadsUtf16WithByteOrderMarkAndRefusesOtherFilesWhole) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin]\r\n"
        u"\"orvix.server_type\"=\"d\u00e9j\u00e0\"\r\n";
    const RegistryFile utf16 = parse_registry_file("\xFF\xFE" + utf16le(text));
    EXPECT_TRUE(utf16.problems.empty());
    apply_registry_file(utf16);
    EXPECT_EQ(read_value(kAdmin, u"orvix.server_type").bytes,
              utf16le(u"d\u00e9j\u00e0") + std::string(2, '\0'));

    const RegistryFile file = parse_registry_file("\n\nname = value\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n");
    ASSERT_EQ(file.problems.size(), 1u);
    EXPECT_EQ(file.problems[0].line, 3);
    EXPECT_TRUE(file.entries.empty());
    EXPECT_TRUE(is_not_registry_export_file(file));
    EXPECT_TRUE(parse_registry_file("").problems.empty());
    EXPECT_FALSE(is_not_registry_export_file(parse_registry_file("")));

    // A binary file: one problem for its first line, none for the undecodable lines after.
    std::string binary;
    for (int i = 0; i < 20000; ++i) binary += static_cast<char>((i * 7919) % 256);
    const RegistryFile refused = parse_registry_file(binary);
    ASSERT_EQ(refused.problems.size(), 1u);
    EXPECT_EQ(refused.problems[0].line, 1);
    EXPECT_TRUE(is_not_registry_export_file(refused));
}

TEST_F(RegistryExportFileTest, ApplyingAnEditedFileDeletesWhatItNoLongerSets) {
    const std::string header =
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin]\n";
    const RegistryFile first = parse_registry_file(header + "\"keep\"=dword:1\n\"drop\"=dword:2\n");
    apply_registry_file(first);
    ASSERT_EQ(read_value(kAdmin, u"drop").status, kErrorSuccess);

    const RegistryFile second = parse_registry_file(header + "\"KEEP\"=dword:3\n");
    const RegistryFileApplied applied = apply_registry_file(second, &first);
    EXPECT_EQ(applied.deleted, 1);
    EXPECT_EQ(read_value(kAdmin, u"drop").status, kErrorFileNotFound);
    EXPECT_EQ(read_value(kAdmin, u"keep").bytes, std::string("\x03\0\0\0", 4))
        << "names are case-insensitive";

    const RegistryFile third = parse_registry_file(
        header + "\"keep\"=-\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Quillon\\Orvix]\n\"x\"=dword:1\n");
    EXPECT_EQ(third.problems.size(), 1u) << "a value under a deleted key is skipped";
    apply_registry_file(third, &second);
    EXPECT_EQ(read_value(kAdmin, u"keep").status, kErrorFileNotFound);
}

}  // namespace
