// Concurrent first users of NVAPI: the critical section lets one of them load the library.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/nvidia_interface.h"
#include "platform/nvidia_interface_testing.h"
#include "support/scripted_nvapi.h"

namespace {

namespace nv = orvix::nvidia;

TEST(NvidiaInterfaceConcurrency, ConcurrentInitialisationLoadsOnce) {
    orvix::test::ScriptedNvapi script;
    orvix::test::install_scripted_nvapi(&script);
    std::vector<std::thread> threads;
    std::vector<int32_t> results(8, 99);
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] { results[i] = nv::nvapiInitialize(); });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(results, std::vector<int32_t>(8, nv::kOk));
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
    orvix::test::uninstall_scripted_nvapi();
}

}  // namespace
