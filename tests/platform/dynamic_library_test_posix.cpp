// Without Authenticode the loader refuses every library that asks for a signature check,
// with one ERROR line, and runs none of its code; so there is never an ADL instance, even
// with a library of the right name beside the executable, and each call asks again.
#include <gtest/gtest.h>

#include "loader_test_support.h"
#include "platform/adl.h"
#include "platform/dynamic_library.h"
#include "platform/signature_check.h"
#include "support/recording_logger.h"

namespace {

using Lines = std::vector<std::string>;

std::string refusal(const std::string& path) {
    return "1 50 Signature verification is not available on this platform: " + path + " is not loaded.";
}

TEST(SignedLoaderPosix, RefusesEverySignatureCheckWithOneLine) {
    loader_test::TestFolder folder;
    EXPECT_FALSE(orvix::signatureVerificationAvailable());
    const std::string file = loader_test::libraryFile("orvix_test_unsigned");
    for (bool validateSubject : {true, false}) {
        Lines lines;
        auto logger = std::make_unique<orvix_test::RecordingLogger>(4, &lines);
        EXPECT_EQ(orvix::loadSignedLibrary(file, std::move(logger), ".*", validateSubject), nullptr);
        EXPECT_EQ(lines, Lines{refusal(loader_test::executableDirectory() + "/" + file)}) << validateSubject;
    }
    EXPECT_FALSE(folder.initialised());
}

TEST(AdlPosix, TheLoaderRefusesTheLibraryAndEveryCallTriesAgain) {
    const std::string library = loader_test::executableDirectory() + "/atiadlxx.dll";
    for (int attempt = 0; attempt < 2; ++attempt) {
        Lines lines;
        try {
            orvix::getAdlInstance(std::make_unique<orvix_test::RecordingLogger>(4, &lines));
            FAIL() << "an ADL instance on POSIX";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), make_error_code(orvix::AdlInternalError::LoadFailed));
        }
        EXPECT_EQ(lines, Lines{refusal(library)}) << attempt;  // so the library is built beside the tests
    }
}

}  // namespace
