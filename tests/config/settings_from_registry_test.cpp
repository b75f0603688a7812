#include "config/settings_from_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sources_test_support.h"

namespace {

using orvix::config::internal::RemovedNames;
using orvix::config::internal::SettingsFromRegistry;
using orvix::config::internal::SettingsMap;
using orvix::config::internal::SettingValue;
using sources_test::eventually;
using sources_test::FakeRegistry;
using sources_test::LogCapture;

constexpr const char* kKey = "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
const std::string kAction = "orvix::config::internal::Settings::apply_config_parameter_action: ";

// Waits for the worker's re-read, then takes the hand-over.
int32_t hand_over(SettingsFromRegistry& source, SettingsMap* merged, RemovedNames* removed) {
    EXPECT_TRUE(eventually([&] { return source.has_changes(); })) << LogCapture::dump();
    return source.reload_into(merged, removed);
}

class RegistrySourceTest : public testing::Test {
protected:
    void SetUp() override { LogCapture::start(); }
    std::unique_ptr<SettingsFromRegistry> make_source() {
        return std::make_unique<SettingsFromRegistry>(kKey, std::make_unique<FakeRegistry>(state_));
    }
    std::shared_ptr<FakeRegistry::State> state_ = std::make_shared<FakeRegistry::State>();
};

TEST_F(RegistrySourceTest, ValuesAreReadByTheClassOfTheirCatalogueRow) {
    state_->set_dword("Orvix.Enable_Audio", 0);
    state_->set_sz("orvix.ip_address", "  abc");
    state_->set_sz("orvix.server_type", "abc  ");
    state_->set_sz("orvix.mtu_size", "7");  // the type is not examined: '7' and NUL
    state_->set_dword("orvix.linux_frame_buffer", 0x00636261);
    state_->set("orvix.session_timeout", orvix::os::kRegQword, std::vector<uint8_t>(8, 1));
    state_->set_sz("", "the unnamed default value");
    state_->set_dword("orvix.session_guid_tag", 1);  // fixed, no value class
    state_->set_dword("orvix.enable_ipv4", 1);       // the same, flags all ones: silent
    state_->set_dword("ORVIX.CAD_INSERT_SUBSTITUTION_SCAN_CODE", 42);

    const SettingsMap map = make_source()->load();
    EXPECT_EQ(map,
              (SettingsMap{{"orvix.enable_audio", SettingValue::of_number(0)},
                           {"orvix.ip_address", SettingValue::of_text("abc")},
                           {"orvix.server_type", SettingValue::of_text("abc  ")},  // stripping stops at NUL
                           {"orvix.mtu_size", SettingValue::of_number(55)},
                           {"orvix.linux_frame_buffer", SettingValue::of_text("abc")},
                           {"orvix.CAD_insert_substitution_scan_code", SettingValue::of_number(42)}}))
        << LogCapture::dump();

    const auto qword = LogCapture::find("Unexpected val_data_size 8. config_type is 1");
    EXPECT_EQ(qword.level, VORN_EVENT_LEVEL_ERROR);
    EXPECT_EQ(qword.status, -500);
    EXPECT_EQ(LogCapture::find(
                  "orvix::config::internal::SettingsFromRegistry::load_config_from_registry: Unsupported "
                  "parameter type 0 for orvix.session_guid_tag parameter.")
                  .status,
              -500);
    EXPECT_EQ(
        LogCapture::find(std::string("Configuration registry HKEY_LOCAL_MACHINE\\") + kKey + " loaded").level,
        VORN_EVENT_LEVEL_INFO);
    for (const auto& r : LogCapture::records()) EXPECT_EQ(r.message.find("enable_ipv4"), std::string::npos);
}

std::vector<uint32_t> g_slept;
void record_sleep(uint32_t ms) { g_slept.push_back(ms); }

TEST_F(RegistrySourceTest, NamesOutsideTheCatalogueSetLogLevelsAndTheStartDelay) {
    orvix::config::internal::set_start_delay_sleeper(&record_sleep);
    state_->set_dword("orvix.vorn_event_cat_mgmt_usb.log_level", 9);
    state_->set_dword("orvix.vorn_event_cat_mgmt_ddc.log_level", 4);
    state_->set("orvix.vorn_event_cat_mgmt_hda.log_level", orvix::os::kRegDword, {1, 0, 0, 0, 0});
    state_->set_dword("orvix.start_delay_time", 100);
    state_->set_sz("orvix.start_delay_time", "10");  // a REG_SZ outside the catalogue carries 0
    auto source = make_source();
    EXPECT_TRUE(source->load().empty()) << "nothing is recorded for such names";
    source.reset();  // the worker's own reading may not add to g_slept from here on

    ASSERT_GE(g_slept.size(), 2u);
    EXPECT_EQ(std::vector<uint32_t>(g_slept.begin(), g_slept.begin() + 2), (std::vector<uint32_t>{30000, 0}));
    EXPECT_EQ(LogCapture::find(kAction + "Delaying start for 30 seconds.").category, VORN_EVENT_CAT_MGMT_ENV);
    EXPECT_TRUE(LogCapture::has(kAction + "Delay complete."));
    const auto usb = LogCapture::find(kAction + "Setting log level for VORN_EVENT_CAT_MGMT_USB to 3.");
    EXPECT_EQ(usb.category, 60u) << LogCapture::dump();
    EXPECT_EQ(usb.level, VORN_EVENT_LEVEL_CRITICAL);
    EXPECT_EQ(LogCapture::find(kAction + "Setting log level for VORN_EVENT_CAT_MGMT_DDC to 4.").category,
              68u);
    EXPECT_EQ(LogCapture::find("Unexpected val_data_size 5. val_type is 4").status, -500);

    // The threshold of category 60 is now 3.
    LogCapture::clear();
    vorn_event_log(VORN_EVENT_CAT_MGMT_USB, VORN_EVENT_LEVEL_TRACE, 0, "trace under usb");
    vorn_event_log(VORN_EVENT_CAT_MGMT_USB, VORN_EVENT_LEVEL_DEBUG, 0, "debug under usb");
    EXPECT_FALSE(LogCapture::has("trace under usb"));
    EXPECT_TRUE(LogCapture::has("debug under usb"));
}

TEST_F(RegistrySourceTest, HandOverKeepsEarlierSourcesAndReportsEachRemovedNameOnce) {
    state_->set_dword("orvix.mtu_size", 1400);
    state_->set_dword("orvix.enable_audio", 0);
    state_->set_sz("orvix.ip_address", "10.0.0.1");
    auto source = make_source();
    source->load();

    SettingsMap merged{{"orvix.mtu_size", SettingValue::of_number(900)}};  // from a source handled earlier
    RemovedNames removed;
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    EXPECT_FALSE(source->has_changes());
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(900));
    EXPECT_EQ(merged.size(), 3u);
    EXPECT_TRUE(removed.empty());

