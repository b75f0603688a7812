// The environment store. All state is static: the control block (default slots,
// primitives, listeners) and the value cache, both indexed by catalogue row. The value
// semaphore serialises the writers, the write log line included, so the static display
// buffer has one user at a time; change messages are posted after it is released.
//
// Readers take no lock, so readers on many threads do not wait for each other. Each cache
// entry has a sequence number that a writer makes odd before it copies and even again
// after; a reader copies the words and keeps the copy only when the number was even and
// unchanged across the copy (a sequence lock). A reader therefore sees one write's value
// whole, never a mix of two.
#include "config/environment_store.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "config/configuration_manager.h"
#include "config/environment_store_internal.h"
#include "eventlog/event_log.h"

namespace {

constexpr uint32_t kSlotSize = VORN_MGMT_ENV_SLOT_SIZE;
constexpr uint32_t kMaxText = kSlotSize - 1;

sVORN_MGMT_ENV_CONTROL_BLOCK g_block;
sVORN_MGMT_ENV_CACHE_ENTRY g_cache[VORN_MGMT_ENV_NUM_SLOTS];
std::atomic<uint32_t> g_sequence[VORN_MGMT_ENV_NUM_SLOTS];
uint8_t g_init_flag = 0;
// Written once by start-up, read by every operation from any thread.
std::atomic<bool> g_initialised{false};
std::atomic<bool> g_available{false};
// Start-up is not meant to race with itself; this makes a racing second call wait and
// be refused instead of zeroing the block under the first.
std::mutex g_init_lock;
char g_display[VORN_MGMT_ENV_DISPLAY_SIZE];

const char* const kLanguageNames[] = {
    "ENGLISH", "FRENCH", "GERMAN", "SPANISH", "ITALIAN", "PORTUGUESE",
    "KOREAN", "JAPANESE", "CHINESE_TRAD", "CHINESE_SIMP", "GREEK",
};

const char* printable(const char* name) { return name != nullptr ? name : "(null)"; }

// The default text as "%d" reads it: leading blanks, a sign and digits; 0 without a number.
uint32_t scan_number(const char* text) {
    if (text == nullptr) return 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text) return 0;
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

void store_number(uint8_t* slot, uint32_t type, uint32_t value) {
    switch (type) {
        case ENV_VALUE_UINT8: {
            const uint8_t v = static_cast<uint8_t>(value);
            std::memcpy(slot, &v, sizeof v);
            break;
        }
        case ENV_VALUE_UINT16: {
            const uint16_t v = static_cast<uint16_t>(value);
            std::memcpy(slot, &v, sizeof v);
            break;
        }
        default:
            std::memcpy(slot, &value, sizeof value);
            break;
    }
}

void copy_text(char* dst, const char* src, size_t max_bytes) {
    size_t n = 0;
    while (n < max_bytes && src[n] != '\0') ++n;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

[[noreturn]] void fail_sem_get(int32_t status) {
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status, "vorn_rtos_sem_get error!");
    vorn_event_assert(status, "mgmt_vorn_env_sem_get", __LINE__);
}

void take_values() {
    const int32_t status = vorn_rtos_sem_get(g_block.value_sem, VORN_RTOS_WAIT_FOREVER);
    if (status != VORN_STATUS_SUCCESS) fail_sem_get(status);
}

void release_values() { vorn_rtos_sem_put(g_block.value_sem); }

constexpr size_t kWords = kSlotSize / 4;

// Writes one cache entry; the caller holds the value semaphore (or runs before any reader
// can exist), so writers never overlap.
//
// The ordering comes from the words themselves rather than from fences (which
// ThreadSanitizer cannot follow): every word is stored with release, so a reader that
// acquires a word of this write also sees the odd sequence number stored before it, and
// the final even number is stored with release after all of them. On x86-64 these are
// plain moves.
void write_entry(uint32_t index, const uint8_t* value, uint32_t valid) {
    std::atomic<uint32_t>& sequence = g_sequence[index];
    const uint32_t start = sequence.load(std::memory_order_relaxed);
    sequence.store(start + 1, std::memory_order_relaxed);
    sVORN_MGMT_ENV_CACHE_ENTRY& entry = g_cache[index];
    for (size_t i = 0; i < kWords; ++i) {
        uint32_t word = 0;
        if (value != nullptr) std::memcpy(&word, value + 4 * i, 4);
        entry.words[i].store(word, std::memory_order_release);
    }
    entry.valid.store(valid, std::memory_order_release);
    sequence.store(start + 2, std::memory_order_release);
}

// Zeroes the entries that loading the defaults does not fill (slot 0 and those past the
// last row). Those it fills are not zeroed first: each goes from its old value to its
// default in one write, so a reader racing a reload never finds a setting without value.
void clear_cache() {
    const uint32_t count = get_num_entries();
    for (uint32_t index = 0; index < VORN_MGMT_ENV_NUM_SLOTS; ++index) {
        if (index == 0 || index > count) write_entry(index, nullptr, 0);
    }
}

// Copies the first n bytes of a cache entry (n <= 512) without a lock: the copy is retried
// until no write overlapped it.
template <size_t n>
int32_t read_entry(uint32_t index, void* buffer) {
    if (index >= VORN_MGMT_ENV_NUM_SLOTS) return VORN_STATUS_INVALID;
    if (g_block.value_sem == nullptr) return VORN_STATUS_NOT_STARTED;
    const sVORN_MGMT_ENV_CACHE_ENTRY& entry = g_cache[index];
    const std::atomic<uint32_t>& sequence = g_sequence[index];
    constexpr size_t words = (n + 3) / 4;
    static_assert(n <= kSlotSize);
    uint32_t copy[words];
    for (unsigned attempt = 0;; ++attempt) {
        const uint32_t before = sequence.load(std::memory_order_acquire);
        if ((before & 1) == 0) {
            // Acquire loads: the second reading of the number cannot move above them, and
            // a word of a write that began after the first reading makes the number differ.
            const uint32_t valid = entry.valid.load(std::memory_order_acquire);
            for (size_t i = 0; i < words; ++i) copy[i] = entry.words[i].load(std::memory_order_acquire);
            if (sequence.load(std::memory_order_relaxed) == before) {
                if (valid != 1) return VORN_STATUS_NO_VALUE;
                std::memcpy(buffer, copy, n);
                return VORN_STATUS_SUCCESS;
            }
        }
        // A writer is inside this entry; it holds it for one 512-byte copy.
        if (attempt >= 64) std::this_thread::yield();
    }
}

// Steps shared by the typed operations: started, known name, matching type. Returns the
// row index or ENV_INDEX_NOT_FOUND with *status set.
uint32_t checked_index(const char* name, uint32_t type, int32_t* status) {
    if (!g_initialised.load(std::memory_order_acquire)) {
        *status = VORN_STATUS_NOT_STARTED;
        return ENV_INDEX_NOT_FOUND;
    }
    uint32_t row_type;
    const uint32_t index = get_entry_index(name, &row_type);
    if (index == ENV_INDEX_NOT_FOUND) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_FAILURE,
                       "Could not find item %s in env lookup table!", printable(name));
        *status = VORN_STATUS_INVALID;
        return ENV_INDEX_NOT_FOUND;
    }
    if (row_type != type) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_FAILURE,
                       "Item %s is not of type %d", name, static_cast<int>(type));
        *status = VORN_STATUS_INVALID;
        return ENV_INDEX_NOT_FOUND;
    }
    *status = VORN_STATUS_SUCCESS;
    return index;
}

