// The event log writing its own file in asynchronous mode: names, CR LF lines, the write
// queue with a disk that keeps writes pending, rotation, pruning at start, faults and
// assertions. Files are read back from a per-test folder.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"
#include "eventlog/event_log_testing.h"
#include "eventlog/log_files_testing.h"
#include "eventlog/log_test_support.h"
#include "os/async_write.h"

namespace {

using orvix_test::files_in;
using orvix_test::kFixedFileDate;
using orvix_test::line;
using orvix_test::LogSandbox;
using orvix_test::read_file;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;
constexpr const char* kSession = "0a1b2c3d-4e5f-6789-abcd-ef0123456789";
constexpr const char* kNullSession = "00000000-0000-0000-0000-000000000000";

std::string only_file(const std::string& folder) {
    const auto names = files_in(folder);
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? std::string() : folder + names[0];
}

std::string crlf(const std::string& message, const char* session = kNullSession, int32_t level = 2,
                 int32_t status = 0, const char* category = "COMMON") {
    return line(session, level, status, category, message, "\r\n");
}

// Waits (generously) until a file exists; archive moves run on another thread.
bool eventually_exists(const std::string& path) {
    for (int i = 0; i < 1000 && !orvix_test::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return orvix_test::exists(path);
}

class AsyncFile : public testing::Test {
protected:
    void SetUp() override { vorn_event_set_time_source(orvix_test::fixed_time); }
    void TearDown() override {
        vorn_event_shutdown();
        vorn_event_set_time_source(nullptr);
        vorn_event_set_write_ops(nullptr);
    }
    LogSandbox box_;
};

TEST_F(AsyncFile, NamesTheFileAndEndsLinesWithCrLf) {
    ASSERT_EQ(vorn_event_start_logging("app", kSession, 1, 1, 0, 0, 0, 1), 0);
    vorn_event_log(COMMON, 2, 0, "first");
    vorn_event_log(VORN_EVENT_CAT_AGENT, 1, -500, "second %s", "line");
    ASSERT_EQ(vorn_event_shutdown(), 0);

    const std::string name =
        std::string("app_") + kFixedFileDate + "_" + orvix_test::process_hex() + "_0_0_" + kSession + ".txt";
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{name});
    EXPECT_EQ(read_file(box_.log_folder + name),
              crlf("first", kSession) + crlf("second line", kSession, 1, -500, "AGENT"));
    char path[512];
    EXPECT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    EXPECT_EQ(path, box_.log_folder + name);
    EXPECT_EQ(vorn_event_get_log_file_path(path, 8), VORN_STATUS_FAILURE);
}

TEST_F(AsyncFile, MissingNameAndSessionTakeTheirDefaults) {
    ASSERT_EQ(vorn_event_start_logging(nullptr, nullptr, 1, 1, 0, 0, 0, 1), 0);
    vorn_event_log(COMMON, 2, 0, "hello");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    // The all-zero session identifier is printed in lines but never put in a name.
    const std::string name =
        std::string("orvix_missing_name_") + kFixedFileDate + "_" + orvix_test::process_hex() + "_0_0.txt";
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{name});
    EXPECT_EQ(read_file(box_.log_folder + name), crlf("hello"));
}

TEST_F(AsyncFile, SimpleFileNameWithSession) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "simple";
    params.simple_file_name = 1;
    params.asynchronous = 1;
    params.session_id = kSession;
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_log(COMMON, 2, 0, "x");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    // vorn_event_init alone does not set the session identifier that lines print.
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{std::string("simple_") + kSession + ".txt"});
    EXPECT_EQ(read_file(box_.log_folder + "simple_" + kSession + ".txt"), crlf("x", ""));
}

TEST_F(AsyncFile, AFullLineLosesItsLastCharacterToTheCarriageReturn) {
    ASSERT_EQ(vorn_event_start_logging("long", 1, 1, 0, 1), 0);
    const std::string head = line(kNullSession, 2, 0, "COMMON", "", "");
    const std::string fits(637 - head.size(), 'f');  // 637 characters and LF: one byte to spare
    vorn_event_log(COMMON, 2, 0, "%s", fits.c_str());
    const std::string big(2000, 'b');
    vorn_event_log(COMMON, 2, 0, "%s", big.c_str());
    ASSERT_EQ(vorn_event_shutdown(), 0);
    const auto lines = orvix_test::split_lines(read_file(only_file(box_.log_folder)));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], head + fits + "\r\n");
    EXPECT_EQ(lines[0].size(), 639u);
    EXPECT_EQ(lines[1], head + std::string(637 - head.size(), 'b') + "\r\n");
    EXPECT_EQ(lines[1].size(), 639u);
}

