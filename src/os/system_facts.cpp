#include "os/system_facts.h"

#include <atomic>
#include <string>

namespace orvix::os {
namespace {

const SystemFacts g_system_facts;
std::atomic<const SystemFacts*> g_replacement{nullptr};

// The value of KEY=VALUE in os-release syntax: shell quoting with single or double
// quotes, backslash escapes inside double quotes and outside quotes.
std::string os_release_value(std::string_view text) {
    std::string out;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote != 0 && c == quote) {
            quote = 0;
        } else if (quote != '\'' && c == '\\' && i + 1 < text.size()) {
            out.push_back(text[++i]);
        } else if (quote == 0 && (c == ' ' || c == '\t' || c == '#')) {
            break;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

uint32_t next_number(const char* text, size_t* pos) {
    uint64_t value = 0;
    while (text[*pos] >= '0' && text[*pos] <= '9') {
        value = value * 10 + static_cast<uint64_t>(text[*pos] - '0');
        if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull;
        ++*pos;
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

std::string os_release_name(std::string_view contents) {
    std::string pretty, name;
    while (!contents.empty()) {
        const size_t end = contents.find('\n');
        std::string_view line = contents.substr(0, end);
        contents = end == std::string_view::npos ? std::string_view() : contents.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, 12) == "PRETTY_NAME=") pretty = os_release_value(line.substr(12));
        if (line.substr(0, 5) == "NAME=") name = os_release_value(line.substr(5));
    }
    return !pretty.empty() ? pretty : name;
}

void kernel_release_numbers(const char* release, uint32_t* major, uint32_t* minor, uint32_t* patch) {
    uint32_t* parts[] = {major, minor, patch};
    size_t pos = 0;
    bool more = release != nullptr;
    for (uint32_t* part : parts) {
        *part = 0;
        if (!more) continue;
        const size_t start = pos;
        *part = next_number(release, &pos);
        // Only "N.N.N" continues; "6.1-rc2" has no patch level.
        more = pos > start && release[pos] == '.';
        if (more) ++pos;
    }
}

const SystemFacts& system_facts() {
    const SystemFacts* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : g_system_facts;
}

void set_system_facts(const SystemFacts* facts) { g_replacement.store(facts, std::memory_order_release); }

}  // namespace orvix::os
