// Enumerated registry values of any name, type and size, read by a registry source and
// written into the store through the manager: nothing may crash, and no value outside
// its setting's width or checked range may reach the store.
//
// Input: records of [name length][name][type][data length, 2 bytes][data]; the registry
// below the source answers enumeration as RegEnumValueA does (ERROR_MORE_DATA for a name
// or data above the caller's buffer).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/registry_interface.h"
#include "config/settings_from_registry.h"
#include "fuzz_store_support.h"

namespace {

using orvix::os::RegKey;

struct RawValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

class FuzzRegistry : public orvix::config::internal::RegistryInterface {
public:
    explicit FuzzRegistry(std::vector<RawValue> values) : values_(std::move(values)) {}
    int32_t open_key(RegKey, const char*, uint32_t, uint32_t, RegKey* key) override {
        *key = 1;
        return 0;
    }
    int32_t notify_change(RegKey, bool, uint32_t, orvix::os::Event*, bool) override { return 0; }
    int32_t enum_value(RegKey, uint32_t index, char* name, uint32_t* name_chars, uint32_t*, uint32_t* type,
                       uint8_t* data, uint32_t* data_bytes) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (index >= values_.size()) return orvix::os::kErrorNoMoreItems;
        const RawValue& v = values_[index];
        if (v.name.size() + 1 > *name_chars) return orvix::os::kErrorMoreData;
        const uint32_t capacity = *data_bytes;
        *data_bytes = static_cast<uint32_t>(v.data.size());
        if (v.data.size() > capacity) return orvix::os::kErrorMoreData;
        std::memcpy(name, v.name.c_str(), v.name.size() + 1);
        *name_chars = static_cast<uint32_t>(v.name.size());
        *type = v.type;
        if (!v.data.empty()) std::memcpy(data, v.data.data(), v.data.size());
        return 0;
    }
    int32_t close_key(RegKey) override { return 0; }

private:
    std::mutex lock_;
    std::vector<RawValue> values_;
};

// Names near catalogue names are more interesting than random bytes: a name may pick a
// catalogue row by number and keep fuzzed letter case.
std::string name_from(const uint8_t*& p, const uint8_t* end) {
    if (p == end) return {};
    const uint8_t length = *p++;
    if (length >= 0xF0 && p != end) {
        const uint32_t row = 1 + (*p++ % get_num_entries());
        std::string name = get_entry(row).name;
        if (length & 1) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        return name;
    }
    const size_t n = std::min<size_t>(length * 3u, static_cast<size_t>(end - p));  // up to 700 characters
    std::string name(reinterpret_cast<const char*>(p), n);
    p += n;
    name.erase(std::find(name.begin(), name.end(), '\0'), name.end());
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::start_store();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<RawValue> values;
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    while (p < end && values.size() < 64) {
        RawValue v;
        v.name = name_from(p, end);
        if (p < end) v.type = *p++;
        size_t n = 0;
        if (end - p >= 2) {
            n = (static_cast<size_t>(p[0]) | (static_cast<size_t>(p[1]) << 8)) % 700;
            p += 2;
        }
        n = std::min(n, static_cast<size_t>(end - p));
        v.data.assign(p, p + n);
        p += n;
        values.push_back(std::move(v));
    }
    orvix::config::internal::SettingsFromRegistry source(
        "SOFTWARE\\Policies\\Quillon\\Orvix\\orvix_admin", std::make_unique<FuzzRegistry>(std::move(values)));
    fuzz_support::apply(source.load());
    fuzz_support::check_store();
    return 0;
}
