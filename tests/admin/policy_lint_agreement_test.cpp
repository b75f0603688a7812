// The lint restates the manager's rules to explain them; this keeps the two from drifting
// apart. The console tool's fixture of pitfalls goes into the registry of the seam, the
// lint says what the agent will store, and the store, started over the same registry,
// must hold exactly that for every setting the lint says is stored.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "admin/policy_lint.h"
#include "config/environment_store.h"
#include "config/registry_export_file.h"
#include "config/registry_interface.h"
#include "config/sources_test_support.h"

namespace {

using orvix::admin::PolicyVerdict;

TEST(PolicyLintAgreement, EveryValueTheLintSaysIsStoredIsWhatTheStoreHolds) {
    std::ifstream in(ORVIX_TOOL_FIXTURES "/policies-problems.reg", std::ios::binary);
    ASSERT_TRUE(in);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const orvix::config::RegistryFile file = orvix::config::parse_registry_file(bytes);
    ASSERT_TRUE(file.problems.empty());
    ASSERT_TRUE(orvix::config::apply_registry_file(file).problems.empty());

    orvix::config::internal::RegistryInterfaceImpl registry;
    const orvix::admin::PolicyReport report = orvix::admin::check_policy_keys(registry);

    sources_test::LogCapture::start();
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);
    int compared = 0, kinds = 0;
    bool seen[16] = {};
    for (const auto& key : report.keys) {
        for (const auto& v : key.values) {
            if (!v.stored || v.verdict == PolicyVerdict::kOverridden) continue;
            std::string expected = v.stored_value;
            if (expected.size() >= 2 && expected.front() == '"') expected = expected.substr(1, expected.size() - 2);
            EXPECT_EQ(sources_test::stored(v.setting.c_str()), expected)
                << v.name << " in " << key.label << ": " << v.explanation;
            ++compared;
            if (!seen[static_cast<int>(v.verdict)]) ++kinds;
            seen[static_cast<int>(v.verdict)] = true;
        }
    }
    // The fixture holds values stored as written, clamped, cut, trimmed and of the wrong type.
    EXPECT_GE(compared, 8);
    EXPECT_GE(kinds, 4);
}

}  // namespace
