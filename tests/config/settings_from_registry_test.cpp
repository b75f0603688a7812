// The registry source over the registry of the seam: in-process natively, the real one
// (sandboxed per process) under Wine.
#include "config/settings_from_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "sources_test_support.h"

namespace {

using namespace orvix::config::internal;
using namespace sources_test;

constexpr char16_t kKey16[] = u"SOFTWARE\\OrvixSourcesTest";
constexpr const char* kKey = "SOFTWARE\\OrvixSourcesTest";
const std::string kWorker =
    std::string("[orvix::config::internal::SettingsFromRegistry::worker|") + kKey + "] ";
const std::string kAction = "orvix::config::internal::Settings::apply_config_parameter_action: ";

// Waits for the worker's re-read, then takes the hand-over.
int32_t hand_over(SettingsFromRegistry& source, SettingsMap* merged, RemovedNames* removed) {
    EXPECT_TRUE(sources_test::eventually([&] { return source.has_changes(); })) << LogCapture::dump();
    return source.reload_into(merged, removed);
}

TEST(RegistrySource, ValuesAreReadByTheClassOfTheirCatalogueRowUntilOneDoesNotFit) {
    LogCapture::start();
    set_dword(kKey16, u"Orvix.Enable_Audio", 0);
    set_sz(kKey16, u"orvix.ip_address", u"  abc");
    set_sz(kKey16, u"orvix.server_type", u"abc  ");  // the data counts its NUL: stripping stops there
    set_sz(kKey16, u"orvix.mtu_size", u"7");         // the type is not examined: '7' and NUL
    set_dword(kKey16, u"orvix.linux_frame_buffer", 0x00636261);
    const uint64_t qword = 1;
    set_registry_value(kKey16, u"orvix.session_timeout", orvix::os::kRegQword, &qword, 8);
    set_sz(kKey16, u"", u"the unnamed default value");
    set_dword(kKey16, u"orvix.session_guid_tag", 1);  // fixed, no value class
    set_dword(kKey16, u"orvix.enable_ipv4", 1);       // the same, flags all ones: silent
    set_dword(kKey16, u"ORVIX.CAD_INSERT_SUBSTITUTION_SCAN_CODE", 42);
    set_dword(kKey16, u"orvix.vorn_event_cat_mgmt_usb.log_level", 9);
    set_dword(kKey16, u"orvix.vorn_event_cat_mgmt_ddc.log_level", 4);
    const uint8_t five[5] = {1};
    set_registry_value(kKey16, u"orvix.vorn_event_cat_mgmt_hda.log_level", orvix::os::kRegDword, five, 5);
    set_sz(kKey16, u"orvix.start_delay_time", u"10");  // a REG_SZ outside the catalogue carries 0
    // Last in creation and in name order alike (registries list in either), so the reading
    // ends at this name and never reaches the value after it.
    set_dword(kKey16, u"orvix.x" + std::u16string(600, u'x'), 1);
    set_dword(kKey16, u"orvix.yuv_chroma_subsampling", 1);

    EXPECT_EQ(SettingsFromRegistry(kKey).load(),
              (SettingsMap{{"orvix.enable_audio", SettingValue::of_number(0)},
                           {"orvix.ip_address", SettingValue::of_text("abc")},
                           {"orvix.server_type", SettingValue::of_text("abc  ")},
                           {"orvix.mtu_size", SettingValue::of_number(55)},
                           {"orvix.linux_frame_buffer", SettingValue::of_text("abc")},
                           {"orvix.CAD_insert_substitution_scan_code", SettingValue::of_number(42)}}))
        << LogCapture::dump();
    LogCapture::expect("Unexpected val_data_size 8. config_type is 1", VORN_EVENT_LEVEL_ERROR, -500);
    LogCapture::expect("Unexpected val_data_size 5. val_type is 4", VORN_EVENT_LEVEL_ERROR, -500);
    LogCapture::expect(
        "orvix::config::internal::SettingsFromRegistry::load_config_from_registry: "
        "Unsupported parameter type 0 for orvix.session_guid_tag parameter.",
        VORN_EVENT_LEVEL_CRITICAL, -500);
    for (const auto& r : LogCapture::records()) EXPECT_EQ(r.message.find("enable_ipv4"), std::string::npos);
    LogCapture::expect(std::string("Configuration registry HKEY_LOCAL_MACHINE\\") + kKey + " loaded",
                       VORN_EVENT_LEVEL_INFO, 0);
    EXPECT_TRUE(LogCapture::has(kAction + "Delaying start for 0 seconds."));
    EXPECT_EQ(LogCapture::find(kAction + "Setting log level for VORN_EVENT_CAT_MGMT_DDC to 4.").category,
              68u);
    LogCapture::expect(kAction + "Setting log level for VORN_EVENT_CAT_MGMT_USB to 3.",
                       VORN_EVENT_LEVEL_CRITICAL, 0);
    vorn_event_log(VORN_EVENT_CAT_MGMT_USB, VORN_EVENT_LEVEL_TRACE, 0, "trace under usb");
    vorn_event_log(VORN_EVENT_CAT_MGMT_USB, VORN_EVENT_LEVEL_DEBUG, 0, "debug under usb");
    EXPECT_FALSE(LogCapture::has("trace under usb")) << "the threshold of category 60 is 3 now";
    EXPECT_TRUE(LogCapture::has("debug under usb"));
}

TEST(RegistrySource, ChangesSettleIntoOneRereadAndRemovedNamesAreReportedOnce) {
    LogCapture::start();
    EXPECT_TRUE(SettingsFromRegistry(kKey).load().empty());
    LogCapture::expect(std::string("[orvix::config::internal::SettingsFromRegistry::load|") + kKey +
                           "] couldn't open registry key",
                       VORN_EVENT_LEVEL_DEBUG, 0);
    set_dword(kKey16, u"orvix.mtu_size", 1400);
    set_sz(kKey16, u"orvix.ip_address", u"10.0.0.1");
    set_dword(kKey16, u"orvix.enable_audio", 0);
    SettingsFromRegistry source(kKey);
    source.load();
    SettingsMap merged{{"orvix.mtu_size", SettingValue::of_number(900)}};  // from a source handled earlier
    RemovedNames removed;
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);
    EXPECT_FALSE(source.has_changes());
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(900));
    EXPECT_EQ(merged.size(), 3u);
    EXPECT_TRUE(removed.empty());

    // A burst of writes: one re-read, 200 ms after the last.
    const size_t rereads = LogCapture::count(kWorker + "setting haveChanges");
    for (uint32_t i = 0; i < 5; ++i) {
        set_dword(kKey16, u"orvix.mtu_size", 1000 + i);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    merged.clear();
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);
    EXPECT_EQ(merged.at("orvix.mtu_size"), SettingValue::of_number(1004));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // room for a second re-read
    EXPECT_EQ(LogCapture::count(kWorker + "setting haveChanges"), rereads + 1) << LogCapture::dump();

    // Deleted values: one listed by another source already is not listed again but
    // logged all the same; one that a source handled earlier supplies is not reported.
    ASSERT_EQ(delete_registry_value(kKey16, u"orvix.enable_audio"), 0);
    ASSERT_EQ(delete_registry_value(kKey16, u"orvix.ip_address"), 0);
    merged = {{"orvix.ip_address", SettingValue::of_text("from a higher source")}};
    removed = {"orvix.enable_audio"};
    ASSERT_EQ(hand_over(source, &merged, &removed), 0);
    EXPECT_EQ(removed, (RemovedNames{"orvix.enable_audio"}));
    const std::string gone =
        std::string(" no longer exists in configuration registry HKEY_LOCAL_MACHINE\\") + kKey;
    LogCapture::expect("Setting parameter orvix.enable_audio" + gone, VORN_EVENT_LEVEL_DEBUG, 0);
    EXPECT_FALSE(LogCapture::has("Setting parameter orvix.ip_address" + gone));
    RemovedNames none;
    ASSERT_EQ(source.reload_into(&merged, &none), 0);
    EXPECT_TRUE(none.empty()) << "a second hand-over without a re-read reports nothing";
    EXPECT_EQ(source.reload_into(nullptr, &none), -502);
    EXPECT_EQ(source.reload_into(&merged, nullptr), -502);
}