template <typename T>
int32_t get_number(const char* name, uint32_t type, T* value) {
    int32_t status;
    const uint32_t index = checked_index(name, type, &status);
    if (index == ENV_INDEX_NOT_FOUND) return status;
    T read{};
    status = read_entry<sizeof read>(index, &read);
    if (value != nullptr) *value = status == VORN_STATUS_SUCCESS ? read : T{};
    return status;
}

// The typed write path: value_size bytes of value at the start of a zeroed slot.
int32_t set_typed(const char* name, uint32_t type, const void* value, size_t value_size) {
    int32_t status;
    const uint32_t index = checked_index(name, type, &status);
    if (index == ENV_INDEX_NOT_FOUND) return status;
    uint8_t buffer[kSlotSize] = {};
    std::memcpy(buffer, value, value_size);
    return mgmt_vorn_env_set(index, buffer);
}

int32_t set_text(const char* name, const char* value) {
    int32_t status;
    const uint32_t index = checked_index(name, ENV_VALUE_STRING, &status);
    if (index == ENV_INDEX_NOT_FOUND) return status;
    uint8_t buffer[kSlotSize] = {};
    copy_text(reinterpret_cast<char*>(buffer), value != nullptr ? value : "", kMaxText);
    return mgmt_vorn_env_set(index, buffer);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Start-up

sVORN_MGMT_ENV_CONTROL_BLOCK* mgmt_vorn_env_control_block() { return &g_block; }

void mgmt_vorn_env_set_defaults(sVORN_MGMT_ENV_CONTROL_BLOCK* block, bool client) {
    const uint32_t count = get_num_entries();
    for (uint32_t index = 1; index <= count && index < VORN_MGMT_ENV_NUM_SLOTS; ++index) {
        const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
        uint8_t* slot = block->default_slots[index];
        switch (row.value_type) {
            case ENV_VALUE_STRING:
                copy_text(reinterpret_cast<char*>(slot), row.default_value != nullptr ? row.default_value : "",
                          kMaxText);
                slot[kSlotSize - 1] = 0;
                break;
            case ENV_VALUE_ENUM: {
                // orvix.language, orvix.session_type and orvix.connection_type start at 0,
                // like every other enum row; only the filter mode has its own start value.
                const int32_t value = std::strcmp(row.name, "orvix.event_filter_mode") == 0 ? 2 : 0;
                std::memcpy(slot, &value, sizeof value);
                break;
            }
            case ENV_VALUE_MAC_ADDR: {
                const uint8_t mac[6] = {0x00, 0x0F, 0x01, static_cast<uint8_t>(client ? 1 : 0), 0x01, 0x00};
                std::memcpy(slot, mac, sizeof mac);
                break;
            }
            case ENV_VALUE_UINT8:
            case ENV_VALUE_UINT16:
            case ENV_VALUE_UINT32: {
                uint32_t value;
                if (std::strcmp(row.name, "orvix.udp_port") == 0) {
                    value = client ? 50002 : 4172;
                } else if (std::strcmp(row.name, "orvix.session_retry_timeout") == 0) {
                    value = client ? 120 : 20;
                } else {
                    value = scan_number(row.default_value);
                }
                store_number(slot, row.value_type, value);
                break;
            }
            default:
                break;
        }
    }
}

int32_t mgmt_vorn_env_load_cache(sVORN_MGMT_ENV_CONTROL_BLOCK* block) {
    const uint32_t count = get_num_entries();
    for (uint32_t index = 1; index <= count && index < VORN_MGMT_ENV_NUM_SLOTS; ++index) {
        write_entry(index, block->default_slots[index], 1);
    }
    return VORN_STATUS_SUCCESS;
}

int32_t mgmt_vorn_env_init_fsm(sVORN_MGMT_ENV_CONTROL_BLOCK* block) {
    block->value_sem = vorn_rtos_sem_create(1);
    block->worker_mutex = vorn_rtos_mutex_create();
    block->listener_mutex = vorn_rtos_mutex_create();
    block->queue = vorn_rtos_queue_create(sizeof(sVORN_MGMT_ENV_MSG), VORN_MGMT_ENV_QUEUE_DEPTH);

    sVORN_RTOS_THREAD_PARAMS params;
    params.entry = mgmt_vorn_env_thread_entry;
    params.argument = block;
    params.flag = block->worker_flag;
    block->thread = vorn_rtos_thread_create(params);

    clear_cache();
    const int32_t status = mgmt_vorn_env_load_cache(block);
    if (status != VORN_STATUS_SUCCESS) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status, "Error loading cache!");
        return status;
    }
    // The worker has to run, or every writer of a notify setting would stop for good once
    // 100 messages are pending. The store registers the only thread of this layer, so it
    // opens the RTOS here; threads of other components must be registered before.
    vorn_rtos_open();
    return status;
}