// A disk whose writes reach the file at once but report completion only when told: the
// queue, the pending rule and shutdown run unchanged on top of it.
struct SlowDisk {
    bool hold = true;             // a started write stays pending until cleared
    bool complete_on_wait = true; // waiting completes the write
    bool in_flight = false;
    std::vector<uint32_t> waits;

    static uint32_t write(void* context, orvix::os::FileHandle file, const void* data, uint32_t size) {
        auto* disk = static_cast<SlowDisk*>(context);
        if (uint32_t error = orvix::os::write_file(file, data, size); error != 0) return error;
        disk->in_flight = true;
        return orvix::os::kErrorIoPending;
    }
    static bool still_pending(void* context) {
        auto* disk = static_cast<SlowDisk*>(context);
        return disk->in_flight && disk->hold;
    }
    static bool wait(void* context, uint32_t timeout_ms) {
        auto* disk = static_cast<SlowDisk*>(context);
        disk->waits.push_back(timeout_ms);
        if (disk->complete_on_wait) disk->in_flight = false;
        return !disk->in_flight;
    }
    vorn_event_write_ops ops{write, still_pending, wait, this};
};

TEST_F(AsyncFile, AFullQueueKeepsOneNoticeOfTheDroppedLines) {
    SlowDisk disk;
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("queue", 1, 1, 0, 1), 0);
    const std::string path = only_file(box_.log_folder);

    // The first write stays pending: the next 498 lines wait in the queue and the rest
    // land on one spare slot.
    for (int i = 1; i <= 600; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    EXPECT_EQ(read_file(path), crlf("line 1"));

    // Once the write completes, the next call writes the queue out; its own line lands
    // on the spare slot, which is queued (with its notice) by the call after.
    disk.hold = false;
    vorn_event_log(COMMON, 2, 0, "line 601");
    vorn_event_log(COMMON, 2, 0, "line 602");
    vorn_event_log(COMMON, 2, 0, "line 603");
    ASSERT_EQ(vorn_event_shutdown(), 0);

    std::string expected;
    for (int i = 1; i <= 499; ++i) expected += crlf("line " + std::to_string(i));
    expected += "Event logger dropped 103 log messages.\r\n";
    expected += crlf("line 603");
    EXPECT_EQ(read_file(path), expected);
}

TEST_F(AsyncFile, ShutdownReportsTheLinesLeftOnTheSpareSlot) {
    SlowDisk disk;
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("spare", 1, 1, 0, 1), 0);
    for (int i = 1; i <= 600; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    ASSERT_EQ(vorn_event_shutdown(), 0);
    std::string expected;
    for (int i = 1; i <= 499; ++i) expected += crlf("line " + std::to_string(i));
    expected += "Event logger dropped 101 log messages.\r\n";
    EXPECT_EQ(read_file(only_file(box_.log_folder)), expected);
}

TEST_F(AsyncFile, ANoticeOfFewLinesIsPaddedToTwoColumns) {
    SlowDisk disk;
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("pad", 1, 1, 0, 1), 0);
    for (int i = 1; i <= 499; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    disk.hold = false;
    // Line 500 lands on the spare slot while the queue is full, then the queue drains;
    // line 501 lands there too and queues the slot with its notice.
    vorn_event_log(COMMON, 2, 0, "line 500");
    vorn_event_log(COMMON, 2, 0, "line 501");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    const auto lines = orvix_test::split_lines(read_file(only_file(box_.log_folder)));
    ASSERT_EQ(lines.size(), 500u);
    EXPECT_EQ(lines[498], crlf("line 499"));
    EXPECT_EQ(lines[499], "Event logger dropped  2 log messages.\r\n");
}

TEST_F(AsyncFile, AWriteThatCompletesDuringTheYieldIsNotPending) {
    SlowDisk disk;
    disk.hold = false;  // every write reports 997 but is done by the time it is asked
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("yield", 1, 1, 0, 1), 0);
    const std::string path = only_file(box_.log_folder);
    for (int i = 1; i <= 3; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    EXPECT_EQ(read_file(path), crlf("line 1") + crlf("line 2") + crlf("line 3"));
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_TRUE(disk.waits.empty());
}

