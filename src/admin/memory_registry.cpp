#include "admin/memory_registry.h"

#include <cstring>

#include "os/codepage.h"
#include "os/registry.h"

namespace orvix::admin {
namespace {

namespace os = orvix::os;

bool is_text_type(uint32_t type) { return type == os::kRegSz || type == os::kRegExpandSz || type == os::kRegMultiSz; }

// UTF-16 units (with NULs, as REG_MULTI_SZ holds them) to UTF-8 with the system's
// conversion, one piece between NULs at a time, as the seam's narrow reads convert.
std::string narrow_units(std::u16string_view units) {
    std::string out;
    size_t start = 0;
    while (start <= units.size()) {
        size_t end = units.find(u'\0', start);
        if (end == std::u16string_view::npos) end = units.size();
        if (end > start) {
            const std::u16string piece(units.substr(start, end - start));
            uint32_t error = 0;
            const int32_t needed = os::system_wide_to_utf8(piece.c_str(), nullptr, 0, &error);
            if (needed > 0) {
                std::string converted(static_cast<size_t>(needed), '\0');
                if (os::system_wide_to_utf8(piece.c_str(), converted.data(), needed, &error) == needed) {
                    converted.resize(static_cast<size_t>(needed - 1));
                    out += converted;
                }
            }
        }
        if (end == units.size()) break;
        out.push_back('\0');
        start = end + 1;
    }
    return out;
}

std::u16string units_of(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return units;
}

bool below(std::u16string_view folded_path, std::u16string_view folded_key) {
    return folded_path.size() > folded_key.size() && folded_path.substr(0, folded_key.size()) == folded_key &&
           folded_path[folded_key.size()] == u'\\';
}

}  // namespace

std::u16string fold_registry_name(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

MemoryRegistry::Key& MemoryRegistry::create_key(std::u16string_view path) {
    auto [it, added] = keys_.try_emplace(fold_registry_name(path));
    if (added) it->second.path = std::u16string(path);
    return it->second;
}

const MemoryRegistry::Key* MemoryRegistry::find_key(std::u16string_view path) const {
    const auto it = keys_.find(fold_registry_name(path));
    return it == keys_.end() ? nullptr : &it->second;
}

MemoryRegistry::Key* MemoryRegistry::find_key(std::u16string_view path) {
    const auto it = keys_.find(fold_registry_name(path));
    return it == keys_.end() ? nullptr : &it->second;
}

const MemoryRegistry::Value* MemoryRegistry::find_value(std::u16string_view key, std::u16string_view name) const {
    const Key* k = find_key(key);
    if (k == nullptr) return nullptr;
    const std::u16string folded = fold_registry_name(name);
    for (const Value& v : k->values) {
        if (fold_registry_name(v.name) == folded) return &v;
    }
    return nullptr;
}

void MemoryRegistry::set_value(std::u16string_view key, const Value& value) {
    Key& k = create_key(key);
    const std::u16string folded = fold_registry_name(value.name);
    for (Value& v : k.values) {
        if (fold_registry_name(v.name) == folded) {
            const std::u16string name = v.name;  // the registry keeps the name it has
            v = value;
            v.name = name;
            return;
        }
    }
    k.values.push_back(value);
}

bool MemoryRegistry::delete_value(std::u16string_view key, std::u16string_view name) {
    Key* k = find_key(key);
    if (k == nullptr) return false;
    const std::u16string folded = fold_registry_name(name);
    for (auto it = k->values.begin(); it != k->values.end(); ++it) {
        if (fold_registry_name(it->name) == folded) {
            k->values.erase(it);
            return true;
        }
    }
    return false;
}

int MemoryRegistry::delete_values(std::u16string_view key) {
    Key* k = find_key(key);
    if (k == nullptr) return 0;
    const int count = static_cast<int>(k->values.size());
    k->values.clear();
    return count;
}

bool MemoryRegistry::delete_tree(std::u16string_view key) {
    const std::u16string folded = fold_registry_name(key);
    bool found = false;
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (it->first == folded || below(it->first, folded)) {
            it = keys_.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

void MemoryRegistry::load_from_system(const std::vector<std::u16string>& keys) {
    for (const std::u16string& path : keys) {
        os::RegKey handle = 0;
        if (os::registry_open_key(os::kHkeyLocalMachine, path, os::kKeyRead | os::kKeyWow64_64Key, &handle) !=
            os::kErrorSuccess) {
            continue;
        }
        create_key(path);
        std::vector<char16_t> name(16384);
        std::string data(4096, '\0');
        for (uint32_t index = 0;;) {
            uint32_t name_chars = static_cast<uint32_t>(name.size());
            uint32_t type = 0;
            uint32_t size = static_cast<uint32_t>(data.size());
            const int32_t status = os::registry_enum_value(handle, index, name.data(), &name_chars, &type,
                                                           reinterpret_cast<uint8_t*>(data.data()), &size);
            if (status == os::kErrorMoreData && size > data.size()) {
                data.resize(size);
                continue;
            }
            if (status != os::kErrorSuccess) break;
            set_value(path, Value{std::u16string(name.data(), name_chars), type, data.substr(0, size), 0, 0});
            ++index;
        }
        os::registry_close_key(handle);
    }
}

bool MemoryRegistry::store_to_system(const std::vector<std::u16string>& keys, std::string* error) const {
    constexpr uint32_t kAccess = os::kKeyAllAccess | os::kKeyWow64_64Key;
    for (const std::u16string& path : keys) {
        const int32_t deleted = os::registry_delete_tree(os::kHkeyLocalMachine, path);
        if (deleted != os::kErrorSuccess && deleted != os::kErrorFileNotFound) {
            *error = "cannot replace a policy key (error " + std::to_string(deleted) + ")";
            return false;
        }
        const Key* key = find_key(path);
        if (key == nullptr) continue;
        os::RegKey handle = 0;
        const int32_t created = os::registry_create_key(os::kHkeyLocalMachine, path, kAccess, &handle);
        if (created != os::kErrorSuccess) {
            *error = "cannot create a policy key (error " + std::to_string(created) + ")";
            return false;
        }
        for (const Value& v : key->values) {
            const int32_t status = os::registry_set_value(handle, v.name, v.type, v.data.data(),
                                                          static_cast<uint32_t>(v.data.size()));
            if (status != os::kErrorSuccess) {
                os::registry_close_key(handle);
                *error = "cannot write a policy value (error " + std::to_string(status) + ")";
                return false;
            }
        }
        os::registry_close_key(handle);
    }
    return true;
}

int32_t MemoryRegistryInterface::open_key(os::RegKey root, const char* sub_key, uint32_t, uint32_t,
                                          os::RegKey* key) {
    if (root != os::kHkeyLocalMachine || sub_key == nullptr || key == nullptr) return os::kErrorInvalidParameter;
    std::u16string path;
    if (!os::system_utf8_to_u16(sub_key, &path)) return os::kErrorFileNotFound;
    if (registry_.find_key(path) == nullptr) return os::kErrorFileNotFound;
    open_.push_back(path);
    *key = static_cast<os::RegKey>(open_.size());
    return os::kErrorSuccess;
}

int32_t MemoryRegistryInterface::notify_change(os::RegKey key, bool, uint32_t, os::Event*, bool) {
    return key >= 1 && key <= open_.size() && !open_[key - 1].empty() ? os::kErrorSuccess : os::kErrorInvalidHandle;
}

int32_t MemoryRegistryInterface::enum_value(os::RegKey key, uint32_t index, char* name, uint32_t* name_chars,
                                            uint32_t* reserved, uint32_t* type, uint8_t* data,
                                            uint32_t* data_bytes) {
    if (key < 1 || key > open_.size() || open_[key - 1].empty()) return os::kErrorInvalidHandle;
    if (name == nullptr || name_chars == nullptr || reserved != nullptr) return os::kErrorInvalidParameter;
    if (data != nullptr && data_bytes == nullptr) return os::kErrorInvalidParameter;
    const MemoryRegistry::Key* k = registry_.find_key(open_[key - 1]);
    if (k == nullptr) return os::kErrorKeyDeleted;
    if (index >= k->values.size()) return os::kErrorNoMoreItems;
    const MemoryRegistry::Value& v = k->values[index];

    const std::string narrow_name = narrow_units(v.name);
    if (narrow_name.size() + 1 > *name_chars) return os::kErrorMoreData;
    std::memcpy(name, narrow_name.c_str(), narrow_name.size() + 1);
    *name_chars = static_cast<uint32_t>(narrow_name.size());
    if (type != nullptr) *type = v.type;
    if (data_bytes == nullptr) return os::kErrorSuccess;

    const std::string bytes = is_text_type(v.type) ? narrow_units(units_of(v.data)) : v.data;
    if (data != nullptr && bytes.size() > *data_bytes) {
        *data_bytes = static_cast<uint32_t>(bytes.size());
        return os::kErrorMoreData;
    }
    if (data != nullptr && !bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    *data_bytes = static_cast<uint32_t>(bytes.size());
    return os::kErrorSuccess;
}

int32_t MemoryRegistryInterface::close_key(os::RegKey key) {
    if (key < 1 || key > open_.size() || open_[key - 1].empty()) return os::kErrorInvalidHandle;
    open_[key - 1].clear();
    return os::kErrorSuccess;
}

}  // namespace orvix::admin
