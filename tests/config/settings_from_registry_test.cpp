#include "config/settings_from_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "config/settings_from_file.h"
#include "sources_test_support.h"

namespace {

using orvix::config::internal::RemovedNames;
using orvix::config::internal::Settings;
using orvix::config::internal::SettingsFromFile;
using orvix::config::internal::SettingsFromRegistry;
using orvix::config::internal::SettingsMap;
using orvix::config::internal::SettingValue;
using sources_test::eventually;
using sources_test::FakeRegistry;
using sources_test::LogCapture;

constexpr const char* kKey = "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
const std::string kWorkerPrefix = std::string("[orvix::config::internal::SettingsFromRegistry::worker|") + kKey + "] ";
std::string kSeamWorkerPrefix() {
    return "[orvix::config::internal::SettingsFromRegistry::worker|SOFTWARE\\OrvixSourcesTest\\Policy] ";
}

class RegistrySourceTest : public testing::Test {
protected:
    void SetUp() override {
        LogCapture::start();
        state_ = std::make_shared<FakeRegistry::State>();
    }
    std::unique_ptr<SettingsFromRegistry> make_source() {
        return std::make_unique<SettingsFromRegistry>(kKey, std::make_unique<FakeRegistry>(state_));
    }
    // Waits for the worker's re-read and takes the hand-over.
    int32_t hand_over(SettingsFromRegistry& source, SettingsMap* merged, RemovedNames* removed) {
        EXPECT_TRUE(eventually([&] { return source.has_changes(); })) << LogCapture::dump();
        return source.reload_into(merged, removed);
    }
    std::shared_ptr<FakeRegistry::State> state_;
};

TEST_F(RegistrySourceTest, ReadsEachValueByTheClassOfItsCatalogueRow) {
    state_->set_dword("Orvix.Enable_Audio", 0);
    state_->set_sz("orvix.ip_address", "  abc");
    state_->set_sz("orvix.server_type", "abc  ");
    state_->set_sz("orvix.mtu_size", "7");  // the type is not examined: two bytes, '7' and NUL
    state_->set_dword("orvix.linux_frame_buffer", 0x00636261);
    state_->set("orvix.session_timeout", orvix::os::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
    state_->set("orvix.max_encode_threads", orvix::os::kRegBinary, {});
    state_->set_sz("", "the unnamed default value");
    state_->set_dword("orvix.session_guid_tag", 1);  // fixed row without a value class
    state_->set_dword("orvix.enable_ipv4", 1);       // the same, but its flags are all ones: silent
    state_->set_dword("ORVIX.CAD_INSERT_SUBSTITUTION_SCAN_CODE", 42);

    auto source = make_source();
    const SettingsMap map = source->load();

    ASSERT_EQ(map.size(), 6u) << LogCapture::dump();
    EXPECT_EQ(map.at("orvix.enable_audio"), SettingValue::of_number(0));
    EXPECT_EQ(map.at("orvix.ip_address"), SettingValue::of_text("abc"));
    EXPECT_EQ(map.at("orvix.server_type"), SettingValue::of_text("abc  ")) << "the NUL stops the stripping";
    EXPECT_EQ(map.at("orvix.mtu_size"), SettingValue::of_number(55));
    EXPECT_EQ(map.at("orvix.linux_frame_buffer"), SettingValue::of_text("abc"));
    EXPECT_EQ(map.at("orvix.CAD_insert_substitution_scan_code"), SettingValue::of_number(42));
    EXPECT_EQ(source->handed_over_names(),
              (std::vector<std::string>{"orvix.enable_audio", "orvix.ip_address", "orvix.server_type", "orvix.mtu_size",
                                        "orvix.linux_frame_buffer", "orvix.CAD_insert_substitution_scan_code"}));

    const auto qword = LogCapture::find("Unexpected val_data_size 8. config_type is 1");
    EXPECT_EQ(qword.level, VORN_EVENT_LEVEL_ERROR);
    EXPECT_EQ(qword.status, -500);
    EXPECT_EQ(qword.category, VORN_EVENT_CAT_MGMT_ENV);
    EXPECT_TRUE(LogCapture::has("Unexpected val_data_size 0. config_type is 1"));
    const auto unsupported = LogCapture::find(
        "orvix::config::internal::SettingsFromRegistry::load_config_from_registry: Unsupported parameter type 0 for "
        "orvix.session_guid_tag parameter.");
    EXPECT_EQ(unsupported.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(unsupported.status, -500);
    for (const auto& r : LogCapture::records()) {
        EXPECT_EQ(r.message.find("orvix.enable_ipv4"), std::string::npos) << r.message;
    }
    const auto loaded =
        LogCapture::find(std::string("Configuration registry HKEY_LOCAL_MACHINE\\") + kKey + " loaded");
    EXPECT_EQ(loaded.level, VORN_EVENT_LEVEL_INFO);
}

TEST_F(RegistrySourceTest, ReadingEndsAtTheFirstValueItCannotTake) {
    state_->set_dword("orvix.enable_audio", 1);
    state_->set_dword(std::string(512, 'n'), 1);  // needs 513 characters with its NUL
    state_->set_dword("orvix.mtu_size", 1400);
    auto source = make_source();
    SettingsMap map = source->load();
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(map.count("orvix.enable_audio"), 1u);
    source.reset();

    state_ = std::make_shared<FakeRegistry::State>();
    state_->set_dword("orvix.enable_audio", 1);
    state_->set("orvix.ip_address", orvix::os::kRegSz, std::vector<uint8_t>(513, 'a'));
    state_->set_dword("orvix.mtu_size", 1400);
    source = make_source();
    map = source->load();
    EXPECT_EQ(map.size(), 1u) << "the value after the one of 513 bytes is not read";
    EXPECT_TRUE(LogCapture::has(std::string("Configuration registry HKEY_LOCAL_MACHINE\\") + kKey + " loaded"));
}

TEST_F(RegistrySourceTest, AKeyThatCannotBeOpenedLoadsNothing) {
    state_->key_exists = false;
    auto source = make_source();
    EXPECT_TRUE(source->load().empty());
    const auto record = LogCapture::find(std::string("[orvix::config::internal::SettingsFromRegistry::load|") + kKey +
                                         "] couldn't open registry key");
    EXPECT_EQ(record.level, VORN_EVENT_LEVEL_DEBUG) << LogCapture::dump();
    EXPECT_EQ(source->source_name(), kKey);
}

// ---- names outside the catalogue ----

std::vector<uint32_t>& slept() {
    static std::vector<uint32_t> calls;
    return calls;
}
std::mutex& slept_mutex() {
    static std::mutex m;
    return m;
}
void record_sleep(uint32_t ms) {
    std::lock_guard<std::mutex> guard(slept_mutex());
    slept().push_back(ms);
}

TEST_F(RegistrySourceTest, StartDelayIsCappedAndATextValueCountsAsZero) {
    orvix::config::internal::set_start_delay_sleeper(&record_sleep);
    state_->set_dword("orvix.start_delay_time", 100);
    auto source = make_source();
    source->load();
    {
        std::lock_guard<std::mutex> guard(slept_mutex());
        ASSERT_FALSE(slept().empty());
        EXPECT_EQ(slept().front(), 30000u);
    }
    const std::string function = "orvix::config::internal::Settings::apply_config_parameter_action";
    const auto before = LogCapture::find(function + ": Delaying start for 30 seconds.");
    EXPECT_EQ(before.category, VORN_EVENT_CAT_MGMT_ENV);
    EXPECT_EQ(before.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_TRUE(LogCapture::has(function + ": Delay complete."));
    source.reset();

    {
        std::lock_guard<std::mutex> guard(slept_mutex());
        slept().clear();
    }
    state_->set_sz("orvix.start_delay_time", "10");
    source = make_source();
    source->load();
    std::lock_guard<std::mutex> guard(slept_mutex());
    ASSERT_FALSE(slept().empty());
    EXPECT_EQ(slept().front(), 0u) << "a REG_SZ value outside the catalogue carries the number 0";
}

TEST_F(RegistrySourceTest, LogLevelNamesSetTheirCategoryThreshold) {
    state_->set_dword("orvix.vorn_event_cat_mgmt_usb.log_level", 9);
    state_->set_dword("orvix.vorn_event_cat_mgmt_ddc.log_level", 4);
    state_->set("orvix.vorn_event_cat_mgmt_hda.log_level", orvix::os::kRegDword, {1, 0, 0, 0, 0});
    state_->set("orvix.some_other_name", orvix::os::kRegBinary, {1});
    auto source = make_source();
    EXPECT_TRUE(source->load().empty()) << "nothing is recorded for such names";

    const std::string function = "orvix::config::internal::Settings::apply_config_parameter_action";
    const auto usb = LogCapture::find(function + ": Setting log level for VORN_EVENT_CAT_MGMT_USB to 3.");
    EXPECT_EQ(usb.category, 60u) << LogCapture::dump();
    EXPECT_EQ(usb.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(usb.status, 0);
    EXPECT_EQ(LogCapture::find(function + ": Setting log level for VORN_EVENT_CAT_MGMT_DDC to 4.").category, 68u);
    const auto hda = LogCapture::find("Unexpected val_data_size 5. val_type is 4");
    EXPECT_EQ(hda.level, VORN_EVENT_LEVEL_ERROR);
    EXPECT_EQ(hda.status, -500);

    // The threshold of category 60 is now 3: a trace message there is dropped.
    LogCapture::clear();
    vorn_event_log(VORN_EVENT_CAT_MGMT_USB, VORN_EVENT_LEVEL_TRACE, 0, "trace under usb");
    vorn_event_log(VORN_EVENT_CAT_MGMT_USB, VORN_EVENT_LEVEL_DEBUG, 0, "debug under usb");
    vorn_event_log(VORN_EVENT_CAT_MGMT_DDC, VORN_EVENT_LEVEL_TRACE, 0, "trace under ddc");
    EXPECT_FALSE(LogCapture::has("trace under usb"));
    EXPECT_TRUE(LogCapture::has("debug under usb"));
    EXPECT_TRUE(LogCapture::has("trace under ddc"));
}

TEST(ConfigParameterAction, EachLogLevelNameSetsItsOwnCategory) {
    LogCapture::start();
    struct Case {
        const char* name;
        uint32_t category;
        const char* enumerator;
    };
    const Case cases[] = {
        {"orvix.vorn_event_cat_mgmt_ddc.log_level", 68, "VORN_EVENT_CAT_MGMT_DDC"},
        {"orvix.vorn_event_cat_mgmt_hda.log_level", 61, "VORN_EVENT_CAT_MGMT_HDA"},
        {"orvix.vorn_event_cat_mgmt_img.log_level", 62, "VORN_EVENT_CAT_MGMT_IMG"},
        {"orvix.vorn_event_cat_img_frontend.log_level", 33, "VORN_EVENT_CAT_IMG_FRONTEND"},
        {"orvix.vorn_event_cat_soft_usb.log_level", 111, "VORN_EVENT_CAT_SOFT_USB"},
        {"orvix.vorn_event_cat_mgmt_usb.log_level", 60, "VORN_EVENT_CAT_MGMT_USB"},
        {"orvix.vorn_event_cat_mgmt_kmp.log_level", 101, "VORN_EVENT_CAT_MGMT_KMP"},
        {"orvix.vorn_event_cat_mgmt_vchan.log_level", 100, "VORN_EVENT_CAT_MGMT_VCHAN"},
        {"orvix.vorn_event_cat_mgmt_schan.log_level", 87, "VORN_EVENT_CAT_MGMT_SCHAN"},
        {"orvix.vorn_event_cat_mgmt_ssig.log_level", 88, "VORN_EVENT_CAT_MGMT_SSIG"},
    };
    SettingsFromFile vehicle(nullptr);
    for (const auto& c : cases) {
        LogCapture::clear();
        EXPECT_EQ(vehicle.apply_config_parameter_action(c.name, 5, ""), 0);
        const auto records = LogCapture::records();
        ASSERT_EQ(records.size(), 1u) << c.name;
        EXPECT_EQ(records[0].message, std::string("orvix::config::internal::Settings::apply_config_parameter_action: "
                                                  "Setting log level for ") +
                                          c.enumerator + " to 5.");
        EXPECT_EQ(records[0].category, c.category) << c.name;
    }
    LogCapture::clear();
    EXPECT_EQ(vehicle.apply_config_parameter_action("ORVIX.VORN_EVENT_CAT_MGMT_USB.LOG_LEVEL", 2, ""), 0);
    EXPECT_EQ(vehicle.apply_config_parameter_action("orvix.no_such_action", 2, "text"), 0);
    EXPECT_TRUE(LogCapture::records().empty()) << "names compare exactly; others do nothing";
}

// ---- hand-over and removed names ----

TEST_F(RegistrySourceTest, HandOverKeepsEarlierSourcesAndReportsNamesThatWentAway) {
    state_->set_dword("orvix.mtu_size", 1400);
    state_->set_dword("orvix.enable_audio", 0);
    state_->set_sz("orvix.ip_address", "10.0.0.1");
    auto source = make_source();
    source->load();

    SettingsMap merged;
    merged["orvix.mtu_size"] = SettingValue::of_number(900);  // from a source handled earlier
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    EXPECT_FALSE(source->has_changes());
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(900));
    EXPECT_EQ(merged.at("orvix.enable_audio"), SettingValue::of_number(0));
    EXPECT_TRUE(removed.empty());

    // A second hand-over without a re-read reports nothing.
    SettingsMap again;
    ASSERT_EQ(source->reload_into(&again, &removed), 0);
    EXPECT_EQ(again.size(), 3u);
    EXPECT_TRUE(removed.empty());

    state_->remove("orvix.enable_audio");
    state_->remove("orvix.ip_address");
    state_->remove("orvix.mtu_size");
    state_->signal();
    SettingsMap next;
    next["orvix.ip_address"] = SettingValue::of_text("from a higher source");
    removed = {"orvix.mtu_size"};  // already listed by another source
    LogCapture::clear();
    ASSERT_EQ(hand_over(*source, &next, &removed), 0);
    EXPECT_EQ(removed, (RemovedNames{"orvix.mtu_size", "orvix.enable_audio"}));
    const std::string tail = std::string(" no longer exists in configuration registry HKEY_LOCAL_MACHINE\\") + kKey;
    EXPECT_EQ(LogCapture::count("Setting parameter orvix.mtu_size" + tail), 1u) << "logged although listed";
    EXPECT_EQ(LogCapture::find("Setting parameter orvix.enable_audio" + tail).level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_FALSE(LogCapture::has("Setting parameter orvix.ip_address" + tail));

    SettingsMap last;
    RemovedNames none;
    ASSERT_EQ(source->reload_into(&last, &none), 0);
    EXPECT_TRUE(none.empty()) << "each name is reported once";

    EXPECT_EQ(source->reload_into(nullptr, &none), -502);
    EXPECT_EQ(source->reload_into(&last, nullptr), -502);
}

// ---- the worker over odd registry answers ----

TEST_F(RegistrySourceTest, FirstPassRegistersAndRaisesHaveChanges) {
    state_->set_dword("orvix.mtu_size", 1400);
    auto source = make_source();
    ASSERT_TRUE(eventually([&] { return source->has_changes(); }));
    EXPECT_TRUE(LogCapture::wait_for(kWorkerPrefix + "opened key"));
    EXPECT_TRUE(LogCapture::has(kWorkerPrefix + "registered for key value change notification."));
    EXPECT_TRUE(LogCapture::has(kWorkerPrefix + "setting haveChanges"));
    EXPECT_EQ(source->current_values().at("orvix.mtu_size"), SettingValue::of_number(1400));
}

TEST_F(RegistrySourceTest, ADeletedKeyIsReopenedAndReadAgain) {
    state_->set_dword("orvix.mtu_size", 1400);
    state_->notify_results = {orvix::os::kErrorSuccess, orvix::os::kErrorKeyDeleted};
    auto source = make_source();
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);

    // The change that reveals the deletion: re-registering reports ERROR_KEY_DELETED, and
    // this time the key cannot be opened again.
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        state_->key_exists = false;
    }
    state_->signal();
    ASSERT_TRUE(LogCapture::wait_for(kWorkerPrefix + "key no longer exists; setting haveChanges"));
    ASSERT_TRUE(LogCapture::wait_for(kWorkerPrefix + "key could not be reopened"));
    SettingsMap empty;
    ASSERT_EQ(hand_over(*source, &empty, &removed), 0);
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(removed, (RemovedNames{"orvix.mtu_size"}));

    // The key comes back: opened on a later pass, read at once.
    LogCapture::clear();
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        state_->key_exists = true;
    }
    ASSERT_TRUE(LogCapture::wait_for(kWorkerPrefix + "opened key"));
    SettingsMap back;
    removed.clear();
    ASSERT_EQ(hand_over(*source, &back, &removed), 0);
    EXPECT_EQ(back.at("orvix.mtu_size"), SettingValue::of_number(1400));
}

TEST_F(RegistrySourceTest, AKeyDeletedAndReopenedAtOnceIsReadFromTheNewHandle) {
    state_->notify_results = {orvix::os::kErrorSuccess, orvix::os::kErrorInvalidHandle};
    auto source = make_source();
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    state_->set_dword("orvix.mtu_size", 1300);
    state_->signal();
    ASSERT_TRUE(LogCapture::wait_for(kWorkerPrefix + "key successfully reopened"));
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(1300));
    // The new handle is registered on the next pass.
    EXPECT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> guard(state_->mutex);
        return state_->notifies >= 3;
    }));
}

