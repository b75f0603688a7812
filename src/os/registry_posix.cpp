// An in-process registry that stands in for HKEY_LOCAL_MACHINE where there is none. It
// keeps the Windows semantics the layer relies on: status codes, value types and raw
// data, case-insensitive names, values enumerated in the order they were created,
// one-shot change notification through an event, and handles that report
// ERROR_KEY_DELETED once their key is gone.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "os/codepage.h"
#include "os/registry.h"

namespace orvix::os {
namespace {

std::u16string fold(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return out;
}

struct Value {
    std::u16string name;
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

struct Watch {
    RegKey handle;  // closing the handle cancels the watch, as on Windows
    Event* event;
    bool subtree;
    uint32_t filter;
};

struct Key {
    Key* parent = nullptr;
    std::u16string name;
    std::vector<Value> values;  // in creation order, as enumeration returns them
    // Folded name -> position in values, so that writing a key of many values stays
    // linear; enumeration by index reads values directly.
    std::unordered_map<std::u16string, size_t> positions;
    std::map<std::u16string, std::shared_ptr<Key>> children;  // by folded name
    std::vector<Watch> watches;
    bool deleted = false;
};

struct Handle {
    std::shared_ptr<Key> key;
    uint32_t access = 0;
};

class Registry {
public:
    static Registry& instance() {
        static Registry registry;
        return registry;
    }

    std::mutex mutex;
    std::shared_ptr<Key> root = std::make_shared<Key>();
    std::map<RegKey, Handle> handles;
    RegKey next_handle = 0x1000;

    // The key behind a handle; null for an unknown handle.
    std::shared_ptr<Key> lookup(RegKey key) {
        if (key == kHkeyLocalMachine) return root;
        auto it = handles.find(key);
        return it == handles.end() ? nullptr : it->second.key;
    }

    std::shared_ptr<Key> descend(const std::shared_ptr<Key>& from, std::u16string_view path, bool create,
                                 bool* created) {
        std::shared_ptr<Key> key = from;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find(u'\\', start);
            if (end == std::u16string_view::npos) end = path.size();
            std::u16string_view part = path.substr(start, end - start);
            start = end + 1;
            if (part.empty()) {
                if (end == path.size()) break;
                continue;
            }
            auto it = key->children.find(fold(part));
            if (it == key->children.end()) {
                if (!create) return nullptr;
                auto child = std::make_shared<Key>();
                child->parent = key.get();
                child->name = std::u16string(part);
                key->children.emplace(fold(part), child);
                if (created != nullptr) *created = true;
                notify(key.get(), kRegNotifyChangeName, true);
                key = child;
            } else {
                key = it->second;
            }
        }
        return key;
    }

    RegKey add_handle(std::shared_ptr<Key> key, uint32_t access) {
        RegKey id = next_handle;
        next_handle += 4;
        handles[id] = Handle{std::move(key), access};
        return id;
    }