TEST_F(AsyncFile, ShutdownWritesTheQueueWaitingForEachPendingWrite) {
    SlowDisk disk;
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("drain", 1, 1, 0, 1), 0);
    const std::string path = only_file(box_.log_folder);
    for (int i = 1; i <= 5; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    EXPECT_EQ(read_file(path), crlf("line 1"));
    ASSERT_EQ(vorn_event_shutdown(), 0);
    std::string expected;
    for (int i = 1; i <= 5; ++i) expected += crlf("line " + std::to_string(i));
    EXPECT_EQ(read_file(path), expected);
    // Before each of the four queued lines and after the last one.
    EXPECT_EQ(disk.waits, std::vector<uint32_t>(5, 2000));
}

TEST_F(AsyncFile, ShutdownGoesOnWhenAPendingWriteNeverCompletes) {
    SlowDisk disk;
    disk.complete_on_wait = false;
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("stuck", 1, 1, 0, 1), 0);
    const std::string path = only_file(box_.log_folder);
    for (int i = 1; i <= 3; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(path), crlf("line 1") + crlf("line 2") + crlf("line 3"));
    EXPECT_EQ(disk.waits, std::vector<uint32_t>(3, 2000));
    EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "after"), VORN_STATUS_NOT_STARTED);
}

TEST_F(AsyncFile, OldFilesOfThisApplicationArePrunedAtStart) {
    orvix_test::LogSandbox& box = box_;
    orvix_test::make_folder(box.log_folder);
    for (const char* n : {"app_old.txt", "APP_upper_old.txt", "app_recent.txt", "other_old.txt", "app_old.log"}) {
        orvix_test::write_file(box.log_folder + n, "x");
    }
    orvix_test::age_file(box.log_folder + "app_old.txt", 8 * 86400);
    orvix_test::age_file(box.log_folder + "APP_upper_old.txt", 8 * 86400);
    orvix_test::age_file(box.log_folder + "app_recent.txt", 6 * 86400);
    orvix_test::age_file(box.log_folder + "other_old.txt", 8 * 86400);
    orvix_test::age_file(box.log_folder + "app_old.log", 8 * 86400);
    // 0 days is taken as 7.
    ASSERT_EQ(vorn_event_start_logging("app", "", 1, 1, 0, 0, 0, 1), 0);
    ASSERT_EQ(vorn_event_shutdown(), 0);
    const auto left = files_in(box.log_folder);
    const std::string log = std::string("app_") + kFixedFileDate + "_" + orvix_test::process_hex() + "_0_0.txt";
    EXPECT_EQ(left, (std::vector<std::string>{log, "app_old.log", "app_recent.txt", "other_old.txt"}));
}

// A simulated clock: the rotor's tick count and the UTC second of the line format.
std::atomic<uint64_t> g_tick{5000};
std::atomic<int> g_second{4};
uint64_t simulated_tick() { return g_tick.load(); }
void simulated_time(vorn_event_utc_time* now) {
    orvix_test::fixed_time(now);
    now->second = g_second.load();
}

std::string name_at(const char* app, int second) {
    char date[32];
    std::snprintf(date, sizeof date, "2024_03_09T07_05_%02dZ", second);
    return std::string(app) + "_" + date + "_" + orvix_test::process_hex() + "_0_0.txt";
}

std::string at_second_5(std::string line) {
    line.replace(0, 24, "2024-03-09T07:05:05.032Z");
    return line;
}

std::string archived(const std::string& name) {
    return orvix_test::kFixedArchivePrefix + name.substr(0, name.size() - 4) + ".log";
}

TEST_F(AsyncFile, RotatesAfterTheRotationTimeAndArchivesTheOldFile) {
    orvix_test::set_rotation_text(u"1");
    vorn_event_set_time_source(simulated_time);
    vorn_log_rotor_set_tick_source(simulated_tick);
    ASSERT_EQ(vorn_event_start_logging("rot", 1, 1, 0, 1), 0);
    vorn_event_log(COMMON, 2, 0, "first");
    g_tick += 60000;  // not more than one minute yet
    vorn_event_log(COMMON, 2, 0, "second");
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{name_at("rot", 4)});

    g_second = 5;
    g_tick += 1;
    vorn_event_log(COMMON, 2, 0, "third");
    const std::string first_archive = box_.archive_folder + archived(name_at("rot", 4));
    ASSERT_TRUE(eventually_exists(first_archive));
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{name_at("rot", 5)});
    EXPECT_EQ(read_file(first_archive), crlf("first") + crlf("second"));

    // Shutdown archives the last file too, and waits for that move.
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(files_in(box_.log_folder), std::vector<std::string>{});
    EXPECT_EQ(read_file(box_.archive_folder + archived(name_at("rot", 5))), at_second_5(crlf("third")));
    vorn_log_rotor_set_tick_source(nullptr);
}