TEST_F(RegistrySourceTest, AnUnknownRegistrationErrorClosesTheKeyAndStartsOver) {
    state_->notify_results = {orvix::os::kErrorAccessDenied};
    auto source = make_source();
    const auto record = [&] {
        EXPECT_TRUE(LogCapture::wait_for(kWorkerPrefix + "unknown error when setting up registry notify: 5"));
        return LogCapture::find(kWorkerPrefix + "unknown error when setting up registry notify: 5");
    }();
    EXPECT_EQ(record.level, VORN_EVENT_LEVEL_ERROR);
    EXPECT_EQ(record.status, -500);
    // Opened again on the next pass, and this time registered and read.
    EXPECT_TRUE(eventually([&] { return source->has_changes(); }));
    std::lock_guard<std::mutex> guard(state_->mutex);
    EXPECT_GE(state_->opens, 2);
    EXPECT_GE(state_->closes, 1);
}

TEST_F(RegistrySourceTest, DestructionEndsAWaitingWorkerAndClosesItsKey) {
    auto source = make_source();
    ASSERT_TRUE(eventually([&] { return source->has_changes(); }));
    const auto start = std::chrono::steady_clock::now();
    source.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    std::lock_guard<std::mutex> guard(state_->mutex);
    EXPECT_EQ(state_->opens, state_->closes) << "every handle the source opened is closed";
}

