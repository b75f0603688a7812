// Any thread may call any operation: the library sees one call at a time, always with
// the open context, while other threads reinitialise it.
#include <gtest/gtest.h>

#include <thread>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/adl_stand_in/adl_stand_in.h"

namespace {

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

}  // namespace
