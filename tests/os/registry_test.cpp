// One behaviour suite for the registry seam: natively it runs against the in-process
// registry, under Wine against the real one (sandboxed per process). Passing on both is
// what shows the stand-in behaves like Windows. The settings source (with its change
// notification), the log rotation time and the export files use the seam in their own
// tests; here are the rules they take for granted.
#include "os/registry.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using namespace orvix::os;

constexpr char16_t kTestRoot[] = u"SOFTWARE\\OrvixRegistryTest";

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
    void set_sz(RegKey key, std::u16string_view name, std::u16string text) {
        ASSERT_EQ(
            registry_set_value(key, name, kRegSz, text.c_str(), static_cast<uint32_t>(text.size() * 2 + 2)),
            kErrorSuccess);
    }
    void set_dword(RegKey key, std::u16string_view name, uint32_t value) {
        ASSERT_EQ(registry_set_value(key, name, kRegDword, &value, sizeof value), kErrorSuccess);
    }
    RegKey root_ = 0;
};

TEST_F(RegistryTest, KeysAndValuesAreFoundWithoutRegardToCaseAndDeleted) {
    RegKey key = 0;
    EXPECT_EQ(registry_open_key(root_, u"A\\B", kKeyRead | kKeyWow64_64Key, &key), kErrorFileNotFound);
    ASSERT_EQ(registry_create_key(root_, u"A\\B\\C", kKeyAllAccess, &key), kErrorSuccess);
    registry_close_key(key);
    ASSERT_EQ(registry_open_key(kHkeyLocalMachine, u"SOFTWARE\\orvixregistrytest\\a\\b\\c",
                                kKeyRead | kKeyWow64_64Key, &key),
              kErrorSuccess);
    registry_close_key(key);
    EXPECT_EQ(registry_delete_tree(root_, u"a"), kErrorSuccess);
    EXPECT_EQ(registry_open_key(root_, u"A\\B", kKeyRead, &key), kErrorFileNotFound);
    EXPECT_EQ(registry_delete_tree(root_, u"A"), kErrorFileNotFound);

    set_sz(root_, u"Text", std::u16string(300, u'x'));
    uint8_t data[16];
    uint32_t size = sizeof data, type = 0;
    EXPECT_EQ(registry_query_value(root_, u"TEXT", &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 602u) << "REG_SZ data counts its terminating NUL";
    EXPECT_EQ(registry_delete_value(root_, u"text"), kErrorSuccess);
    EXPECT_EQ(registry_delete_value(root_, u"Text"), kErrorFileNotFound);
}

// A watch fires once and is silent until re-armed; one on the tree sees a change below,
// one on the key alone does not. The registry source's worker counts on both.
TEST_F(RegistryTest, AWatchIsOneShotAndCoversTheSubTreeOnlyWhenAsked) {
    RegKey sub = 0, tree_watch = 0, flat_watch = 0;
    ASSERT_EQ(registry_create_key(root_, u"Sub", kKeyAllAccess, &sub), kErrorSuccess);
    ASSERT_EQ(registry_open_key(root_, u"", kKeyRead | kKeyWow64_64Key, &tree_watch), kErrorSuccess);
    ASSERT_EQ(registry_open_key(root_, u"", kKeyRead | kKeyWow64_64Key, &flat_watch), kErrorSuccess);
    Event tree(Event::Reset::kAuto), flat(Event::Reset::kAuto);
    ASSERT_EQ(registry_notify_change(tree_watch, true, kRegNotifyChangeLastSet, tree, true), kErrorSuccess);
    ASSERT_EQ(registry_notify_change(flat_watch, false, kRegNotifyChangeLastSet, flat, true), kErrorSuccess);
    EXPECT_FALSE(tree.wait(50)) << "nothing changed yet";
    set_dword(sub, u"Below", 1);
    EXPECT_TRUE(tree.wait(2000));
    EXPECT_FALSE(flat.wait(200)) << "a change below a key watched alone";
    set_dword(sub, u"Below", 2);
    EXPECT_FALSE(tree.wait(200)) << "fired again without being re-armed";
    ASSERT_EQ(registry_notify_change(tree_watch, true, kRegNotifyChangeLastSet, tree, true), kErrorSuccess);
    set_dword(root_, u"Top", 3);
    EXPECT_TRUE(tree.wait(2000));
    registry_close_key(sub);
    registry_close_key(tree_watch);
    registry_close_key(flat_watch);
}

// Group Policy deletes and recreates its key; a watch on it is signalled and then refused.
TEST_F(RegistryTest, DeletingAWatchedKeySignalsAndReopeningSeesItsNewValues) {
    RegKey policy = 0, watched = 0;
    for (uint32_t value : {1u, 2u}) {
        ASSERT_EQ(registry_create_key(root_, u"Policy", kKeyAllAccess, &policy), kErrorSuccess);
        set_dword(policy, u"Value", value);
        registry_close_key(policy);
        ASSERT_EQ(registry_open_key(root_, u"Policy", kKeyRead | kKeyWow64_64Key, &watched), kErrorSuccess);
        uint8_t data[4] = {};
        uint32_t size = sizeof data, type = 0;
        ASSERT_EQ(registry_query_value(watched, u"Value", &type, data, &size), kErrorSuccess);
        EXPECT_EQ(data[0], value);
        Event event(Event::Reset::kAuto);
        ASSERT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true), kErrorSuccess);
        ASSERT_EQ(registry_delete_tree(root_, u"Policy"), kErrorSuccess);
        EXPECT_TRUE(event.wait(2000)) << "deleting the watched key signals the event";
        EXPECT_EQ(registry_notify_change(watched, true, kRegNotifyChangeLastSet, event, true),
                  kErrorKeyDeleted);
        char name[32];
        uint32_t chars = sizeof name;
        EXPECT_EQ(registry_enum_value_a(watched, 0, name, &chars, nullptr, nullptr, nullptr, &size),
                  kErrorKeyDeleted);
        registry_close_key(watched);
    }
}

