// The registry export file reader. Parsing is separate from writing, so a file can be
// checked, compared with the one applied before, and then written.
#include "config/registry_export_file.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

#include "os/registry.h"
#include "platform/text_conversion.h"

namespace orvix::config {
namespace {

using Kind = RegistryFileEntry::Kind;

constexpr char kNotAnExport[] =
    "not a registry export file: the first line must be \"Windows Registry Editor Version 5.00\"";

struct Line {
    int number = 0;
    std::u16string text;
    bool bad = false;  // not decodable; already reported
};

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = fold(c);
    return out;
}

bool equals_ignoring_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f'; }

std::u16string_view trim(std::u16string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

bool append_code_point(char32_t cp, std::u16string* out) {
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if (cp < 0x10000) {
        out->push_back(static_cast<char16_t>(cp));
    } else if (cp <= 0x10FFFF) {
        cp -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        return false;
    }
    return true;
}

std::string to_utf8(std::u16string_view s) { return text::utf16_to_utf8(std::u16string(s)); }

void problem(RegistryFile* file, int line, std::string message) {
    file->problems.push_back({line, std::move(message)});
}

std::vector<Line> split_lines(std::string_view bytes, RegistryFile* file) {
    std::vector<Line> lines;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // UTF-16LE, as regedit exports.
        Line current{1, {}, false};
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                        (static_cast<unsigned char>(bytes[i + 1]) << 8));
            if (unit == u'\n') {
                lines.push_back(std::move(current));
                current = Line{static_cast<int>(lines.size()) + 1, {}, false};
            } else if (unit == 0) {
                current.bad = true;
            } else {
                current.text.push_back(unit);
            }
        }
        lines.push_back(std::move(current));
        for (Line& line : lines) {
            if (line.bad) problem(file, line.number, "the line holds a NUL character");
        }
        return lines;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    int number = 0;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string raw(bytes.substr(start, end - start));
        Line line{++number, {}, false};
        if (raw.find('\0') != std::string::npos) {
            line.bad = true;
            problem(file, number, "the line holds a NUL character");
        } else if (!raw.empty()) {
            const std::u32string points = text::utf8_to_code_points(raw);
            bool ok = !points.empty();
            for (char32_t cp : points) ok = ok && append_code_point(cp, &line.text);
            if (!ok) {
                line.bad = true;
                line.text.clear();
                problem(file, number, "the line is not valid UTF-8");
            }
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

int hex_digit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A quoted text starting at s[0] == '"', with \\ and \" escapes. On success the text and
// the rest after the closing quote.
bool parse_quoted(std::u16string_view s, std::u16string* text, std::u16string_view* rest) {
    if (s.empty() || s[0] != u'"') return false;
    text->clear();
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
            text->push_back(s[++i]);
        } else if (s[i] == u'"') {
            *rest = s.substr(i + 1);
            return true;
        } else {
            text->push_back(s[i]);
        }
    }
    return false;
}

// Comma-separated two-digit hexadecimal bytes; blanks around them are allowed.
bool parse_hex_bytes(std::u16string_view s, std::vector<uint8_t>* out) {
    s = trim(s);
    if (s.empty()) return true;
    while (true) {
        std::u16string_view token = s.substr(0, s.find(u','));
        const std::u16string_view item = trim(token);
        if (item.size() != 2 || hex_digit(item[0]) < 0 || hex_digit(item[1]) < 0) return false;
        out->push_back(static_cast<uint8_t>(hex_digit(item[0]) * 16 + hex_digit(item[1])));
        if (token.size() == s.size()) return true;
        s.remove_prefix(token.size() + 1);
    }
}

