// Round trip through the registry: for every policy the templates offer (which the template
// check shows the generated files match), the value Group Policy writes for it goes into the
// registry of the seam (in-process natively, the real one sandboxed under Wine); then the
// store starts, and each setting must hold what the policy's explanation promised.
#include <gtest/gtest.h>

#include <cctype>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "admin/admin_templates.h"
#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/settings.h"
#include "config/sources_test_support.h"
#include "eventlog/event_log.h"

namespace {

using orvix::admin::TemplateSetting;
using sources_test::LogCapture;

std::u16string wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// What the explanation promises for a number outside the policy's range.
bool promised_for_out_of_range(const TemplateSetting& s, uint32_t written, uint32_t* expected) {
    const std::string& e = s.description;
    const size_t low = e.find("keeps only its low ");
    const auto low_bits = [&] { return (1u << std::stoi(e.substr(low + 19))) - 1; };
    const size_t clamped = e.find("is clamped to ");
    if (e.find("enforced: the agent clamps a number outside it to the nearest bound") != std::string::npos) {
        *expected = written < s.min_value ? s.min_value : s.max_value;
    } else if (clamped != std::string::npos) {
        const uint32_t bound = static_cast<uint32_t>(std::stoul(e.substr(clamped + 14)));
        *expected = (written > bound ? bound : written) & low_bits();
    } else if (low != std::string::npos) {
        *expected = written & low_bits();
    } else if (e.find("A larger number sets 3.") != std::string::npos) {
        *expected = 3;
    } else if (e.find("A number above 30 waits 30 seconds.") != std::string::npos) {
        *expected = 30;
    } else {
        return false;
    }
    return true;
}

std::mutex g_mutex;
std::vector<uint32_t> g_delays;  // the start delays asked for, in milliseconds

enum Round { kMinimum, kMaximum, kAboveMaximum, kBelowMinimum };
const char* const kRoundNames[] = {"Minimum", "Maximum", "AboveMaximum", "BelowMinimum"};
// (true for the admin policy key, false for the over-rideable defaults key; the round)
class RoundTrip : public testing::TestWithParam<std::tuple<bool, Round>> {};

TEST_P(RoundTrip, EverySettingHoldsWhatItsPolicyPromised) {
    const auto [admin, round] = GetParam();
    const std::u16string key =
        wide(admin ? cVORN_MGMT_CFG_MGR_REG::kAdminPoliciesKey : cVORN_MGMT_CFG_MGR_REG::kAdminDefaultsKey);
    std::vector<std::pair<TemplateSetting, std::string>> expected;  // as the store shows it
    for (const TemplateSetting& s : orvix::admin::template_settings()) {
        if (!admin && !s.in_defaults) continue;
        if (s.kind == orvix::admin::PolicyKind::Text) {
            // Empty, the longest, and one written with white space at both ends.
            std::string text;
            std::u16string written;
            if (round == kMaximum) {
                for (uint32_t i = 0; i < s.max_length; ++i) text.push_back(static_cast<char>('a' + i % 26));
                written = wide(text);
            } else if (round != kMinimum) {
                ASSERT_NE(s.description.find("white space at either end is removed"), std::string::npos);
                text = s.value_name + " value";
                written = u"  " + wide(text) + u" \t";
            }
            ASSERT_EQ(sources_test::set_sz(key, wide(s.value_name), written), 0) << s.value_name;
            expected.emplace_back(s, text);
            continue;
        }
        uint32_t value = round == kMinimum || round == kBelowMinimum ? s.min_value : s.max_value;
        uint32_t stored = value;
        if (round == kAboveMaximum || round == kBelowMinimum) {
            if (value == (round == kAboveMaximum ? 0xFFFFFFFFu : 0u)) continue;  // no DWORD lies beyond
            value = round == kAboveMaximum ? value + 1 : value - 1;
            ASSERT_TRUE(promised_for_out_of_range(s, value, &stored))
                << s.value_name << " promises nothing for " << value << ":\n"
                << s.description;
        }
        ASSERT_EQ(sources_test::set_dword(key, wide(s.value_name), value), 0) << s.value_name;
        expected.emplace_back(s, std::to_string(stored));
    }

    LogCapture::start();
    orvix::config::internal::set_start_delay_sleeper([](uint32_t milliseconds) {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_delays.push_back(milliseconds);
    });
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);

    ASSERT_FALSE(expected.empty());
    for (const auto& [s, text] : expected) {
        const char* name = s.value_name.c_str();
        if (get_entry_type(name) == ENV_VALUE_ENUM) {
            eVORN_MGMT_ENV_ENUM value{};
            ASSERT_EQ(vorn_mgmt_env_get_enum(name, &value), 0) << name;
            EXPECT_EQ(std::to_string(static_cast<int32_t>(value)), text) << name;
        } else if (get_entry_type(name) != ENV_VALUE_UNDEFINED) {
            EXPECT_EQ(sources_test::stored(name), text) << name;
        } else if (s.value_name == "orvix.start_delay_time") {
            // Names the registry source acts on instead of storing.
            std::lock_guard<std::mutex> guard(g_mutex);
            ASSERT_FALSE(g_delays.empty());
            EXPECT_EQ(g_delays.front(), std::stoul(text) * 1000) << LogCapture::dump();
        } else {
            // A category's log level, which the event log's tests show take effect.
            std::string category = s.value_name.substr(21, s.value_name.find(".log_level") - 21);
            for (char& c : category) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_TRUE(
                LogCapture::has("orvix::config::internal::Settings::apply_config_parameter_action: "
                                "Setting log level for VORN_EVENT_CAT_" +
                                category + " to " + text + "."))
                << name << LogCapture::dump();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AdminPolicies, RoundTrip,
                         testing::Combine(testing::Bool(),
                                          testing::Values(kMinimum, kMaximum, kAboveMaximum, kBelowMinimum)),
                         [](const testing::TestParamInfo<RoundTrip::ParamType>& info) {
                             return std::string(std::get<0>(info.param) ? "AdminKey" : "DefaultsKey") +
                                    kRoundNames[std::get<1>(info.param)];
                         });

}  // namespace
