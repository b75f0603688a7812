// Round trip through the registry: for every policy of the generated templates, the value
// Group Policy writes for it (REG_DWORD for a decimal element, REG_SZ for a text element,
// at the policy's key under the element's value name) goes into the registry of the seam
// (the in-process one natively, the real one sandboxed per process under Wine); then the
// store starts, and each setting must hold what the policy's explanation promised.
//
// The expectations come from the template texts, not from the catalogue: the element's
// range, and for a number outside it the rule the explanation states.
#include <gtest/gtest.h>

#include <cctype>
#include <mutex>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "admin/admin_templates.h"
#include "admin/xml_reader.h"
#include "config/configuration_manager.h"
#include "config/environment_store.h"
#include "config/settings.h"
#include "config/sources_test_support.h"
#include "eventlog/event_log.h"

namespace {

using orvix::admin::XmlElement;
using sources_test::LogCapture;

// One value a policy of the templates writes, as the ADMX and ADML describe it.
struct PolicyWrite {
    std::string policy;
    std::string key;
    std::string value_name;
    bool number = true;
    uint32_t min_value = 0;
    uint32_t max_value = 0;
    uint32_t max_length = 0;
    std::string explanation;
};

std::vector<PolicyWrite> template_writes(const std::string& key) {
    const orvix::admin::AdminTemplates t = orvix::admin::generate_admin_templates();
    XmlElement admx, adml;
    std::string error;
    EXPECT_TRUE(orvix::admin::parse_xml(t.admx, &admx, &error)) << error;
    EXPECT_TRUE(orvix::admin::parse_xml(t.adml, &adml, &error)) << error;
    std::vector<PolicyWrite> writes;
    const XmlElement* strings = adml.child("resources")->child("stringTable");
    auto text_of = [strings](const std::string& reference) {
        const std::string id = reference.substr(9, reference.size() - 10);  // $(string.ID)
        for (const auto& s : strings->children) {
            if (*s.attribute("id") == id) return s.text;
        }
        ADD_FAILURE() << "no text " << id;
        return std::string();
    };
    for (const XmlElement& policy : admx.child("policies")->children) {
        if (*policy.attribute("key") != key) continue;
        const XmlElement& element = policy.child("elements")->children.at(0);
        PolicyWrite w;
        w.policy = *policy.attribute("name");
        w.key = *policy.attribute("key");
        w.value_name = *element.attribute("valueName");
        w.number = element.name == "decimal";
        if (w.number) {
            EXPECT_EQ(element.attribute("storeAsText"), nullptr) << w.policy;
            w.min_value = static_cast<uint32_t>(std::stoul(*element.attribute("minValue")));
            w.max_value = static_cast<uint32_t>(std::stoul(*element.attribute("maxValue")));
        } else {
            EXPECT_EQ(element.name, "text") << w.policy;
            w.max_length = static_cast<uint32_t>(std::stoul(*element.attribute("maxLength")));
        }
        w.explanation = text_of(*policy.attribute("explainText"));
        writes.push_back(w);
    }
    return writes;
}

std::u16string wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

enum class Round { Minimum, Maximum, AboveMaximum, BelowMinimum };

const char* round_name(Round r) {
    switch (r) {
        case Round::Minimum:
            return "Minimum";
        case Round::Maximum:
            return "Maximum";
        case Round::AboveMaximum:
            return "AboveMaximum";
        case Round::BelowMinimum:
            return "BelowMinimum";
    }
    return "?";
}

// What the explanation promises for a number outside the policy's range.
bool promised_for_out_of_range(const PolicyWrite& w, uint32_t written, uint32_t* expected) {
    const std::string& e = w.explanation;
    if (e.find("enforced: the agent clamps a number outside it to the nearest bound") != std::string::npos) {
        *expected = written < w.min_value ? w.min_value : w.max_value;
        return true;
    }
    const size_t clamped = e.find("is clamped to ");
    if (clamped != std::string::npos) {
        const uint32_t bound = static_cast<uint32_t>(std::stoul(e.substr(clamped + 14)));
        const int bits = std::stoi(e.substr(e.find("keeps only its low ") + 19));
        *expected = (written > bound ? bound : written) & ((1u << bits) - 1);
        return true;
    }
    const size_t low = e.find("keeps only its low ");
    if (low != std::string::npos) {
        const int bits = std::stoi(e.substr(low + 19));
        *expected = written & ((1u << bits) - 1);
        return true;
    }
    if (e.find("A larger number sets 3.") != std::string::npos) {
        *expected = 3;
        return true;
    }
    if (e.find("A number above 30 waits 30 seconds.") != std::string::npos) {
        *expected = 30;
        return true;
    }
    return false;
}

// The start delays asked for, in milliseconds.
std::mutex g_delays_mutex;
std::vector<uint32_t> g_delays;
void record_delay(uint32_t milliseconds) {
    std::lock_guard<std::mutex> guard(g_delays_mutex);
    g_delays.push_back(milliseconds);
}

// The category whose enumerator a log-level value name carries, or -1.
int category_of(const std::string& value_name) {
    const std::string prefix = "orvix.vorn_event_cat_";
    if (value_name.rfind(prefix, 0) != 0) return -1;
    std::string name = value_name.substr(prefix.size(), value_name.find(".log_level") - prefix.size());
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (uint32_t c = 0; c < VORN_EVENT_NUM_CATEGORIES; ++c) {
        if (name == vorn_event_category_name(c)) return static_cast<int>(c);
    }
    return -1;
}

// Whether a message of level passes category's threshold now.
bool admitted(int category, int32_t level) {
    const std::string probe = "probe " + std::to_string(category) + " " + std::to_string(level);
    vorn_event_log(static_cast<uint32_t>(category), level, 0, "%s", probe.c_str());
    return LogCapture::has(probe);
}

// The log threshold a category has now, found by the levels it admits (0 to 4); 5 when
// it follows the global threshold.
int32_t threshold_of(int category) {
    int32_t passes = -1;
    for (int32_t level = VORN_EVENT_LEVEL_CRITICAL; level <= VORN_EVENT_LEVEL_TRACE; ++level) {
        if (admitted(category, level)) passes = level;
    }
    return passes;
}

std::ostream& operator<<(std::ostream& os, Round r) { return os << round_name(r); }

// (true for the admin policy key, false for the over-rideable defaults key; the round)
class RoundTrip : public testing::TestWithParam<std::tuple<bool, Round>> {};

TEST_P(RoundTrip, EverySettingHoldsWhatItsPolicyPromised) {
    const std::string key = std::get<0>(GetParam()) ? cVORN_MGMT_CFG_MGR_REG::kAdminPoliciesKey
                                                    : cVORN_MGMT_CFG_MGR_REG::kAdminDefaultsKey;
    const Round round = std::get<1>(GetParam());
    const std::vector<PolicyWrite> writes = template_writes(key);
    ASSERT_FALSE(writes.empty());

    struct Expectation {
        const PolicyWrite* write;
        uint32_t number;
        std::string text;
    };
    std::vector<Expectation> expected;
    for (const PolicyWrite& w : writes) {
        if (!w.number) {
            // Text: empty, the longest, and one with white space at both ends.
            std::string text;
            std::string stored;
            if (round == Round::Maximum) {
                for (uint32_t i = 0; i < w.max_length; ++i) text.push_back(static_cast<char>('a' + i % 26));
                stored = text;
            } else if (round != Round::Minimum) {
                ASSERT_NE(w.explanation.find("white space at either end is removed"), std::string::npos)
                    << w.policy;
                text = "  " + w.value_name + " value \t";
                stored = w.value_name + " value";
            }
            ASSERT_EQ(sources_test::set_sz(wide(w.key), wide(w.value_name), wide(text)), 0) << w.value_name;
            expected.push_back({&w, 0, stored});
            continue;
        }
        uint32_t value = 0;
        uint32_t stored = 0;
        switch (round) {
            case Round::Minimum:
                value = stored = w.min_value;
                break;
            case Round::Maximum:
                value = stored = w.max_value;
                break;
            case Round::AboveMaximum:
                if (w.max_value == 0xFFFFFFFFu) continue;  // no DWORD lies above
                value = w.max_value + 1;
                ASSERT_TRUE(promised_for_out_of_range(w, value, &stored))
                    << w.policy << " promises nothing for " << value << ":\n"
                    << w.explanation;
                break;
            case Round::BelowMinimum:
                if (w.min_value == 0) continue;
                value = w.min_value - 1;
                ASSERT_TRUE(promised_for_out_of_range(w, value, &stored)) << w.policy;
                break;
        }
        ASSERT_EQ(sources_test::set_dword(wide(w.key), wide(w.value_name), value), 0) << w.value_name;
        expected.push_back({&w, stored, {}});
    }
    ASSERT_FALSE(expected.empty());

    LogCapture::start();
    orvix::config::internal::set_start_delay_sleeper(&record_delay);
    ASSERT_EQ(vorn_mgmt_env_init(0), 0);

    size_t settings = 0;
    for (const Expectation& e : expected) {
        const std::string& name = e.write->value_name;
        const uint32_t type = get_entry_type(name.c_str());
        if (type == ENV_VALUE_UNDEFINED) {
            // A name the registry source acts on instead of storing.
            if (name == "orvix.start_delay_time") {
                std::lock_guard<std::mutex> guard(g_delays_mutex);
                ASSERT_FALSE(g_delays.empty());
                EXPECT_EQ(g_delays.front(), e.number * 1000) << LogCapture::dump();
            } else {
                const int category = category_of(name);
                ASSERT_GE(category, 0) << name;
                // The more verbose of the category's level and the global one (2 here); 5 is
                // "not set", the global level alone.
                ASSERT_NE(e.write->explanation.find("the more verbose of this level and the agent's own"),
                          std::string::npos);
                const int32_t level = static_cast<int32_t>(e.number);
                EXPECT_EQ(threshold_of(category),
                          level == VORN_EVENT_LEVEL_NOT_SET || level < VORN_EVENT_LEVEL_INFO
                              ? VORN_EVENT_LEVEL_INFO
                              : level)
                    << name;
            }
            continue;
        }
        ++settings;
        if (type == ENV_VALUE_ENUM) {
            eVORN_MGMT_ENV_ENUM value{};
            ASSERT_EQ(vorn_mgmt_env_get_enum(name.c_str(), &value), 0) << name;
            EXPECT_EQ(static_cast<uint32_t>(value), e.number) << name;
        } else if (e.write->number) {
            EXPECT_EQ(sources_test::stored(name.c_str()), std::to_string(e.number)) << name;
        } else {
            EXPECT_EQ(sources_test::stored(name.c_str()), e.text) << name;
        }
    }
    EXPECT_GT(settings, 0u);
}

INSTANTIATE_TEST_SUITE_P(AdminPolicies, RoundTrip,
                         testing::Combine(testing::Bool(),
                                          testing::Values(Round::Minimum, Round::Maximum, Round::AboveMaximum,
                                                          Round::BelowMinimum)),
                         [](const testing::TestParamInfo<RoundTrip::ParamType>& info) {
                             return std::string(std::get<0>(info.param) ? "AdminKey" : "DefaultsKey") +
                                    round_name(std::get<1>(info.param));
                         });

}  // namespace
