// Any thread may call any operation: the library sees one call at a time, always with
// the open context, while other threads reinitialise it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "logging/nop_logger.h"
#include "platform/adl.h"
#include "platform/adl_stand_in/stand_in_library.h"

namespace {

TEST(AdlConcurrency, CallsFromManyThreadsReachTheLibraryOneAtATime) {
    adl_stand_in_reset();
    AdlStandInScript& script = *adl_stand_in_script();
    std::vector<std::string> asked;
    orvix::ADL::LibraryOpener opener = [&asked](const std::string&, std::unique_ptr<orvix::logging::LoggerBase>) {
        return std::make_unique<adl_stand_in::StandInLibrary>(&asked, "");
    };
    auto adl = std::make_unique<orvix::ADL>(std::make_unique<orvix::logging::NOPLogger>(), opener);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&adl, t] {
            for (int i = 0; i < 50; ++i) {
                ADLBiosInfo bios{};
                std::vector<ADLMode> modes;
                bool supported = false;
                adl->getAdapterBiosInfo(t, bios);
                adl->getDisplayModes(t, i, modes);
                adl->getTimingOverrideSupported(t, supported);
                if (i % 10 == 0) adl->reinitialize();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(script.overlappingCalls, 0);
    EXPECT_EQ(script.wrongContextCalls, 0);
}

}  // namespace