// ---- the worker over the registry of the seam (in-process natively, the real one
// under Wine, sandboxed per process) ----

constexpr char16_t kSeamRoot[] = u"SOFTWARE\\OrvixSourcesTest";
constexpr char16_t kSeamKey16[] = u"SOFTWARE\\OrvixSourcesTest\\Policy";
constexpr const char* kSeamKey = "SOFTWARE\\OrvixSourcesTest\\Policy";

class SeamRegistrySourceTest : public testing::Test {
protected:
    void SetUp() override {
        LogCapture::start();
        orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kSeamRoot);
        create_key();
    }
    void TearDown() override {
        if (key_ != 0) orvix::os::registry_close_key(key_);
        orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kSeamRoot);
    }
    void create_key() {
        ASSERT_EQ(orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, kSeamKey16, orvix::os::kKeyAllAccess,
                                                 &key_),
                  0);
    }
    void set_dword(const std::u16string& name, uint32_t value) {
        ASSERT_EQ(orvix::os::registry_set_value(key_, name, orvix::os::kRegDword, &value, sizeof value), 0);
    }
    void set_sz(const std::u16string& name, const std::u16string& text) {
        ASSERT_EQ(orvix::os::registry_set_value(key_, name, orvix::os::kRegSz, text.c_str(),
                                                static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t))),
                  0);
    }
    std::unique_ptr<SettingsFromRegistry> make_source() { return std::make_unique<SettingsFromRegistry>(kSeamKey); }
    static int32_t hand_over(SettingsFromRegistry& source, SettingsMap* merged, RemovedNames* removed) {
        EXPECT_TRUE(eventually([&] { return source.has_changes(); })) << LogCapture::dump();
        return source.reload_into(merged, removed);
    }
    orvix::os::RegKey key_ = 0;
};

