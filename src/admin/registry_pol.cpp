#include "admin/registry_pol.h"

#include <sstream>

#include "admin/policy_lint.h"
#include "platform/text_conversion.h"

namespace orvix::admin {
namespace {

constexpr uint32_t kHighestRegistryType = 11;  // REG_QWORD

std::string utf8(std::u16string_view s) { return orvix::text::utf16_to_utf8(std::u16string(s)); }

bool starts_with_folded(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && fold_registry_name(s.substr(0, prefix.size())) == prefix;
}

// An instruction name such as "**DeleteKeys" may be followed by blanks.
bool is_instruction(std::u16string_view s, std::u16string_view name) {
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return fold_registry_name(s) == name;
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool parse(std::vector<PolEntry>* entries, std::string* error) {
        if (bytes_.size() < 8) {
            return fail(error, "not a Registry.pol file: it has " + std::to_string(bytes_.size()) +
                                   " bytes, fewer than the 8 of its header");
        }
        if (bytes_.substr(0, 4) != "PReg") return fail(error, "not a Registry.pol file: it does not start with \"PReg\"");
        const uint32_t version = u32(4);
        if (version != 1) {
            return fail(error, "Registry.pol version " + std::to_string(version) + " is not known (only 1 is)");
        }
        pos_ = 8;
        uint32_t number = 0;
        while (pos_ < bytes_.size()) {
            PolEntry e;
            e.number = ++number;
            e.offset = pos_;
            entry_ = &e;
            if (!delimiter(u'[', "\"[\" to open it") || !text("key", &e.key) || !delimiter(u';', "\";\" after the key") ||
                !text("value name", &e.value) || !delimiter(u';', "\";\" after the value name") ||
                !dword("type", &e.type) || !delimiter(u';', "\";\" after the type")) {
                return fail(error, message_);
            }
            uint32_t size = 0;
            if (!dword("size", &size) || !delimiter(u';', "\";\" after the size")) return fail(error, message_);
            if (size > bytes_.size() - pos_) {
                return fail(error, at(e) + "its size field says " + std::to_string(size) + " bytes of data, but only " +
                                       std::to_string(bytes_.size() - pos_) + " bytes follow");
            }
            e.data.assign(bytes_.substr(pos_, size));
            pos_ += size;
            if (!delimiter(u']', "\"]\" after the data")) return fail(error, message_);
            if (!check(e)) return fail(error, message_);
            entries->push_back(std::move(e));
        }
        return true;
    }

private:
    bool fail(std::string* error, std::string message) {
        *error = std::move(message);
        return false;
    }

    static std::string at(const PolEntry& e) {
        return "entry " + std::to_string(e.number) + " (byte " + std::to_string(e.offset) + "): ";
    }

    uint32_t u32(size_t at) const {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes_[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes_[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes_[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes_[at + 3])) << 24;
    }
    char16_t unit(size_t at) const {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes_[at]) |
                                     static_cast<unsigned char>(bytes_[at + 1]) << 8);
    }

    bool ends(const std::string& expected) {
        message_ = at(*entry_) + "the file ends inside it (expected " + expected + ")";
        return false;
    }

    bool delimiter(char16_t expected, const char* what) {
        if (bytes_.size() - pos_ < 2) return ends(what);
        if (unit(pos_) != expected) {
            message_ = at(*entry_) + "expected " + what + " at byte " + std::to_string(pos_);
            return false;
        }
        pos_ += 2;
        return true;
    }

    // A NUL-terminated UTF-16LE text.
    bool text(const char* what, std::u16string* out) {
        while (true) {
            const size_t left = bytes_.size() - pos_;
            if (left == 0) return ends(std::string("the rest of its ") + what);
            if (left == 1) {
                message_ = at(*entry_) + "its " + what + " has an odd number of bytes (the file ends in the middle of " +
                           "a UTF-16 character)";
                return false;
            }
            const char16_t c = unit(pos_);
            pos_ += 2;
            if (c == u'\0') return true;
            out->push_back(c);
        }
    }

    bool dword(const char* what, uint32_t* out) {
        if (bytes_.size() - pos_ < 4) return ends(std::string("its ") + what + " field");
        *out = u32(pos_);
        pos_ += 4;
        return true;
    }

    bool check(const PolEntry& e) {
        if (e.type > kHighestRegistryType) {
            message_ = at(e) + "type " + std::to_string(e.type) + " is not a registry type (0 to 11)";
            return false;
        }
        if (e.key.empty()) {
            message_ = at(e) + "it has no key";
            return false;
        }
        size_t start = 0;
        while (start <= e.key.size()) {
            size_t end = e.key.find(u'\\', start);
            if (end == std::u16string::npos) end = e.key.size();
            if (end == start) {
                message_ = at(e) + "the key \"" + printable(utf8(e.key), false) + "\" has an empty part";
                return false;
            }
            if (end - start > kMaxKeyComponent) {
                message_ = at(e) + "a part of its key is " + std::to_string(end - start) +
                           " characters long; the registry allows " + std::to_string(kMaxKeyComponent);
                return false;
            }
            start = end + 1;
        }
        if (e.value.size() > kMaxValueName) {
            message_ = at(e) + "its value name is " + std::to_string(e.value.size()) +
                       " characters long; the registry allows " + std::to_string(kMaxValueName);
            return false;
        }
        const bool text_type = e.type == orvix::os::kRegSz || e.type == orvix::os::kRegExpandSz ||
                               e.type == orvix::os::kRegMultiSz;
        if (text_type && e.data.size() % 2 != 0) {
            message_ = at(e) + "its text data has an odd number of bytes (" + std::to_string(e.data.size()) +
                       "), so it is not UTF-16";
            return false;
        }
        return true;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
    const PolEntry* entry_ = nullptr;
    std::string message_;
};

void put_u16(std::string* out, std::u16string_view s) {
    for (char16_t c : s) {
        out->push_back(static_cast<char>(c & 0xFF));
        out->push_back(static_cast<char>(c >> 8));
    }
}

void put_u32(std::string* out, uint32_t n) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
}

std::string entry_name(const PolEntry& e) { return printable_quoted(utf8(e.value)); }

}  // namespace

