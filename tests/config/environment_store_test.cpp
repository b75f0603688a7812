#include "config/environment_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/environment_store_internal.h"
#include "eventlog/event_log.h"

namespace {

struct Logged {
    std::string message;
    uint32_t category;
    int32_t level;
    int32_t status;
    bool operator==(const Logged& o) const {
        return message == o.message && category == o.category && level == o.level && status == o.status;
    }
};

std::ostream& operator<<(std::ostream& out, const Logged& l) {
    return out << "{\"" << l.message << "\", cat " << l.category << ", lvl " << l.level << ", rc " << l.status << "}";
}

std::mutex g_logged_lock;
std::vector<Logged> g_logged;

int32_t record(const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
    std::lock_guard<std::mutex> lock(g_logged_lock);
    g_logged.push_back({message, category, level, status});
    return 0;
}

// Every message of this process, at every level, goes to record().
void start_recording() {
    vorn_event_set_forwarding_callback(record);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = std::tmpfile();  // a sink, so that no log folder is touched
    ASSERT_EQ(vorn_event_init(&params), VORN_STATUS_SUCCESS);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
}

// The messages since the last call.
std::vector<Logged> take_logged() {
    std::lock_guard<std::mutex> lock(g_logged_lock);
    std::vector<Logged> out;
    out.swap(g_logged);
    return out;
}

Logged env(const std::string& message, int32_t level, int32_t status) {
    return {message, VORN_EVENT_CAT_MGMT_ENV, level, status};
}

Logged write_line(uint32_t index, const char* name, const std::string& display) {
    char text[16];
    std::snprintf(text, sizeof text, "%3u", index);
    return env(std::string("Setting ENV variable[") + text + "]: " + name + " = " + display, 2, 0);
}

uint32_t u32_of(const char* name) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(vorn_mgmt_env_get_uint32(name, &value), VORN_STATUS_SUCCESS) << name;
    return value;
}

std::string text_of(const char* name) {
    char text[VORN_MGMT_ENV_SLOT_SIZE] = "junk";
    EXPECT_EQ(vorn_mgmt_env_get_string(name, text, sizeof text), VORN_STATUS_SUCCESS) << name;
    return text;
}

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class EnvironmentStore : public testing::Test {
protected:
    void SetUp() override {
        start_recording();
        ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
        take_logged();
    }
};

TEST(EnvironmentStoreStartUp, EverythingIsRefusedSilentlyBeforeStartUp) {
    start_recording();
    uint8_t u8 = 9;
    uint32_t u32 = 9;
    char text[8] = "keep";
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.enable_usb", &u8), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_uint32("no.such.name", &u32), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_string("orvix.server_type", text, sizeof text), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_uint16("orvix.macos_login_timeout", 1), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_enum("orvix.language", VORN_MGMT_ENV_LANGUAGE_FRENCH), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "x"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.mtu_size"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(mgmt_vorn_env_register_listener([](void*, uint32_t, uint32_t*) { return 0; }, nullptr),
              VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(u8, 9);
    EXPECT_EQ(u32, 9u);
    EXPECT_STREQ(text, "keep");
    EXPECT_FALSE(vorn_mgmt_env_is_available());
    EXPECT_TRUE(take_logged().empty());
}

TEST(EnvironmentStoreStartUp, StartsOnceAndAnnouncesItself) {
    start_recording();
    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(vorn_mgmt_env_is_available());
    const std::vector<Logged> logged = take_logged();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), env("Environment manager is enabled", 2, 0));

    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1400), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(u32_of("orvix.mtu_size"), 1400u) << "a refused second start-up leaves the values alone";
}

