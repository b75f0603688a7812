// Readers read every setting in a loop while the policy keys change quickly and reloads
// run from the manager's worker and from another thread at once. Every read must return
// a value that a source or the default supplied; nothing may race or dead-lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "os/registry.h"
#include "sources_test_support.h"

namespace {

constexpr char16_t kAdmin[] = u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin";
constexpr char16_t kOrvix[] = u"SOFTWARE\\Quillon\\Orvix\\orvix_admin";

struct Change {
    const char16_t* key;
    const char16_t* name;
    bool text;
    uint32_t number;
    const char16_t* value;
};

void write(const Change& c) {
    orvix::os::RegKey key = 0;
    if (orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, c.key, orvix::os::kKeyAllAccess, &key) !=
        0)
        return;
    const std::u16string text(c.text ? c.value : u"");
    if (c.text) {
        orvix::os::registry_set_value(key, c.name, orvix::os::kRegSz, text.c_str(),
                                      static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)));
    } else {
        orvix::os::registry_set_value(key, c.name, orvix::os::kRegDword, &c.number, sizeof c.number);
    }
    orvix::os::registry_close_key(key);
}

TEST(ConfigurationConcurrency, ReadersSeeOnlySuppliedValuesWhileSourcesChangeAndReload) {
    orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Policies\\Quillon");
    orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Quillon");

    // What the writer may put in, and what each value becomes in the store.
    const std::vector<Change> changes = {
        {kAdmin, u"orvix.mtu_size", false, 1400, nullptr},
        {kAdmin, u"orvix.mtu_size", false, 5000, nullptr},
        {kOrvix, u"orvix.mtu_size", false, 900, nullptr},
        {kOrvix, u"orvix.mtu_size", false, 10, nullptr},
        {kAdmin, u"orvix.enable_audio", false, 0, nullptr},
        {kOrvix, u"orvix.enable_audio", false, 7, nullptr},
        {kAdmin, u"orvix.ip_address", true, 0, u"10.0.0.1"},
        {kOrvix, u"orvix.ip_address", true, 0, u" 10.0.0.2 "},
        {kAdmin, u"orvix.server_type", true, 0, u"MANUAL"},
        {kOrvix, u"orvix.priority_level", false, 4, nullptr},
    };
    std::map<std::string, std::set<std::string>> supplied = {
        {"orvix.mtu_size", {"1400", "1500", "900", "500"}},
        {"orvix.enable_audio", {"0", "1"}},
        {"orvix.ip_address", {"10.0.0.1", "10.0.0.2"}},
        {"orvix.server_type", {"MANUAL"}},
        {"orvix.priority_level", {"4"}},
    };

    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    // Every readable setting, with its start-up value (the default: no source yet).
    std::vector<std::string> names;
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        if (row.value_type < ENV_VALUE_UINT8 || row.value_type > ENV_VALUE_STRING) continue;
        std::string value;
        ASSERT_EQ(vorn_mgmt_env_get_string_value(row.name, value), 0) << row.name;
        supplied[row.name].insert(value);
        names.push_back(row.name);
    }

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> reads{0};
    std::mutex bad_mutex;
    std::vector<std::string> bad;
    std::vector<std::thread> threads;
    for (int r = 0; r < 3; ++r) {
        threads.emplace_back([&] {
            while (!stop.load()) {
                for (const auto& name : names) {
                    std::string value;
                    const int32_t status = vorn_mgmt_env_get_string_value(name, value);
                    reads.fetch_add(1);
                    if (status != 0 || supplied.at(name).count(value) == 0) {
                        std::lock_guard<std::mutex> guard(bad_mutex);
                        bad.push_back(name + " = '" + value + "' (" + std::to_string(status) + ")");
                    }
                }
            }
        });
    }
    threads.emplace_back([&] {
        std::mt19937 random(7);
        while (!stop.load()) {
            const Change& c = changes[random() % changes.size()];
            const uint32_t action = random() % 8;
            if (action == 0) {
                orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine,
                                                c.key);  // every value of the key goes
            } else {
                write(c);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 15));
        }
    });
    threads.emplace_back([&] {
        cVORN_MGMT_CFG_MGR* manager = get_vorn_mgmt_cfg_mgr_helper(VORN_ENV_TYPE_PREEXISTING);
        while (!stop.load()) {
            manager->reload();
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });

    std::this_thread::sleep_for(std::chrono::seconds(4));
    stop = true;
    for (auto& t : threads) t.join();

    EXPECT_GT(reads.load(), names.size());
    std::lock_guard<std::mutex> guard(bad_mutex);
    EXPECT_TRUE(bad.empty()) << bad.size() << " bad reads, first: " << bad.front();

    // Still working after the storm: a final value arrives.
    orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Quillon");
    write(Change{kAdmin, u"orvix.mtu_size", false, 1234, nullptr});
    EXPECT_TRUE(sources_test::eventually([] {
        uint32_t mtu = 0;
        return vorn_mgmt_env_get_uint32("orvix.mtu_size", &mtu) == 0 && mtu == 1234;
    }));
    orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Policies\\Quillon");
}

}  // namespace