int32_t vorn_mgmt_env_init(uint8_t flag) {
    std::lock_guard<std::mutex> serial(g_init_lock);
    if (g_initialised.load()) return VORN_STATUS_NOT_STARTED;
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_SUCCESS, "Environment manager is enabled");

    std::memset(&g_block, 0, sizeof g_block);
    mgmt_vorn_env_set_defaults(&g_block, false);
    g_init_flag = flag;

    const int32_t status = mgmt_vorn_env_init_fsm(&g_block);
    if (status != VORN_STATUS_SUCCESS) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, status, "mgmt_vorn_env_init_fsm failed!");
        return status;
    }
    g_initialised.store(true, std::memory_order_release);

    // The manager reports its own failures; the store is usable with its defaults either way.
    configure_from_sources(VORN_ENV_TYPE_REG, nullptr);

    g_available.exchange(true);
    return VORN_STATUS_SUCCESS;
}

bool vorn_mgmt_env_is_available() { return g_available.load(); }

// ---------------------------------------------------------------------------------------
// Value access

int32_t mgmt_vorn_env_get(uint32_t index, uint8_t* buffer) {
    if (buffer == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    return read_entry<kSlotSize>(index, buffer);
}

int32_t mgmt_vorn_env_set(uint32_t index, const uint8_t* buffer) {
    if (index == 0 || index > get_num_entries() || index >= VORN_MGMT_ENV_NUM_SLOTS) return VORN_STATUS_INVALID;
    if (buffer == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    if (g_block.value_sem == nullptr) return VORN_STATUS_NOT_STARTED;
    const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);

    take_values();
    write_entry(index, buffer, 1);
    // The entry now holds exactly these bytes, and no other writer can change it before
    // the semaphore is released.
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_SUCCESS,
                   "Setting ENV variable[%3d]: %s = %s", static_cast<int>(index), row.name,
                   vorn_mgmt_env_value_to_string(index, buffer));
    release_values();

    if (row.modification != ENV_MOD_ALL_ONES && (row.modification & ENV_MOD_NOTIFY) != 0) {
        mgmt_vorn_env_post(ENV_ACTION_NOTIFY, index);
    }
    return VORN_STATUS_SUCCESS;
}

