#include "config/environment_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/environment_store_internal.h"
#include "eventlog/event_log.h"

namespace {

using Lines = std::vector<std::string>;

// Log messages as "<level> <status> <text>", with the category in front when it is not
// the store's own.
std::mutex g_lock;
Lines g_logged;

void start_recording() {
    vorn_event_set_forwarding_callback(
        [](const char* message, int32_t, uint32_t category, int32_t level, int32_t status) {
            std::string line = std::to_string(level) + " " + std::to_string(status) + " " + message;
            if (category != VORN_EVENT_CAT_MGMT_ENV)
                line = "category " + std::to_string(category) + ": " + line;
            std::lock_guard<std::mutex> guard(g_lock);
            g_logged.push_back(line);
            return 0;
        });
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = std::tmpfile();  // a sink, so that no log folder is touched
    ASSERT_EQ(vorn_event_init(&params), VORN_STATUS_SUCCESS);
    vorn_event_set_category_level(0, VORN_EVENT_LEVEL_MOST_VERBOSE);
}

Lines take_logged() {
    std::lock_guard<std::mutex> guard(g_lock);
    return std::exchange(g_logged, {});
}

std::string write_line(int index, const char* name, const std::string& shown) {
    char head[64];
    std::snprintf(head, sizeof head, "2 0 Setting ENV variable[%3d]: ", index);
    return head + std::string(name) + " = " + shown;
}

// A setting's value through the getter of its width.
template <typename T>
T read(int32_t (*get)(const char*, T*), const char* name) {
    T value{};
    EXPECT_EQ(get(name, &value), VORN_STATUS_SUCCESS) << name;
    return value;
}
uint32_t u32_of(const char* name) { return read(vorn_mgmt_env_get_uint32, name); }

class EnvironmentStore : public testing::Test {
  protected:
    void SetUp() override {
        start_recording();
        ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
        take_logged();
    }
};

TEST(EnvironmentStoreStartUp, RefusesSilentlyBeforeStartUpThenStartsOnce) {
    start_recording();
    uint8_t u8 = 9;
    EXPECT_EQ(vorn_mgmt_env_get_uint8("orvix.enable_usb", &u8), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_set_uint32("no.such.name", 1), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.mtu_size"), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(mgmt_vorn_env_register_listener([](void*, uint32_t, uint32_t*) { return 0; }, nullptr),
              VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(u8, 9);
    EXPECT_FALSE(vorn_mgmt_env_is_available());
    EXPECT_EQ(take_logged(), Lines{});

    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    EXPECT_TRUE(vorn_mgmt_env_is_available());
    EXPECT_EQ(take_logged().at(0), "2 0 Environment manager is enabled");
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 1400), VORN_STATUS_SUCCESS);
    EXPECT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_NOT_STARTED);
    EXPECT_EQ(u32_of("orvix.mtu_size"), 1400u) << "a refused second start-up leaves the values alone";
}

// Every row holds its default text read at its own width; computed rows hold the server
// values (the MAC address: see InitDefault), and the client switch selects the client values.
TEST_F(EnvironmentStore, StartsWithEveryDefault) {
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        if (row.value_type == ENV_VALUE_ENUM) {
            EXPECT_EQ(read(vorn_mgmt_env_get_enum, row.name),
                      std::strcmp(row.name, "orvix.event_filter_mode") == 0 ? 2 : 0) << row.name;
        } else if (row.value_type != ENV_VALUE_MAC_ADDR &&
                   std::strcmp(row.default_value, "special case: set in init routine") != 0) {
            std::string value;
            ASSERT_EQ(vorn_mgmt_env_get_string_value(row.name, value), VORN_STATUS_SUCCESS) << row.name;
            EXPECT_EQ(value, row.default_value) << row.name;
        }
    }
    EXPECT_EQ(u32_of("orvix.udp_port"), 4172u);
    EXPECT_EQ(u32_of("orvix.session_retry_timeout"), 20u);
    auto block = std::make_unique<sVORN_MGMT_ENV_CONTROL_BLOCK>();
    mgmt_vorn_env_set_defaults(block.get(), true);
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(3, block->default_slots[3]), "00-0F-01-01-01-00");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(6, block->default_slots[6]), "50002");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(11, block->default_slots[11]), "120");
}

