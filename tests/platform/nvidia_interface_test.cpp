#include "platform/nvidia_interface.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "os/library.h"
#include "platform/nvidia_interface_testing.h"
#include "support/scripted_nvapi.h"

namespace {

namespace nv = orvix::nvidia;
using orvix::test::ScriptedNvapi;
using orvix::test::scripted_events;
using Events = std::vector<std::string>;

class NvidiaInterface : public testing::Test {
protected:
    void SetUp() override { orvix::test::install_scripted_nvapi(&script); }
    void TearDown() override { orvix::test::uninstall_scripted_nvapi(); }

    int32_t version(uint32_t* out) {
        char branch[nv::kShortStringSize] = {};
        return nv::nvapiGetDriverAndBranchVersion(out, branch);
    }

    ScriptedNvapi script;
};

TEST_F(NvidiaInterface, InitialiseLoadsOnceAndQueriesInOrder) {
    EXPECT_EQ(nv::nvapiInitialize(), nv::kOk);
    EXPECT_EQ(script.events, (Events{"load nvapi64.dll", "symbol nvapi_QueryInterface", "query 0x0150E828", "initialize",
                                     "query 0x33C7358C", "query 0x593E8644"}));
    EXPECT_EQ(nv::nvapiInitialize(), nv::kOk);
    EXPECT_EQ(scripted_events(script, "load").size(), 1u);
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
    EXPECT_EQ(nv::testing::loadCount(1), 0u);
    EXPECT_EQ(nv::testing::busyCount(), 0);
}

TEST_F(NvidiaInterface, InitialiseFailuresReleaseTheLibrary) {
    struct Case {
        const char* what;
        void (*arrange)(ScriptedNvapi&);
        int32_t status;
        bool released;
    };
    const Case cases[] = {
        {"no library", [](ScriptedNvapi& s) { s.present = false; }, nv::kLibraryNotFound, false},
        {"no query entry", [](ScriptedNvapi& s) { s.has_query_entry = false; }, nv::kError, true},
        {"no initialise function", [](ScriptedNvapi& s) { s.has_initialize = false; }, nv::kError, true},
        {"initialise refuses", [](ScriptedNvapi& s) { s.initialize_status = -104; }, -104, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        script = ScriptedNvapi{};
        c.arrange(script);
        orvix::test::install_scripted_nvapi(&script);
        EXPECT_EQ(nv::nvapiInitialize(), c.status);
        EXPECT_FALSE(nv::testing::loaded(0));
        EXPECT_EQ(nv::testing::loadCount(0), 0u);
        EXPECT_EQ(scripted_events(script, "release").size(), c.released ? 1u : 0u);
        EXPECT_EQ(nv::testing::busyCount(), 0);
        // Nothing is kept: the version call loads again and fails the same way, and never
        // reaches a query entry that was forgotten.
        script.events.clear();
        uint32_t v = 0;
        EXPECT_EQ(version(&v), c.status);
        EXPECT_TRUE(scripted_events(script, "query 0x2926AAAD").empty());
    }
}

TEST_F(NvidiaInterface, DriverVersionBetweenHooksFromTheCache) {
    ASSERT_EQ(nv::nvapiInitialize(), nv::kOk);
    script.events.clear();
    uint32_t v = 0;
    char branch[nv::kShortStringSize] = {};
    EXPECT_EQ(nv::nvapiGetDriverAndBranchVersion(&v, branch), nv::kOk);
    EXPECT_EQ(v, 53141u);
    EXPECT_STREQ(branch, "r530_00");
    EXPECT_EQ(script.events, (Events{"query 0x2926AAAD", "before", "version", "after"}));

    script.events.clear();
    script.driver_version_status = -6;
    EXPECT_EQ(version(&v), -6);
    EXPECT_EQ(script.events, (Events{"before", "version", "after"}));
}

TEST_F(NvidiaInterface, DriverVersionLoadsWhenNotInitialisedAndRunsWithoutHooks) {
    script.has_hooks = false;
    uint32_t v = 0;
    EXPECT_EQ(version(&v), nv::kOk);
    EXPECT_EQ(v, 53141u);
    EXPECT_EQ(scripted_events(script, "version").size(), 1u);
    EXPECT_TRUE(scripted_events(script, "before").empty());
    EXPECT_EQ(nv::testing::loadCount(0), 1u);

    // A library without the function: nothing is called and the output stays as it was.
    script = ScriptedNvapi{};
    script.has_driver_version = false;
    orvix::test::install_scripted_nvapi(&script);
    v = 7;
    EXPECT_EQ(version(&v), nv::kNoImplementation);
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(scripted_events(script, "before").empty());
}


TEST_F(NvidiaInterface, UnloadInProgressIsAwaitedForASecond) {
    nv::testing::setUnloadInProgress(0, true);
    EXPECT_EQ(nv::nvapiInitialize(), nv::kError);
    EXPECT_EQ(scripted_events(script, "sleep 100").size(), 10u);
    EXPECT_TRUE(scripted_events(script, "load").empty());

    script.events.clear();
    script.unload_ends_at_sleep = 13;  // the third pause of the next call
    EXPECT_EQ(nv::nvapiInitialize(), nv::kOk);
    EXPECT_EQ(scripted_events(script, "sleep").size(), 3u);
    EXPECT_EQ(scripted_events(script, "load").size(), 1u);
}

TEST_F(NvidiaInterface, ConcurrentInitialisationLoadsOnce) {
    std::vector<std::thread> threads;
    std::vector<int32_t> results(8, 99);
    for (size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] { results[i] = nv::nvapiInitialize(); });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(results, std::vector<int32_t>(8, nv::kOk));
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
}

TEST(SystemLibrary, RefusesNamesWithAPath) {
    for (const char* name : {"x\\nvapi64.dll", "../nvapi64.dll", "/nvapi64.dll"}) {
        uint32_t error = 0;
        EXPECT_EQ(orvix::os::load_system_library(name, &error), nullptr) << name;
        EXPECT_EQ(error, orvix::os::kErrorBadArguments) << name;
    }
}

}  // namespace
