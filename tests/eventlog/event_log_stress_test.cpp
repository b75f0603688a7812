// Several threads log numbered messages while the rotor rotates on a simulated clock and
// the disk now and then keeps a write pending, at times long enough for the queue to
// overflow. Afterwards every message is found exactly once across the archived files, or
// is counted by a dropped-messages notice; no line is torn or out of order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "eventlog/event_log.h"
#include "eventlog/event_log_clock.h"
#include "eventlog/event_log_testing.h"
#include "eventlog/log_files_testing.h"
#include "os/async_write.h"
#include "os/file_system.h"
#include "os/registry.h"
#include "support/fake_system_facts.h"
#include "support/program_data.h"

namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 4;
constexpr int kPerThread = 5000;

// Every rotor request moves the simulated clock on by 100 ms, so the file rotates after
// about 600 requests; the UTC time (from 07:00:00) follows the same clock, so every file
// gets a name of its own.
std::atomic<uint64_t> g_tick{0};
uint64_t advancing_tick() { return g_tick.fetch_add(100); }
void simulated_utc(vorn_event_utc_time* now) {
    const auto ms = static_cast<int>(g_tick.load());
    *now = {2024, 3, 9, 7 + ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000};
}

// Writes reach the file at once; every 97th write then reports "pending" for the next 20
// questions, every 997th for the next 700 (the queue holds 498 lines). Only ever used
// under the event log's lock.
struct FlakyDisk {
    uint32_t writes = 0;
    int hold_for = 0;

    static uint32_t write(void* context, orvix::os::FileHandle file, const void* data, uint32_t size) {
        auto* disk = static_cast<FlakyDisk*>(context);
        if (uint32_t error = orvix::os::write_file(file, data, size); error != 0) return error;
        ++disk->writes;
        disk->hold_for = disk->writes % 997 == 0 ? 700 : disk->writes % 97 == 0 ? 20 : 0;
        return disk->hold_for > 0 ? orvix::os::kErrorIoPending : 0;
    }
    static bool still_pending(void* context) {
        auto* disk = static_cast<FlakyDisk*>(context);
        if (disk->hold_for == 0) return false;
        --disk->hold_for;
        return true;
    }
    static bool wait(void* context, uint32_t) {
        static_cast<FlakyDisk*>(context)->hold_for = 0;
        return true;
    }
    vorn_event_write_ops ops{write, still_pending, wait, this};
};

TEST(EventLogStress, EveryMessageOnceOrCountedAsDropped) {
    const fs::path root =
        fs::temp_directory_path() / ("orvix-stress-" + std::to_string(orvix::os::current_process_id()));
    fs::remove_all(root);
    fs::create_directories(root / "pd");
    orvix_test::redirect_program_data((root / "pd").string());
    const fs::path log_folder = root / "pd" / "Quillon" / "OrvixAgent" / "logs";

    // HKEY_LOCAL_MACHINE is a per-process key in the tests.
    orvix::os::RegKey key = 0;
    ASSERT_EQ(orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Quillon\\OrvixAgent",
                                             orvix::os::kKeyAllAccess, &key),
              0);
    ASSERT_EQ(orvix::os::registry_set_value(key, u"OrvixLogRotationTime", orvix::os::kRegSz, u"1", 4), 0);
    orvix::os::registry_close_key(key);

    static FlakyDisk disk;
    vorn_event_set_time_source(simulated_utc);
    vorn_log_rotor_set_tick_source(advancing_tick);
    vorn_event_set_write_ops(&disk.ops);
    // A banner that cannot read the local time is not written: every line of the files is
    // then one of the threads' lines.
    orvix_test::FakeSystemFacts facts;
    ASSERT_EQ(vorn_event_start_logging("stress", 1, 1, 0, 1), VORN_STATUS_FAILURE);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < kPerThread; ++n)
                vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "T%d N%05d", t, n);
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(vorn_event_shutdown(), 0);

    // Shutdown waits for the last move only; earlier moves may still be under way.
    auto logs_left = [&] {
        std::error_code ec;
        return std::distance(fs::directory_iterator(log_folder, ec), fs::directory_iterator());
    };
    for (int i = 0; i < 3000 && logs_left() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(logs_left(), 0);

    const std::regex message_line(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 00000000-0000-0000-0000-000000000000 > LVL:2 RC:   0          COMMON :T(\d) N(\d{5})\r)");
    const std::regex notice_line(R"(Event logger dropped +(\d+) log messages\.\r)");
    std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kPerThread, 0));
    long dropped = 0, missing = 0, files = 0, bad = 0;
    for (const auto& entry : fs::directory_iterator(root / "pd" / "Quillon" / "logs" / "ROTATE")) {
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<int> last(kThreads, -1);
        std::smatch m;
        for (std::string line; std::getline(in, line);) {
            if (!in.eof() && std::regex_match(line, m, message_line)) {
                const int t = std::stoi(m[1]), n = std::stoi(m[2]);
                ASSERT_TRUE(t < kThreads && n < kPerThread) << line;
                ++seen[t][n];
                EXPECT_GT(n, last[t]) << "out of order in " << entry.path();
                last[t] = n;
            } else if (!in.eof() && std::regex_match(line, m, notice_line)) {
                dropped += std::stol(m[1]);
            } else if (++bad <= 5) {
                ADD_FAILURE() << "torn or foreign line in " << entry.path() << ": " << line;
            }
        }
    }
    for (const auto& thread : seen) {
        for (int count : thread) {
            EXPECT_LE(count, 1);
            missing += count == 0;
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(missing, dropped);
    EXPECT_GT(dropped, 0) << "the queue never overflowed";
    EXPECT_GE(files, 10) << "too few rotations";
    fs::remove_all(root);
}

TEST(EventLogConcurrency, ThresholdsChangeWhileThreadsLog) {
    FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    vorn_event_init_params params;
    vorn_event_get_default_init_params(&params);
    params.stream = sink;
    ASSERT_EQ(vorn_event_init(&params), 0);

    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int round = 0; !stop; ++round) {
            vorn_event_set_category_level(1 + round % 155, round % 7);
            if (round % 50 == 0) vorn_event_set_filter_mode(round / 50 % 5);
        }
    });
    std::vector<std::thread> loggers;
    for (int t = 0; t < 3; ++t) {
        loggers.emplace_back([t] {
            for (int n = 0; n < 20000; ++n) {
                const int32_t status =
                    vorn_event_log(1 + (n * 7 + t) % 155, n % 5, t, "thread %d message %d", t, n);
                if (status != 0) ADD_FAILURE() << status;
            }
        });
    }
    for (auto& logger : loggers) logger.join();
    stop = true;
    changer.join();
    ASSERT_EQ(vorn_event_shutdown(), 0);

    std::rewind(sink);
    const std::regex any_line(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z  > LVL:\d RC:\s*\d+ +[A-Z0-9_]+ :[ -~]*\n)");
    char buffer[1024];
    size_t lines = 0;
    for (; std::fgets(buffer, sizeof buffer, sink) != nullptr; ++lines) {
        EXPECT_TRUE(std::regex_match(buffer, any_line)) << buffer;
    }
    EXPECT_GT(lines, 0u);
    std::fclose(sink);
}

}  // namespace
