#include "console.h"

namespace orvix_env {

std::filesystem::path path_from_utf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_from_path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

namespace {

// Display columns of a UTF-8 text: continuation bytes take none.
size_t columns(std::string_view text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

size_t hanging_indent(std::string_view text, size_t width) {
    size_t indent = text.find_first_not_of(' ');
    if (indent == std::string_view::npos) indent = 0;
    const size_t gap = text.find("  ", indent);
    if (gap != std::string_view::npos) {
        const size_t start = text.find_first_not_of(' ', gap);
        if (start != std::string_view::npos && start + 20 < width) indent = start;
    }
    return indent;
}

void wrap_line(std::string_view text, size_t width, size_t indent, std::string* out) {
    std::string line(text);
    while (columns(line) > width) {
        // The last space that keeps the piece within width, past the indentation.
        size_t cut = std::string::npos;
        size_t cols = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++cols;
            if (cols > width) break;
            if (line[i] == ' ' && i > indent && line[i - 1] != ' ') cut = i;
        }
        if (cut == std::string::npos) break;  // one word longer than the line
        out->append(line, 0, cut);
        out->push_back('\n');
        const size_t next = line.find_first_not_of(' ', cut);
        if (next == std::string::npos) return;
        line = std::string(indent, ' ') + line.substr(next);
    }
    out->append(line);
}

}  // namespace

std::string wrap_text(std::string_view text, size_t width, size_t indent) {
    std::string out;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        wrap_line(line, width, indent != std::string_view::npos ? indent : hanging_indent(line, width), &out);
        if (end == std::string_view::npos) break;
        out.push_back('\n');
        text.remove_prefix(end + 1);
    }
    return out;
}

}  // namespace orvix_env