TEST_F(EnvironmentStore, TypedWritesAreReadBackLoggedAndRefusedByNameOrType) {
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_deskside", 255), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint16("orvix.macos_login_timeout", 65535), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.image_cache_size", 4294967295u), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.session_type", static_cast<eVORN_MGMT_ENV_ENUM>(-7)),
              VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(), (Lines{write_line(83, "orvix.enable_deskside", "255"),
                                    write_line(222, "orvix.macos_login_timeout", "65535"),
                                    write_line(93, "orvix.image_cache_size", "4294967295"),
                                    write_line(14, "orvix.session_type", "-7")}));
    // The write lines show the stored values; the getters read them back at full width.
    EXPECT_EQ(read(vorn_mgmt_env_get_uint8, "orvix.enable_deskside"), 255);
    EXPECT_EQ(read(vorn_mgmt_env_get_uint16, "orvix.macos_login_timeout"), 65535);
    EXPECT_EQ(read(vorn_mgmt_env_get_enum, "orvix.session_type"), -7);
    EXPECT_EQ(u32_of("orvix.image_cache_size"), 4294967295u);
    EXPECT_EQ(u32_of("orvix.max_encode_threads"), 0u) << "a neighbouring slot is untouched";
    EXPECT_EQ(take_logged(), Lines{}) << "reads log nothing";

    uint32_t u32 = 77;
    char text[8] = "keep";
    EXPECT_EQ(vorn_mgmt_env_get_uint32("orvix.enable_usb", &u32), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string("???", text, sizeof text), VORN_STATUS_INVALID);  // found, refused
    EXPECT_EQ(vorn_mgmt_env_set_string(nullptr, "x"), VORN_STATUS_INVALID);
    EXPECT_EQ(take_logged(),
              (Lines{"2 -500 Item orvix.enable_usb is not of type 4", "2 -500 Item ??? is not of type 5",
                     "2 -500 Could not find item (null) in env lookup table!"}));
    EXPECT_EQ(u32, 77u);
    EXPECT_STREQ(text, "keep");

    uint8_t slot[VORN_MGMT_ENV_SLOT_SIZE] = {1};
    EXPECT_EQ(mgmt_vorn_env_get(0, slot), VORN_STATUS_NO_VALUE) << "the placeholder slot holds no value";
    EXPECT_EQ(mgmt_vorn_env_set(0, slot), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(225, slot), VORN_STATUS_INVALID);
    EXPECT_EQ(mgmt_vorn_env_set(224, slot), VORN_STATUS_SUCCESS);
}

TEST_F(EnvironmentStore, TextsAreCutToTheSlotTheBufferAndTheWriteLine) {
    for (int code : {10, 11, -1})
        ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.language", static_cast<eVORN_MGMT_ENV_ENUM>(code)), 0);
    const std::string text49 = std::string(48, 'a') + "Z";
    for (const std::string& text : {text49, std::string(46, 'b') + "CDEF", std::string(600, 'x')})
        ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", text.c_str()), VORN_STATUS_SUCCESS);
    EXPECT_EQ(take_logged(), (Lines{write_line(9, "orvix.language", "GREEK"),
                                    write_line(9, "orvix.language", "Unknown Language, 11"),
                                    write_line(9, "orvix.language", "Unknown Language, -1"),
                                    write_line(179, "orvix.vchan_list", text49),
                                    write_line(179, "orvix.vchan_list", std::string(46, 'b') + "..."),
                                    write_line(179, "orvix.vchan_list", std::string(46, 'x') + "...")}));
    char whole[1024];
    std::memset(whole, 'y', sizeof whole);
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", whole, sizeof whole), VORN_STATUS_SUCCESS);
    EXPECT_EQ(std::string(whole), std::string(511, 'x'));
    EXPECT_EQ(std::string(whole + 512, 512), std::string(512, 'y')) << "at most 512 bytes are written";
    char small[5];
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", small, sizeof small), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(small, "xxxx");
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.vchan_list", nullptr), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_get_string("orvix.vchan_list", whole, sizeof whole), VORN_STATUS_SUCCESS);
    EXPECT_STREQ(whole, "");

    // Rows without a value type of their own still have a display form.
    const uint8_t raw[VORN_MGMT_ENV_SLOT_SIZE] = {0x0A};
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(0, raw), "[Undefined - error?]");
    EXPECT_STREQ(vorn_mgmt_env_value_to_string(get_num_entries() + 1, raw), "[Deprecated]");
}