int32_t mgmt_vorn_env_post(uint32_t action, uint32_t index) {
    if (g_block.queue == nullptr) return VORN_STATUS_NOT_STARTED;
    const sVORN_MGMT_ENV_MSG message = {action, index};
    const int32_t status = vorn_rtos_queue_put(g_block.queue, &message, VORN_RTOS_WAIT_FOREVER);
    if (status != VORN_STATUS_SUCCESS) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status, "vorn_rtos_queue_put error!");
        vorn_event_assert(status, "mgmt_vorn_env_queue_put", __LINE__);
    }
    return status;
}

int32_t vorn_mgmt_env_get_uint8(const char* name, uint8_t* value) {
    return get_number(name, ENV_VALUE_UINT8, value);
}

int32_t vorn_mgmt_env_get_uint16(const char* name, uint16_t* value) {
    return get_number(name, ENV_VALUE_UINT16, value);
}

int32_t vorn_mgmt_env_get_uint32(const char* name, uint32_t* value) {
    return get_number(name, ENV_VALUE_UINT32, value);
}

int32_t vorn_mgmt_env_get_enum(const char* name, eVORN_MGMT_ENV_ENUM* value) {
    int32_t raw = 0;
    const int32_t status = get_number(name, ENV_VALUE_ENUM, value != nullptr ? &raw : nullptr);
    if (value != nullptr && (status == VORN_STATUS_SUCCESS || status == VORN_STATUS_NO_VALUE)) {
        *value = static_cast<eVORN_MGMT_ENV_ENUM>(raw);
    }
    return status;
}

int32_t vorn_mgmt_env_get_string(const char* name, char* buffer, uint32_t size) {
    int32_t status;
    const uint32_t index = checked_index(name, ENV_VALUE_STRING, &status);
    if (index == ENV_INDEX_NOT_FOUND) return status;
    char text[kSlotSize] = {};
    status = read_entry<kSlotSize>(index, text);
    if (status != VORN_STATUS_SUCCESS) text[0] = '\0';
    text[kSlotSize - 1] = '\0';
    if (buffer != nullptr && size > 0) {
        copy_text(buffer, text, (size < kSlotSize ? size : kSlotSize) - 1);
    }
    return status;
}

