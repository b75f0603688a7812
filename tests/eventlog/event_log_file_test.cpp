// The event log writing its own file: names, CR LF lines, pruning at start, the write queue
// on a disk that keeps writes pending, a missing log folder and assertions. Files are read
// back from a per-test folder. The system facts have no local time, so no banner is
// written (which start-up reports with -500).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_testing.h"
#include "eventlog/log_test_support.h"
#include "os/async_write.h"
#include "os/file_system.h"
#include "support/fake_system_facts.h"

namespace {

using namespace orvix_test;
using Names = std::vector<std::string>;

constexpr uint32_t COMMON = VORN_EVENT_CAT_COMMON;
constexpr const char* kSession = "0a1b2c3d-4e5f-6789-abcd-ef0123456789";

// The default name of a log file opened at the fixed time.
std::string name_of(const std::string& app, const std::string& session = "") {
    return app + "_" + kFixedFileDate + "_" + process_hex() + "_0_0" + session + ".txt";
}

std::string crlf(const std::string& message, const char* session = VORN_EVENT_NULL_SESSION_ID,
                 int32_t level = 2, int32_t status = 0, const char* category = "COMMON") {
    return line(session, level, status, category, message, "\r\n");
}

// "line N" for N from first to last, as the file holds them.
std::string numbered(int first, int last) {
    std::string out;
    for (int i = first; i <= last; ++i) out += crlf("line " + std::to_string(i));
    return out;
}

class AsyncFile : public testing::Test {
protected:
    void SetUp() override { vorn_event_set_time_source(fixed_time); }
    void TearDown() override {
        vorn_event_shutdown();
        vorn_event_set_time_source(nullptr);
        vorn_event_set_write_ops(nullptr);
    }
    LogSandbox box_;
    FakeSystemFacts facts_;
};

// A line ends in CR LF; one that fills the line buffer loses its last character to the CR.
TEST_F(AsyncFile, NamesTheFileAndEndsLinesWithCrLf) {
    ASSERT_EQ(vorn_event_start_logging("app", kSession, 0, 0, 0, 0, 0, 1), VORN_STATUS_FAILURE);
    vorn_event_log(VORN_EVENT_CAT_AGENT, 1, -500, "first %s", "line");
    const std::string head = line(kSession, 2, 0, "COMMON", "", "");
    const std::string fits(637 - head.size(), 'f');  // 637 characters and LF: one byte to spare
    vorn_event_log(COMMON, 2, 0, "%s", fits.c_str());
    vorn_event_log(COMMON, 2, 0, "%s", std::string(2000, 'b').c_str());
    ASSERT_EQ(vorn_event_shutdown(), 0);
    const std::string name = name_of("app", std::string("_") + kSession);
    EXPECT_EQ(files_in(box_.log_folder), Names{name});
    EXPECT_EQ(read_file(box_.log_folder + name), crlf("first line", kSession, 1, -500, "AGENT") + head +
                                                     fits + "\r\n" + head + std::string(fits.size(), 'b') +
                                                     "\r\n");
    char path[512];
    EXPECT_EQ(vorn_event_get_log_file_path(path, sizeof path), 0);
    EXPECT_EQ(path, box_.log_folder + name);
    EXPECT_EQ(vorn_event_get_log_file_path(path, 8), VORN_STATUS_FAILURE);
}

// Without a name or a session: their defaults, the all-zero session in lines but not in
// the name. Old files of this application go at start (0 days is taken as 7), others stay.
TEST_F(AsyncFile, DefaultsAndPruningAtStart) {
    std::filesystem::create_directories(box_.log_folder);
    for (const auto& [name, days] : {std::pair{"orvix_missing_name_old.txt", 8},
                                     {"orvix_missing_name_recent.txt", 6},
                                     {"other_old.txt", 8}}) {
        write_file(box_.log_folder + name, "x", days * 86400);
    }
    ASSERT_EQ(vorn_event_start_logging(nullptr, nullptr, 0, 0, 0, 0, 0, 1), VORN_STATUS_FAILURE);
    vorn_event_log(COMMON, 2, 0, "hello");
    ASSERT_EQ(vorn_event_shutdown(), 0);
    const std::string name = name_of("orvix_missing_name");
    EXPECT_EQ(files_in(box_.log_folder), (Names{name, "orvix_missing_name_recent.txt", "other_old.txt"}));
    EXPECT_EQ(read_file(box_.log_folder + name), crlf("hello"));
}

// A disk whose writes reach the file at once but report completion only when told: the
// queue, the pending rule and shutdown run unchanged on top of it.
struct SlowDisk {
    bool hold = true;              // a started write stays pending until cleared
    bool complete_on_wait = true;  // waiting completes the write
    bool in_flight = false;
    std::vector<uint32_t> waits;

