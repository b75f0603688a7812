// Registry.pol, the file in which a Group Policy object carries its registry settings
// ("PReg" signature, version 1, then [key;value;type;size;data] entries in UTF-16LE), and
// how the client applies it: values set, "**del." / "**delvals." / "**DeleteValues" /
// "**DeleteKeys" deleting, "**soft." setting only where no value exists. Administrators
// lint a GPO with it before it reaches a fleet, so reading is strict: anything that is
// not well-formed refuses the whole file with one message naming the entry and its byte
// offset, never a partial result.
//
// Portable; no function here touches the machine's registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "admin/memory_registry.h"

namespace orvix::admin {

// The registry's limits on names, in UTF-16 units.
inline constexpr size_t kMaxKeyComponent = 255;
inline constexpr size_t kMaxValueName = 16383;

struct PolEntry {
    uint32_t number = 0;   // 1 for the first entry
    uint64_t offset = 0;   // byte offset of its "[" in the file
    std::u16string key;    // below the file's root (HKEY_LOCAL_MACHINE for Machine\Registry.pol)
    std::u16string value;  // value name, or an instruction ("**del.NAME", ...); empty: the key only
    uint32_t type = 0;
    std::string data;  // raw bytes
};

// Parses a whole file. False with one line in *error (naming the entry and byte offset)
// for a wrong signature or version, a file that ends inside an entry, a size beyond the
// end of the file, an odd number of bytes in a UTF-16 field, a missing delimiter, a type
// the registry does not have, or a key or value name beyond the registry's limits; then
// *entries is left empty. Never throws for bad bytes.
bool parse_registry_pol(std::string_view bytes, std::vector<PolEntry>* entries, std::string* error);

// The file's bytes for entries (their number and offset are not used).
std::string write_registry_pol(const std::vector<PolEntry>& entries);

// The three keys the agent reads its policies from.
const std::vector<std::u16string>& agent_policy_keys();
// True when key is one of them (case-insensitive).
bool is_agent_policy_key(std::u16string_view key);
// True when an entry can change one of them (it names one, or deletes one or a key above).
bool touches_agent_keys(const PolEntry& entry);

// What applying a file did, for the administrator: counts, and one note per entry whose
// effect is not plain (a soft value that was not set, an instruction without effect on
// values, an unknown instruction, which the client skips).
struct PolApplied {
    int entries = 0;
    int agent_entries = 0;  // entries that touch the agent's keys
    int other_entries = 0;  // entries for other keys, ignored but counted
    struct Note {
        uint32_t entry = 0;
        uint64_t offset = 0;
        std::string text;
    };
    std::vector<Note> notes;  // for the agent's keys only
};

// Applies entries in order to registry, as the client does. With agent_keys_only,
// entries for other keys are counted and left out.
PolApplied apply_registry_pol(const std::vector<PolEntry>& entries, MemoryRegistry* registry,
                              bool agent_keys_only = true);

// The items of a "**DeleteValues" / "**DeleteKeys" list (a text of names separated by ";").
std::vector<std::u16string> pol_list_items(std::string_view data);

// UTF-16LE bytes of a text with its terminating NUL, as REG_SZ data.
std::string utf16_sz_bytes(std::u16string_view text);

}  // namespace orvix::admin
