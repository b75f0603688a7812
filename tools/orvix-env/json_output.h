// Machine-readable output shared by the commands: with the global option --json a
// command builds one JSON document holding the same facts as its text output and prints
// it with print_json, instead of its text, on standard output. Messages on standard
// error and the exit status stay as they are.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace orvix_env {

// Keys keep the order they are set in, so documents read like the text output.
using Json = nlohmann::ordered_json;

// True when --json was given.
bool json_output();

// Prints document on standard output, indented, with a final line feed. Text that is not
// valid UTF-8 (a file's or the registry's bytes) is written with replacement characters
// instead of failing.
inline void print_json(const Json& document) {
    const std::string text = document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

}  // namespace orvix_env
