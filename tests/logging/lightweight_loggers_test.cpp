#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logging/nop_logger.h"
#include "logging/terminal_logger.h"

namespace {

using orvix::logging::LoggerBase;
using orvix::logging::NOPLogger;
using orvix::logging::TerminalLogger;

// What body printed: standard output, then standard error.
template <typename Body>
std::pair<std::string, std::string> capture(Body body) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    body();
    std::string err = testing::internal::GetCapturedStderr();
    return {testing::internal::GetCapturedStdout(), err};
}

TEST(TerminalLogger, ThresholdStreamsLevelNamesAndTheLineFormat) {
    TerminalLogger root(5, 2, false);
    root.defaultCode = -7;
    const auto [out, err] = capture([&] {
        root.write("too detailed", 3, 0);
        root.write(std::string("boom"), 1, -5);
        root.write("hello", 2, 0);
        root.write("worse", 0, 123456);
        root.maxLevel = 9;
        root.write(std::string("t"), 4, int32_t{42});
        root.write("u", 9, 0);
        root.log("via the basic interface", 2);
    });
    EXPECT_EQ(err,
              "0001 *> [Category   5,     ERROR   ]      -5 : boom\n"
              "0002 *> [Category   5,     CRITICAL]    123456 : worse\n");
    EXPECT_EQ(out,
              "0001 *> [Category   5,     INFO    ]       0 : hello\n"
              "0002 *> [Category   5,     TRACE   ]      42 : t\n"
              "0003 *> [Category   5,     UNKNOWN ]       0 : u\n"
              "0004 *> [Category   5,     INFO    ]      -7 : via the basic interface\n");
}

// Clones print through the root: its threshold, its plain flag and its two counters.
TEST(TerminalLogger, ClonesShareTheRootsCountersThresholdAndPlainFlag) {
    TerminalLogger root(3, 2, false);
    std::unique_ptr<LoggerBase> seven = root.clone(7);
    std::unique_ptr<LoggerBase> same = root.clone();
    std::unique_ptr<LoggerBase> grandchild = seven->clone(LoggerBase::kKeepCategory);
    EXPECT_EQ(seven->maxLevel, 4u);
    auto [out, err] = capture([&] {
        root.write("a", 2, 0);
        seven->write("b", 2, 0);
        same->write("c", 1, 0);
        grandchild->write("d", 2, 0);
        seven->write("not printed", 3, 0);
        root.plain = true;
        grandchild->write("plain", 2, 0);
        same->write("bad", 0, 9);
    });
    EXPECT_EQ(out,
              "0001 *> [Category   3,     INFO    ]       0 : a\n"
              "0002 *> [Category   7,     INFO    ]       0 : b\n"
              "0003 *> [Category   7,     INFO    ]       0 : d\n"
              "plain\n");
    EXPECT_EQ(err, "0001 *> [Category   3,     ERROR   ]       0 : c\nbad\n");
    root.plain = false;
    std::tie(out, err) = capture([&] { same->write("counted", 2, 0); });
    EXPECT_EQ(out, "0005 *> [Category   3,     INFO    ]       0 : counted\n");
}

TEST(TerminalLogger, ConcurrentWritersNeverInterleave) {
    TerminalLogger root(1, 4, false);
    std::atomic<bool> go{false};  // all start at once
    const auto [out, err] = capture([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                std::unique_ptr<LoggerBase> mine = root.clone(static_cast<uint32_t>(t));
                while (!go.load()) std::this_thread::yield();
                for (int i = 0; i < 1000; ++i)
                    mine->write("payload of some length " + std::to_string(i), 2, t);
            });
        }
        go = true;
        for (auto& thread : threads) thread.join();
    });
    std::istringstream lines(out);
    // Numbering and printing are one step: the lines come out numbered 1 to 4000 in order.
    int expected = 1;
    for (std::string line; std::getline(lines, line); ++expected) {
        ASSERT_EQ(std::stoi(line.substr(0, 4)), expected) << line;
        EXPECT_NE(line.find(" : payload of some length "), std::string::npos) << line;
    }
    EXPECT_EQ(expected, 4001);
}

// The formatter joins pieces with single blanks and starts afresh each time.
TEST(StringFormatter, JoinsWithBlanksAndStartsAfresh) {
    NOPLogger nop;
    EXPECT_EQ(nop.formatter->join("Could not load", std::string("orvix.x"), 42, -1.5),
              "Could not load orvix.x 42 -1.5");
    EXPECT_EQ(nop.formatter->join("alone"), "alone") << "the first join left nothing behind";
}

}  // namespace