// The value part after "=": fills entry (kind, type, data) or says what is wrong.
bool parse_value(std::u16string_view v, RegistryFileEntry* entry, std::string* why) {
    v = trim(v);
    if (v == u"-") {
        entry->kind = Kind::kDeleteValue;
        return true;
    }
    entry->kind = Kind::kSetValue;
    if (!v.empty() && v[0] == u'"') {
        std::u16string text;
        std::u16string_view rest;
        if (!parse_quoted(v, &text, &rest)) {
            *why = "the text has no closing quotation mark";
            return false;
        }
        if (!trim(rest).empty()) {
            *why = "unexpected characters after the text";
            return false;
        }
        entry->type = os::kRegSz;
        for (char16_t c : text) {
            entry->data.push_back(static_cast<uint8_t>(c & 0xFF));
            entry->data.push_back(static_cast<uint8_t>(c >> 8));
        }
        entry->data.push_back(0);
        entry->data.push_back(0);
        return true;
    }
    const std::u16string lower = folded(v);
    if (lower.rfind(u"dword:", 0) == 0) {
        const std::u16string_view digits = trim(std::u16string_view(v).substr(6));
        if (digits.empty() || digits.size() > 8) {
            *why = "a dword needs one to eight hexadecimal digits";
            return false;
        }
        uint32_t number = 0;
        for (char16_t c : digits) {
            if (hex_digit(c) < 0) {
                *why = "a dword needs one to eight hexadecimal digits";
                return false;
            }
            number = number * 16 + static_cast<uint32_t>(hex_digit(c));
        }
        entry->type = os::kRegDword;
        for (int i = 0; i < 4; ++i) entry->data.push_back(static_cast<uint8_t>(number >> (8 * i)));
        return true;
    }
    if (lower.rfind(u"hex", 0) == 0) {
        std::u16string_view rest = std::u16string_view(v).substr(3);
        uint32_t type = os::kRegBinary;
        if (!rest.empty() && rest[0] == u'(') {
            const size_t close = rest.find(u')');
            const std::u16string_view digits = close == std::u16string_view::npos ? u"" : rest.substr(1, close - 1);
            if (digits.empty() || digits.size() > 8) {
                *why = "hex(N) needs a hexadecimal type number";
                return false;
            }
            type = 0;
            for (char16_t c : digits) {
                if (hex_digit(c) < 0) {
                    *why = "hex(N) needs a hexadecimal type number";
                    return false;
                }
                type = type * 16 + static_cast<uint32_t>(hex_digit(c));
            }
            rest = rest.substr(close + 1);
        }
        if (rest.empty() || rest[0] != u':') {
            *why = "hex data must follow \"hex:\" or \"hex(N):\"";
            return false;
        }
        entry->type = type;
        if (!parse_hex_bytes(rest.substr(1), &entry->data)) {
            *why = "hex data must be two-digit hexadecimal bytes separated by commas";
            return false;
        }
        return true;
    }
    *why = "unknown value form (expected \"text\", dword:, hex:, hex(N): or -)";
    return false;
}

// "[HKEY_LOCAL_MACHINE\path]" or "[-...]".
bool parse_key(std::u16string_view s, RegistryFileEntry* entry, std::string* why) {
    if (s.size() < 2 || s.back() != u']') {
        *why = "a key line must end with ]";
        return false;
    }
    s = s.substr(1, s.size() - 2);
    entry->kind = Kind::kKey;
    if (!s.empty() && s[0] == u'-') {
        entry->kind = Kind::kDeleteKey;
        s.remove_prefix(1);
    }
    const size_t slash = s.find(u'\\');
    const std::u16string_view root = s.substr(0, slash);
    if (!equals_ignoring_case(root, u"HKEY_LOCAL_MACHINE") && !equals_ignoring_case(root, u"HKLM")) {
        *why = "only keys below HKEY_LOCAL_MACHINE can be loaded";
        return false;
    }
    std::u16string_view path = slash == std::u16string_view::npos ? u"" : s.substr(slash + 1);
    while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    if (path.empty()) {
        *why = "a key below HKEY_LOCAL_MACHINE is needed";
        return false;
    }
    entry->key = std::u16string(path);
    return true;
}

}  // namespace

RegistryFile parse_registry_file(std::string_view bytes) {
    RegistryFile file;
    // Decoding problems are kept apart until the header has been seen: a file that is
    // not an export at all (a binary, say) is reported by one line, not one per line.
    RegistryFile decoding;
    const std::vector<Line> lines = split_lines(bytes, &decoding);

    size_t i = 0;
    while (i < lines.size() && !lines[i].bad && trim(lines[i].text).empty()) ++i;
    if (i == lines.size()) return file;
    const std::u16string_view header = trim(lines[i].text);
    if (lines[i].bad || (header != u"Windows Registry Editor Version 5.00" && header != u"REGEDIT4")) {
        problem(&file, lines[i].number, kNotAnExport);
        return file;
    }
    file.problems = std::move(decoding.problems);

    enum class Section { kNone, kKey, kDeletedKey, kBadKey } section = Section::kNone;
    std::u16string key;
    for (++i; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.bad) continue;
        const std::u16string_view text = trim(line.text);
        if (text.empty() || text[0] == u';') continue;

        if (text[0] == u'[') {
            RegistryFileEntry entry;
            entry.line = line.number;
            std::string why;
            if (!parse_key(text, &entry, &why)) {
                problem(&file, line.number, why);
                section = Section::kBadKey;
                continue;
            }
            key = entry.key;
            section = entry.kind == Kind::kDeleteKey ? Section::kDeletedKey : Section::kKey;
            file.entries.push_back(std::move(entry));
            continue;
        }

        if (text[0] != u'"' && text[0] != u'@') {
            problem(&file, line.number, "not a key, a value or a comment");
            continue;
        }

        // Hex data may go on over lines that end in a backslash.
        std::u16string joined(text);
        const int first_line = line.number;
        while (!joined.empty() && joined.back() == u'\\' && i + 1 < lines.size() && !lines[i + 1].bad) {
            joined.pop_back();
            joined += trim(lines[++i].text);
        }

        RegistryFileEntry entry;
        entry.line = first_line;
        std::u16string_view rest;
        if (joined[0] == u'@') {
            rest = std::u16string_view(joined).substr(1);
        } else if (!parse_quoted(joined, &entry.name, &rest)) {
            problem(&file, first_line, "the value name has no closing quotation mark");
            continue;
        }
        rest = trim(rest);
        if (rest.empty() || rest[0] != u'=') {
            problem(&file, first_line, "a value name must be followed by =");
            continue;
        }
        std::string why;
        if (!parse_value(rest.substr(1), &entry, &why)) {
            problem(&file, first_line, why);
            continue;
        }
        switch (section) {
            case Section::kNone:
                problem(&file, first_line, "a value before any key");
                continue;
            case Section::kBadKey:
                problem(&file, first_line, "skipped: the key above it could not be used");
                continue;
            case Section::kDeletedKey:
                problem(&file, first_line, "skipped: a value under a key that is being deleted");
                continue;
            case Section::kKey:
                break;
        }
        entry.key = key;
        file.entries.push_back(std::move(entry));
    }
    // Lines that could not be decoded were reported first; give them in file order.
    std::stable_sort(file.problems.begin(), file.problems.end(),
                     [](const RegistryFileProblem& a, const RegistryFileProblem& b) { return a.line < b.line; });
    return file;
}

