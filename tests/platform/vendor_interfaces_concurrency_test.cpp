// Any thread may call into the vendors' libraries: ADL hands its library one call at a
// time, always with the open context, while other threads reinitialise it; concurrent
// first users of NVAPI load it once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/adl_stand_in/adl_stand_in.h"
#include "platform/nvidia_interface.h"
#include "platform/nvidia_interface_testing.h"
#include "support/scripted_nvapi.h"

namespace {

namespace nv = orvix::nvidia;

TEST(AdlConcurrency, CallsFromManyThreadsReachTheLibraryOneAtATime) {
    adl_stand_in_reset();
    std::vector<std::string> asked;
    orvix::ADL adl(std::make_unique<orvix::logging::NOPLogger>(), [&asked](const std::string&, auto) {
        return std::make_unique<adl_stand_in::Library>(&asked, "");
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&adl, t] {
            for (int i = 0; i < 50; ++i) {
                ADLBiosInfo bios{};
                std::vector<ADLMode> modes;
                bool supported = false;
                adl.getAdapterBiosInfo(t, bios);
                adl.getDisplayModes(t, i, modes);
                adl.getTimingOverrideSupported(t, supported);
                if (i % 10 == 0) adl.reinitialize();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(adl_stand_in_script()->overlappingCalls, 0);
    EXPECT_EQ(adl_stand_in_script()->wrongContextCalls, 0);
}

TEST(NvidiaInterfaceConcurrency, ConcurrentInitialisationLoadsOnce) {
    orvix::test::ScriptedNvapi script;
    orvix::test::install_scripted_nvapi(&script);
    std::vector<int32_t> results(8, 99);
    std::vector<std::thread> threads;
    for (int32_t& result : results) threads.emplace_back([&result] { result = nv::nvapiInitialize(); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(results, std::vector<int32_t>(8, nv::kOk));
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
    orvix::test::uninstall_scripted_nvapi();
}

}  // namespace
