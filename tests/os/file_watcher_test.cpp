#include "os/file_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace {

using orvix::os::FileWatcher;
namespace fs = std::filesystem;

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

template <class Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 2500 && !condition(); ++i) pause(2);
    return condition();
}

void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class FileWatcherTest : public testing::Test {
  protected:
    void SetUp() override { fs::create_directories(folder_); }
    void TearDown() override { fs::remove_all(folder_, ignored_); }
    fs::path folder_ = fs::temp_directory_path() / ("orvix_watch_" + std::to_string(std::random_device()()));
    fs::path file_ = folder_ / "watched.conf";
    std::atomic<int> calls_{0};
    std::error_code ignored_;
};

// Writes, replacement by a rename, deletion and re-creation reach the file manager: its
// end-to-end test follows them. Here, what it cannot see.
TEST_F(FileWatcherTest, OtherNamesAreIgnoredAndABurstOfWritesIsNotACallPerWrite) {
    FileWatcher watcher([this] { ++calls_; });
    EXPECT_FALSE(watcher.watch((folder_ / "missing" / "watched.conf").u16string())) << "no folder, no watch";
    ASSERT_TRUE(watcher.watch(file_.u16string()));
    write(folder_ / "other.txt", "x");
    fs::remove(folder_ / "other.txt");
    pause(300);
    EXPECT_EQ(calls_.load(), 0);
    for (int i = 0; i < 20; ++i) write(file_, std::string(static_cast<size_t>(i), 'x'));
    EXPECT_TRUE(eventually([&] { return calls_.load() > 0; }));
    pause(300);
    EXPECT_LT(calls_.load(), 20);
}

TEST_F(FileWatcherTest, DestructionWaitsForARunningCallback) {
    std::atomic<bool> started{false}, finished{false};
    auto watcher = std::make_unique<FileWatcher>([&] {
        started = true;
        pause(300);
        finished = true;
    });
    ASSERT_TRUE(watcher->watch(file_.u16string()));
    write(file_, "x");
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    watcher.reset();
    EXPECT_TRUE(finished.load());
}

}  // namespace