bool is_not_registry_export_file(const RegistryFile& file) {
    return file.entries.empty() && file.problems.size() == 1 && file.problems.front().message == kNotAnExport;
}

RegistryFileApplied apply_registry_file(const RegistryFile& file, const RegistryFile* previous) {
    RegistryFileApplied result;
    constexpr uint32_t kAccess = os::kKeyAllAccess | os::kKeyWow64_64Key;
    auto refused = [&](const RegistryFileEntry& e, const char* what, int32_t status) {
        std::ostringstream message;
        message << what << " " << to_utf8(e.key);
        if (e.kind == Kind::kSetValue || e.kind == Kind::kDeleteValue) {
            message << " value \"" << to_utf8(e.name) << "\"";
        }
        message << " failed with error " << status;
        result.problems.push_back({e.line, message.str()});
    };

    std::set<std::pair<std::u16string, std::u16string>> named_now;
    for (const RegistryFileEntry& e : file.entries) {
        if (e.kind == Kind::kSetValue || e.kind == Kind::kDeleteValue) named_now.insert({folded(e.key), folded(e.name)});
        os::RegKey handle = 0;
        int32_t status = 0;
        switch (e.kind) {
            case Kind::kKey:
                status = os::registry_create_key(os::kHkeyLocalMachine, e.key, kAccess, &handle);
                if (status != os::kErrorSuccess) {
                    refused(e, "creating key", status);
                    break;
                }
                os::registry_close_key(handle);
                ++result.keys;
                break;
            case Kind::kDeleteKey:
                status = os::registry_delete_tree(os::kHkeyLocalMachine, e.key);
                if (status == os::kErrorSuccess) ++result.deleted;
                else if (status != os::kErrorFileNotFound) refused(e, "deleting key", status);
                break;
            case Kind::kSetValue:
                status = os::registry_create_key(os::kHkeyLocalMachine, e.key, kAccess, &handle);
                if (status != os::kErrorSuccess) {
                    refused(e, "opening key", status);
                    break;
                }
                status = os::registry_set_value(handle, e.name, e.type, e.data.data(),
                                                static_cast<uint32_t>(e.data.size()));
                os::registry_close_key(handle);
                if (status == os::kErrorSuccess) ++result.values;
                else refused(e, "writing", status);
                break;
            case Kind::kDeleteValue:
                status = os::registry_open_key(os::kHkeyLocalMachine, e.key, kAccess, &handle);
                if (status != os::kErrorSuccess) break;  // no key, so no value to delete
                status = os::registry_delete_value(handle, e.name);
                os::registry_close_key(handle);
                if (status == os::kErrorSuccess) ++result.deleted;
                else if (status != os::kErrorFileNotFound) refused(e, "deleting", status);
                break;
        }
    }

    if (previous != nullptr) {
        for (const RegistryFileEntry& e : previous->entries) {
            if (e.kind != Kind::kSetValue || named_now.count({folded(e.key), folded(e.name)}) != 0) continue;
            named_now.insert({folded(e.key), folded(e.name)});  // once per value
            os::RegKey handle = 0;
            if (os::registry_open_key(os::kHkeyLocalMachine, e.key, kAccess, &handle) != os::kErrorSuccess) continue;
            if (os::registry_delete_value(handle, e.name) == os::kErrorSuccess) ++result.deleted;
            os::registry_close_key(handle);
        }
    }
    return result;
}

}  // namespace orvix::config