int32_t vorn_mgmt_env_set_uint8(const char* name, uint8_t value) {
    return set_typed(name, ENV_VALUE_UINT8, &value, sizeof value);
}

int32_t vorn_mgmt_env_set_uint16(const char* name, uint16_t value) {
    return set_typed(name, ENV_VALUE_UINT16, &value, sizeof value);
}

int32_t vorn_mgmt_env_set_uint32(const char* name, uint32_t value) {
    return set_typed(name, ENV_VALUE_UINT32, &value, sizeof value);
}

int32_t vorn_mgmt_env_set_enum(const char* name, eVORN_MGMT_ENV_ENUM value) {
    const int32_t raw = value;
    return set_typed(name, ENV_VALUE_ENUM, &raw, sizeof raw);
}

int32_t vorn_mgmt_env_set_string(const char* name, const char* value) { return set_text(name, value); }

int32_t vorn_mgmt_env_init_default(const char* name) {
    if (!g_initialised.load(std::memory_order_acquire)) return VORN_STATUS_NOT_STARTED;
    const uint32_t index = get_entry_index(name);
    if (index == ENV_INDEX_NOT_FOUND) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_FAILURE,
                       "vorn_mgmt_env_init_default: %s not found in env lookup table!", printable(name));
        return VORN_STATUS_INVALID;
    }
    const uint32_t type = get_entry(index).value_type;
    if (type < ENV_VALUE_UINT8 || type > ENV_VALUE_MAC_ADDR) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_INFO, VORN_STATUS_SUCCESS,
                       "vorn_mgmt_env_init_default: %s is an unknown entry type!", name);
        return VORN_STATUS_INVALID;
    }

    const uint8_t* slot = g_block.default_slots[index];
    int32_t status = VORN_STATUS_SUCCESS;
    switch (type) {
        case ENV_VALUE_UINT8:
        case ENV_VALUE_UINT16:
        case ENV_VALUE_UINT32: {
            uint32_t value = 0;
            if (type == ENV_VALUE_UINT8) {
                value = slot[0];
            } else if (type == ENV_VALUE_UINT16) {
                uint16_t v;
                std::memcpy(&v, slot, sizeof v);
                value = v;
            } else {
                std::memcpy(&value, slot, sizeof value);
            }
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "Environment Manager: setting parameter %s = %d", name, static_cast<int>(value));
            if (type == ENV_VALUE_UINT8) {
                status = vorn_mgmt_env_set_uint8(name, static_cast<uint8_t>(value));
            } else if (type == ENV_VALUE_UINT16) {
                status = vorn_mgmt_env_set_uint16(name, static_cast<uint16_t>(value));
            } else {
                status = vorn_mgmt_env_set_uint32(name, value);
            }
            break;
        }
        case ENV_VALUE_STRING: {
            char text[kSlotSize];
            copy_text(text, reinterpret_cast<const char*>(slot), kMaxText);
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "Environment Manager: setting parameter %s =  \"%s\"", name, text);
            status = vorn_mgmt_env_set_string(name, text);
            break;
        }
        case ENV_VALUE_ENUM: {
            int32_t value;
            std::memcpy(&value, slot, sizeof value);
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "Environment Manager: setting parameter %s =  %i", name, static_cast<int>(value));
            status = vorn_mgmt_env_set_enum(name, static_cast<eVORN_MGMT_ENV_ENUM>(value));
            break;
        }
        case ENV_VALUE_MAC_ADDR:
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_SUCCESS,
                           "Environment Manager: setting parameter %s = %02X-%02X-%02X-%02X-%02X-%02X", name,
                           slot[0], slot[1], slot[2], slot[3], slot[4], slot[5]);
            status = set_typed(name, ENV_VALUE_MAC_ADDR, slot, 6);
            break;
        default:
            break;
    }
    if (status != VORN_STATUS_SUCCESS) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_FAILURE,
                       "Environment Manager, vorn_mgmt_env_init_default: Failed to set %s config parameter", name);
    }
    return status;
}