// The narrow entry points, as the settings source uses them (natively over the wide
// enumeration): names and string data come back narrow, a name keeps its first spelling,
// and data that does not fit the caller's buffer is refused. Enumeration order is not
// part of the contract (Wine keeps values sorted, Windows in creation order).
TEST_F(RegistryTest, NarrowEnumerationConvertsNamesAndStringsAndRefusesWhatDoesNotFit) {
    set_sz(root_, u"Orvix.Text", u"abc");
    set_dword(root_, u"ORVIX.TEXT", 5000);
    const char16_t multi[] = u"one\0two\0";
    ASSERT_EQ(registry_set_value(root_, u"orvix.multi", kRegMultiSz, multi, sizeof multi), kErrorSuccess);
    set_sz(root_, u"big", std::u16string(600, u'x'));
    RegKey key = 0;
    ASSERT_EQ(registry_open_key_a(kHkeyLocalMachine, "SOFTWARE\\OrvixRegistryTest", 0,
                                  kKeyRead | kKeyWow64_64Key, &key),
              kErrorSuccess);
    std::map<std::string, std::pair<uint32_t, std::string>> seen;  // name -> type, data
    int more_data = 0;
    for (uint32_t index = 0;; ++index) {
        char name[512];
        uint8_t data[512];
        uint32_t name_chars = sizeof name, type = 0, size = sizeof data;
        const int32_t status =
            registry_enum_value_a(key, index, name, &name_chars, nullptr, &type, data, &size);
        if (status == kErrorNoMoreItems) break;
        more_data += status == kErrorMoreData ? 1 : 0;
        if (status == kErrorMoreData) continue;
        ASSERT_EQ(status, kErrorSuccess);
        seen[std::string(name, name_chars)] = {type, std::string(reinterpret_cast<char*>(data), size)};
    }
    EXPECT_EQ(more_data, 1) << "data of 601 bytes does not fit 512";
    EXPECT_EQ(seen, (std::map<std::string, std::pair<uint32_t, std::string>>{
                        {"Orvix.Text", {kRegDword, std::string("\x88\x13\0\0", 4)}},
                        {"orvix.multi", {kRegMultiSz, std::string("one\0two\0\0", 9)}}}));
    registry_close_key(key);
}

}  // namespace