    static uint32_t write(void* context, orvix::os::FileHandle file, const void* data, uint32_t size) {
        if (uint32_t error = orvix::os::write_file(file, data, size); error != 0) return error;
        static_cast<SlowDisk*>(context)->in_flight = true;
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

// `held` lines are logged on the disk as set, then (when `after` is above 0) the disk
// catches up and `after` more lines follow before shutdown. While the first write stays
// pending, 498 lines wait in the queue and the rest land on one spare slot; it is queued
// with its notice (counting its own line too) by the call after the queue was written
// out, or by shutdown. A write that reports 997 but is done after the yield is not
// pending. Shutdown writes every queued line, waiting up to 2000 ms before each next
// write and after the last, and goes on when a wait fails.
struct QueueCase {
    const char* label;
    bool hold, complete_on_wait;
    int held, after, written_at_once;
    std::string tail;  // what follows the lines (at most 499 of them)
    size_t waits;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const QueueCase& c, std::ostream* out) { *out << c.label; }

class WriteQueue : public AsyncFile, public testing::WithParamInterface<QueueCase> {};

TEST_P(WriteQueue, WritesEveryLineOrCountsItInANotice) {
    const QueueCase& c = GetParam();
    SlowDisk disk;
    disk.hold = c.hold;
    disk.complete_on_wait = c.complete_on_wait;
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("queue", 1, 1, 0, 1), VORN_STATUS_FAILURE);
    const std::string path = box_.log_folder + name_of("queue");
    for (int i = 1; i <= c.held; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    EXPECT_EQ(read_file(path), numbered(1, c.written_at_once));
    disk.hold = disk.hold && c.after == 0;
    for (int i = c.held + 1; i <= c.held + c.after; ++i) vorn_event_log(COMMON, 2, 0, "line %d", i);
    ASSERT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(path), numbered(1, std::min(c.held + c.after, 499)) + c.tail);
    EXPECT_EQ(disk.waits, std::vector<uint32_t>(c.waits, 2000));
}

INSTANTIATE_TEST_SUITE_P(
    AsyncFile, WriteQueue,
    testing::Values(QueueCase{"NoticeByTheNextCall", true, true, 600, 3, 1,
                              "Event logger dropped 103 log messages.\r\n" + numbered(603, 603), 0},
                    QueueCase{"NoticeAtShutdown", true, true, 600, 0, 1,
                              "Event logger dropped 101 log messages.\r\n", 500},
                    QueueCase{"NoticeOfFewLinesPadded", true, true, 499, 2, 1,
                              "Event logger dropped  2 log messages.\r\n", 0},
                    QueueCase{"DoneDuringTheYield", false, true, 5, 0, 5, "", 0},
                    QueueCase{"DoneOnWait", true, true, 5, 0, 1, "", 5},
                    QueueCase{"NeverDone", true, false, 5, 0, 1, "", 5}),
    [](const testing::TestParamInfo<QueueCase>& info) { return std::string(info.param.label); });

class NoLogFolder : public AsyncFile, public testing::WithParamInterface<int32_t> {};

// A file where the "Quillon" folder should be: an asynchronous log loses its lines (and
// counts them, see event_log_lost_test.cpp); a synchronous one says so and goes on.
TEST_P(NoLogFolder, LinesAreLostAndTheLogGoesOn) {
    const int32_t asynchronous = GetParam();
    const std::string blocker = join({box_.program_data, "Quillon"});
    write_file(blocker, "in the way");
    const vorn_event_init_params params = init_params("nowhere", asynchronous);
    testing::internal::CaptureStdout();
    EXPECT_EQ(vorn_event_init(&params), asynchronous ? 0 : VORN_STATUS_FAILURE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              asynchronous ? "" : "Error opening logfile: !!!\nContinuing with no logfile .... \n");
    EXPECT_EQ(vorn_event_log(COMMON, 0, 0, "lost"), 0);
    char path[256];
    EXPECT_EQ(vorn_event_get_log_file_path(path, sizeof path), VORN_STATUS_EMPTY);
    EXPECT_EQ(vorn_event_shutdown(), 0);
    EXPECT_EQ(read_file(blocker), "in the way");
}

INSTANTIATE_TEST_SUITE_P(AsyncFile, NoLogFolder, testing::Values(0, 1));

// vorn_event_init alone does not set the session identifier that lines print; a simple
// name carries it all the same.
TEST_F(AsyncFile, SyncLogThatOpenedItsFileWritesEachLineAtOnce) {
    vorn_event_init_params params = init_params("direct", 0);
    params.simple_file_name = 1;
    params.session_id = kSession;
    ASSERT_EQ(vorn_event_init(&params), 0);
    vorn_event_log(COMMON, 2, 0, "one");
    EXPECT_EQ(read_file(box_.log_folder + "direct_" + kSession + ".txt"), crlf("one", ""));
}

// Death tests may re-run the test body in a fresh process (always on Windows): the
// folder is handed to it through the environment so both see the same one.
TEST(AssertDeathTest, FlushesTheQueueAndExitsWithStatusOne) {
    const char* inherited = std::getenv("ORVIX_TEST_ASSERT_ROOT");
    std::unique_ptr<LogSandbox> box;
    if (inherited == nullptr) {
        box = std::make_unique<LogSandbox>();
        set_env("ORVIX_TEST_ASSERT_ROOT", box->program_data.c_str());
    } else {
        redirect_program_data(inherited);
    }
    const std::string logs =
        join({box ? box->program_data : inherited, "Quillon", "OrvixAgent", "logs"}) + separator();
    vorn_event_set_time_source(fixed_time);
    EXPECT_EXIT(
        {
            static SlowDisk disk;
            static FakeSystemFacts facts;  // no local time: no banner
            vorn_event_set_write_ops(&disk.ops);
            vorn_event_start_logging("assert", 1, 1, 0, 1);
            vorn_event_log(COMMON, 2, 0, "before");
            vorn_event_log(COMMON, 2, 0, "queued behind a pending write");
            vorn_event_assert(0, "some_function", 42);
        },
        testing::ExitedWithCode(1), "");
    const Names written = files_in(logs);  // named by the process that died
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(read_file(logs + written[0]), crlf("before") + crlf("queued behind a pending write") +
                                                crlf("Assert in function some_function at line number 42.",
                                                     VORN_EVENT_NULL_SESSION_ID, 0, -500, "ASSERT"));
}

}  // namespace