// Every row, read through the getter of its own type, holds its default text converted to
// the row's width; the rows whose default is computed hold their computed values.
TEST_F(EnvironmentStore, StartsWithEveryDefault) {
    const std::string computed = "special case: set in init routine";
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        SCOPED_TRACE(row.name);
        if (computed == row.default_value) continue;
        const unsigned long expected = row.value_type == ENV_VALUE_STRING ? 0 : std::stoul(row.default_value);
        if (row.value_type == ENV_VALUE_UINT8) {
            uint8_t v = 0xAB;
            ASSERT_EQ(vorn_mgmt_env_get_uint8(row.name, &v), VORN_STATUS_SUCCESS);
            EXPECT_EQ(v, expected);
        } else if (row.value_type == ENV_VALUE_UINT16) {
            uint16_t v = 0xABCD;
            ASSERT_EQ(vorn_mgmt_env_get_uint16(row.name, &v), VORN_STATUS_SUCCESS);
            EXPECT_EQ(v, expected);
        } else if (row.value_type == ENV_VALUE_UINT32) {
            EXPECT_EQ(u32_of(row.name), expected);
        } else if (row.value_type == ENV_VALUE_STRING) {
            EXPECT_EQ(text_of(row.name), row.default_value);
        } else {
            ASSERT_EQ(row.value_type, ENV_VALUE_ENUM);
            eVORN_MGMT_ENV_ENUM v = VORN_MGMT_ENV_LANGUAGE_GREEK;
            ASSERT_EQ(vorn_mgmt_env_get_enum(row.name, &v), VORN_STATUS_SUCCESS);
            EXPECT_EQ(v, 2) << "only the filter mode's default text is a number";
        }
    }
    EXPECT_EQ(u32_of("orvix.tcp_port"), 4172u);
    EXPECT_EQ(u32_of("orvix.udp_port"), 4172u);
    EXPECT_EQ(u32_of("orvix.session_retry_timeout"), 20u);
    EXPECT_EQ(u32_of("orvix.CAD_insert_substitution_scan_code"), 338u);
    EXPECT_EQ(u32_of("orvix.image_cache_size"), 240000u);
    for (const char* name : {"orvix.language", "orvix.session_type", "orvix.connection_type"}) {
        eVORN_MGMT_ENV_ENUM e = VORN_MGMT_ENV_LANGUAGE_GREEK;
        ASSERT_EQ(vorn_mgmt_env_get_enum(name, &e), VORN_STATUS_SUCCESS);
        EXPECT_EQ(e, 0) << name;
    }
    uint8_t mac[VORN_MGMT_ENV_SLOT_SIZE] = {};
    ASSERT_EQ(mgmt_vorn_env_get(get_entry_index("orvix.mac_addr"), mac), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(get_entry_index("orvix.mac_addr"), mac), "00-0F-01-00-01-00");
    EXPECT_EQ(text_of("orvix.mailbox_root"), "\\\\.\\mailslot\\ProtectedPrefix\\Administrators\\");
    EXPECT_TRUE(take_logged().empty()) << "reads log nothing";
}

TEST(EnvironmentStoreDefaults, TheClientSwitchSelectsTheClientValues) {
    auto block = std::make_unique<sVORN_MGMT_ENV_CONTROL_BLOCK>();
    std::memset(block.get(), 0, sizeof *block);
    mgmt_vorn_env_set_defaults(block.get(), true);
    uint32_t value;
    std::memcpy(&value, block->default_slots[get_entry_index("orvix.udp_port")], 4);
    EXPECT_EQ(value, 50002u);
    std::memcpy(&value, block->default_slots[get_entry_index("orvix.session_retry_timeout")], 4);
    EXPECT_EQ(value, 120u);
    const uint8_t client_mac[6] = {0x00, 0x0F, 0x01, 0x01, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(block->default_slots[get_entry_index("orvix.mac_addr")], client_mac, 6), 0);
    // A u8 row takes one byte; the rest of its slot, and all of slot 0, stay zero.
    const uint8_t* deskside = block->default_slots[get_entry_index("orvix.enable_deskside")];
    EXPECT_EQ(deskside[0], 2);
    EXPECT_EQ(deskside[1] | deskside[2] | deskside[3], 0);
    for (uint8_t byte : block->default_slots[0]) ASSERT_EQ(byte, 0);
}

TEST_F(EnvironmentStore, TypedWritesAreReadBackAndLoggedWithTheirIndex) {
    uint8_t u8 = 1;
    uint16_t u16 = 0;
    eVORN_MGMT_ENV_ENUM e = VORN_MGMT_ENV_LANGUAGE_ENGLISH;
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1400), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_deskside", 255), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint16("orvix.macos_login_timeout", 65535), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "SOFT"), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.image_cache_size", 4294967295u), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.session_type", static_cast<eVORN_MGMT_ENV_ENUM>(-7)),
              VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(), (std::vector<Logged>{
                                 write_line(124, "orvix.mtu_size", "1400"),
                                 write_line(83, "orvix.enable_deskside", "255"),
                                 write_line(222, "orvix.macos_login_timeout", "65535"),
                                 write_line(20, "orvix.server_type", "SOFT"),
                                 write_line(93, "orvix.image_cache_size", "4294967295"),
                                 write_line(14, "orvix.session_type", "-7"),
                             }));
    EXPECT_EQ(u32_of("orvix.mtu_size"), 1400u);
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.enable_deskside", &u8), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u8, 255);
    EXPECT_EQ(vorn_mgmt_env_get_uint16("orvix.macos_login_timeout", &u16), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u16, 65535);
    EXPECT_EQ(text_of("orvix.server_type"), "SOFT");
    EXPECT_EQ(u32_of("orvix.image_cache_size"), 4294967295u);
    EXPECT_EQ(vorn_mgmt_env_get_enum("orvix.session_type", &e), VORN_STATUS_SUCCESS);
    EXPECT_EQ(e, -7);
    EXPECT_EQ(u32_of("orvix.max_encode_threads"), 0u) << "a neighbouring slot is untouched";
}