// The system's registry as the worker sees it: its opens wait until released, so the
// manager can take a hand-over before the worker has read the key once; its first
// registration for change notification fails with an error the worker does not know; the
// handles it takes back are counted.
class WorkerRegistry : public orvix::config::internal::RegistryInterfaceImpl {
  public:
    explicit WorkerRegistry(std::atomic<int>* closes) : closes_(closes) {}
    int32_t open_key(orvix::os::RegKey root, const char* sub_key, uint32_t options, uint32_t access,
                     orvix::os::RegKey* key) override {
        if (std::this_thread::get_id() != owner_) {
            std::unique_lock<std::mutex> lock(mutex_);
            released_.wait(lock, [this] { return open_; });
        }
        return RegistryInterfaceImpl::open_key(root, sub_key, options, access, key);
    }
    int32_t notify_change(orvix::os::RegKey key, bool subtree, uint32_t filter, orvix::os::Event* event,
                          bool asynchronous) override {
        if (!std::exchange(refused_, true)) return orvix::os::kErrorAccessDenied;
        return RegistryInterfaceImpl::notify_change(key, subtree, filter, event, asynchronous);
    }
    int32_t close_key(orvix::os::RegKey key) override {
        ++*closes_;
        return RegistryInterfaceImpl::close_key(key);
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        released_.notify_all();
    }

  private:
    std::atomic<int>* closes_;
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    bool refused_ = false;  // the worker's alone
};

// An unknown registration error closes the key and starts over; a value deleted before the
// worker's first reading is still reported removed.
TEST(RegistrySource, TheWorkerStartsOverAfterAnUnknownErrorAndReportsValuesDeletedBeforeItsFirstRead) {
    LogCapture::start();
    set_dword(kKey16, u"orvix.enable_audio", 0);
    set_dword(kKey16, u"orvix.mtu_size", 700);
    std::atomic<int> closes{0};
    auto registry = std::make_unique<WorkerRegistry>(&closes);
    WorkerRegistry* gate = registry.get();
    auto source = std::make_unique<SettingsFromRegistry>(kKey, std::move(registry));
    EXPECT_EQ(source->load().size(), 2u);
    SettingsMap merged;
    RemovedNames removed;
    ASSERT_EQ(source->reload_into(&merged, &removed), 0);  // another source's change came first
    EXPECT_EQ(merged.size(), 2u);

    ASSERT_EQ(delete_registry_value(kKey16, u"orvix.enable_audio"), 0);
    const int closed_by_load = closes.load();
    gate->release();
    const std::string message = kWorker + "unknown error when setting up registry notify: 5";
    ASSERT_TRUE(LogCapture::wait_for(message));
    EXPECT_EQ(LogCapture::find(message).status, -500);
    merged.clear();
    ASSERT_EQ(hand_over(*source, &merged, &removed), 0);
    EXPECT_EQ(removed, RemovedNames{"orvix.enable_audio"});
    EXPECT_EQ(merged.count("orvix.mtu_size"), 1u) << "opened, registered and read on a later pass";
    source.reset();
    EXPECT_EQ(closes.load() - closed_by_load, 2) << "the refused handle and the one in use at the end";
}

}  // namespace
