#include "admin/policy_file_conversion.h"

#include <cstdio>

#include "admin/policy_lint.h"
#include "platform/text_conversion.h"

namespace orvix::admin {
namespace {

using Kind = orvix::config::RegistryFileEntry::Kind;
namespace os = orvix::os;

std::string utf8(std::u16string_view s) { return orvix::text::utf16_to_utf8(std::u16string(s)); }

std::string where_line(int line) { return "line " + std::to_string(line); }
std::string where_entry(const PolEntry& e) {
    return "entry " + std::to_string(e.number) + " (byte " + std::to_string(e.offset) + ")";
}

bool folded_starts_with(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && fold_registry_name(s.substr(0, prefix.size())) == prefix;
}

bool is_instruction(std::u16string_view s, std::u16string_view name) {
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return fold_registry_name(s) == name;
}

// The text of REG_SZ data when it can be written as "text": one terminating NUL, no other
// NUL and no line break (which the export format cannot hold between quotes).
bool plain_text(const PolEntry& e, std::u16string* text) {
    if (e.type != os::kRegSz || e.data.size() < 2 || e.data.size() % 2 != 0) return false;
    for (size_t i = 0; i + 1 < e.data.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(e.data[i]) |
                                                 static_cast<unsigned char>(e.data[i + 1]) << 8);
        const bool last = i + 2 == e.data.size();
        if (last) return c == u'\0';
        if (c == u'\0' || c == u'\n' || c == u'\r') return false;
        text->push_back(c);
    }
    return false;
}

std::u16string quoted(std::u16string_view s) {
    std::u16string out = u"\"";
    for (char16_t c : s) {
        if (c == u'\\' || c == u'"') out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

std::u16string ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// hex:01,02,... or hex(N):..., continued over lines as regedit does.
std::u16string hex_data(uint32_t type, std::string_view data, size_t name_width) {
    char prefix[24];
    if (type == os::kRegBinary) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
    }
    std::string out = prefix;
    size_t column = name_width + out.size();
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        out += byte;
        column += 2;
        if (i + 1 < data.size()) {
            out += ",";
            ++column;
            if (column > 76) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    return ascii(out);
}

bool name_fits_export(std::u16string_view name) {
    return name.find(u'\n') == std::u16string_view::npos && name.find(u'\r') == std::u16string_view::npos &&
           name.find(u'\0') == std::u16string_view::npos;
}

}  // namespace

std::vector<PolEntry> pol_entries_from_reg(const orvix::config::RegistryFile& file, bool all, Conversion* result) {
    std::vector<PolEntry> out;
    // A key line adds an entry of its own only when no value follows it: values create
    // their key anyway.
    for (size_t i = 0; i < file.entries.size(); ++i) {
        const auto& r = file.entries[i];
        PolEntry e;
        e.key = r.key;
        switch (r.kind) {
            case Kind::kKey: {
                const bool has_values = i + 1 < file.entries.size() &&
                                        (file.entries[i + 1].kind == Kind::kSetValue ||
                                         file.entries[i + 1].kind == Kind::kDeleteValue);
                if (has_values) continue;
                break;
            }
            case Kind::kDeleteKey: {
                const size_t slash = r.key.rfind(u'\\');
                if (slash == std::u16string::npos) {
                    result->problems.push_back({where_line(r.line),
                                                "Registry.pol cannot delete a key directly below HKEY_LOCAL_MACHINE (" +
                                                    printable(utf8(r.key)) + "); left out"});
                    continue;
                }
                e.key = r.key.substr(0, slash);
                e.value = u"**DeleteKeys";
                e.type = os::kRegSz;
                e.data = utf16_sz_bytes(std::u16string_view(r.key).substr(slash + 1));
                break;
            }
            case Kind::kSetValue:
                if (r.name.empty()) {
                    result->problems.push_back(
                        {where_line(r.line), "Registry.pol cannot set a key's default value (@) in " +
                                                 printable(utf8(r.key)) + "; left out"});
                    continue;
                }
                e.value = r.name;
                e.type = r.type;
                e.data.assign(r.data.begin(), r.data.end());
                break;
            case Kind::kDeleteValue:
                if (r.name.empty()) {
                    result->problems.push_back(
                        {where_line(r.line), "Registry.pol cannot delete a key's default value (@) in " +
                                                 printable(utf8(r.key)) + "; left out"});
                    continue;
                }
                e.value = u"**del." + r.name;
                e.type = os::kRegSz;
                e.data = utf16_sz_bytes(u" ");
                break;
        }
        if (!all && !touches_agent_keys(e)) {
            ++result->left_out;
            continue;
        }
        out.push_back(std::move(e));
        ++result->written;
    }
    return out;
}

std::string reg_file_from_pol(const std::vector<PolEntry>& entries, bool all, Conversion* result) {
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n";
    std::u16string current;  // the key whose header was written last
    bool have_key = false;
    auto header = [&](const std::u16string& key) {
        if (have_key && fold_registry_name(key) == fold_registry_name(current)) return;
        text += u"\r\n[HKEY_LOCAL_MACHINE\\" + key + u"]\r\n";
        current = key;
        have_key = true;
    };
    auto comment = [&](const PolEntry& e, const std::string& why) {
        result->problems.push_back({where_entry(e), why + "; left out"});
        header(e.key);
        text += u"; " + ascii(where_entry(e)) + u" left out: ";
        std::u16string name = e.value;
        for (char16_t& c : name) {
            if (c == u'\r' || c == u'\n') c = u' ';
        }
        text += name + u"\r\n";
    };
    auto delete_value = [&](const PolEntry& e, std::u16string_view name) {
        if (!name_fits_export(name)) {
            comment(e, "a value name with a line break cannot be written in a registry export file");
            return;
        }
        header(e.key);
        text += quoted(name) + u"=-\r\n";
    };

    for (const PolEntry& e : entries) {
        if (!all && !touches_agent_keys(e)) {
            ++result->left_out;
            continue;
        }
        if (!name_fits_export(e.key)) {
            result->problems.push_back(
                {where_entry(e), "a key with a line break cannot be written in a registry export file; left out"});
            continue;
        }
        const std::u16string_view v = e.value;
        ++result->written;
        if (v.empty()) {
            header(e.key);
        } else if (folded_starts_with(v, u"**del.")) {
            delete_value(e, v.substr(6));
        } else if (is_instruction(v, u"**deletevalues")) {
            for (const std::u16string& name : pol_list_items(e.data)) delete_value(e, name);
        } else if (is_instruction(v, u"**deletekeys")) {
            for (const std::u16string& key : pol_list_items(e.data)) {
                text += u"\r\n[-HKEY_LOCAL_MACHINE\\" + e.key + u"\\" + key + u"]\r\n";
            }
            have_key = false;  // values after it need their key again
        } else if (is_instruction(v, u"**delvals.")) {
            --result->written;
            comment(e, "\"**delvals.\" (delete every value of the key) has no form in a registry export file");
        } else if (folded_starts_with(v, u"**soft.")) {
            --result->written;
            comment(e, "\"**soft.\" (set only where no value exists) has no form in a registry export file");
        } else if (folded_starts_with(v, u"**")) {
            --result->written;
            comment(e, printable_quoted(utf8(v)) + " has no form in a registry export file");
        } else if (!name_fits_export(v)) {
            --result->written;
            comment(e, "a value name with a line break cannot be written in a registry export file");
        } else {
            header(e.key);
            const std::u16string name = quoted(v) + u"=";
            std::u16string plain;
            if (plain_text(e, &plain)) {
                text += name + quoted(plain);
            } else if (e.type == os::kRegDword && e.data.size() == 4) {
                char number[16];
                std::snprintf(number, sizeof number, "dword:%08x",
                              static_cast<unsigned>(static_cast<unsigned char>(e.data[0]) |
                                                    static_cast<unsigned char>(e.data[1]) << 8 |
                                                    static_cast<unsigned char>(e.data[2]) << 16 |
                                                    static_cast<unsigned>(static_cast<unsigned char>(e.data[3])) << 24));
                text += name + ascii(number);
            } else {
                text += name + hex_data(e.type, e.data, name.size());
            }
            text += u"\r\n";
        }
    }
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

}  // namespace orvix::admin
