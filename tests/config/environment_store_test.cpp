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

// Every message of this process, every level admitted, handed to record().
void start_recording() {
    vorn_event_set_forwarding_callback(record);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = std::tmpfile();  // a sink, so that no log folder is touched
    ASSERT_EQ(vorn_event_init(&params), VORN_STATUS_SUCCESS);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
}

// Messages since the last call.
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
    char index_text[8];
    std::snprintf(index_text, sizeof index_text, "%3u", index);
    return env(std::string("Setting ENV variable[") + index_text + "]: " + name + " = " + display, 2, 0);
}

class EnvironmentStore : public testing::Test {
protected:
    void SetUp() override {
        start_recording();
        ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
        take_logged();
    }
};

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(EnvironmentStoreStartUp, EverythingIsRefusedSilentlyBeforeStartUp) {
    start_recording();
    uint8_t u8 = 9;
    uint16_t u16 = 9;
    uint32_t u32 = 9;
    eVORN_MGMT_ENV_ENUM e = VORN_MGMT_ENV_LANGUAGE_GREEK;
    char text[16] = "keep";
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.enable_usb", &u8), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_uint16("orvix.macos_login_timeout", &u16), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.tcp_port", &u32), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_enum("orvix.language", &e), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_string("orvix.server_type", text, sizeof text), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_get_uint32("no.such.name", &u32), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_usb", 0), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_uint16("orvix.macos_login_timeout", 1), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_enum("orvix.language", VORN_MGMT_ENV_LANGUAGE_FRENCH), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "x"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.mtu_size"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(mgmt_vorn_env_register_listener([](void*, uint32_t, uint32_t*) { return 0; }, nullptr),
              VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(u8, 9);
    EXPECT_EQ(u16, 9);
    EXPECT_EQ(u32, 9u);
    EXPECT_EQ(e, VORN_MGMT_ENV_LANGUAGE_GREEK);
    EXPECT_STREQ(text, "keep");
    EXPECT_FALSE(vorn_mgmt_env_is_available());
    EXPECT_TRUE(take_logged().empty());
}

TEST(EnvironmentStoreStartUp, StartsOnceAndAnnouncesItself) {
    start_recording();
    EXPECT_FALSE(vorn_mgmt_env_is_available());
    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(vorn_mgmt_env_is_available());
    const std::vector<Logged> logged = take_logged();
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), env("Environment manager is enabled", 2, 0));

    uint32_t port = 0;
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1400), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_NOT_STARTED);
    // The refused second start-up leaves the values alone.
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.mtu_size", &port), VORN_STATUS_SUCCESS);
    EXPECT_EQ(port, 1400u);
    EXPECT_TRUE(vorn_mgmt_env_is_available());
}

TEST_F(EnvironmentStore, StartsWithTheComputedDefaults) {
    uint32_t u32 = 0;
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.tcp_port", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 4172u);
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.udp_port", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 4172u);
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.session_retry_timeout", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 20u);
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.CAD_insert_substitution_scan_code", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 338u);
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.image_cache_size", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 240000u);

    eVORN_MGMT_ENV_ENUM e = VORN_MGMT_ENV_LANGUAGE_GREEK;
    ASSERT_EQ(vorn_mgmt_env_get_enum("orvix.event_filter_mode", &e), VORN_STATUS_SUCCESS);
    EXPECT_EQ(e, 2);
    for (const char* name : {"orvix.language", "orvix.session_type", "orvix.connection_type"}) {
        e = VORN_MGMT_ENV_LANGUAGE_GREEK;
        ASSERT_EQ(vorn_mgmt_env_get_enum(name, &e), VORN_STATUS_SUCCESS);
        EXPECT_EQ(e, 0) << name;
    }

    uint8_t mac[VORN_MGMT_ENV_SLOT_SIZE] = {};
    ASSERT_EQ(mgmt_vorn_env_get(get_entry_index("orvix.mac_addr"), mac), VORN_STATUS_SUCCESS);
    const uint8_t expected_mac[6] = {0x00, 0x0F, 0x01, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(mac, expected_mac, 6), 0);

    char text[VORN_MGMT_ENV_SLOT_SIZE];
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.mailbox_root", text, sizeof text), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(text, "\\\\.\\mailslot\\ProtectedPrefix\\Administrators\\");
    EXPECT_TRUE(take_logged().empty()) << "reads log nothing";
}

