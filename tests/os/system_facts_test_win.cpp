// The Windows system facts against other Win32 sources of the same fact (under Wine as
// on Windows): the session belongs to the user the process runs as, a local account's
// domain is the computer's name, and the host name begins with the DNS host name.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "os/system_facts.h"

namespace {

TEST(WindowsSystemFacts, SessionUserAndDomainAndHostName) {
    // Wine keeps the computer name under HKEY_LOCAL_MACHINE, which the test support sends
    // to a private key: this process reads the real one again.
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr), ERROR_SUCCESS);
    const orvix::os::SystemFacts& facts = orvix::os::system_facts();
    wchar_t name[256];
    DWORD size = 256;
    std::u16string user, domain, host;
    ASSERT_TRUE(GetUserNameW(name, &size) && facts.session_user(&user, nullptr));
    EXPECT_EQ(user, reinterpret_cast<const char16_t*>(name));
    size = 256;
    ASSERT_TRUE(GetComputerNameW(name, &size) && facts.session_domain(&domain, nullptr));
    EXPECT_EQ(domain, reinterpret_cast<const char16_t*>(name));
    size = 256;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsHostname, name, &size) && facts.host_name(&host, nullptr));
    EXPECT_EQ(host.substr(0, size), reinterpret_cast<const char16_t*>(name));
    EXPECT_TRUE(host.size() == size || host[size] == u'.') << std::string(host.begin(), host.end());
}

}  // namespace
