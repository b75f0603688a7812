// orvix-env catalogue: every row of the settings catalogue as tab-separated text, one row
// per line, from the placeholder row 0 to the end row: the row index, then every field in
// table order (name, value type, category, modification, configurable, value class, range
// check, minimum, maximum, default text), numbers in unsigned decimal, after a header row
// naming the columns. With --json, one object per row with the same fields.
#include <cstdio>

#include "commands.h"
#include "config/settings_catalogue.h"
#include "json_output.h"

namespace orvix_env {

int run_catalogue() {
    if (json_output()) {
        Json rows = Json::array();
        for (uint32_t index = 0; index <= get_num_entries() + 1; ++index) {
            const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
            rows.push_back({{"index", index},
                            {"name", row.name},
                            {"value_type", row.value_type},
                            {"category", row.category},
                            {"modification", static_cast<uint32_t>(row.modification)},
                            {"configurable", row.configurable},
                            {"value_class", row.value_class},
                            {"range_checked", row.range_checked},
                            {"min_value", row.min_value},
                            {"max_value", row.max_value},
                            {"default_value", row.default_value}});
        }
        print_json(rows);
        return 0;
    }
    std::printf(
        "index\tname\tvalue_type\tcategory\tmodification\tconfigurable\tvalue_class\trange_checked\t"
        "min_value\tmax_value\tdefault_value\n");
    for (uint32_t index = 0; index <= get_num_entries() + 1; ++index) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
        std::printf("%u\t%s\t%u\t%u\t%u\t%u\t%u\t%u\t%u\t%u\t%s\n", static_cast<unsigned>(index), row.name,
                    static_cast<unsigned>(row.value_type), static_cast<unsigned>(row.category),
                    static_cast<unsigned>(row.modification), static_cast<unsigned>(row.configurable),
                    static_cast<unsigned>(row.value_class), static_cast<unsigned>(row.range_checked),
                    static_cast<unsigned>(row.min_value), static_cast<unsigned>(row.max_value), row.default_value);
    }
    return 0;
}

ORVIX_ENV_COMMAND(
    catalogue, "catalogue",
    "print the settings catalogue as tab-separated rows under a header: index, then every field in "
    "table order",
    declare_plain<run_catalogue>);

}  // namespace orvix_env