TEST_F(SeamRegistrySourceTest, ReadsTheNarrowFormOfRealValues) {
    set_dword(u"Orvix.Enable_Audio", 0);
    set_sz(u"orvix.ip_address", u"  10.1.2.3  ");
    set_sz(u"orvix.mtu_size", u"7");
    auto source = make_source();
    const SettingsMap map = source->load();
    ASSERT_EQ(map.size(), 3u) << LogCapture::dump();
    EXPECT_EQ(map.at("orvix.enable_audio"), SettingValue::of_number(0));
    EXPECT_EQ(map.at("orvix.ip_address"), SettingValue::of_text("10.1.2.3  "));
    EXPECT_EQ(map.at("orvix.mtu_size"), SettingValue::of_number(55)) << "'7' and its NUL, read as a number";
}

TEST_F(SeamRegistrySourceTest, ReadingEndsAtANameOf512CharactersOrMore) {
    // Created in name order, so the long name sits between the two others whichever
    // order the registry enumerates in.
    set_dword(u"orvix.enable_audio", 0);
    set_dword(u"orvix.l" + std::u16string(600, u'x'), 1);
    set_dword(u"orvix.mtu_size", 1400);
    auto source = make_source();
    const SettingsMap map = source->load();
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(map.count("orvix.enable_audio"), 1u);
}