// Every numeric and text row read through its own typed getter holds its default text,
// converted to the row's width.
TEST_F(EnvironmentStore, EveryRowHoldsItsDefaultInItsOwnWidth) {
    const std::string special = "special case: set in init routine";
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        SCOPED_TRACE(row.name);
        if (special == row.default_value) continue;
        const unsigned long expected = row.value_type == ENV_VALUE_STRING ? 0 : std::stoul(row.default_value);
        switch (row.value_type) {
            case ENV_VALUE_UINT8: {
                uint8_t v = 0xAB;
                ASSERT_EQ(vorn_mgmt_env_get_uint8(row.name, &v), VORN_STATUS_SUCCESS);
                EXPECT_EQ(v, expected);
                break;
            }
            case ENV_VALUE_UINT16: {
                uint16_t v = 0xABCD;
                ASSERT_EQ(vorn_mgmt_env_get_uint16(row.name, &v), VORN_STATUS_SUCCESS);
                EXPECT_EQ(v, expected);
                break;
            }
            case ENV_VALUE_UINT32: {
                uint32_t v = 0xABCDEF;
                ASSERT_EQ(vorn_mgmt_env_get_uint32(row.name, &v), VORN_STATUS_SUCCESS);
                EXPECT_EQ(v, expected);
                break;
            }
            case ENV_VALUE_STRING: {
                char v[VORN_MGMT_ENV_SLOT_SIZE] = "junk";
                ASSERT_EQ(vorn_mgmt_env_get_string(row.name, v, sizeof v), VORN_STATUS_SUCCESS);
                EXPECT_STREQ(v, row.default_value);
                break;
            }
            case ENV_VALUE_ENUM: {
                eVORN_MGMT_ENV_ENUM v = VORN_MGMT_ENV_LANGUAGE_GREEK;
                ASSERT_EQ(vorn_mgmt_env_get_enum(row.name, &v), VORN_STATUS_SUCCESS);
                EXPECT_EQ(v, std::strcmp(row.name, "orvix.event_filter_mode") == 0 ? 2 : 0);
                break;
            }
            default:
                ADD_FAILURE() << "unexpected type " << row.value_type;
        }
    }
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
    const uint8_t expected_mac[6] = {0x00, 0x0F, 0x01, 0x01, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(block->default_slots[get_entry_index("orvix.mac_addr")], expected_mac, 6), 0);
    // A u8 row takes one byte and leaves the rest of the slot zero.
    const uint8_t* deskside = block->default_slots[get_entry_index("orvix.enable_deskside")];
    EXPECT_EQ(deskside[0], 2);
    EXPECT_EQ(deskside[1] | deskside[2] | deskside[3], 0);
    const uint8_t* slot0 = block->default_slots[0];
    for (uint32_t i = 0; i < VORN_MGMT_ENV_SLOT_SIZE; ++i) ASSERT_EQ(slot0[i], 0) << "slot 0 holds nothing";
}

TEST_F(EnvironmentStore, TypedWritesAreReadBackAndLoggedWithTheirIndex) {
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1400), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_usb", 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint16("orvix.macos_login_timeout", 65535), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "SOFT"), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.image_cache_size", 4294967295u), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_deskside", 255), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.session_type", static_cast<eVORN_MGMT_ENV_ENUM>(-7)),
              VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(), (std::vector<Logged>{
                                 write_line(124, "orvix.mtu_size", "1400"),
                                 write_line(18, "orvix.enable_usb", "0"),
                                 write_line(222, "orvix.macos_login_timeout", "65535"),
                                 write_line(20, "orvix.server_type", "SOFT"),
                                 write_line(93, "orvix.image_cache_size", "4294967295"),
                                 write_line(83, "orvix.enable_deskside", "255"),
                                 write_line(14, "orvix.session_type", "-7"),
                             }));

    uint32_t u32 = 0;
    uint8_t u8 = 1;
    uint16_t u16 = 0;
    char text[16] = {};
    eVORN_MGMT_ENV_ENUM e = VORN_MGMT_ENV_LANGUAGE_ENGLISH;
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.mtu_size", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 1400u);
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.enable_usb", &u8), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u8, 0);
    EXPECT_EQ(vorn_mgmt_env_get_uint16("orvix.macos_login_timeout", &u16), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u16, 65535);
    EXPECT_EQ(vorn_mgmt_env_get_string("orvix.server_type", text, sizeof text), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(text, "SOFT");
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.image_cache_size", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 4294967295u);
    EXPECT_EQ(vorn_mgmt_env_get_enum("orvix.session_type", &e), VORN_STATUS_SUCCESS);
    EXPECT_EQ(e, -7);
    // Neighbouring rows are untouched.
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.max_encode_threads", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 0u);
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.netcongestion_detect_msec", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 6000u);
}

