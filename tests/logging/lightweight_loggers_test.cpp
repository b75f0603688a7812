#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
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

struct Output {
    std::string out;
    std::string err;
};

template <typename Body>
Output capture(Body body) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    body();
    Output o;
    o.err = testing::internal::GetCapturedStderr();
    o.out = testing::internal::GetCapturedStdout();
    return o;
}

TEST(TerminalLogger, ThresholdStreamsAndTheLineFormat) {
    TerminalLogger root(5, 2, false);
    EXPECT_EQ(root.maxLevel, 2u);
    EXPECT_EQ(root.defaultCode, 0);
    const Output o = capture([&] {
        root.write("too detailed", 3, 0);
        root.write(std::string("boom"), 1, -5);
        root.write("hello", 2, 0);
        root.write("worse", 0, 123456);
        root.write(std::string("again"), 2, int32_t{42});
    });
    EXPECT_EQ(o.err,
              "0001 *> [Category   5,     ERROR   ]      -5 : boom\n"
              "0002 *> [Category   5,     CRITICAL]    123456 : worse\n");
    EXPECT_EQ(o.out,
              "0001 *> [Category   5,     INFO    ]       0 : hello\n"
              "0002 *> [Category   5,     INFO    ]      42 : again\n");
}

TEST(TerminalLogger, LevelNamesAndWideFields) {
    TerminalLogger root(1234, 9, false);
    root.defaultCode = -7;
    const Output o = capture([&] {
        root.write("d", 3, 0);
        root.write("t", 4, 0);
        root.write("u", 9, 0);
        root.log("via the basic interface", 2);
    });
    EXPECT_EQ(o.out,
              "0001 *> [Category 1234,     DEBUG   ]       0 : d\n"
              "0002 *> [Category 1234,     TRACE   ]       0 : t\n"
              "0003 *> [Category 1234,     UNKNOWN ]       0 : u\n"
              "0004 *> [Category 1234,     INFO    ]      -7 : via the basic interface\n");
    EXPECT_TRUE(root.isEnabled(9));
    EXPECT_FALSE(root.isEnabled(10));
}

TEST(TerminalLogger, ClonesShareTheRootsCountersAndThreshold) {
    TerminalLogger root(3, 2, false);
    std::unique_ptr<LoggerBase> seven = root.clone(7);
    std::unique_ptr<LoggerBase> same = root.clone(LoggerBase::kKeepCategory);
    std::unique_ptr<LoggerBase> plain_clone = root.clone();
    std::unique_ptr<LoggerBase> grandchild = seven->clone(LoggerBase::kKeepCategory);
    EXPECT_EQ(seven->maxLevel, 4u) << "clones answer 4; the root decides what prints";
    EXPECT_NE(seven->formatter, root.formatter);
    const Output o = capture([&] {
        root.write("a", 2, 0);
        seven->write("b", 2, 0);
        same->write("c", 2, 0);
        plain_clone->write("d", 1, 0);
        grandchild->write("e", 2, 0);
        seven->write("not printed", 3, 0);
    });
    EXPECT_EQ(o.out,
              "0001 *> [Category   3,     INFO    ]       0 : a\n"
              "0002 *> [Category   7,     INFO    ]       0 : b\n"
              "0003 *> [Category   3,     INFO    ]       0 : c\n"
              "0004 *> [Category   7,     INFO    ]       0 : e\n");
    EXPECT_EQ(o.err, "0001 *> [Category   3,     ERROR   ]       0 : d\n");
}

TEST(TerminalLogger, PlainLinesAreStillCounted) {
    TerminalLogger root(1, 4, true);
    std::unique_ptr<LoggerBase> clone = root.clone(2);
    Output o = capture([&] {
        root.write("first", 2, 0);
        clone->write("second", 3, 9);
        clone->write("bad", 0, 9);
    });
    EXPECT_EQ(o.out, "first\nsecond\n");
    EXPECT_EQ(o.err, "bad\n");
    root.plain = false;
    o = capture([&] { clone->write("third", 2, 0); });
    EXPECT_EQ(o.out, "0003 *> [Category   2,     INFO    ]       0 : third\n");
}

TEST(TerminalLogger, ConcurrentWritersNeverInterleave) {
    TerminalLogger root(1, 4, false);
    const int kThreads = 4;
    const int kLines = 200;
    const Output o = capture([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                std::unique_ptr<LoggerBase> mine = root.clone(static_cast<uint32_t>(t));
                for (int i = 0; i < kLines; ++i) mine->write("payload of some length " + std::to_string(i), 2, t);
            });
        }
        for (auto& thread : threads) thread.join();
    });
    std::istringstream lines(o.out);
    std::string line;
    int count = 0;
    std::set<int> numbers;
    while (std::getline(lines, line)) {
        ++count;
        ASSERT_GE(line.size(), 4u);
        numbers.insert(std::stoi(line.substr(0, 4)));
        EXPECT_NE(line.find("]       "), std::string::npos) << line;
        EXPECT_NE(line.find(" : payload of some length "), std::string::npos) << line;
    }
    EXPECT_EQ(count, kThreads * kLines);
    ASSERT_EQ(numbers.size(), static_cast<size_t>(kThreads * kLines));
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), kThreads * kLines);
}

TEST(NOPLogger, PrintsNothingAtAnyLevelNorDoItsClones) {
    NOPLogger nop;
    EXPECT_EQ(nop.maxLevel, 4u);
    EXPECT_EQ(nop.defaultCode, 0);
    std::unique_ptr<LoggerBase> clone = nop.clone(9);
    ASSERT_NE(dynamic_cast<NOPLogger*>(clone.get()), nullptr);
    EXPECT_EQ(clone->maxLevel, 4u);
    const Output o = capture([&] {
        for (uint32_t level = 0; level <= 5; ++level) {
            nop.write("x", level, 1);
            clone->write(std::string("y"), level, 1);
            nop.log("z", level);
        }
    });
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST(StringFormatter, JoinsPiecesWithSingleBlanksAndStartsAfresh) {
    NOPLogger logger;
    int object = 0;
    const void* address = &object;
    std::ostringstream expected_address;
    expected_address << address;
    EXPECT_EQ(logger.formatter->join("Could not load", std::string("orvix.x"), 42, -1.5),
              "Could not load orvix.x 42 -1.5");
    EXPECT_EQ(logger.formatter->join("at", address), "at " + expected_address.str());
    EXPECT_EQ(logger.formatter->join("alone"), "alone");
    {
        std::lock_guard<std::mutex> lock(logger.formatter->mutex);
        logger.formatter->stream << "by " << 2;
        EXPECT_EQ(logger.formatter->take(), "by 2");
        EXPECT_EQ(logger.formatter->take(), "");
    }
    EXPECT_NE(NOPLogger().formatter, logger.formatter);
}

}  // namespace
