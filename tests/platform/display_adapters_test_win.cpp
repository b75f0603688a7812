// DXGI in the main test prefix, which has no display: the factory cannot be created.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "os/display_adapters.h"
#include "platform/display_adapters.h"

namespace {

TEST(DxgiWithoutDisplay, FactoryFailureThrows) {
    // Wine keeps its display devices under the real HKEY_LOCAL_MACHINE: without the test
    // sandbox's redirection the failure is the missing display's alone.
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr), ERROR_SUCCESS);
    int32_t error = 0;
    EXPECT_EQ(orvix::os::open_display_adapter_list(&error), nullptr);
    EXPECT_EQ(static_cast<uint32_t>(error), 0x887A0004u);  // DXGI_ERROR_UNSUPPORTED
    try {
        orvix::getDisplayAdapterInfo("NVIDIA");
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Failed to create DXGI factory!");
    }
}

}  // namespace