// Restoring logs each type in its own form; enums, MAC addresses and unknown names are
// not served as text.
TEST_F(EnvironmentStore, InitDefaultAndStringValueByType) {
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 900), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_string("orvix.server_type", "X"), VORN_STATUS_SUCCESS);
    take_logged();
    for (const char* name : {"orvix.mtu_size", "orvix.server_type", "orvix.event_filter_mode",
                             "orvix.mac_addr"})
        EXPECT_EQ(vorn_mgmt_env_init_default(name), VORN_STATUS_SUCCESS) << name;
    EXPECT_EQ(vorn_mgmt_env_init_default("orvix.nope"), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_init_default("???"), VORN_STATUS_INVALID);
    const std::string set = "0 0 Environment Manager: setting parameter ";
    EXPECT_EQ(take_logged(),
              (Lines{set + "orvix.mtu_size = 1200", write_line(124, "orvix.mtu_size", "1200"),
                     set + "orvix.server_type =  \"AUTO\"", write_line(20, "orvix.server_type", "AUTO"),
                     set + "orvix.event_filter_mode =  2", write_line(187, "orvix.event_filter_mode", "2"),
                     set + "orvix.mac_addr = 00-0F-01-00-01-00",
                     write_line(3, "orvix.mac_addr", "00-0F-01-00-01-00"),
                     "2 -500 vorn_mgmt_env_init_default: orvix.nope not found in env lookup table!",
                     "2 0 vorn_mgmt_env_init_default: ??? is an unknown entry type!"}));

    std::string result = "unchanged";
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.language", result), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.mac_addr", result), VORN_STATUS_INVALID);
    EXPECT_EQ(vorn_mgmt_env_get_string_value("", result), VORN_STATUS_NO_VALUE);
    EXPECT_EQ(result, "unchanged");
    EXPECT_EQ(vorn_mgmt_env_get_string_value("orvix.server_type", result), VORN_STATUS_SUCCESS);
    EXPECT_EQ(result, "AUTO");
    const std::string fn = "vorn_mgmt_env_get_string_value: ";
    EXPECT_EQ(take_logged(),
              (Lines{"1 -501 " + fn + "get_entry_index for \"orvix.language\" returned unknown value_type, 6",
                     "1 -501 " + fn + "get_entry_index for \"orvix.mac_addr\" returned unknown value_type, 7",
                     "1 -510 " + fn + "get_entry_index returned ENV_INDEX_NOT_FOUND (-1).",
                     "2 0 " + fn + "returning AUTO for name, orvix.server_type"}));
}

// Records every listener call; the worker thread writes, the test reads.
struct Notifications {
    std::mutex lock;
    std::vector<std::pair<uint32_t, uint32_t>> calls;  // (event, index)

    static int32_t listen(void* self, uint32_t event, uint32_t* index) {
        std::lock_guard<std::mutex> guard(static_cast<Notifications*>(self)->lock);
        static_cast<Notifications*>(self)->calls.emplace_back(event, *index);
        return 0;
    }
    std::vector<std::pair<uint32_t, uint32_t>> snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
};

// A thousand notify writes (ten times the queue's depth) all complete and reach every
// listener in order; plain and all-ones rows post nothing; a reload restores the defaults
// and reports the last changed index; an unknown action is logged; exit ends the worker.
TEST_F(EnvironmentStore, TheWorkerNotifiesReloadsAndExits) {
    Notifications seen;  // twice, so every event arrives twice in a row
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &seen), VORN_STATUS_SUCCESS);
    ASSERT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &seen), VORN_STATUS_SUCCESS);
    for (uint32_t i = 2; i < VORN_MGMT_ENV_MAX_LISTENERS; ++i)
        ASSERT_EQ(mgmt_vorn_env_register_listener([](void*, uint32_t, uint32_t*) { return 0; }, nullptr), 0);
    EXPECT_EQ(mgmt_vorn_env_register_listener(Notifications::listen, &seen), VORN_STATUS_TIMEOUT)
        << "16 at most";
    EXPECT_EQ(mgmt_vorn_env_register_listener(nullptr, nullptr), VORN_STATUS_MISSING_ARGUMENT);

    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.minimum_image_quality", static_cast<uint8_t>(i)), 0);
    ASSERT_EQ(vorn_mgmt_env_set_uint32("orvix.mtu_size", 600), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_uint8("orvix.enable_ipv6", 0), VORN_STATUS_SUCCESS);
    ASSERT_EQ(vorn_mgmt_env_set_enum("orvix.event_filter_mode", static_cast<eVORN_MGMT_ENV_ENUM>(3)),
              VORN_STATUS_SUCCESS);
    for (uint32_t action : {uint32_t{ENV_ACTION_READ}, 7u, uint32_t{ENV_ACTION_RELOAD_DEFAULTS}})
        ASSERT_EQ(mgmt_vorn_env_post(action, 0), VORN_STATUS_SUCCESS);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (seen.snapshot().size() < 2004 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<std::pair<uint32_t, uint32_t>> expected(2000, {ENV_EVENT_CHANGED, 44});
    expected.insert(expected.end(), 2, {ENV_EVENT_CHANGED, 187});
    expected.insert(expected.end(), 2, {ENV_EVENT_DEFAULTS_RELOADED, 187});
    EXPECT_EQ(seen.snapshot(), expected);
    EXPECT_EQ(u32_of("orvix.mtu_size"), 1200u);
    EXPECT_EQ(take_logged().back(), "1 0 Unknown action in message!");

    // The worker holds its mutex for as long as it runs.
    sVORN_MGMT_ENV_CONTROL_BLOCK* block = mgmt_vorn_env_control_block();
    EXPECT_EQ(vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_TIMEOUT);
    ASSERT_EQ(mgmt_vorn_env_post(ENV_ACTION_EXIT, 0), VORN_STATUS_SUCCESS);
    block->thread->handle.join();
    EXPECT_EQ(vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_NO_WAIT), VORN_STATUS_SUCCESS);
    vorn_rtos_mutex_put(block->worker_mutex);
}

}  // namespace