    // Signals the watches on key (and, for sub-tree watches, on its ancestors) whose
    // filter matches; each watch fires once.
    void notify(Key* key, uint32_t change, bool at_key) {
        for (Key* k = key; k != nullptr; k = k->parent) {
            auto& watches = k->watches;
            for (auto it = watches.begin(); it != watches.end();) {
                const bool reaches = (k == key && at_key) || it->subtree;
                if (reaches && (it->filter & change) != 0) {
                    it->event->set();
                    it = watches.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

    // Marks a key and its sub-tree deleted, firing every watch on them.
    void mark_deleted(Key* key) {
        for (auto& child : key->children) mark_deleted(child.second.get());
        for (auto& w : key->watches) w.event->set();
        key->watches.clear();
        key->deleted = true;
    }

    static Value* find_value(Key* key, std::u16string_view name) {
        const auto found = key->positions.find(fold(name));
        return found == key->positions.end() ? nullptr : &key->values[found->second];
    }

    static Value* add_value(Key* key, std::u16string_view name) {
        key->positions.emplace(fold(name), key->values.size());
        key->values.push_back(Value{std::u16string(name), kRegNone, {}});
        return &key->values.back();
    }

    // Removes a value; the values after it move up one place, as enumeration shows.
    static bool remove_value(Key* key, std::u16string_view name) {
        const auto found = key->positions.find(fold(name));
        if (found == key->positions.end()) return false;
        const size_t position = found->second;
        key->positions.erase(found);
        key->values.erase(key->values.begin() + static_cast<std::ptrdiff_t>(position));
        for (auto& entry : key->positions) {
            if (entry.second > position) --entry.second;
        }
        return true;
    }
};

bool is_string_type(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

// Expands %NAME% from the environment as ExpandEnvironmentStrings does; unknown names stay.
std::u16string expand_environment(const std::u16string& text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == u'%') {
            size_t close = text.find(u'%', i + 1);
            if (close != std::u16string::npos && close > i + 1) {
                std::u16string name = text.substr(i + 1, close - i - 1);
                std::string narrow;
                for (char16_t c : name) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
                if (const char* value = std::getenv(narrow.c_str())) {
                    char16_t buffer[4096];
                    uint32_t error = 0;
                    int32_t n = system_utf8_to_wide(value, buffer, 4096, &error);
                    if (n > 0) {
                        out.append(buffer, static_cast<size_t>(n - 1));
                        i = close + 1;
                        continue;
                    }
                }
                out.append(text, i, close - i + 1);
                i = close + 1;
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

uint32_t type_flag(uint32_t type) {
    switch (type) {
        case kRegNone: return kRrfRtRegNone;
        case kRegSz: return kRrfRtRegSz;
        case kRegExpandSz: return kRrfRtRegExpandSz;
        case kRegBinary: return kRrfRtRegBinary;
        case kRegDword: return kRrfRtRegDword;
        case kRegMultiSz: return kRrfRtRegMultiSz;
        case kRegQword: return kRrfRtRegQword;
        default: return 0;
    }
}

}  // namespace

int32_t registry_open_key(RegKey parent, std::u16string_view sub_key, uint32_t access, RegKey* out) {
    if (out == nullptr) return kErrorInvalidParameter;
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto from = r.lookup(parent);
    if (!from) return kErrorInvalidHandle;
    if (from->deleted) return kErrorKeyDeleted;
    auto key = r.descend(from, sub_key, false, nullptr);
    if (!key) return kErrorFileNotFound;
    *out = r.add_handle(std::move(key), access);
    return kErrorSuccess;
}

int32_t registry_create_key(RegKey parent, std::u16string_view sub_key, uint32_t access, RegKey* out) {
    if (out == nullptr) return kErrorInvalidParameter;
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto from = r.lookup(parent);
    if (!from) return kErrorInvalidHandle;
    if (from->deleted) return kErrorKeyDeleted;
    auto key = r.descend(from, sub_key, true, nullptr);
    *out = r.add_handle(std::move(key), access);
    return kErrorSuccess;
}

int32_t registry_close_key(RegKey key) {
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    if (key == kHkeyLocalMachine) return kErrorSuccess;
    auto it = r.handles.find(key);
    if (it == r.handles.end()) return kErrorInvalidHandle;
    auto& watches = it->second.key->watches;
    watches.erase(std::remove_if(watches.begin(), watches.end(), [key](const Watch& w) { return w.handle == key; }),
                  watches.end());
    r.handles.erase(it);
    return kErrorSuccess;
}

int32_t registry_enum_value(RegKey handle, uint32_t index, char16_t* name, uint32_t* name_chars, uint32_t* type,
                            uint8_t* data, uint32_t* data_bytes) {
    if (name == nullptr || name_chars == nullptr) return kErrorInvalidParameter;
    if (data != nullptr && data_bytes == nullptr) return kErrorInvalidParameter;
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto key = r.lookup(handle);
    if (!key) return kErrorInvalidHandle;
    if (key->deleted) return kErrorKeyDeleted;
    if (index >= key->values.size()) return kErrorNoMoreItems;
    const Value& v = key->values[index];
    if (v.name.size() + 1 > *name_chars) return kErrorMoreData;
    std::memcpy(name, v.name.data(), v.name.size() * sizeof(char16_t));
    name[v.name.size()] = u'\0';
    *name_chars = static_cast<uint32_t>(v.name.size());
    if (type != nullptr) *type = v.type;
    if (data_bytes != nullptr) {
        const auto size = static_cast<uint32_t>(v.data.size());
        if (data != nullptr && size > *data_bytes) {
            *data_bytes = size;
            return kErrorMoreData;
        }
        if (data != nullptr && size > 0) std::memcpy(data, v.data.data(), size);
        *data_bytes = size;
    }
    return kErrorSuccess;
}

int32_t registry_query_value(RegKey handle, std::u16string_view name, uint32_t* type, uint8_t* data,
                             uint32_t* data_bytes) {
    if (data != nullptr && data_bytes == nullptr) return kErrorInvalidParameter;
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto key = r.lookup(handle);
    if (!key) return kErrorInvalidHandle;
    if (key->deleted) return kErrorKeyDeleted;
    const Value* v = Registry::find_value(key.get(), name);
    if (v == nullptr) return kErrorFileNotFound;
    if (type != nullptr) *type = v->type;
    if (data_bytes != nullptr) {
        const auto size = static_cast<uint32_t>(v->data.size());
        if (data != nullptr && size > *data_bytes) {
            *data_bytes = size;
            return kErrorMoreData;
        }
        if (data != nullptr && size > 0) std::memcpy(data, v->data.data(), size);
        *data_bytes = size;
    }
    return kErrorSuccess;
}

int32_t registry_get_value(RegKey handle, std::u16string_view sub_key, std::u16string_view value, uint32_t flags,
                           uint32_t* type, void* data, uint32_t* data_bytes) {
    if (data != nullptr && data_bytes == nullptr) return kErrorInvalidParameter;
    if ((flags & kRrfRtAny) == 0) return kErrorInvalidParameter;
    std::vector<uint8_t> raw;
    uint32_t raw_type = kRegNone;
    {
        auto& r = Registry::instance();
        std::lock_guard<std::mutex> guard(r.mutex);
        auto key = r.lookup(handle);
        if (!key) return kErrorInvalidHandle;
        if (key->deleted) return kErrorKeyDeleted;
        if (!sub_key.empty()) {
            key = r.descend(key, sub_key, false, nullptr);
            if (!key) return kErrorFileNotFound;
        }
        const Value* v = Registry::find_value(key.get(), value);
        if (v == nullptr) return kErrorFileNotFound;
        raw = v->data;
        raw_type = v->type;
    }
    if (raw_type == kRegExpandSz && (flags & kRrfNoExpand) == 0) {
        std::u16string text(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
        text = expand_environment(text.substr(0, text.find(u'\0')));
        raw.assign(reinterpret_cast<const uint8_t*>(text.c_str()),
                   reinterpret_cast<const uint8_t*>(text.c_str()) + (text.size() + 1) * 2);
        raw_type = kRegSz;
    }
    if ((type_flag(raw_type) & flags) == 0) return kErrorUnsupportedType;
    if (is_string_type(raw_type)) {
        // Strings come back terminated even when stored without their NUL.
        if (raw.size() % 2 != 0) raw.push_back(0);
        if (raw.size() < 2 || raw[raw.size() - 1] != 0 || raw[raw.size() - 2] != 0) {
            raw.push_back(0);
            raw.push_back(0);
        }
    }
    if (type != nullptr) *type = raw_type;
    if (data_bytes != nullptr) {
        const auto size = static_cast<uint32_t>(raw.size());
        if (data != nullptr && size > *data_bytes) {
            *data_bytes = size;
            return kErrorMoreData;
        }
        if (data != nullptr && size > 0) std::memcpy(data, raw.data(), size);
        *data_bytes = size;
    }
    return kErrorSuccess;
}

int32_t registry_set_value(RegKey handle, std::u16string_view name, uint32_t type, const void* data,
                           uint32_t data_bytes) {
    if (data == nullptr && data_bytes != 0) return kErrorInvalidParameter;
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto key = r.lookup(handle);
    if (!key) return kErrorInvalidHandle;
    if (key->deleted) return kErrorKeyDeleted;
    Value* v = Registry::find_value(key.get(), name);
    if (v == nullptr) v = Registry::add_value(key.get(), name);
    v->type = type;
    const auto* bytes = static_cast<const uint8_t*>(data);
    v->data.assign(bytes, bytes + data_bytes);
    r.notify(key.get(), kRegNotifyChangeLastSet, true);
    return kErrorSuccess;
}

int32_t registry_delete_value(RegKey handle, std::u16string_view name) {
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto key = r.lookup(handle);
    if (!key) return kErrorInvalidHandle;
    if (key->deleted) return kErrorKeyDeleted;
    if (!Registry::remove_value(key.get(), name)) return kErrorFileNotFound;
    r.notify(key.get(), kRegNotifyChangeLastSet, true);
    return kErrorSuccess;
}

int32_t registry_delete_tree(RegKey handle, std::u16string_view sub_key) {
    auto& r = Registry::instance();
    std::lock_guard<std::mutex> guard(r.mutex);
    auto key = r.lookup(handle);
    if (!key) return kErrorInvalidHandle;
    if (key->deleted) return kErrorKeyDeleted;
    if (sub_key.empty()) {
        for (auto& child : key->children) r.mark_deleted(child.second.get());
        key->children.clear();
        const bool had_values = !key->values.empty();
        key->values.clear();
        key->positions.clear();
        if (had_values) r.notify(key.get(), kRegNotifyChangeLastSet, true);
        r.notify(key.get(), kRegNotifyChangeName, true);
        return kErrorSuccess;
    }
    auto target = r.descend(key, sub_key, false, nullptr);
    if (!target) return kErrorFileNotFound;
    Key* parent = target->parent;
    r.mark_deleted(target.get());
    for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
        if (it->second == target) {
            parent->children.erase(it);
            break;
        }
    }
    r.notify(parent, kRegNotifyChangeName, true);
    return kErrorSuccess;
}

int32_t registry_notify_change(RegKey handle, bool watch_subtree, uint32_t filter, Event& event, bool asynchronous) {
    {
        auto& r = Registry::instance();
        std::lock_guard<std::mutex> guard(r.mutex);
        auto it = r.handles.find(handle);
        std::shared_ptr<Key> key = handle == kHkeyLocalMachine ? r.root : nullptr;
        if (it != r.handles.end()) key = it->second.key;
        if (!key) return kErrorInvalidHandle;
        if (key->deleted) return kErrorKeyDeleted;
        if (filter == 0) return kErrorInvalidParameter;
        key->watches.push_back(Watch{handle, &event, watch_subtree, filter});
    }
    if (!asynchronous) event.wait(kWaitInfinite);
    return kErrorSuccess;
}

namespace {

// UTF-16 units (which may hold NULs, as REG_MULTI_SZ does) to UTF-8 with the system
// conversion, one NUL-separated piece at a time; the NULs are kept where they were.
std::string narrow_units(const char16_t* units, size_t count) {
    std::string out;
    size_t start = 0;
    while (start <= count) {
        size_t end = start;
        while (end < count && units[end] != u'\0') ++end;
        if (end > start) {
            const std::u16string piece(units + start, end - start);
            uint32_t error = 0;
            const int32_t needed = system_wide_to_utf8(piece.c_str(), nullptr, 0, &error);
            if (needed > 0) {
                std::string converted(static_cast<size_t>(needed), '\0');
                if (system_wide_to_utf8(piece.c_str(), converted.data(), needed, &error) == needed) {
                    converted.resize(static_cast<size_t>(needed - 1));
                    out += converted;
                }
            }
        }
        if (end == count) break;
        out.push_back('\0');
        start = end + 1;
    }
    return out;
}

}  // namespace

int32_t registry_open_key_a(RegKey parent, const char* sub_key, uint32_t, uint32_t access, RegKey* out) {
    std::u16string wide;
    if (sub_key != nullptr && *sub_key != '\0' && !system_utf8_to_u16(sub_key, &wide)) {
        return kErrorInvalidParameter;
    }
    return registry_open_key(parent, wide, access, out);
}

int32_t registry_enum_value_a(RegKey key, uint32_t index, char* name, uint32_t* name_chars, uint32_t* reserved,
                              uint32_t* type, uint8_t* data, uint32_t* data_bytes) {
    if (name == nullptr || name_chars == nullptr || reserved != nullptr) return kErrorInvalidParameter;
    if (data != nullptr && data_bytes == nullptr) return kErrorInvalidParameter;

    // A narrow name of n bytes has at most n UTF-16 units, so a wide buffer of the
    // caller's size holds every name that can fit the caller's buffer.
    std::vector<char16_t> wide_name(std::max<uint32_t>(*name_chars, 1));
    uint32_t wide_chars = 0;
    uint32_t value_type = kRegNone;
    std::vector<uint8_t> raw;
    bool done = false;
    // First the size, then the data; again when the value grew in between.
    for (int attempt = 0; attempt < 5 && !done; ++attempt) {
        uint32_t size = static_cast<uint32_t>(raw.size());
        wide_chars = static_cast<uint32_t>(wide_name.size());
        const int32_t status = registry_enum_value(key, index, wide_name.data(), &wide_chars, &value_type,
                                                   raw.empty() ? nullptr : raw.data(), &size);
        if (status == kErrorMoreData && !raw.empty() && size > raw.size()) {
            raw.assign(size, 0);
            continue;
        }
        if (status != kErrorSuccess) return status;
        if (raw.empty() && size > 0) {
            raw.assign(size, 0);
            continue;
        }
        raw.resize(size);
        done = true;
    }
    if (!done) return kErrorMoreData;

    const std::string narrow_name = narrow_units(wide_name.data(), wide_chars);
    if (narrow_name.size() + 1 > *name_chars) return kErrorMoreData;
    std::memcpy(name, narrow_name.c_str(), narrow_name.size() + 1);
    *name_chars = static_cast<uint32_t>(narrow_name.size());
    if (type != nullptr) *type = value_type;

    if (data_bytes == nullptr) return kErrorSuccess;
    std::string converted;
    const uint8_t* bytes = raw.data();
    size_t count = raw.size();
    if (is_string_type(value_type)) {
        std::vector<char16_t> units(raw.size() / 2);
        if (!units.empty()) std::memcpy(units.data(), raw.data(), units.size() * sizeof(char16_t));
        converted = narrow_units(units.data(), units.size());
        bytes = reinterpret_cast<const uint8_t*>(converted.data());
        count = converted.size();
    }
    if (data != nullptr && count > *data_bytes) {
        *data_bytes = static_cast<uint32_t>(count);
        return kErrorMoreData;
    }
    if (data != nullptr && count > 0) std::memcpy(data, bytes, count);
    *data_bytes = static_cast<uint32_t>(count);
    return kErrorSuccess;
}

}  // namespace orvix::os
