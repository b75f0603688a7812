// System facts with every answer chosen by the test and every query able to fail; put in
// place of the system's for the lifetime of the object.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "os/system_facts.h"

namespace orvix_test {

struct FakeSystemFacts : orvix::os::SystemFacts {
    FakeSystemFacts() { orvix::os::set_system_facts(this); }
    ~FakeSystemFacts() override { orvix::os::set_system_facts(nullptr); }
    FakeSystemFacts(const FakeSystemFacts&) = delete;
    FakeSystemFacts& operator=(const FakeSystemFacts&) = delete;

    std::optional<orvix::os::VersionRecord> version_record;  // none: RtlGetVersion is missing
    std::optional<uint32_t> product_type;                    // none: GetProductInfo fails
    std::map<int32_t, int32_t> metrics;
    orvix::os::ProcessorInfo processor_info;
    std::optional<orvix::os::MemoryStatus> memory_status;
    std::optional<std::u16string> user, domain, host;
    uint32_t error = 0;  // the error code of a failed session or host query
    std::optional<orvix::os::LocalDateTime> now;
    std::optional<int64_t> seconds_west;
    mutable int product_info_calls = 0;

    bool version(orvix::os::VersionRecord* out) const override {
        if (version_record) *out = *version_record;
        return version_record.has_value();
    }
    bool product_info(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t* type) const override {
        ++product_info_calls;
        if (product_type) *type = *product_type;
        return product_type.has_value();
    }
    int32_t system_metric(int32_t index) const override {
        auto it = metrics.find(index);
        return it == metrics.end() ? 0 : it->second;
    }
    orvix::os::ProcessorInfo processors() const override { return processor_info; }
    bool memory(orvix::os::MemoryStatus* out) const override {
        if (memory_status) *out = *memory_status;
        return memory_status.has_value();
    }
    bool session_user(std::u16string* out, uint32_t* code) const override { return answer(user, out, code); }
    bool session_domain(std::u16string* out, uint32_t* code) const override {
        return answer(domain, out, code);
    }
    bool host_name(std::u16string* out, uint32_t* code) const override { return answer(host, out, code); }
    bool local_time(orvix::os::LocalDateTime* out) const override {
        if (now) *out = *now;
        return now.has_value();
    }
    bool time_zone_offset(int64_t* out) const override {
        if (seconds_west) *out = *seconds_west;
        return seconds_west.has_value();
    }

    static orvix::os::VersionRecord record(uint32_t major, uint32_t minor, uint32_t build, uint8_t product,
                                           std::u16string service_pack = {}) {
        orvix::os::VersionRecord v;
        v.major = major;
        v.minor = minor;
        v.build = build;
        v.product_type = product;
        v.service_pack = std::move(service_pack);
        return v;
    }

  private:
    bool answer(const std::optional<std::u16string>& value, std::u16string* out, uint32_t* code) const {
        if (!value) {
            if (code != nullptr) *code = error;
            return false;
        }
        *out = *value;
        return true;
    }
};

}  // namespace orvix_test