TEST_F(SeamRegistrySourceTest, DeletingAValueIsReportedAtTheNextHandOver) {
    set_dword(u"orvix.mtu_size", 1400);
    set_dword(u"orvix.enable_audio", 0);
    auto source = make_source();
    source->load();
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    ASSERT_EQ(merged.size(), 2u);

    ASSERT_EQ(orvix::os::registry_delete_value(key_, u"orvix.enable_audio"), 0);
    SettingsMap next;
    ASSERT_EQ(hand_over(*source, &next, &removed), 0);
    EXPECT_EQ(next.size(), 1u);
    EXPECT_EQ(removed, (RemovedNames{"orvix.enable_audio"}));
    EXPECT_TRUE(LogCapture::has(kSeamWorkerPrefix() + "notified of registry change"));
}

TEST_F(SeamRegistrySourceTest, ABurstOfWritesCausesOneReread) {
    auto source = make_source();
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    LogCapture::clear();
    for (uint32_t i = 0; i < 5; ++i) {
        set_dword(u"orvix.mtu_size", 1000 + i);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(1004));
    // Long enough for a second re-read, were one coming.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(LogCapture::count(kSeamWorkerPrefix() + "setting haveChanges"), 1u) << LogCapture::dump();
    EXPECT_FALSE(source->has_changes());
}

