#include "config/settings_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

// The lookup a reader of the table would do by hand: scan from row 0 to the end row.
uint32_t scan_for(const char* name) {
    for (uint32_t i = 0;; ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        if (std::strcmp(row.name, "end_of_lookup_table_marker") == 0) return ENV_INDEX_NOT_FOUND;
        if (std::strcmp(row.name, name) == 0) return i;
    }
}

TEST(SettingsCatalogue, CountsAndEnds) {
    EXPECT_EQ(get_num_entries(), 224u);
    EXPECT_STREQ(get_entry(224).name, "orvix.enable_authentication_broker_unsigned_cert");
    const sVORN_ENV_LOOKUP_ENTRY end = get_entry(225);
    EXPECT_STREQ(end.name, "end_of_lookup_table_marker");
    EXPECT_EQ(end.value_type, ENV_VALUE_DEPRECATED);
    EXPECT_EQ(end.category | end.modification | end.configurable | end.value_class | end.range_checked |
                  end.min_value | end.max_value,
              0u);
    EXPECT_STREQ(end.default_value, "undefined");
    EXPECT_STREQ(get_entry(100000).name, "end_of_lookup_table_marker") << "no read past the table";
}

TEST(SettingsCatalogue, LookupIsExactAndAgreesWithAScan) {
    EXPECT_EQ(get_entry_index("???"), 0u);
    EXPECT_EQ(get_entry_type("???"), ENV_VALUE_UNDEFINED);
    EXPECT_EQ(get_entry_index("end_of_lookup_table_marker"), ENV_INDEX_NOT_FOUND);
    EXPECT_EQ(get_entry_index("orvix.MTU_size"), ENV_INDEX_NOT_FOUND);
    EXPECT_EQ(get_entry_index("orvix.cad_insert_substitution_scan_code"), ENV_INDEX_NOT_FOUND);
    EXPECT_EQ(get_entry_index("orvix.CAD_insert_substitution_scan_code"), 158u);
    EXPECT_EQ(get_entry_index("orvix.mtu_size "), ENV_INDEX_NOT_FOUND);
    EXPECT_EQ(get_entry_index(""), ENV_INDEX_NOT_FOUND);
    EXPECT_EQ(get_entry_index(nullptr), ENV_INDEX_NOT_FOUND);
    EXPECT_EQ(get_entry_type("no.such.setting"), ENV_VALUE_UNDEFINED);
    EXPECT_EQ(get_entry_index("AgentDLL"), 170u);

    std::set<std::string> names;
    for (uint32_t i = 0; i <= get_num_entries(); ++i) {
        const char* name = get_entry(i).name;
        EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
        EXPECT_EQ(get_entry_index(name), i) << name;
        EXPECT_EQ(scan_for(name), i) << name;
        EXPECT_EQ(get_entry_type(name), get_entry(i).value_type) << name;
        EXPECT_EQ(get_entry_modification(i), get_entry(i).modification) << name;
        if (i > 0 && std::strcmp(name, "AgentDLL") != 0) {
            EXPECT_EQ(std::string(name).rfind("orvix.", 0), 0u) << name;
        }
    }
}