    state_->clear_and_signal();
    SettingsMap next{{"orvix.ip_address", SettingValue::of_text("from a higher source")}};
    removed = {"orvix.mtu_size"};  // listed by another source already
    LogCapture::clear();
    ASSERT_EQ(hand_over(*source, &next, &removed), 0);
    EXPECT_EQ(removed, (RemovedNames{"orvix.mtu_size", "orvix.enable_audio"}));
    const std::string gone =
        std::string(" no longer exists in configuration registry HKEY_LOCAL_MACHINE\\") + kKey;
    EXPECT_EQ(LogCapture::count("Setting parameter orvix.mtu_size" + gone), 1u) << "logged although listed";
    EXPECT_EQ(LogCapture::find("Setting parameter orvix.enable_audio" + gone).level, VORN_EVENT_LEVEL_DEBUG);
    EXPECT_FALSE(LogCapture::has("Setting parameter orvix.ip_address" + gone));

    RemovedNames none;
    ASSERT_EQ(source->reload_into(&next, &none), 0);
    EXPECT_TRUE(none.empty()) << "a second hand-over without a re-read reports nothing";
    EXPECT_EQ(source->reload_into(nullptr, &none), -502);
    EXPECT_EQ(source->reload_into(&next, nullptr), -502);
}

TEST_F(RegistrySourceTest, AKeyThatCannotBeOpenedIsTriedAgainUntilItOpens) {
    state_->key_exists = false;
    state_->set_dword("orvix.mtu_size", 1400);
    auto source = make_source();
    EXPECT_TRUE(source->load().empty());
    EXPECT_EQ(LogCapture::find(std::string("[orvix::config::internal::SettingsFromRegistry::load|") + kKey +
                               "] couldn't open registry key")
                  .level,
              VORN_EVENT_LEVEL_DEBUG);
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        state_->key_exists = true;
    }
    EXPECT_TRUE(LogCapture::wait_for(std::string("[orvix::config::internal::SettingsFromRegistry::worker|") +
                                     kKey + "] opened key"));
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_TRUE(eventually([&] { return hand_over(*source, &merged, &removed) == 0 && merged.size() == 1; }));
}