TEST_F(SeamRegistrySourceTest, ADeletedKeyLosesEveryNameAndARecreatedOneBringsThemBack) {
    set_dword(u"orvix.mtu_size", 1400);
    set_sz(u"orvix.ip_address", u"10.0.0.1");
    auto source = make_source();
    source->load();
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);

    orvix::os::registry_close_key(key_);
    key_ = 0;
    ASSERT_EQ(orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kSeamKey16), 0);
    SettingsMap gone;
    ASSERT_EQ(hand_over(*source, &gone, &removed), 0);
    EXPECT_TRUE(gone.empty());
    std::sort(removed.begin(), removed.end());  // enumeration order differs between registries
    EXPECT_EQ(removed, (RemovedNames{"orvix.ip_address", "orvix.mtu_size"}));

    create_key();
    set_dword(u"orvix.mtu_size", 1300);
    set_sz(u"orvix.ip_address", u"10.0.0.2");
    SettingsMap back;
    RemovedNames none;
    ASSERT_TRUE(eventually([&] {
        back.clear();
        none.clear();
        return hand_over(*source, &back, &none) == 0 && back.size() == 2;
    })) << LogCapture::dump();
    EXPECT_EQ(back.at("orvix.mtu_size"), SettingValue::of_number(1300));
    EXPECT_EQ(back.at("orvix.ip_address"), SettingValue::of_text("10.0.0.2"));
}

}  // namespace
