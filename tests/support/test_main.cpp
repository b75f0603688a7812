// Shared main of the test binaries. Process-wide set-up (such as the registry sandbox
// under Windows) registers itself as a GoogleTest environment from tests/support.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