int32_t vorn_mgmt_env_get_string_value(const std::string& name, std::string& result) {
    static const char* const kFunction = "vorn_mgmt_env_get_string_value";
    const uint32_t index = get_entry_index(name.c_str());
    if (index == ENV_INDEX_NOT_FOUND) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_NO_VALUE,
                       "%s: get_entry_index returned ENV_INDEX_NOT_FOUND (%d).", kFunction, -1);
        return VORN_STATUS_NO_VALUE;
    }
    const uint32_t type = get_entry(index).value_type;
    char text[kSlotSize] = {};
    int32_t status;
    switch (type) {
        case ENV_VALUE_UINT8: {
            uint8_t value = 0;
            status = vorn_mgmt_env_get_uint8(name.c_str(), &value);
            std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
            break;
        }
        case ENV_VALUE_UINT16: {
            uint16_t value = 0;
            status = vorn_mgmt_env_get_uint16(name.c_str(), &value);
            std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
            break;
        }
        case ENV_VALUE_UINT32: {
            uint32_t value = 0;
            status = vorn_mgmt_env_get_uint32(name.c_str(), &value);
            std::snprintf(text, sizeof text, "%" PRIu32, value);
            break;
        }
        case ENV_VALUE_STRING:
            status = vorn_mgmt_env_get_string(name.c_str(), text, sizeof text);
            break;
        default:
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_INVALID,
                           "%s: get_entry_index for \"%s\" returned unknown value_type, %d", kFunction, name.c_str(),
                           static_cast<int>(type));
            return VORN_STATUS_INVALID;
    }
    if (status == VORN_STATUS_SUCCESS) result = text;
    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, status == VORN_STATUS_SUCCESS ? VORN_EVENT_LEVEL_INFO : VORN_EVENT_LEVEL_ERROR,
                   status, "%s: returning %s for name, %s", kFunction, result.c_str(), name.c_str());
    return status;
}

// ---------------------------------------------------------------------------------------
// Display

void mgmt_vorn_env_format_value(uint32_t index, const uint8_t* value, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    out[0] = '\0';
    if (value == nullptr) return;
    const sVORN_ENV_LOOKUP_ENTRY row = get_entry(index);
    if (std::strcmp(row.name, "orvix.language") == 0) {
        int32_t code;
        std::memcpy(&code, value, sizeof code);
        if (code >= 0 && code <= 10) {
            std::snprintf(out, size, "%s", kLanguageNames[code]);
        } else {
            std::snprintf(out, size, "Unknown Language, %d", static_cast<int>(code));
        }
        return;
    }
    switch (row.value_type) {
        case ENV_VALUE_DEPRECATED:
            std::snprintf(out, size, "[Deprecated]");
            break;
        case ENV_VALUE_UNDEFINED:
            std::snprintf(out, size, "[Undefined - error?]");
            break;
        case ENV_VALUE_UINT8:
            std::snprintf(out, size, "%u", static_cast<unsigned>(value[0]));
            break;
        case ENV_VALUE_UINT16: {
            uint16_t v;
            std::memcpy(&v, value, sizeof v);
            std::snprintf(out, size, "%u", static_cast<unsigned>(v));
            break;
        }
        case ENV_VALUE_UINT32: {
            uint32_t v;
            std::memcpy(&v, value, sizeof v);
            std::snprintf(out, size, "%" PRIu32, v);
            break;
        }
        case ENV_VALUE_ENUM: {
            int32_t v;
            std::memcpy(&v, value, sizeof v);
            std::snprintf(out, size, "%d", static_cast<int>(v));
            break;
        }
        case ENV_VALUE_STRING:
            copy_text(out, reinterpret_cast<const char*>(value), (size - 1 < kMaxText ? size - 1 : kMaxText));
            break;
        case ENV_VALUE_MAC_ADDR:
            std::snprintf(out, size, "%02X-%02X-%02X-%02X-%02X-%02X", value[0], value[1], value[2], value[3],
                          value[4], value[5]);
            break;
        default:
            std::snprintf(out, size, "[Default - Error?]");
            break;
    }
}

