#include "platform/nvidia_interface.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/library.h"
#include "platform/nvidia_interface_testing.h"
#include "support/scripted_nvapi.h"

namespace {

namespace nv = orvix::nvidia;
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

    orvix::test::ScriptedNvapi script;
};

TEST_F(NvidiaInterface, InitialiseLoadsOnceAndQueriesInOrderAndTheVersionRunsBetweenHooks) {
    EXPECT_EQ(nv::nvapiInitialize(), nv::kOk);
    EXPECT_EQ(script.events, (Events{"load nvapi64.dll", "symbol nvapi_QueryInterface", "query 0x0150E828",
                                     "initialize", "query 0x33C7358C", "query 0x593E8644"}));
    EXPECT_EQ(nv::nvapiInitialize(), nv::kOk);
    EXPECT_EQ(scripted_events(script, "load").size(), 1u);
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
    EXPECT_EQ(nv::testing::loadCount(1), 0u);
    EXPECT_EQ(nv::testing::busyCount(), 0);

    script.events.clear();
    uint32_t v = 0;
    char branch[nv::kShortStringSize] = {};
    EXPECT_EQ(nv::nvapiGetDriverAndBranchVersion(&v, branch), nv::kOk);
    EXPECT_EQ(v, 53141u);
    EXPECT_STREQ(branch, "r530_00");
    script.driver_version_status = -6;
    EXPECT_EQ(version(&v), -6);
    EXPECT_EQ(script.events, (Events{"query 0x2926AAAD", "before", "version", "after", "before", "version", "after"}));
}

TEST_F(NvidiaInterface, InitialiseFailuresReleaseTheLibraryAndKeepNothing) {
    const struct {
        void (*arrange)(orvix::test::ScriptedNvapi&);
        int32_t status;
        bool released;
    } cases[] = {
        {[](auto& s) { s.present = false; }, nv::kLibraryNotFound, false},
        {[](auto& s) { s.has_query_entry = false; }, nv::kError, true},
        {[](auto& s) { s.has_initialize = false; }, nv::kError, true},
        {[](auto& s) { s.initialize_status = -104; }, -104, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        script = {};
        c.arrange(script);
        orvix::test::install_scripted_nvapi(&script);
        EXPECT_EQ(nv::nvapiInitialize(), c.status);
        EXPECT_FALSE(nv::testing::loaded(0));
        EXPECT_EQ(scripted_events(script, "release").size(), c.released ? 1u : 0u);
        EXPECT_EQ(nv::testing::busyCount(), 0);
        // The version call loads again and fails the same way, never reaching a query
        // entry that was forgotten.
        script.events.clear();
        uint32_t v = 0;
        EXPECT_EQ(version(&v), c.status);
        EXPECT_TRUE(scripted_events(script, "query 0x2926AAAD").empty());
    }
}

TEST_F(NvidiaInterface, DriverVersionLoadsWhenNotInitialisedAndRunsWithoutHooks) {
    script.has_hooks = false;
    uint32_t v = 0;
    EXPECT_EQ(version(&v), nv::kOk);
    EXPECT_EQ(v, 53141u);
    EXPECT_EQ(scripted_events(script, "before").size(), 0u);
    EXPECT_EQ(nv::testing::loadCount(0), 1u);
    // A library without the function: nothing is called and the output stays as it was.
    script = {};
    script.has_driver_version = false;
    orvix::test::install_scripted_nvapi(&script);
    v = 7;
    EXPECT_EQ(version(&v), nv::kNoImplementation);
    EXPECT_EQ(v, 7u);
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
}

TEST(SystemLibrary, RefusesNamesWithAPath) {
    for (const char* name : {"x\\nvapi64.dll", "../nvapi64.dll", "/nvapi64.dll"}) {
        uint32_t error = 0;
        EXPECT_EQ(orvix::os::load_system_library(name, &error), nullptr) << name;
        EXPECT_EQ(error, orvix::os::kErrorBadArguments) << name;
    }
}

}  // namespace