TEST_F(EnvironmentStore, UnknownNamesAndWrongTypesChangeNothing) {
    uint32_t u32 = 77;
    uint8_t u8 = 77;
    char text[8] = "keep";
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.enable_usb", &u32), VORN_STATUS_INVALID);
    EXPECT_EQ(u32, 77u);
    EXPECT_EQ(vorn_mgmt_env_set_uint8("orvix.tcp_port", 1), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.no_such_setting", &u8), VORN_STATUS_INVALID);
    EXPECT_EQ(u8, 77);
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.MTU_size", &u32), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_set_uint32("end_of_lookup_table_marker", 1), VORN_STATUS_INVALID);
    // The placeholder row is found, and then refused for every type.
    EXPECT_EQ(vorn_mgmt_env_get_string("???", text, sizeof text), VORN_STATUS_INVALID);
    EXPECT_STREQ(text, "keep");
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
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.tcp_port", &u32), VORN_STATUS_SUCCESS);
    EXPECT_EQ(u32, 4172u);
}

TEST_F(EnvironmentStore, TextsAreCutToTheSlotAndToTheCallersBuffer) {
    const std::string long_text(600, 'x');
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", long_text.c_str()), VORN_STATUS_SUCCESS);
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

    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", ""), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", whole, sizeof whole), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(whole, "");
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", nullptr), VORN_STATUS_SUCCESS);
}

TEST_F(EnvironmentStore, TheWriteLineShowsLanguagesAndCutsLongTexts) {
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.language", VORN_MGMT_ENV_LANGUAGE_SPANISH), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.language", VORN_MGMT_ENV_LANGUAGE_GREEK), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.language", static_cast<eVORN_MGMT_ENV_ENUM>(11)), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.language", static_cast<eVORN_MGMT_ENV_ENUM>(-1)), VORN_STATUS_SUCCESS);
    const std::string text49 = std::string(48, 'a') + "Z";
    const std::string text50 = std::string(46, 'b') + "CDEF";
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", text49.c_str()), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", text50.c_str()), VORN_STATUS_SUCCESS);
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
    // The stored value is whole; only the display is cut.
    char text[64];
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", text, sizeof text), VORN_STATUS_SUCCESS);
    EXPECT_EQ(std::string(text), std::string(63, 'c'));
}

TEST(EnvironmentStoreDisplay, EveryTypeHasItsDisplayForm) {
    uint8_t value[VORN_MGMT_ENV_SLOT_SIZE] = {0x0A, 0xFF, 0x01, 0xB2, 0x00, 0x7F};
    const uint32_t u8_row = get_entry_index("orvix.enable_usb");
    const uint32_t u16_row = get_entry_index("orvix.macos_login_timeout");
    const uint32_t u32_row = get_entry_index("orvix.mtu_size");
    const uint32_t enum_row = get_entry_index("orvix.event_filter_mode");
    const uint32_t mac_row = get_entry_index("orvix.mac_addr");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(u8_row, value), "10");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(u16_row, value), "65290");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(u32_row, value), "2986475274");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(enum_row, value), "-1308492022");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(mac_row, value), "0A-FF-01-B2-00-7F");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(0, value), "[Undefined - error?]");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(get_num_entries() + 1, value), "[Deprecated]");
}

