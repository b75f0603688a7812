// The loader's portable behaviour: the verdict table, the serial number text, refusals
// before any file is looked at, the search order, and loading without a signature check
// (mode None), with the unsigned test module.
#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "loader_test_support.h"
#include "os/library.h"
#include "platform/signature_check.h"
#include "platform/windows_dynamic_library.h"

namespace {

using loader_test::Line;
using loader_test::RecordingLogger;
using orvix::ValidationMode;
using orvix::WindowsDynamicLibrary;

constexpr int32_t kHr(uint32_t value) { return static_cast<int32_t>(value); }

TEST(TrustVerdict, EveryStatusHasItsMessageAndCode) {
    const std::string p = "C:\\x\\a.dll";
    struct Case {
        uint32_t status;
        uint32_t lastError;
        bool trusted;
        int32_t code;
        std::string message;
    };
    const Case cases[] = {
        {0, 0, true, 0, ""},
        {0x800B0100, 0x800B0100, false, kHr(0x800B0100), "The file C:\\x\\a.dll is not signed."},
        {0x800B0100, 0x800B0003, false, kHr(0x800B0003), "The file C:\\x\\a.dll is not signed."},
        {0x800B0100, 0x800B0001, false, kHr(0x800B0001), "The file C:\\x\\a.dll is not signed."},
        // The code is the value read from GetLastError, not the status.
        {0x800B0100, 5, false, 5, "Unknown error encountered while examining file C:\\x\\a.dll"},
        {0x800B0100, 0, false, 0, "Unknown error encountered while examining file C:\\x\\a.dll"},
        {0x800B0111, 0, false, kHr(0x800B0111), "The file C:\\x\\a.dll is explicitly not trusted."},
        {0x800B0004, 0, false, kHr(0x800B0004), "The file C:\\x\\a.dll is untrusted."},
        {0x80092026, 0, false, kHr(0x80092026), "The file C:\\x\\a.dll is implicitly untrusted."},
        {0x80096010, 0, false, kHr(0x80096010), "The file C:\\x\\a.dll is untrusted Error code -2146869232"},
        {0x800B0109, 0, false, kHr(0x800B0109), "The file C:\\x\\a.dll is untrusted Error code -2146762487"},
        {1, 0, false, 1, "The file C:\\x\\a.dll is untrusted Error code 1"},
    };
    for (const Case& c : cases) {
        const orvix::TrustVerdict v = orvix::judgeTrust(kHr(c.status), c.lastError, p);
        EXPECT_EQ(v.trusted, c.trusted) << std::hex << c.status;
        EXPECT_EQ(v.code, c.code) << std::hex << c.status;
        EXPECT_EQ(v.message, c.message) << std::hex << c.status;
    }
}

TEST(SignatureInfo, SerialNumberShowsTheLastStoredByteFirst) {
    EXPECT_EQ(orvix::serialNumberText({0x01, 0xAB}), "AB 01 ");
    EXPECT_EQ(orvix::serialNumberText({0x5F, 0x4E, 0x3D, 0x2C, 0x1B, 0x0A}), "0A 1B 2C 3D 4E 5F ");
    EXPECT_EQ(orvix::serialNumberText({0x00}), "00 ");
    EXPECT_EQ(orvix::serialNumberText({}), "");
}

TEST(SignedLoader, RefusesANullLoggerAndAnEmptyNameBeforeLookingForAFile) {
    const std::regex pattern("Advanced Micro Devices");
    try {
        WindowsDynamicLibrary library(loader_test::libraryFile("orvix_test_unsigned"), nullptr, pattern, false,
                                      ValidationMode::None);
        FAIL() << "constructed without a logger";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "WindowsDynamicLibrary object requires a valid logger");
    }
    EXPECT_EQ(orvix::loadSignedLibrary(loader_test::libraryFile("orvix_test_unsigned"), nullptr,
                                       "Advanced Micro Devices", true),
              nullptr);

    auto lines = std::make_shared<std::vector<Line>>();
    try {
        WindowsDynamicLibrary library("", std::make_unique<RecordingLogger>(lines), pattern, false,
                                      ValidationMode::None);
        FAIL() << "constructed with an empty name";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Invalid name provided");
    }
    EXPECT_EQ(orvix::loadSignedLibrary("", std::make_unique<RecordingLogger>(lines), pattern, true), nullptr);
    // A pattern that does not compile is a refusal too, not an exception.
    EXPECT_EQ(orvix::loadSignedLibrary(loader_test::libraryFile("orvix_test_unsigned"),
                                       std::make_unique<RecordingLogger>(lines), "([", true),
              nullptr);
    EXPECT_TRUE(lines->empty());
}

TEST(SignedLoader, WithoutChecksLoadsFromTheApplicationDirectoryAndFindsExports) {
    loader_test::TestFolder folder;
    auto lines = std::make_shared<std::vector<Line>>();
    auto logger = std::make_unique<RecordingLogger>(lines);
    logger->defaultCode = 7;
    const std::string file = loader_test::libraryFile("orvix_test_unsigned");
    const std::string expected = (std::filesystem::path(loader_test::executableDirectory()) / file).string();

    WindowsDynamicLibrary library(file, std::move(logger), std::regex("x"), false, ValidationMode::None);
    EXPECT_EQ(library.getPath(), expected);
    // The real load runs the library's initialisation (the probe load does not: see the
    // refusals below, which leave no marker).
    EXPECT_TRUE(folder.initialised());
    ASSERT_EQ(*lines, (std::vector<Line>{{"Successfully loaded " + expected, 3, 7}}));

    void* answer = library.getFunction("orvix_test_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(answer)(), 42);
    std::ostringstream address;
    address << static_cast<const void*>(answer);
    EXPECT_EQ(lines->back(), (Line{"Found function orvix_test_answer @ " + address.str(), 4, 7}));

    lines->clear();
    EXPECT_EQ(library.getFunction("orvix_test_missing"), nullptr);
    EXPECT_EQ(library.getFunction(""), nullptr);
    EXPECT_TRUE(lines->empty());
}

TEST(SignedLoader, BuildsNoMessageAboveTheLoggersThreshold) {
    loader_test::TestFolder folder;
    auto lines = std::make_shared<std::vector<Line>>();
    WindowsDynamicLibrary library(loader_test::libraryFile("orvix_test_unsigned"),
                                  std::make_unique<RecordingLogger>(lines, 2), std::regex("x"), false,
                                  ValidationMode::None);
    EXPECT_NE(library.getFunction("orvix_test_answer"), nullptr);
    EXPECT_TRUE(lines->empty());
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

    auto lines = std::make_shared<std::vector<Line>>();
    try {
        WindowsDynamicLibrary library(planted, std::make_unique<RecordingLogger>(lines), std::regex("x"), false,
                                      ValidationMode::None);
        FAIL() << "loaded " << library.getPath();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to load the library");
    }
    EXPECT_EQ(orvix::loadSignedLibrary(planted, std::make_unique<RecordingLogger>(lines), "", false), nullptr);
    EXPECT_TRUE(lines->empty());
    EXPECT_FALSE(folder.initialised());
}

}  // namespace
