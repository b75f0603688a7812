// An in-memory registry below HKEY_LOCAL_MACHINE: keys with their values in creation
// order, names compared without regard to case, as the system's registry does. The tools
// apply a Registry.pol or a registry export to it to see what a machine would hold,
// without writing the machine's keys, and read it back through RegistryInterface, so the
// policy lint reads it exactly as it reads the system's registry.
//
// Not thread-safe: one thread builds it, then readers only read.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "config/registry_interface.h"

namespace orvix::admin {

class MemoryRegistry {
public:
    struct Value {
        std::u16string name;
        uint32_t type = 0;
        std::string data;     // raw bytes, as the wide functions give them
        uint32_t entry = 0;   // the Registry.pol entry that set it; 0 for none
        uint64_t offset = 0;  // that entry's byte offset
    };
    struct Key {
        std::u16string path;  // as first created
        std::vector<Value> values;
    };

    // Creates key (and nothing else: parents are implied by paths).
    Key& create_key(std::u16string_view path);
    const Key* find_key(std::u16string_view path) const;
    Key* find_key(std::u16string_view path);
    const Value* find_value(std::u16string_view key, std::u16string_view name) const;
    // Sets a value, keeping its place when it exists.
    void set_value(std::u16string_view key, const Value& value);
    // False when there was no such value.
    bool delete_value(std::u16string_view key, std::u16string_view name);
    // Deletes every value of key; the number deleted.
    int delete_values(std::u16string_view key);
    // Deletes key with everything below it; false when it did not exist.
    bool delete_tree(std::u16string_view key);
    // Copies the named keys of the system's registry (through the registry seam) in.
    void load_from_system(const std::vector<std::u16string>& keys);
    // Writes the named keys into the system's registry through the seam, replacing what
    // they held there (keys absent here are deleted there). Only for the in-process
    // registry of machines without one: on Windows this would write the machine's keys.
    // False with the first failure's message.
    bool store_to_system(const std::vector<std::u16string>& keys, std::string* error) const;

    const std::map<std::u16string, Key>& keys() const { return keys_; }

private:
    std::map<std::u16string, Key> keys_;  // by folded path
};

// The registry interface over a MemoryRegistry, with the narrow (A function) semantics of
// the registry seam: names and text data come back in UTF-8, sizes counted in narrow
// bytes; a buffer too small gives kErrorMoreData. The view never changes, so a change
// notification is accepted and never signalled.
class MemoryRegistryInterface : public orvix::config::internal::RegistryInterface {
public:
    explicit MemoryRegistryInterface(const MemoryRegistry& registry) : registry_(registry) {}

    int32_t open_key(orvix::os::RegKey root, const char* sub_key, uint32_t options, uint32_t access,
                     orvix::os::RegKey* key) override;
    int32_t notify_change(orvix::os::RegKey key, bool watch_subtree, uint32_t filter, orvix::os::Event* event,
                          bool asynchronous) override;
    int32_t enum_value(orvix::os::RegKey key, uint32_t index, char* name, uint32_t* name_chars, uint32_t* reserved,
                       uint32_t* type, uint8_t* data, uint32_t* data_bytes) override;
    int32_t close_key(orvix::os::RegKey key) override;

private:
    const MemoryRegistry& registry_;
    std::vector<std::u16string> open_;  // handle n is open_[n - 1]; empty once closed
};

// Case folding of registry names (ASCII letters, as the policy keys need).
std::u16string fold_registry_name(std::u16string_view name);

}  // namespace orvix::admin