TEST_F(EnvironmentStore, UnknownNamesAndWrongTypesChangeNothing) {
    uint32_t u32 = 77;
    uint8_t u8 = 77;
    char text[8] = "keep";
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.enable_usb", &u32), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_set_uint8("orvix.tcp_port", 1), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.no_such_setting", &u8), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.MTU_size", &u32), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_set_uint32("end_of_lookup_table_marker", 1), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string("???", text, sizeof text), VORN_STATUS_INVALID);  // found, then refused
    EXPECT_EQ(vorn_mgmt_env_set_string(nullptr, "x"), VORN_STATUS_INVALID);
    EXPECT_EQ(take_logged(), (std::vector<Logged>{
                                 env("Item orvix.enable_usb is not of type 4", 2, -500),
                                 env("Item orvix.tcp_port is not of type 2", 2, -500),
                                 env("Could not find item orvix.no_such_setting in env lookup table!", 2, -500),
                                 env("Could not find item orvix.MTU_size in env lookup table!", 2, -500),
                                 env("Could not find item end_of_lookup_table_marker in env lookup table!", 2, -500),
                                 env("Item ??? is not of type 5", 2, -500),
                                 env("Could not find item (null) in env lookup table!", 2, -500),
                             }));
    EXPECT_EQ(u32, 77u);
    EXPECT_EQ(u8, 77);
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(u32_of("orvix.tcp_port"), 4172u);
}

TEST_F(EnvironmentStore, TextsAreCutToTheSlotAndToTheCallersBuffer) {
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", std::string(600, 'x').c_str()), VORN_STATUS_SUCCESS);
    char whole[1024];
    std::memset(whole, 'y', sizeof whole);
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", whole, sizeof whole), VORN_STATUS_SUCCESS);
    EXPECT_EQ(std::string(whole), std::string(511, 'x'));
    EXPECT_EQ(whole[512], 'y') << "at most 512 bytes are written, however large the buffer";
    char small[5];
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", small, sizeof small), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(small, "xxxx");
    char one[1] = {'z'};
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", one, 1), VORN_STATUS_SUCCESS);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", nullptr, 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", nullptr), VORN_STATUS_SUCCESS);
    EXPECT_EQ(text_of("orvix.vchan_list"), "");
}

TEST_F(EnvironmentStore, TheWriteLineShowsLanguagesAndCutsLongTexts) {
    for (int code : {3, 10, 11, -1}) {
        ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.language", static_cast<eVORN_MGMT_ENV_ENUM>(code)), VORN_STATUS_SUCCESS);
    }
    const std::string text49 = std::string(48, 'a') + "Z";
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", text49.c_str()), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", (std::string(46, 'b') + "CDEF").c_str()),
              VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", std::string(511, 'c').c_str()), VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(), (std::vector<Logged>{
                                 write_line(9, "orvix.language", "SPANISH"),
                                 write_line(9, "orvix.language", "GREEK"),
                                 write_line(9, "orvix.language", "Unknown Language, 11"),
                                 write_line(9, "orvix.language", "Unknown Language, -1"),
                                 write_line(179, "orvix.vchan_list", text49),
                                 write_line(179, "orvix.vchan_list", std::string(46, 'b') + "..."),
                                 write_line(179, "orvix.vchan_list", std::string(46, 'c') + "..."),
                             }));
    EXPECT_EQ(text_of("orvix.vchan_list"), std::string(511, 'c')) << "only the display is cut";
}

TEST(EnvironmentStoreDisplay, EveryTypeHasItsDisplayForm) {
    const uint8_t value[VORN_MGMT_ENV_SLOT_SIZE] = {0x0A, 0xFF, 0x01, 0xB2, 0x00, 0x7F};
    auto shown = [&](const char* name) { return std::string(vorn_mgmt_env_value_to_string(get_entry_index(name), value)); };
    EXPECT_EQ(shown("orvix.enable_usb"), "10");
    EXPECT_EQ(shown("orvix.macos_login_timeout"), "65290");
    EXPECT_EQ(shown("orvix.mtu_size"), "2986475274");
    EXPECT_EQ(shown("orvix.event_filter_mode"), "-1308492022");
    EXPECT_EQ(shown("orvix.mac_addr"), "0A-FF-01-B2-00-7F");
    EXPECT_EQ(shown("???"), "[Undefined - error?]");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(get_num_entries() + 1, value), "[Deprecated]");
}

