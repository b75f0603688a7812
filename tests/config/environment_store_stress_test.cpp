// Readers take no lock, so a read that overlaps a write must still see one write's value
// whole. Writers flip settings of every type between two values that differ in every byte
// the type has (the texts 511 bytes long); readers on other threads check that each value
// they get is one of the two. Under ThreadSanitizer this also proves the copy race-free.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "config/environment_store.h"

namespace {

constexpr char kU8[] = "orvix.enable_audio";
constexpr char kU16[] = "orvix.server_statistics_interval_seconds";
constexpr char kU32[] = "orvix.mtu_size";
constexpr char kEnum[] = "orvix.event_filter_mode";
constexpr char kText[] = "orvix.ip_address";

constexpr uint8_t kU8Values[] = {0x5A, 0xA5};
constexpr uint16_t kU16Values[] = {0x5A5A, 0xA5A5};
constexpr uint32_t kU32Values[] = {0x5A5A5A5Au, 0xA5A5A5A5u};
constexpr int32_t kEnumValues[] = {0x5A5A5A5A, -0x5A5A5A5B};  // 0xA5A5A5A5 as a signed value
const std::string kTexts[] = {std::string(511, 'a'), std::string(511, 'b')};

// value by reference: it is read after the getter that fills it has run.
template <typename T, typename V>
bool one_of(int32_t status, const T& value, const V (&values)[2]) {
    return status == 0 && (value == values[0] || value == values[1]);
}

TEST(EnvironmentStoreStress, ReadersRacingWritersSeeOnlyWholeValues) {
    ASSERT_EQ(vorn_mgmt_env_init(0), VORN_STATUS_SUCCESS);
    auto write_all = [](int which) {
        EXPECT_EQ(vorn_mgmt_env_set_uint8(kU8, kU8Values[which]), 0);
        EXPECT_EQ(vorn_mgmt_env_set_uint16(kU16, kU16Values[which]), 0);
        EXPECT_EQ(vorn_mgmt_env_set_uint32(kU32, kU32Values[which]), 0);
        EXPECT_EQ(vorn_mgmt_env_set_enum(kEnum, static_cast<eVORN_MGMT_ENV_ENUM>(kEnumValues[which])), 0);
        EXPECT_EQ(vorn_mgmt_env_set_string(kText, kTexts[which].c_str()), 0);
    };
    write_all(0);

    std::atomic<bool> writing{true};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            char text[512];
            while (writing.load(std::memory_order_relaxed)) {
                uint8_t u8 = 0;
                uint16_t u16 = 0;
                uint32_t u32 = 0;
                eVORN_MGMT_ENV_ENUM e{};
                const bool ok = one_of(vorn_mgmt_env_get_uint8(kU8, &u8), u8, kU8Values) &&
                                one_of(vorn_mgmt_env_get_uint16(kU16, &u16), u16, kU16Values) &&
                                one_of(vorn_mgmt_env_get_uint32(kU32, &u32), u32, kU32Values) &&
                                one_of(vorn_mgmt_env_get_enum(kEnum, &e), e, kEnumValues) &&
                                one_of(vorn_mgmt_env_get_string(kText, text, sizeof text), text, kTexts);
                if (!ok) bad.fetch_add(1);
                reads.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }
    // Two writers, so writes also queue behind each other on the semaphore.
    std::vector<std::thread> writers;
    for (int w = 0; w < 2; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 3000; ++i) write_all((i + w) % 2);
        });
    }
    for (auto& writer : writers) writer.join();
    writing.store(false);
    for (auto& reader : readers) reader.join();

    EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " rounds of reads";
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