TEST(SettingsCatalogue, RowFieldsFollowTheTableConventions) {
    std::set<uint32_t> all_ones_rows;
    std::set<uint32_t> fixed_rows;
    for (uint32_t i = 1; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        SCOPED_TRACE(row.name);
        EXPECT_GE(row.value_type, ENV_VALUE_UINT8);
        EXPECT_LE(row.value_type, ENV_VALUE_MAC_ADDR);
        EXPECT_EQ(row.category == 0xFFFFFFFFu, row.modification == ENV_MOD_ALL_ONES);
        if (row.modification == ENV_MOD_ALL_ONES) {
            all_ones_rows.insert(i);
        } else {
            EXPECT_TRUE(std::set<uint32_t>({1, 2, 4, 10, 12}).count(row.modification));
        }
        EXPECT_TRUE(row.configurable == ENV_CONFIGURABLE || row.configurable == ENV_NOT_CONFIGURABLE);
        EXPECT_TRUE(row.range_checked == ENV_RANGE_CHECKED || row.range_checked == ENV_RANGE_NOT_CHECKED);
        if (row.configurable == ENV_NOT_CONFIGURABLE) {
            fixed_rows.insert(i);
            continue;
        }
        EXPECT_EQ(row.value_class, row.value_type == ENV_VALUE_STRING ? ENV_CLASS_TEXT : ENV_CLASS_NUMBER);
        if (row.range_checked == ENV_RANGE_CHECKED) {
            EXPECT_LE(row.min_value, row.max_value);
        }
    }
    EXPECT_EQ(all_ones_rows, (std::set<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15, 19}));
    EXPECT_EQ(fixed_rows, (std::set<uint32_t>{1, 3, 5, 6, 7, 8, 9, 14, 15, 16, 200, 206, 208, 216}));
    for (uint32_t i : {1, 3, 5, 6, 7, 8, 9, 14, 15, 16}) EXPECT_EQ(get_entry(i).value_class, ENV_CLASS_NONE) << i;
    for (uint32_t i : {200, 206, 216}) EXPECT_EQ(get_entry(i).value_class, ENV_CLASS_TEXT) << i;

    const sVORN_ENV_LOOKUP_ENTRY row0 = get_entry(0);
    EXPECT_EQ(row0.modification, ENV_MOD_ALL_ONES);
    EXPECT_EQ(row0.configurable, 0u);
    EXPECT_EQ(row0.range_checked, 0u);
    EXPECT_STREQ(row0.default_value, "undefined");
}

TEST(SettingsCatalogue, SampleRowsReadAsDocumented) {
    struct Expected {
        const char* name;
        uint32_t type, category, modification, configurable, value_class, range_checked, min, max;
        const char* default_text;
    };
    const Expected rows[] = {
        {"orvix.mtu_size", ENV_VALUE_UINT32, 0, 2, 2, 1, 2, 500, 1500, "1200"},
        {"orvix.max_link_rate", ENV_VALUE_UINT32, 0, 2, 2, 1, 1, 0, 1000, "1000000"},
        {"orvix.enable_smart_card", ENV_VALUE_UINT32, 0, 1, 1, 1, 2, 0, 1, "0"},
        {"orvix.event_filter_mode", ENV_VALUE_ENUM, 1, 12, 2, 1, 2, 0, 3, "2"},
        {"orvix.session_retry_timeout", ENV_VALUE_UINT32, 2, 1, 2, 1, 2, 0, 120,
         "special case: set in init routine"},
        {"orvix.mac_addr", ENV_VALUE_MAC_ADDR, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0, 1, 0, 0,
         "special case: set in init routine"},
        {"orvix.ip_address", ENV_VALUE_STRING, 0xFFFFFFFFu, 0xFFFFFFFFu, 2, 2, 1, 0, 0, "::"},
        {"orvix.server_statistics_interval_seconds", ENV_VALUE_UINT16, 0, 2, 2, 1, 1, 0, 0, "0"},
        {"orvix.mailbox_root", ENV_VALUE_STRING, 0, 1, 1, 2, 1, 0, 0, "\\\\.\\mailslot\\ProtectedPrefix\\Administrators\\"},
        {"orvix.disclaimer_directory", ENV_VALUE_STRING, 0, 1, 1, 2, 1, 0, 0, "Quillon\\OrvixAgent\\disclaimers\\"},
        {"orvix.image_cache_size", ENV_VALUE_UINT32, 0, 2, 2, 1, 2, 16200, 10000000, "240000"},
        {"orvix.CAD_insert_substitution_scan_code", ENV_VALUE_UINT32, 0, 2, 2, 1, 1, 0, 1, "338"},
        {"orvix.enable_authentication_broker_unsigned_cert", ENV_VALUE_UINT8, 0, 4, 2, 1, 2, 0, 1, "0"},
    };
    for (const Expected& e : rows) {
        SCOPED_TRACE(e.name);
        const uint32_t index = get_entry_index(e.name);
        ASSERT_NE(index, ENV_INDEX_NOT_FOUND);
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
        EXPECT_EQ(row.value_type, e.type);
        EXPECT_EQ(row.category, e.category);
        EXPECT_EQ(static_cast<uint32_t>(row.modification), e.modification);
        EXPECT_EQ(row.configurable, e.configurable);
        EXPECT_EQ(row.value_class, e.value_class);
        EXPECT_EQ(row.range_checked, e.range_checked);
        EXPECT_EQ(row.min_value, e.min);
        EXPECT_EQ(row.max_value, e.max);
        EXPECT_STREQ(row.default_value, e.default_text);
    }
}

}  // namespace
