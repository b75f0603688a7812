// Readers read every setting in a loop while the policy keys change quickly and reloads
// run from the manager's worker and from another thread at once. Every read must return
// a value that a source or the default supplied; nothing may race or dead-lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iterator>
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

TEST(ConfigurationConcurrency, ReadersSeeOnlySuppliedValuesWhileSourcesChangeAndReload) {
    using sources_test::set_dword;
    using sources_test::set_sz;
    // What the writer may do, and what each value becomes in the store.
    const std::function<int32_t()> changes[] = {
        [] { return set_dword(kAdmin, u"orvix.mtu_size", 1400); },
        [] { return set_dword(kAdmin, u"orvix.mtu_size", 5000); },
        [] { return set_dword(kOrvix, u"orvix.mtu_size", 900); },
        [] { return set_dword(kOrvix, u"orvix.mtu_size", 10); },
        [] { return set_dword(kAdmin, u"orvix.enable_audio", 0); },
        [] { return set_dword(kOrvix, u"orvix.enable_audio", 7); },
        [] { return set_sz(kAdmin, u"orvix.ip_address", u"10.0.0.1"); },
        [] { return set_sz(kOrvix, u"orvix.ip_address", u" 10.0.0.2 "); },
        [] { return set_sz(kAdmin, u"orvix.server_type", u"MANUAL"); },
        [] { return set_dword(kOrvix, u"orvix.priority_level", 4); },
        [] { return orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kAdmin); },  // all go
        [] { return orvix::os::registry_delete_tree(orvix::os::kHkeyLocalMachine, kOrvix); },
    };
    std::map<std::string, std::set<std::string>> supplied = {
        {"orvix.mtu_size", {"1400", "1500", "900", "500"}}, {"orvix.enable_audio", {"0", "1"}},
        {"orvix.ip_address", {"10.0.0.1", "10.0.0.2"}},     {"orvix.server_type", {"MANUAL"}},
        {"orvix.priority_level", {"4"}}};

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
            changes[random() % std::size(changes)]();
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
    sources_test::set_dword(kAdmin, u"orvix.mtu_size", 1234);
    EXPECT_TRUE(sources_test::eventually([] { return sources_test::stored("orvix.mtu_size") == "1234"; }));
}

}  // namespace
