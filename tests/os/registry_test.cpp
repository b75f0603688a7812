// One behaviour suite for the registry seam: natively it runs against the in-process
// registry, under Wine against the real one (sandboxed per process). Passing on both is
// what shows the stand-in behaves like Windows.
#include "os/registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

namespace {

using namespace orvix::os;

constexpr char16_t kTestRoot[] = u"SOFTWARE\\OrvixRegistryTest";

std::u16string text_bytes_of(const uint8_t* data, uint32_t bytes) {
    return std::u16string(reinterpret_cast<const char16_t*>(data), bytes / 2);
}

class RegistryTest : public testing::Test {
protected:
    void SetUp() override {
        registry_delete_tree(kHkeyLocalMachine, kTestRoot);
        ASSERT_EQ(registry_create_key(kHkeyLocalMachine, kTestRoot, kKeyAllAccess, &root_), kErrorSuccess);
    }
    void TearDown() override {
        registry_close_key(root_);
        registry_delete_tree(kHkeyLocalMachine, kTestRoot);
    }
    void set_sz(RegKey key, std::u16string_view name, std::u16string_view text, uint32_t type = kRegSz) {
        std::u16string with_nul(text);
        ASSERT_EQ(registry_set_value(key, name, type, with_nul.c_str(),
                                     static_cast<uint32_t>((with_nul.size() + 1) * sizeof(char16_t))),
                  kErrorSuccess);
    }
    void set_dword(RegKey key, std::u16string_view name, uint32_t value) {
        ASSERT_EQ(registry_set_value(key, name, kRegDword, &value, sizeof value), kErrorSuccess);
    }
    RegKey root_ = 0;
};

TEST_F(RegistryTest, OpenMissingKeyAndCloseAgain) {
    RegKey key = 0;
    EXPECT_EQ(registry_open_key(root_, u"Missing\\Deeper", kKeyRead | kKeyWow64_64Key, &key), kErrorFileNotFound);
    RegKey created = 0;
    ASSERT_EQ(registry_create_key(root_, u"A\\B\\C", kKeyAllAccess, &created), kErrorSuccess);
    registry_close_key(created);
    ASSERT_EQ(registry_open_key(kHkeyLocalMachine, u"SOFTWARE\\orvixregistrytest\\a\\b\\c", kKeyRead | kKeyWow64_64Key,
                                &key),
              kErrorSuccess)
        << "paths are case-insensitive";
    EXPECT_EQ(registry_close_key(key), kErrorSuccess);
}

TEST_F(RegistryTest, ValuesKeepTypeAndRawBytes) {
    set_sz(root_, u"Text", u"abc");
    set_dword(root_, u"Number", 5000);
    const uint64_t big = 0x1122334455667788ull;
    ASSERT_EQ(registry_set_value(root_, u"Big", kRegQword, &big, sizeof big), kErrorSuccess);
    ASSERT_EQ(registry_set_value(root_, u"Empty", kRegBinary, nullptr, 0), kErrorSuccess);

    uint8_t data[64] = {};
    uint32_t size = sizeof data, type = 0;
    ASSERT_EQ(registry_query_value(root_, u"text", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 8u) << "REG_SZ data counts its terminating NUL";
    EXPECT_EQ(text_bytes_of(data, size), std::u16string(u"abc\0", 4));

    size = sizeof data;
    ASSERT_EQ(registry_query_value(root_, u"Number", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24, 5000);

    size = sizeof data;
    ASSERT_EQ(registry_query_value(root_, u"Big", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegQword);
    EXPECT_EQ(size, 8u);

    size = sizeof data;
    ASSERT_EQ(registry_query_value(root_, u"Empty", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(size, 0u);

    EXPECT_EQ(registry_query_value(root_, u"Absent", &type, data, &size), kErrorFileNotFound);
}

TEST_F(RegistryTest, DataAboveTheBufferReportsTheNeededSize) {
    set_sz(root_, u"Long", std::u16string(300, u'x'));
    uint8_t data[16];
    uint32_t size = sizeof data, type = 0;
    EXPECT_EQ(registry_query_value(root_, u"Long", &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 602u);
    size = 0;
    EXPECT_EQ(registry_query_value(root_, u"Long", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 602u);
}

// Enumeration order is not part of the contract (Wine keeps values sorted, Windows in
// creation order), so the cases find their value by name.
TEST_F(RegistryTest, EnumerationReportsSizesInAndOut) {
    const std::u16string long_name(600, u'n');
    set_dword(root_, u"first", 1);
    set_sz(root_, long_name, u"value of a long name");
    set_sz(root_, u"", u"the default value");
    set_dword(root_, u"last", 4);

    char16_t name[1024];
    uint8_t data[512];
    std::map<std::u16string, std::pair<uint32_t, uint32_t>> seen;  // name -> type, size
    uint32_t long_index = 0;
    uint32_t index = 0;
    for (;; ++index) {
        uint32_t name_chars = 1024, type = 0, size = sizeof data;
        const int32_t status = registry_enum_value(root_, index, name, &name_chars, &type, data, &size);
        if (status == kErrorNoMoreItems) break;
        ASSERT_EQ(status, kErrorSuccess);
        const std::u16string found(name, name_chars);
        if (found == long_name) long_index = index;
        seen[found] = {type, size};
    }
    EXPECT_EQ(index, 4u);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[u"first"], std::make_pair(kRegDword, 4u));
    EXPECT_EQ(seen[u"last"], std::make_pair(kRegDword, 4u));
    EXPECT_EQ(seen[u""], std::make_pair(kRegSz, 36u)) << "the default value has a zero-length name";
    EXPECT_EQ(seen[long_name], std::make_pair(kRegSz, 42u));

    // A name buffer of 512 characters is too small for a 600-character name.
    uint32_t name_chars = 512, type = 0, size = sizeof data;
    EXPECT_EQ(registry_enum_value(root_, long_index, name, &name_chars, &type, data, &size), kErrorMoreData);

    // Data above the buffer: ERROR_MORE_DATA and the size that is needed.
    name_chars = 1024;
    size = 4;
    EXPECT_EQ(registry_enum_value(root_, long_index, name, &name_chars, &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 42u);

    name_chars = 1024;
    size = sizeof data;
    EXPECT_EQ(registry_enum_value(root_, 4, name, &name_chars, &type, data, &size), kErrorNoMoreItems);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirSpelling) {
    set_dword(root_, u"Orvix.Enable_Audio", 1);
    set_dword(root_, u"orvix.enable_audio", 2);  // the same value
    char16_t name[64];
    uint8_t data[8];
    uint32_t name_chars = 64, type = 0, size = sizeof data;
    ASSERT_EQ(registry_enum_value(root_, 0, name, &name_chars, &type, data, &size), kErrorSuccess);
    EXPECT_EQ(std::u16string(name, name_chars), u"Orvix.Enable_Audio");
    EXPECT_EQ(data[0], 2);
    name_chars = 64;
    EXPECT_EQ(registry_enum_value(root_, 1, name, &name_chars, &type, data, &size), kErrorNoMoreItems);
}

TEST_F(RegistryTest, GetValueRestrictsTypesAndExpands) {
#if defined(_WIN32)
    _wputenv(L"ORVIX_REGISTRY_TEST=expanded");
#else
    setenv("ORVIX_REGISTRY_TEST", "expanded", 1);
#endif
    set_sz(root_, u"Plain", u"12");
    set_sz(root_, u"Expand", u"%ORVIX_REGISTRY_TEST%\\x", kRegExpandSz);
    set_dword(root_, u"Number", 7);
    const char16_t unterminated[] = {u'a', u'b'};
    ASSERT_EQ(registry_set_value(root_, u"NoNul", kRegSz, unterminated, sizeof unterminated), kErrorSuccess);

    char16_t text[64];
    uint32_t size = sizeof text, type = 0;
    ASSERT_EQ(registry_get_value(root_, u"", u"Expand", kRrfRtRegSz, &type, text, &size), kErrorSuccess);
    EXPECT_EQ(std::u16string(text), u"expanded\\x");
    EXPECT_EQ(type, kRegSz);

    size = sizeof text;
    ASSERT_EQ(registry_get_value(root_, u"", u"Expand", kRrfRtRegExpandSz | kRrfNoExpand, &type, text, &size),
              kErrorSuccess);
    EXPECT_EQ(std::u16string(text), u"%ORVIX_REGISTRY_TEST%\\x");
    EXPECT_EQ(type, kRegExpandSz);

    size = sizeof text;
    EXPECT_EQ(registry_get_value(root_, u"", u"Plain", kRrfRtRegDword, &type, text, &size), kErrorUnsupportedType);
    size = sizeof text;
    EXPECT_EQ(registry_get_value(root_, u"", u"Number", kRrfRtRegSz, &type, text, &size), kErrorUnsupportedType);

    size = sizeof text;
    ASSERT_EQ(registry_get_value(root_, u"", u"NoNul", kRrfRtRegSz, &type, text, &size), kErrorSuccess);
    EXPECT_EQ(size, 6u) << "strings come back terminated";
    EXPECT_EQ(std::u16string(text), u"ab");

    RegKey sub = 0;
    ASSERT_EQ(registry_create_key(root_, u"Sub", kKeyAllAccess, &sub), kErrorSuccess);
    set_sz(sub, u"Inner", u"deep");
    registry_close_key(sub);
    size = sizeof text;
    ASSERT_EQ(registry_get_value(root_, u"Sub", u"Inner", kRrfRtRegSz, &type, text, &size), kErrorSuccess);
    EXPECT_EQ(std::u16string(text), u"deep");
    EXPECT_EQ(registry_get_value(root_, u"Nowhere", u"Inner", kRrfRtRegSz, &type, text, &size), kErrorFileNotFound);
}

TEST_F(RegistryTest, DeleteValueAndTree) {
    set_dword(root_, u"Gone", 1);
    EXPECT_EQ(registry_delete_value(root_, u"GONE"), kErrorSuccess);
    EXPECT_EQ(registry_delete_value(root_, u"Gone"), kErrorFileNotFound);
    RegKey sub = 0;
    ASSERT_EQ(registry_create_key(root_, u"Tree\\Branch", kKeyAllAccess, &sub), kErrorSuccess);
    registry_close_key(sub);
    EXPECT_EQ(registry_delete_tree(root_, u"Tree"), kErrorSuccess);
    EXPECT_EQ(registry_open_key(root_, u"Tree", kKeyRead, &sub), kErrorFileNotFound);
    EXPECT_EQ(registry_delete_tree(root_, u"Tree"), kErrorFileNotFound);
}

TEST_F(RegistryTest, NotificationIsOneShotAndReArmed) {
    Event event(Event::Reset::kAuto);
    RegKey watched = 0;
    ASSERT_EQ(registry_open_key(root_, u"", kKeyRead | kKeyWow64_64Key, &watched), kErrorSuccess);

    ASSERT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorSuccess);
    EXPECT_FALSE(event.wait(50)) << "nothing changed yet";
    set_dword(root_, u"One", 1);
    EXPECT_TRUE(event.wait(2000));

    // Not re-armed: the next change stays silent.
    set_dword(root_, u"Two", 2);
    EXPECT_FALSE(event.wait(200));

    // Two writes 100 ms apart are both seen when the watch is re-armed after the first.
    ASSERT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorSuccess);
    set_dword(root_, u"Three", 3);
    EXPECT_TRUE(event.wait(2000));
    ASSERT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorSuccess);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    set_dword(root_, u"Three", 33);
    EXPECT_TRUE(event.wait(2000));
    registry_close_key(watched);
}

TEST_F(RegistryTest, SubTreeWatchSeesChangesBelow) {
    RegKey child = 0;
    ASSERT_EQ(registry_create_key(root_, u"Child", kKeyAllAccess, &child), kErrorSuccess);
    Event tree(Event::Reset::kAuto), flat(Event::Reset::kAuto);
    RegKey w1 = 0, w2 = 0;
    ASSERT_EQ(registry_open_key(root_, u"", kKeyRead, &w1), kErrorSuccess);
    ASSERT_EQ(registry_open_key(root_, u"", kKeyRead, &w2), kErrorSuccess);
    ASSERT_EQ(registry_notify_change(w1, true, kRegNotifyChangeLastSet, tree, true), kErrorSuccess);
    ASSERT_EQ(registry_notify_change(w2, false, kRegNotifyChangeLastSet, flat, true), kErrorSuccess);
    set_dword(child, u"Below", 1);
    EXPECT_TRUE(tree.wait(2000));
    EXPECT_FALSE(flat.wait(200));
    registry_close_key(w1);
    registry_close_key(w2);
    registry_close_key(child);
}

TEST_F(RegistryTest, DeletingAWatchedKeySignalsAndReopeningSeesItsNewValues) {
    RegKey policy = 0;
    ASSERT_EQ(registry_create_key(root_, u"Policy", kKeyAllAccess, &policy), kErrorSuccess);
    set_dword(policy, u"Value", 1);
    registry_close_key(policy);

    RegKey watched = 0;
    ASSERT_EQ(registry_open_key(root_, u"Policy", kKeyRead | kKeyWow64_64Key, &watched), kErrorSuccess);
    Event event(Event::Reset::kAuto);
    ASSERT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorSuccess);
    ASSERT_EQ(registry_delete_tree(root_, u"Policy"), kErrorSuccess);
    EXPECT_TRUE(event.wait(2000)) << "deleting the watched key signals the event";
    EXPECT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorKeyDeleted);
    char16_t name[32];
    uint32_t chars = 32, type = 0, size = 0;
    EXPECT_EQ(registry_enum_value(watched, 0, name, &chars, &type, nullptr, &size), kErrorKeyDeleted);
    registry_close_key(watched);

    ASSERT_EQ(registry_create_key(root_, u"Policy", kKeyAllAccess, &policy), kErrorSuccess);
    set_dword(policy, u"Value", 2);
    registry_close_key(policy);
    ASSERT_EQ(registry_open_key(root_, u"Policy", kKeyRead | kKeyWow64_64Key, &watched), kErrorSuccess);
    uint8_t data[4];
    size = sizeof data;
    ASSERT_EQ(registry_query_value(watched, u"Value", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(data[0], 2);
    EXPECT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorSuccess);
    registry_close_key(watched);
}

// The narrow entry points, as the settings sources use them: names and string data come
// back narrow, and REG_SZ data counts its terminating NUL in narrow bytes.
TEST_F(RegistryTest, NarrowEnumerationConvertsNamesAndStrings) {
    RegKey policy = 0;
    ASSERT_EQ(registry_create_key(root_, u"Narrow", kKeyAllAccess, &policy), kErrorSuccess);
    set_sz(policy, u"Orvix.Text", u"abc");
    set_dword(policy, u"orvix.number", 5000);
    const char16_t multi[] = u"one\0two\0";
    ASSERT_EQ(registry_set_value(policy, u"orvix.multi", kRegMultiSz, multi, sizeof multi), kErrorSuccess);
    registry_close_key(policy);

    RegKey key = 0;
    EXPECT_EQ(registry_open_key_a(kHkeyLocalMachine, "SOFTWARE\\OrvixRegistryTest\\Missing", 0,
                                  kKeyRead | kKeyWow64_64Key, &key),
              kErrorFileNotFound);
    ASSERT_EQ(registry_open_key_a(kHkeyLocalMachine, "SOFTWARE\\OrvixRegistryTest\\Narrow", 0,
                                  kKeyRead | kKeyWow64_64Key, &key),
              kErrorSuccess);
    ASSERT_NE(key, 0u);

    std::map<std::string, std::pair<uint32_t, std::string>> seen;  // name -> type, data
    uint32_t index = 0;
    for (;; ++index) {
        char name[512];
        uint8_t data[512];
        uint32_t name_chars = sizeof name, type = 0, size = sizeof data;
        const int32_t status = registry_enum_value_a(key, index, name, &name_chars, nullptr, &type, data, &size);
        if (status == kErrorNoMoreItems) break;
        ASSERT_EQ(status, kErrorSuccess);
        EXPECT_EQ(std::strlen(name), name_chars);
        seen[std::string(name, name_chars)] = {type, std::string(reinterpret_cast<char*>(data), size)};
    }
    EXPECT_EQ(index, 3u);
    EXPECT_EQ(seen["Orvix.Text"], std::make_pair(kRegSz, std::string("abc\0", 4)));
    EXPECT_EQ(seen["orvix.number"], std::make_pair(kRegDword, std::string("\x88\x13\0\0", 4)));
    EXPECT_EQ(seen["orvix.multi"], std::make_pair(kRegMultiSz, std::string("one\0two\0\0", 9)));
    registry_close_key(key);
}

TEST_F(RegistryTest, NarrowEnumerationRefusesWhatDoesNotFit) {
    set_dword(root_, std::u16string(512, u'n'), 1);
    set_sz(root_, u"big", std::u16string(600, u'x'));
    RegKey key = 0;
    ASSERT_EQ(registry_open_key_a(kHkeyLocalMachine, "SOFTWARE\\OrvixRegistryTest", 0, kKeyRead | kKeyWow64_64Key,
                                  &key),
              kErrorSuccess);
    int more_data = 0;
    for (uint32_t index = 0; index < 2; ++index) {
        char name[512];
        uint8_t data[512];
        uint32_t name_chars = sizeof name, type = 0, size = sizeof data;
        const int32_t status = registry_enum_value_a(key, index, name, &name_chars, nullptr, &type, data, &size);
        EXPECT_EQ(status, kErrorMoreData) << index;
        more_data += status == kErrorMoreData ? 1 : 0;
    }
    EXPECT_EQ(more_data, 2) << "a name of 512 characters and data of 601 bytes do not fit 512";
    char name[600];
    uint32_t name_chars = sizeof name, type = 0, size = 0;
    EXPECT_EQ(registry_enum_value_a(key, 2, name, &name_chars, nullptr, &type, nullptr, &size), kErrorNoMoreItems);
    registry_close_key(key);
}

}  // namespace
