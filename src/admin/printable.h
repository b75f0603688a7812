// Text that is safe to show on a terminal, for every output of text that came from outside
// (policies, files, certificates, libraries, the system).
#pragma once

#include <string>
#include <string_view>

namespace orvix::admin {

// Text that is safe to print on a terminal: printable UTF-8 passes, every other byte
// (controls, escape sequences, invalid UTF-8, bidirectional overrides) is written as \xNN
// (\t, \r, \n as such). For text shown between double quotation marks (quoted) a
// backslash and a quotation mark are escaped too; a path keeps its backslashes.
std::string printable(std::string_view bytes, bool quoted = true);

// printable(text) between double quotation marks.
std::string printable_quoted(std::string_view text);

}  // namespace orvix::admin