TEST_F(AsyncFile, AFileThatCannotBeArchivedStaysInTheLogFolder) {
    orvix_test::set_rotation_text(u"1");
    // The archive folder cannot be created: a file stands where one of its parents goes.
    orvix_test::make_folder(orvix_test::join({box_.program_data, "Quillon"}));
    orvix_test::write_file(orvix_test::join({box_.program_data, "Quillon", "logs"}), "in the way");
    vorn_event_set_time_source(simulated_time);
    vorn_log_rotor_set_tick_source(simulated_tick);
    ASSERT_EQ(vorn_event_start_logging("stay", 1, 1, 0, 1), 0);
    vorn_event_log(COMMON, 2, 0, "first");
    g_second = 5;
    g_tick += 60001;
    vorn_event_log(COMMON, 2, 0, "second");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(files_in(box_.log_folder), (std::vector<std::string>{name_at("stay", 4), name_at("stay", 5)}));
    EXPECT_EQ(read_file(box_.log_folder + name_at("stay", 4)), crlf("first"));
    EXPECT_EQ(read_file(box_.log_folder + name_at("stay", 5)), at_second_5(crlf("second")));
    vorn_log_rotor_set_tick_source(nullptr);
}

TEST_F(AsyncFile, AnUncreatableLogFolderLosesLinesSilently) {
    // A file where the program-data folder's "Quillon" folder should be.
    orvix_test::write_file(orvix_test::join({box_.program_data, "Quillon"}), "in the way");
    ASSERT_EQ(vorn_event_start_logging("nowhere", 1, 1, 0, 1), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "lost"), 0);
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "lost too"), 0);
    char path[256];
    EXPECT_EQ(vorn_event_get_log_file_path(path, sizeof path), VORN_STATUS_EMPTY);
    EXPECT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(orvix_test::join({box_.program_data, "Quillon"})), "in the way");
}

TEST_F(AsyncFile, SyncLogWithoutAFileSaysSoAndGoesOn) {
    orvix_test::write_file(orvix_test::join({box_.program_data, "Quillon"}), "in the way");
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "sync";
    testing::internal::CaptureStdout();
    EXPECT_EQ(vorn_event_init(&params), VORN_STATUS_FAILURE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error opening logfile: !!!\nContinuing with no logfile .... \n");
    EXPECT_EQ(vorn_event_log(COMMON, 2, 0, "nowhere to go"), 0);
}

TEST_F(AsyncFile, SyncLogThatOpenedItsFileWritesEachLineAtOnce) {
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.app_name = "direct";
    ASSERT_EQ(vorn_event_init(&params), 0);
    const std::string path = only_file(box_.log_folder);
    vorn_event_log(COMMON, 2, 0, "one");
    EXPECT_EQ(read_file(path), crlf("one", ""));
    ASSERT_EQ(vorn_event_shutdown(), 0);
}

// Death tests may re-run the test body in a fresh process (always on Windows): the
// folder is handed to it through the environment so both see the same one.
TEST(AssertDeathTest, FlushesTheQueueAndExitsWithStatusOne) {
    const char* inherited = std::getenv("ORVIX_TEST_ASSERT_ROOT");
    std::unique_ptr<LogSandbox> box;
    std::string log_folder;
    if (inherited == nullptr) {
        box = std::make_unique<LogSandbox>();
        orvix_test::set_env("ORVIX_TEST_ASSERT_ROOT", box->program_data.c_str());
        log_folder = box->log_folder;
    } else {
        orvix_test::redirect_program_data(inherited);
        log_folder = orvix_test::join({inherited, "Quillon", "OrvixAgent", "logs"}) + orvix_test::separator();
    }
    vorn_event_set_time_source(orvix_test::fixed_time);
    EXPECT_EXIT(
        {
            static SlowDisk disk;
            vorn_event_set_write_ops(&disk.ops);
            vorn_event_start_logging("assert", 1, 1, 0, 1);
            vorn_event_log(COMMON, 2, 0, "before");
            vorn_event_log(COMMON, 2, 0, "queued behind a pending write");
            vorn_event_assert(0, "some_function", 42);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(read_file(only_file(log_folder)),
              crlf("before") + crlf("queued behind a pending write") +
                  crlf("Assert in function some_function at line number 42.", kNullSession, 0, -500, "ASSERT"));
}

}  // namespace