TEST_F(EnvironmentStore, InitDefaultRestoresAndLogsByType) {
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 900), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "X"), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_usb", 0), VORN_STATUS_SUCCESS);
    take_logged();

    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.mtu_size"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.server_type"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.enable_usb"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.macos_login_timeout"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.event_filter_mode"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.mac_addr"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.udp_port"), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.nope"), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_init_default("???"), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_init_default(nullptr), VORN_STATUS_INVALID);
    EXPECT_EQ(take_logged(),
              (std::vector<Logged>{
                  env("Environment Manager: setting parameter orvix.mtu_size = 1200", 0, 0),
                  write_line(124, "orvix.mtu_size", "1200"),
                  env("Environment Manager: setting parameter orvix.server_type =  \"AUTO\"", 0, 0),
                  write_line(20, "orvix.server_type", "AUTO"),
                  env("Environment Manager: setting parameter orvix.enable_usb = 1", 0, 0),
                  write_line(18, "orvix.enable_usb", "1"),
                  env("Environment Manager: setting parameter orvix.macos_login_timeout = 75", 0, 0),
                  write_line(222, "orvix.macos_login_timeout", "75"),
                  env("Environment Manager: setting parameter orvix.event_filter_mode =  2", 0, 0),
                  write_line(187, "orvix.event_filter_mode", "2"),
                  env("Environment Manager: setting parameter orvix.mac_addr = 00-0F-01-00-01-00", 0, 0),
                  write_line(3, "orvix.mac_addr", "00-0F-01-00-01-00"),
                  env("Environment Manager: setting parameter orvix.udp_port = 4172", 0, 0),
                  write_line(6, "orvix.udp_port", "4172"),
                  env("vorn_mgmt_env_init_default: orvix.nope not found in env lookup table!", 2, -500),
                  env("vorn_mgmt_env_init_default: ??? is an unknown entry type!", 2, 0),
                  env("vorn_mgmt_env_init_default: (null) not found in env lookup table!", 2, -500),
              }));
    uint32_t mtu = 0;
    char text[16];
    uint8_t usb = 0;
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.mtu_size", &mtu), VORN_STATUS_SUCCESS);
    EXPECT_EQ(mtu, 1200u);
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.server_type", text, sizeof text), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(text, "AUTO");
    ASSERT_EQ(vorn_mgmt_env_get_uint8("orvix.enable_usb", &usb), VORN_STATUS_SUCCESS);
    EXPECT_EQ(usb, 1);
}

TEST_F(EnvironmentStore, StringValueServesNumbersAndTextsOnly) {
    std::string result = "unchanged";
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.udp_port", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(result, "4172");
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.enable_deskside", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(result, "2");
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.macos_login_timeout", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(result, "75");
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.usb_auth_table", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(result, "23XXXXXX");
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.usb_auth_table", ""), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.usb_auth_table", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(result, "");
    take_logged();

    result = "unchanged";
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.language", result), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.mac_addr", result), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.unknown", result), VORN_STATUS_NO_VALUE);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("", result), VORN_STATUS_NO_VALUE);
    EXPECT_EQ(result, "unchanged");
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.tcp_port", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(),
              (std::vector<Logged>{
                  env("vorn_mgmt_env_get_string_value: get_entry_index for \"orvix.language\" returned unknown "
                      "value_type, 6",
                      1, -501),
                  env("vorn_mgmt_env_get_string_value: get_entry_index for \"orvix.mac_addr\" returned unknown "
                      "value_type, 7",
                      1, -501),
                  env("vorn_mgmt_env_get_string_value: get_entry_index returned ENV_INDEX_NOT_FOUND (-1).", 1, -510),
                  env("vorn_mgmt_env_get_string_value: get_entry_index returned ENV_INDEX_NOT_FOUND (-1).", 1, -510),
                  env("vorn_mgmt_env_get_string_value: returning 4172 for name, orvix.tcp_port", 2, 0),
              }));
}

