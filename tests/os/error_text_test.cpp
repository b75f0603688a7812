// The system's words for the seam's error codes: one line, no closing full stop, and
// never an empty text.
#include "os/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ErrorText, OneLineWithoutLineEndOrFullStop) {
    EXPECT_EQ(orvix::os::one_line_reason("There is not enough space on the disk.\r\n"),
              "There is not enough space on the disk");
    EXPECT_EQ(orvix::os::one_line_reason("First line\nsecond line."), "First line");
    EXPECT_EQ(orvix::os::one_line_reason("Trailing dots... \t"), "Trailing dots");
    EXPECT_EQ(orvix::os::one_line_reason("\r\n"), "");
}

TEST(ErrorText, DiskFullInTheSystemsWords) {
    const std::string text = orvix::os::error_text(112);  // ERROR_DISK_FULL
#ifdef _WIN32
    // FormatMessage's text, whatever the system's language; never the bare number.
    EXPECT_NE(text, "error 112");
    EXPECT_FALSE(text.empty());
#else
    EXPECT_EQ(text, "No space left on device");
#endif
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(text.back(), '.');
}

#ifndef _WIN32
// An errno that Windows has no code for travels whole and keeps its own text; a code
// that means nothing here is named by its number.
TEST(ErrorText, ErrnoValuesKeepTheirText) {
    EXPECT_EQ(orvix::os::error_text(orvix::os::kErrnoCode | EDQUOT), "Disk quota exceeded");
    EXPECT_EQ(orvix::os::error_text(223), "File too large");
    EXPECT_EQ(orvix::os::error_text(5), "Permission denied");
    EXPECT_EQ(orvix::os::error_text(1234567), "error 1234567");
}
#endif

}  // namespace
