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
#include <map>
#include <regex>
#include <sstream>
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

namespace orvix_stress {
void use_program_data(const std::string& folder);
}

namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 4;
constexpr int kPerThread = 5000;

// Every rotor request moves the simulated clock on by 100 ms, so the file rotates after
// about 600 requests; the UTC time follows the same clock, so every file gets its own name.
std::atomic<uint64_t> g_tick{0};
uint64_t advancing_tick() { return g_tick.fetch_add(100); }

void simulated_utc(vorn_event_utc_time* now) {
    using namespace std::chrono;
    const sys_time<milliseconds> tp{milliseconds{int64_t{1709967904000} + static_cast<int64_t>(g_tick.load())}};
    const auto day = floor<days>(tp);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> t{tp - day};
    *now = {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(t.hours().count()),
            static_cast<int>(t.minutes().count()), static_cast<int>(t.seconds().count()),
            static_cast<int>(t.subseconds().count())};
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
        if (disk->writes % 997 == 0) {
            disk->hold_for = 700;
        } else if (disk->writes % 97 == 0) {
            disk->hold_for = 20;
        } else {
            return 0;
        }
        return orvix::os::kErrorIoPending;
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

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

size_t count_txt(const fs::path& folder) {
    size_t n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) n += entry.path().extension() == ".txt";
    return n;
}

TEST(EventLogStress, EveryMessageOnceOrCountedAsDropped) {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%X", static_cast<unsigned>(orvix::os::current_process_id()));
    const fs::path root = fs::temp_directory_path() / (std::string("orvix-stress-") + pid);
    fs::remove_all(root);
    const fs::path program_data = root / "pd";
    fs::create_directories(program_data);
    orvix_stress::use_program_data(program_data.string());
    const fs::path log_folder = program_data / "Quillon" / "OrvixAgent" / "logs";
    const fs::path archive_folder = program_data / "Quillon" / "logs" / "ROTATE";

    orvix::os::RegKey key = 0;
    ASSERT_EQ(orvix::os::registry_create_key(orvix::os::kHkeyLocalMachine, u"SOFTWARE\\Quillon\\OrvixAgent",
                                             orvix::os::kKeyAllAccess, &key),
              0);
    const std::u16string one = u"1";
    ASSERT_EQ(orvix::os::registry_set_value(key, u"OrvixLogRotationTime", orvix::os::kRegSz, one.c_str(), 4), 0);
    orvix::os::registry_close_key(key);

    static FlakyDisk disk;
    vorn_event_set_time_source(simulated_utc);
    vorn_log_rotor_set_tick_source(advancing_tick);
    vorn_event_set_write_ops(&disk.ops);
    ASSERT_EQ(vorn_event_start_logging("stress", 1, 1, 0, 1), 0);

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int n = 0; n < kPerThread; ++n) vorn_event_log(VORN_EVENT_CAT_COMMON, 2, 0, "T%d N%05d", t, n);
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(vorn_event_shutdown(), 0);

    // Shutdown waits for the last move only; earlier moves may still be under way.
    for (int i = 0; i < 3000 && count_txt(log_folder) > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(count_txt(log_folder), 0u);

    const std::regex message_line(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 00000000-0000-0000-0000-000000000000 > LVL:2 RC:   0          COMMON :T(\d) N(\d{5})\r\n)");
    const std::regex notice_line(R"(Event logger dropped +(\d+) log messages\.\r\n)");
    std::vector<std::vector<int>> seen(kThreads, std::vector<int>(kPerThread, 0));
    long dropped = 0;
    size_t files = 0;
    size_t bad = 0;
    for (const auto& entry : fs::directory_iterator(archive_folder)) {
        ++files;
        const std::string text = read_all(entry.path());
        std::vector<int> last(kThreads, -1);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end + 1;
            const std::string line = text.substr(start, end - start);
            start = end;
            std::smatch m;
            if (std::regex_match(line, m, message_line)) {
                const int t = std::stoi(m[1]);
                const int n = std::stoi(m[2]);
                ASSERT_LT(t, kThreads);
                ASSERT_LT(n, kPerThread);
                ++seen[t][n];
                EXPECT_GT(n, last[t]) << "out of order in " << entry.path();
                last[t] = n;
            } else if (std::regex_match(line, m, notice_line)) {
                dropped += std::stol(m[1]);
            } else if (++bad <= 5) {
                ADD_FAILURE() << "torn or foreign line in " << entry.path() << ": " << line;
            }
        }
    }
    long missing = 0;
    for (const auto& thread : seen) {
        for (int count : thread) {
            EXPECT_LE(count, 1);
            missing += count == 0;
        }
    }
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(missing, dropped);
    EXPECT_GT(dropped, 0) << "the queue never overflowed";
    EXPECT_GE(files, 10u) << "too few rotations";
    std::printf("%zu files, %ld of %d messages dropped and reported\n", files, dropped, kThreads * kPerThread);
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
                const int32_t status = vorn_event_log(1 + (n * 7 + t) % 155, n % 5, t, "thread %d message %d", t, n);
                if (status != 0) ADD_FAILURE() << status;
            }
        });
    }
    for (auto& logger : loggers) logger.join();
    stop = true;
    changer.join();
    ASSERT_EQ(vorn_event_shutdown(), 0);

    std::fflush(sink);
    std::rewind(sink);
    const std::regex any_line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z  > LVL:\d RC:\s*\d+ +[A-Z0-9_]+ :[ -~]*)");
    char buffer[1024];
    size_t lines = 0;
    while (std::fgets(buffer, sizeof buffer, sink) != nullptr) {
        std::string line(buffer);
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\n');
        line.pop_back();
        EXPECT_TRUE(std::regex_match(line, any_line)) << line;
        ++lines;
    }
    EXPECT_GT(lines, 0u);
    std::fclose(sink);
}

}  // namespace