TEST_F(EnvironmentStore, InitDefaultRestoresAndLogsByType) {
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 900), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "X"), VORN_STATUS_SUCCESS);
    take_logged();
    for (const char* name : {"orvix.mtu_size", "orvix.server_type", "orvix.macos_login_timeout",
                             "orvix.event_filter_mode", "orvix.mac_addr"}) {
        EXPECT_EQ(vorn_mgmt_env_init_default(name), VORN_STATUS_SUCCESS) << name;
    }
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.nope"), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_init_default("???"), VORN_STATUS_INVALID);
    const std::string set = "Environment Manager: setting parameter ";
    EXPECT_EQ(take_logged(), (std::vector<Logged>{
                                 env(set + "orvix.mtu_size = 1200", 0, 0),
                                 write_line(124, "orvix.mtu_size", "1200"),
                                 env(set + "orvix.server_type =  \"AUTO\"", 0, 0),
                                 write_line(20, "orvix.server_type", "AUTO"),
                                 env(set + "orvix.macos_login_timeout = 75", 0, 0),
                                 write_line(222, "orvix.macos_login_timeout", "75"),
                                 env(set + "orvix.event_filter_mode =  2", 0, 0),
                                 write_line(187, "orvix.event_filter_mode", "2"),
                                 env(set + "orvix.mac_addr = 00-0F-01-00-01-00", 0, 0),
                                 write_line(3, "orvix.mac_addr", "00-0F-01-00-01-00"),
                                 env("vorn_mgmt_env_init_default: orvix.nope not found in env lookup table!", 2, -500),
                                 env("vorn_mgmt_env_init_default: ??? is an unknown entry type!", 2, 0),
                             }));
    EXPECT_EQ(u32_of("orvix.mtu_size"), 1200u);
    EXPECT_EQ(text_of("orvix.server_type"), "AUTO");
}

TEST_F(EnvironmentStore, StringValueServesNumbersAndTextsOnly) {
    std::string result = "unchanged";
    const std::pair<const char*, const char*> served[] = {
        {"orvix.udp_port", "4172"}, {"orvix.enable_deskside", "2"}, {"orvix.macos_login_timeout", "75"},
        {"orvix.usb_auth_table", "23XXXXXX"}, {"orvix.usb_unauth_table", ""}};
    for (const auto& [name, text] : served) {
        EXPECT_EQ(vorn_mgmt_env_get_string_value(name, result), VORN_STATUS_SUCCESS) << name;
        EXPECT_EQ(result, text);
    }
    take_logged();
    result = "unchanged";
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.language", result), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.mac_addr", result), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("", result), VORN_STATUS_NO_VALUE);
    EXPECT_EQ(result, "unchanged");
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.tcp_port", result), VORN_STATUS_SUCCESS);
    const std::string fn = "vorn_mgmt_env_get_string_value: ";
    EXPECT_EQ(take_logged(),
              (std::vector<Logged>{
                  env(fn + "get_entry_index for \"orvix.language\" returned unknown value_type, 6", 1, -501),
                  env(fn + "get_entry_index for \"orvix.mac_addr\" returned unknown value_type, 7", 1, -501),
                  env(fn + "get_entry_index returned ENV_INDEX_NOT_FOUND (-1).", 1, -510),
                  env(fn + "returning 4172 for name, orvix.tcp_port", 2, 0),
              }));
}