TEST_F(RegistrySourceTest, AnUnknownRegistrationErrorClosesTheKeyAndStartsOver) {
    state_->notify_results = {orvix::os::kErrorAccessDenied};
    auto source = make_source();
    const std::string message = std::string("[orvix::config::internal::SettingsFromRegistry::worker|") +
                                kKey + "] unknown error when setting up registry notify: 5";
    ASSERT_TRUE(LogCapture::wait_for(message));
    EXPECT_EQ(LogCapture::find(message).status, -500);
    EXPECT_TRUE(eventually([&] { return source->has_changes(); }))
        << "opened, registered and read on a later pass";
    source.reset();
    EXPECT_EQ(state_->opens, 2);
    EXPECT_EQ(state_->closes, 2) << "every handle the source opened is closed";
}

// ---- the worker over the registry of the seam: in-process natively, the real one
// (sandboxed per process) under Wine ----

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
        ASSERT_EQ(orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, kSeamKey16,
                                                 orvix::os::kKeyAllAccess, &key_),
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
    orvix::os::RegKey key_ = 0;
};

TEST_F(SeamRegistrySourceTest, RealValuesAreReadInTheirNarrowFormUntilOneDoesNotFit) {
    set_dword(u"Orvix.Enable_Audio", 0);
    set_sz(u"orvix.ip_address", u"  10.1.2.3  ");
    set_sz(u"orvix.enable_usb", u"7");
    // In name order, so the long name comes third whichever order the registry lists in.
    set_dword(u"orvix.l" + std::u16string(600, u'x'), 1);
    set_dword(u"orvix.mtu_size", 1400);
    const SettingsMap map = SettingsFromRegistry(kSeamKey).load();
    EXPECT_EQ(map, (SettingsMap{{"orvix.enable_audio", SettingValue::of_number(0)},
                                {"orvix.ip_address", SettingValue::of_text("10.1.2.3  ")},
                                {"orvix.enable_usb", SettingValue::of_number(55)}}))
        << LogCapture::dump();
}

TEST_F(SeamRegistrySourceTest, ABurstOfWritesCausesOneReread) {
    SettingsFromRegistry source(kSeamKey);
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);
    LogCapture::clear();
    for (uint32_t i = 0; i < 5; ++i) {
        set_dword(u"orvix.mtu_size", 1000 + i);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(1004));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(600));  // room for a second re-read, were one coming
    EXPECT_EQ(LogCapture::count(std::string("[orvix::config::internal::SettingsFromRegistry::worker|") +
                                kSeamKey + "] setting haveChanges"),
              1u)
        << LogCapture::dump();
}

TEST_F(SeamRegistrySourceTest, DeletedValuesAndKeysAreReportedAndARecreatedKeyComesBack) {
    set_dword(u"orvix.mtu_size", 1400);
    set_sz(u"orvix.ip_address", u"10.0.0.1");
    set_dword(u"orvix.enable_audio", 0);
    SettingsFromRegistry source(kSeamKey);
    source.load();
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);

    ASSERT_EQ(orvix::os::registry_delete_value(key_, u"orvix.enable_audio"), 0);
    merged.clear();
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);
    EXPECT_EQ(merged.size(), 2u);
    EXPECT_EQ(removed, (RemovedNames{"orvix.enable_audio"}));

    orvix::os::registry_close_key(key_);
    key_ = 0;
    ASSERT_EQ(orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kSeamKey16), 0);
    SettingsMap gone;
    removed.clear();
    ASSERT_EQ(hand_over(source, &gone, &removed), 0);
    EXPECT_TRUE(gone.empty());
    std::sort(removed.begin(), removed.end());  // registries list values in different orders
    EXPECT_EQ(removed, (RemovedNames{"orvix.ip_address", "orvix.mtu_size"}));

    create_key();
    set_dword(u"orvix.mtu_size", 1300);
    SettingsMap back;
    EXPECT_TRUE(eventually([&] { return hand_over(source, &back, &removed) == 0 && back.size() == 1; }))
        << LogCapture::dump();
    EXPECT_EQ(back.at("orvix.mtu_size"), SettingValue::of_number(1300));
}

}  // namespace
