// Without Authenticode the loader refuses every library that asks for a signature check,
// with one ERROR line, and runs none of its code.
#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "loader_test_support.h"
#include "platform/signature_check.h"

namespace {

using loader_test::Line;
using loader_test::RecordingLogger;

TEST(SignedLoaderPosix, RefusesEverySignatureCheckWithOneLine) {
    loader_test::TestFolder folder;
    EXPECT_FALSE(orvix::signatureVerificationAvailable());
    const std::string file = loader_test::libraryFile("orvix_test_unsigned");
    const std::string path = (std::filesystem::path(loader_test::executableDirectory()) / file).string();
    for (bool validateSubject : {true, false}) {
        auto lines = std::make_shared<std::vector<Line>>();
        EXPECT_EQ(orvix::loadSignedLibrary(file, std::make_unique<RecordingLogger>(lines), ".*", validateSubject),
                  nullptr);
        EXPECT_EQ(*lines, (std::vector<Line>{
                              {"Signature verification is not available on this platform: " + path + " is not loaded.",
                               1, 50}}))
            << "validateSubject " << validateSubject;
    }
    EXPECT_FALSE(folder.initialised());
}

}  // namespace
