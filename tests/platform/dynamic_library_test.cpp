// The loader's portable behaviour: the verdict table, refusals before any file is looked
// at, the search order, and loading without a signature check (mode None), with the
// unsigned test module. (The signer's facts are read from real signatures on Windows.)
#include "platform/dynamic_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "loader_test_support.h"
#include "os/library.h"
#include "platform/signature_check.h"
#include "platform/windows_dynamic_library.h"
#include "support/recording_logger.h"

namespace {

using orvix::ValidationMode;
using orvix::WindowsDynamicLibrary;
using orvix_test::RecordingLogger;
using testing::ThrowsMessage;
using Lines = std::vector<std::string>;

constexpr int32_t kHr(uint32_t value) { return static_cast<int32_t>(value); }

// The verdicts the signed test libraries cannot produce (those are in the Windows suite).
TEST(TrustVerdict, EveryStatusHasItsMessageAndCode) {
    const auto verdict = [](uint32_t status, uint32_t lastError) {
        const orvix::TrustVerdict v = orvix::judgeTrust(kHr(status), lastError, "a.dll");
        return std::to_string(v.trusted) + " " + std::to_string(v.code) + " " + v.message;
    };
    EXPECT_EQ(verdict(0, 0), "1 0 ");
    EXPECT_EQ(verdict(0x800B0100, 0x800B0003), "0 -2146762749 The file a.dll is not signed.");
    EXPECT_EQ(verdict(0x800B0100, 0x800B0001), "0 -2146762751 The file a.dll is not signed.");
    // The code is the value read from GetLastError, not the status.
    EXPECT_EQ(verdict(0x800B0100, 5), "0 5 Unknown error encountered while examining file a.dll");
    EXPECT_EQ(verdict(0x800B0111, 0), "0 -2146762479 The file a.dll is explicitly not trusted.");
    EXPECT_EQ(verdict(0x800B0004, 0), "0 -2146762748 The file a.dll is untrusted.");
    EXPECT_EQ(verdict(0x80092026, 0), "0 -2146885594 The file a.dll is implicitly untrusted.");
    EXPECT_EQ(verdict(1, 0), "0 1 The file a.dll is untrusted Error code 1");
}

TEST(SignedLoader, RefusesANullLoggerAnEmptyNameAndABadPatternBeforeLookingForAFile) {
    const std::string file = loader_test::libraryFile("orvix_test_unsigned");
    const std::regex pattern("Advanced Micro Devices");
    Lines lines;
    const auto logger = [&] { return std::make_unique<RecordingLogger>(4, &lines); };
    EXPECT_THAT([&] { WindowsDynamicLibrary(file, nullptr, pattern, false, ValidationMode::None); },
                ThrowsMessage<std::invalid_argument>("WindowsDynamicLibrary object requires a valid logger"));
    EXPECT_THAT([&] { WindowsDynamicLibrary("", logger(), pattern, false, ValidationMode::None); },
                ThrowsMessage<std::logic_error>("Invalid name provided"));
    EXPECT_EQ(orvix::loadSignedLibrary(file, nullptr, "Advanced Micro Devices", true), nullptr);
    EXPECT_EQ(orvix::loadSignedLibrary("", logger(), pattern, true), nullptr);
    // A pattern that does not compile is a refusal too, not an exception.
    EXPECT_EQ(orvix::loadSignedLibrary(file, logger(), "([", true), nullptr);
    EXPECT_TRUE(lines.empty());
}

TEST(SignedLoader, WithoutChecksLoadsFromTheApplicationDirectoryAndFindsExports) {
    loader_test::TestFolder folder;
    Lines lines;
    auto logger = std::make_unique<RecordingLogger>(4, &lines);
    logger->defaultCode = 7;
    const std::string file = loader_test::libraryFile("orvix_test_unsigned");
    const std::string expected = (std::filesystem::path(loader_test::executableDirectory()) / file).string();
    WindowsDynamicLibrary library(file, std::move(logger), std::regex("x"), false, ValidationMode::None);
    EXPECT_EQ(library.getPath(), expected);
    // The real load runs the library's initialisation (the probe load does not: see the
    // refusals, which leave no marker).
    EXPECT_TRUE(folder.initialised());
    ASSERT_EQ(lines, Lines{"3 7 Successfully loaded " + expected});

    void* answer = library.getFunction("orvix_test_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(answer)(), 42);
    std::ostringstream address;
    address << static_cast<const void*>(answer);
    EXPECT_EQ(lines.back(), "4 7 Found function orvix_test_answer @ " + address.str());
    lines.clear();
    EXPECT_EQ(library.getFunction("orvix_test_missing"), nullptr);
    EXPECT_EQ(library.getFunction(""), nullptr);
    // Nothing is built above the logger's threshold.
    WindowsDynamicLibrary quiet(file, std::make_unique<RecordingLogger>(2, &lines), std::regex("x"), false,
                                ValidationMode::None);
    EXPECT_NE(quiet.getFunction("orvix_test_answer"), nullptr);
    EXPECT_TRUE(lines.empty());
}

TEST(SignedLoader, NeverFindsALibraryThatLiesOnlyInTheCurrentDirectory) {
    loader_test::TestFolder folder;
    const std::string planted = loader_test::libraryFile("orvix_test_planted");
    std::filesystem::copy_file(std::filesystem::path(loader_test::executableDirectory()) /
                                   loader_test::libraryFile("orvix_test_unsigned"),
                               folder.path() / planted);
    std::filesystem::current_path(folder.path());
    uint32_t error = 0;
    EXPECT_EQ(orvix::os::library_load(planted.c_str(), 0xA01, &error), nullptr);
    EXPECT_EQ(error, orvix::os::kErrorModNotFound);
    Lines lines;
    EXPECT_THAT([&] { WindowsDynamicLibrary(planted, std::make_unique<RecordingLogger>(4, &lines), std::regex("x"),
                                            false, ValidationMode::None); },
                ThrowsMessage<std::runtime_error>("Failed to load the library"));
    EXPECT_EQ(orvix::loadSignedLibrary(planted, std::make_unique<RecordingLogger>(4, &lines), "", false), nullptr);
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(folder.initialised());
}

}  // namespace