bool parse_registry_pol(std::string_view bytes, std::vector<PolEntry>* entries, std::string* error) {
    entries->clear();
    std::vector<PolEntry> parsed;
    if (!Reader(bytes).parse(&parsed, error)) return false;
    *entries = std::move(parsed);
    return true;
}

std::string write_registry_pol(const std::vector<PolEntry>& entries) {
    std::string out = "PReg";
    put_u32(&out, 1);
    for (const PolEntry& e : entries) {
        put_u16(&out, u"[");
        put_u16(&out, e.key);
        put_u16(&out, std::u16string_view(u"\0;", 2));
        put_u16(&out, e.value);
        put_u16(&out, std::u16string_view(u"\0;", 2));
        put_u32(&out, e.type);
        put_u16(&out, u";");
        put_u32(&out, static_cast<uint32_t>(e.data.size()));
        put_u16(&out, u";");
        out += e.data;
        put_u16(&out, u"]");
    }
    return out;
}

const std::vector<std::u16string>& agent_policy_keys() {
    static const std::vector<std::u16string> keys = {
        u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin",
        u"SOFTWARE\\Quillon\\Orvix\\orvix_admin",
        u"SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin_defaults",
    };
    return keys;
}

bool is_agent_policy_key(std::u16string_view key) {
    const std::u16string folded = fold_registry_name(key);
    for (const std::u16string& k : agent_policy_keys()) {
        if (fold_registry_name(k) == folded) return true;
    }
    return false;
}

std::vector<std::u16string> pol_list_items(std::string_view data) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                 static_cast<unsigned char>(data[i + 1]) << 8);
        if (c == u'\0') break;
        text.push_back(c);
    }
    std::vector<std::u16string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u';', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string item = text.substr(start, end - start);
        while (!item.empty() && item.front() == u' ') item.erase(item.begin());
        while (!item.empty() && item.back() == u' ') item.pop_back();
        if (!item.empty()) items.push_back(std::move(item));
        start = end + 1;
    }
    return items;
}

std::string utf16_sz_bytes(std::u16string_view text) {
    std::string out;
    put_u16(&out, text);
    out.append(2, '\0');
    return out;
}

bool touches_agent_keys(const PolEntry& e) {
    if (is_agent_policy_key(e.key)) return true;
    if (!is_instruction(e.value, u"**deletekeys")) return false;
    for (const std::u16string& item : pol_list_items(e.data)) {
        const std::u16string deleted = fold_registry_name(e.key + u"\\" + item);
        for (const std::u16string& k : agent_policy_keys()) {
            const std::u16string folded = fold_registry_name(k);
            if (folded == deleted || (folded.size() > deleted.size() && folded.compare(0, deleted.size(), deleted) == 0 &&
                                      folded[deleted.size()] == u'\\')) {
                return true;
            }
        }
    }
    return false;
}

PolApplied apply_registry_pol(const std::vector<PolEntry>& entries, MemoryRegistry* registry, bool agent_keys_only) {
    PolApplied applied;
    for (const PolEntry& e : entries) {
        ++applied.entries;
        const bool agent = touches_agent_keys(e);
        if (agent) {
            ++applied.agent_entries;
        } else {
            ++applied.other_entries;
            if (agent_keys_only) continue;
        }
        auto note = [&](std::string text) {
            if (agent) applied.notes.push_back({e.number, e.offset, std::move(text)});
        };
        const std::u16string_view v = e.value;
        if (v.empty()) {
            registry->create_key(e.key);
        } else if (starts_with_folded(v, u"**del.")) {
            registry->delete_value(e.key, v.substr(6));
        } else if (is_instruction(v, u"**delvals.")) {
            registry->delete_values(e.key);
        } else if (is_instruction(v, u"**deletevalues")) {
            for (const std::u16string& name : pol_list_items(e.data)) registry->delete_value(e.key, name);
        } else if (is_instruction(v, u"**deletekeys")) {
            for (const std::u16string& key : pol_list_items(e.data)) registry->delete_tree(e.key + u"\\" + key);
        } else if (starts_with_folded(v, u"**soft.")) {
            const std::u16string_view name = v.substr(7);
            if (registry->find_value(e.key, name) != nullptr) {
                note("\"**soft." + printable(utf8(name)) + "\" sets the value only where it does not exist; it exists, " +
                     "so this entry changes nothing");
            } else {
                registry->set_value(e.key, {std::u16string(name), e.type, e.data, e.number, e.offset});
            }
        } else if (starts_with_folded(v, u"**securekey")) {
            note(entry_name(e) + " sets the key's access rights; the values are not changed");
        } else if (starts_with_folded(v, u"**")) {
            note(entry_name(e) + " is not an instruction the client knows; it skips the entry");
        } else {
            registry->set_value(e.key, {std::u16string(v), e.type, e.data, e.number, e.offset});
        }
    }
    return applied;
}

}  // namespace orvix::admin
