// orvix-env catalogue: every row of the settings catalogue as tab-separated text, one row
// per line, from the placeholder row 0 to the end row: the row index, then every field in
// table order (name, value type, category, modification, configurable, value class, range
// check, minimum, maximum, default text), numbers in unsigned decimal.
#include <cstdio>

#include "commands.h"
#include "config/settings_catalogue.h"

namespace orvix_env {

int run_catalogue(int argc, char**) {
    if (argc != 0) {
        std::fprintf(stderr, "usage: orvix-env catalogue\n");
        return 2;
    }
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

ORVIX_ENV_COMMAND(catalogue, "catalogue", "",
                  "print the settings catalogue as tab-separated rows: index, then every field in table order",
                  run_catalogue);

}  // namespace orvix_env
