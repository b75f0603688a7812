// One rule for text the tool did not write itself (policies, files, certificates,
// libraries, the system): in text output it is shown through printable, so escape
// sequences and control bytes cannot act on the terminal. JSON output carries the exact
// text instead.
#pragma once

#include <string>
#include <string_view>

#include "admin/printable.h"

namespace orvix_env {

using orvix::admin::printable;
using orvix::admin::printable_quoted;

}  // namespace orvix_env
