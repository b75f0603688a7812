// On POSIX the loader refuses every library, so there is never an ADL instance, even
// with a library of the right name beside the executable; each call asks again.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/adl.h"
#include "support/recording_logger.h"

namespace {

std::string besideExecutable(const std::string& name) {
    char buffer[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/') + 1) + name;
}

TEST(AdlPosix, TheLoaderRefusesTheLibraryAndEveryCallTriesAgain) {
    const std::string library = besideExecutable("atiadlxx.dll");
    ASSERT_EQ(access(library.c_str(), R_OK), 0) << library << " is built with the tests";
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<std::string> lines;
        try {
            orvix::getAdlInstance(std::make_unique<orvix_test::RecordingLogger>(4, &lines));
            FAIL() << "an ADL instance on POSIX";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), make_error_code(orvix::AdlInternalError::LoadFailed));
            EXPECT_NE(std::string(e.what()).find("failed to create ADL"), std::string::npos);
        }
        EXPECT_EQ(lines, std::vector<std::string>{"1 50 Signature verification is not available on this platform: " +
                                                  library + " is not loaded."})
            << attempt;
    }
    EXPECT_EQ(dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

}  // namespace