TEST_F(EnvironmentStore, InnerAccessChecksTheIndexAndTheValidFlag) {
    uint8_t buffer[VORN_MGMT_ENV_SLOT_SIZE] = {1};
    EXPECT_EQ(mgmt_vorn_env_get(0, buffer), VORN_STATUS_NO_VALUE) << "the placeholder slot holds no value";
    EXPECT_EQ(mgmt_vorn_env_get(VORN_MGMT_ENV_NUM_SLOTS, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(0, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(get_num_entries() + 1, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(0xFFFFFFFFu, buffer), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(get_num_entries(), buffer), VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(), (std::vector<Logged>{write_line(224, "orvix.enable_authentication_broker_unsigned_cert",
                                                             "1")}));
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
    size_t size() {
        std::lock_guard<std::mutex> guard(lock);
        return calls.size();
    }
    std::vector<std::pair<uint32_t, uint32_t>> snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
};

TEST_F(EnvironmentStore, AThousandNotifyWritesCompleteAndReachListeners) {
    Notifications seen;
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &seen), VORN_STATUS_SUCCESS);
    const uint32_t quality = get_entry_index("orvix.minimum_image_quality");  // modification 10: notify
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.minimum_image_quality", static_cast<uint8_t>(i)),
                  VORN_STATUS_SUCCESS);
    }
    // Neither a plain row nor an all-ones row posts anything; the last write marks the end.
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1000), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_ipv6", 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.event_filter_mode", static_cast<eVORN_MGMT_ENV_ENUM>(3)),
              VORN_STATUS_SUCCESS);
    ASSERT_TRUE(eventually([&] { return seen.size() >= 1001; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto calls = seen.snapshot();
    ASSERT_EQ(calls.size(), 1001u);
    for (size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(calls[i], std::make_pair(uint32_t{ENV_EVENT_CHANGED}, quality)) << i;
    }
    EXPECT_EQ(calls[1000], std::make_pair(uint32_t{ENV_EVENT_CHANGED}, get_entry_index("orvix.event_filter_mode")));
}

TEST_F(EnvironmentStore, TheWorkerReloadsDefaultsReportsUnknownActionsAndExits) {
    Notifications first;
    Notifications second;
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &first), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &second), VORN_STATUS_SUCCESS);

    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.frame_rate_vs_quality_factor", 9), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 600), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_READ, 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_post(7, 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_RELOAD_DEFAULTS, 0), VORN_STATUS_SUCCESS);
    ASSERT_TRUE(eventually([&] { return second.size() >= 2; }));

    const uint32_t factor = get_entry_index("orvix.frame_rate_vs_quality_factor");
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{ENV_EVENT_CHANGED, factor},
                                                                 {ENV_EVENT_DEFAULTS_RELOADED, factor}};
    EXPECT_EQ(first.snapshot(), expected);
    EXPECT_EQ(second.snapshot(), expected);
    uint32_t mtu = 0;
    uint8_t value = 0;
    ASSERT_EQ(vorn_mgmt_env_get_uint32("orvix.mtu_size", &mtu), VORN_STATUS_SUCCESS);
    EXPECT_EQ(mtu, 1200u);
    ASSERT_EQ(vorn_mgmt_env_get_uint8("orvix.frame_rate_vs_quality_factor", &value), VORN_STATUS_SUCCESS);
    EXPECT_EQ(value, 50);
    const std::vector<Logged> logged = take_logged();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[2], env("Unknown action in message!", 1, 0));

    // The worker holds its mutex for as long as it runs.
    sVORN_MGMT_ENV_CONTROL_BLOCK* block = mgmt_vorn_env_control_block();
    EXPECT_EQ(vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_EXIT, 0), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(eventually(
        [&] { return vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_NO_WAIT) == VORN_STATUS_SUCCESS; }));
    vorn_rtos_mutex_put(block->worker_mutex);
    block->thread->handle.join();
}

TEST_F(EnvironmentStore, TheListenerTableHoldsSixteen) {
    auto listener = [](void*, uint32_t, uint32_t*) { return 0; };
    for (uint32_t i = 0; i < VORN_MGMT_ENV_MAX_LISTENERS; ++i) {
        EXPECT_EQ(mgmt_vorn_env_register_listener(listener, nullptr), VORN_STATUS_SUCCESS);
    }
    EXPECT_EQ(mgmt_vorn_env_register_listener(listener, nullptr), VORN_STATUS_TIMEOUT);
    EXPECT_EQ(mgmt_vorn_env_register_listener(nullptr, nullptr), VORN_STATUS_MISSING_ARGUMENT);
    EXPECT_EQ(mgmt_vorn_env_control_block()->listener_count, VORN_MGMT_ENV_MAX_LISTENERS);
}

// Writers of whole-slot texts and readers on other threads: a reader never sees a value
// that is half one write and half another.
TEST_F(EnvironmentStore, ConcurrentReadersNeverSeeTornValues) {
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.image_cache_size", 0), VORN_STATUS_SUCCESS);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text(300 + (i % 200), static_cast<char>('a' + (i + w) % 26));
                vorn_mgmt_env_set_string("orvix.vchan_list", text.c_str());
                vorn_mgmt_env_set_uint32("orvix.image_cache_size", static_cast<uint32_t>(i & 0xFF) * 0x01010101u);
            }
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            char text[VORN_MGMT_ENV_SLOT_SIZE];
            while (!stop.load()) {
                if (vorn_mgmt_env_get_string("orvix.vchan_list", text, sizeof text) != VORN_STATUS_SUCCESS) ++torn;
                const size_t length = std::strlen(text);
                for (size_t i = 1; i < length; ++i) {
                    if (text[i] != text[0]) {
                        ++torn;
                        break;
                    }
                }
                uint32_t v = 0;
                vorn_mgmt_env_get_uint32("orvix.image_cache_size", &v);
                if ((v & 0xFF) * 0x01010101u != v) ++torn;
            }
        });
    }
    threads[0].join();
    threads[1].join();
    stop = true;
    threads[2].join();
    threads[3].join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