TEST_F(EnvironmentStore, InnerAccessChecksTheIndexAndTheValidFlag) {
    uint8_t buffer[VORN_MGMT_ENV_SLOT_SIZE] = {1};
    EXPECT_EQ(mgmt_vorn_env_get(0, buffer), VORN_STATUS_NO_VALUE) << "the placeholder slot holds no value";
    EXPECT_EQ(mgmt_vorn_env_get(VORN_MGMT_ENV_NUM_SLOTS, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(0, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(get_num_entries() + 1, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(get_num_entries(), buffer), VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(),
              (std::vector<Logged>{write_line(224, "orvix.enable_authentication_broker_unsigned_cert", "1")}));
}

// Records every listener call; the worker thread writes, the test reads.
struct Notifications {
    std::mutex lock;
    std::vector<std::pair<uint32_t, uint32_t>> calls;  // (event, index)

    static int32_t listen(void* context, uint32_t event, uint32_t* index) {
        auto* self = static_cast<Notifications*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        self->calls.emplace_back(event, *index);
        return 0;
    }
    std::vector<std::pair<uint32_t, uint32_t>> snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
};

TEST_F(EnvironmentStore, AThousandNotifyWritesCompleteAndReachListeners) {
    Notifications seen;
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &seen), VORN_STATUS_SUCCESS);
    for (int i = 0; i < 1000; ++i) {  // modification 10: notify
        ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.minimum_image_quality", static_cast<uint8_t>(i)), VORN_STATUS_SUCCESS);
    }
    // Neither a plain row nor an all-ones row posts anything; the last write marks the end.
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1000), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_ipv6", 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.event_filter_mode", static_cast<eVORN_MGMT_ENV_ENUM>(3)),
              VORN_STATUS_SUCCESS);
    ASSERT_TRUE(eventually([&] { return seen.snapshot().size() >= 1001; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::vector<std::pair<uint32_t, uint32_t>> expected(1000, {ENV_EVENT_CHANGED, 44});
    expected.emplace_back(ENV_EVENT_CHANGED, 187);
    EXPECT_EQ(seen.snapshot(), expected);
}

TEST_F(EnvironmentStore, TheWorkerReloadsDefaultsReportsUnknownActionsAndExits) {
    Notifications first;
    Notifications second;
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &first), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &second), VORN_STATUS_SUCCESS);
    for (uint32_t i = 2; i < VORN_MGMT_ENV_MAX_LISTENERS; ++i) {
        ASSERT_EQ(mgmt_vorn_env_register_listener([](void*, uint32_t, uint32_t*) { return 0; }, nullptr),
                  VORN_STATUS_SUCCESS);
    }
    EXPECT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &first), VORN_STATUS_TIMEOUT) << "16 at most";
    EXPECT_EQ(mgmt_vorn_env_register_listener(nullptr, nullptr), VORN_STATUS_MISSING_ARGUMENT);

    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.frame_rate_vs_quality_factor", 9), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 600), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_READ, 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_post(7, 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_RELOAD_DEFAULTS, 0), VORN_STATUS_SUCCESS);
    ASSERT_TRUE(eventually([&] { return second.snapshot().size() >= 2; }));
    // The reload reports the index of the last change message it handled.
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{ENV_EVENT_CHANGED, 96},
                                                                 {ENV_EVENT_DEFAULTS_RELOADED, 96}};
    EXPECT_EQ(first.snapshot(), expected);
    EXPECT_EQ(second.snapshot(), expected);
    EXPECT_EQ(u32_of("orvix.mtu_size"), 1200u);
    const std::vector<Logged> logged = take_logged();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[2], env("Unknown action in message!", 1, 0));

    // The worker holds its mutex for as long as it runs.
    sVORN_MGMT_ENV_CONTROL_BLOCK* block = mgmt_vorn_env_control_block();
    EXPECT_EQ(vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_EXIT, 0), VORN_STATUS_SUCCESS);
    block->thread->handle.join();
    EXPECT_EQ(vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    vorn_rtos_mutex_put(block->worker_mutex);
}

// Writers of whole-slot values and readers on other threads: a reader never sees a value
// that is half one write and half another.
TEST_F(EnvironmentStore, ConcurrentReadersNeverSeeTornValues) {
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.image_cache_size", 0), VORN_STATUS_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> writers;
    std::vector<std::thread> readers;
    for (int w = 0; w < 2; ++w) {
        writers.emplace_back([w] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text(300 + (i % 200), static_cast<char>('a' + (i + w) % 26));
                vorn_mgmt_env_set_string("orvix.vchan_list", text.c_str());
                vorn_mgmt_env_set_uint32("orvix.image_cache_size", static_cast<uint32_t>(i & 0xFF) * 0x01010101u);
            }
        });
        readers.emplace_back([&] {
            char text[VORN_MGMT_ENV_SLOT_SIZE];
            uint32_t v = 0;
            while (!stop.load()) {
                if (vorn_mgmt_env_get_string("orvix.vchan_list", text, sizeof text) != VORN_STATUS_SUCCESS) ++torn;
                if (std::string(text) != std::string(std::strlen(text), text[0])) ++torn;
                vorn_mgmt_env_get_uint32("orvix.image_cache_size", &v);
                if ((v & 0xFF) * 0x01010101u != v) ++torn;
            }
        });
    }
    for (auto& t : writers) t.join();
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