const char* vorn_mgmt_env_value_to_string(uint32_t index, const uint8_t* value) {
    char whole[kSlotSize + 16];
    mgmt_vorn_env_format_value(index, value, whole, sizeof whole);
    const size_t length = std::strlen(whole);
    if (length < VORN_MGMT_ENV_DISPLAY_SIZE) {
        std::memcpy(g_display, whole, length + 1);
    } else {
        std::memcpy(g_display, whole, 46);
        std::memcpy(g_display + 46, "...", 4);
    }
    return g_display;
}

// ---------------------------------------------------------------------------------------
// Worker and listeners

int32_t mgmt_vorn_env_register_listener(vorn_mgmt_env_listener callback, void* context) {
    if (!g_initialised.load(std::memory_order_acquire)) return VORN_STATUS_NOT_STARTED;
    if (callback == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    const int32_t status = vorn_rtos_mutex_get(g_block.listener_mutex, VORN_RTOS_WAIT_FOREVER);
    if (status != VORN_STATUS_SUCCESS) return status;
    int32_t result = VORN_STATUS_TIMEOUT;
    if (g_block.listener_count < VORN_MGMT_ENV_MAX_LISTENERS) {
        g_block.listeners[g_block.listener_count] = {callback, context};
        ++g_block.listener_count;
        result = VORN_STATUS_SUCCESS;
    }
    vorn_rtos_mutex_put(g_block.listener_mutex);
    return result;
}

int32_t mgmt_vorn_env_notify(uint32_t event, uint32_t index) {
    for (uint32_t position = 0;; ++position) {
        const int32_t status = vorn_rtos_mutex_get(g_block.listener_mutex, VORN_RTOS_WAIT_FOREVER);
        if (status != VORN_STATUS_SUCCESS) return status;
        if (position >= g_block.listener_count) {
            vorn_rtos_mutex_put(g_block.listener_mutex);
            break;
        }
        const sVORN_MGMT_ENV_LISTENER listener = g_block.listeners[position];
        vorn_rtos_mutex_put(g_block.listener_mutex);
        uint32_t argument = index;
        if (listener.callback != nullptr) listener.callback(listener.context, event, &argument);
    }
    return VORN_STATUS_SUCCESS;
}

void mgmt_vorn_env_thread_entry(void* argument) {
    auto* block = static_cast<sVORN_MGMT_ENV_CONTROL_BLOCK*>(argument);
    int32_t status = vorn_rtos_mutex_get(block->worker_mutex, VORN_RTOS_WAIT_FOREVER);
    if (status != VORN_STATUS_SUCCESS) {
        vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status, "vorn_rtos_mutex_get error!");
        vorn_event_assert(status, "mgmt_vorn_env_thread_entry", __LINE__);
    }
    uint32_t last_notified = 0;
    for (;;) {
        sVORN_MGMT_ENV_MSG message = {};
        uint32_t size = 0;
        status = vorn_rtos_queue_get(block->queue, &message, VORN_RTOS_WAIT_FOREVER, &size);
        if (status != VORN_STATUS_SUCCESS) {
            vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status, "vorn_rtos_queue_get error!");
            vorn_event_assert(status, "mgmt_vorn_env_queue_get", __LINE__);
        }
        switch (message.action) {
            case ENV_ACTION_READ:
                break;
            case ENV_ACTION_RELOAD_DEFAULTS:
                take_values();
                clear_cache();
                status = mgmt_vorn_env_load_cache(block);
                if (status != VORN_STATUS_SUCCESS) {
                    vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_CRITICAL, status, "Error loading cache!");
                    vorn_event_assert(status, "mgmt_vorn_env_thread_entry", __LINE__);
                }
                release_values();
                vorn_rtos_queue_flush(block->queue);
                mgmt_vorn_env_notify(ENV_EVENT_DEFAULTS_RELOADED, last_notified);
                break;
            case ENV_ACTION_NOTIFY:
                last_notified = message.index;
                mgmt_vorn_env_notify(ENV_EVENT_CHANGED, message.index);
                break;
            case ENV_ACTION_EXIT:
                vorn_rtos_mutex_put(block->worker_mutex);
                return;
            default:
                vorn_event_log(VORN_EVENT_CAT_MGMT_ENV, VORN_EVENT_LEVEL_ERROR, VORN_STATUS_SUCCESS,
                               "Unknown action in message!");
                break;
        }
    }
}
