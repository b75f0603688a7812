#include "config/settings_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The hashed lookup answers what a scan of the table answers, for every name, and nothing
// for a name that only resembles one; past the last row comes the end row, and no further.
TEST(SettingsCatalogue, LookupIsExactAndAgreesWithAScanUpToTheEndRow) {
    EXPECT_EQ(get_num_entries(), 224u);
    EXPECT_EQ(get_entry(225).value_type, ENV_VALUE_DEPRECATED);
    EXPECT_STREQ(get_entry(100000).name, "end_of_lookup_table_marker") << "no read past the table";
    std::set<std::string> names;
    for (uint32_t i = 0; i <= get_num_entries(); ++i) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(i);
        EXPECT_TRUE(names.insert(row.name).second) << "duplicate name " << row.name;
        EXPECT_EQ(get_entry_index(row.name), i) << row.name;
        EXPECT_EQ(get_entry_type(row.name), row.value_type) << row.name;
        if (i == 0) continue;
        // What a source's raw value is read as, and the clamp range, must fit the row.
        EXPECT_EQ(row.category == 0xFFFFFFFFu, row.modification == ENV_MOD_ALL_ONES) << row.name;
        if (row.configurable != ENV_CONFIGURABLE) continue;
        EXPECT_EQ(row.value_class, row.value_type == ENV_VALUE_STRING ? ENV_CLASS_TEXT : ENV_CLASS_NUMBER)
            << row.name;
        EXPECT_TRUE(row.range_checked != ENV_RANGE_CHECKED || row.min_value <= row.max_value) << row.name;
    }
    EXPECT_EQ(get_entry_index("???"), 0u);
    EXPECT_EQ(get_entry_type("???"), ENV_VALUE_UNDEFINED);
    for (const char* name :
         {"end_of_lookup_table_marker", "orvix.MTU_size", "orvix.mtu_size ", "orvix.mtu_siz",
          "orvix.cad_insert_substitution_scan_code", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(get_entry_index(name), ENV_INDEX_NOT_FOUND) << (name ? name : "(null)");
        EXPECT_EQ(get_entry_type(name), ENV_VALUE_UNDEFINED);
    }
}

}  // namespace
