// The tool's side of the operating system: its arguments as UTF-8, a console that shows
// UTF-8, and file paths made from UTF-8 texts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "admin/utf8_path.h"

namespace orvix_env {

// The command line as UTF-8 texts, the program name first. Windows hands a narrow main
// its arguments in the ANSI code page, where characters outside it become "?", so there
// they are taken from the UTF-16 command line instead.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Makes a console show the UTF-8 the tool writes; output to a pipe or file is UTF-8 as it is.
void prepare_console();

// The path in the form the layer's narrow-path calls take it. The signed loader reads a
// library's path in the ANSI code page on Windows, as the agent does, so a UTF-8 path with
// other characters would name another file there: this gives the path itself when every
// character survives that code page, else its short (8.3) form, else nothing (the layer
// cannot name the file). Elsewhere the path itself.
std::string layer_narrow_path(const std::string& utf8);

using orvix::admin::path_from_utf8;
using orvix::admin::utf8_from_path;

// Wraps text to width columns: a longer line breaks at spaces, its continuation indented
// by indent columns or, by default, to where its description starts (after the first run
// of two or more spaces) or, when it has none, to its own indentation. A word longer
// than the line stays whole.
std::string wrap_text(std::string_view text, size_t width, size_t indent = std::string_view::npos);

}  // namespace orvix_env
