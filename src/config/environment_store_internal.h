// The environment store's inner operations and state, for its tests, its benchmark and
// the console tool. Components use environment_store.h.
//
// The control block and the value cache are process-wide statics. mgmt_vorn_env_set takes
// the value semaphore, so writes happen one at a time and in order; mgmt_vorn_env_get takes
// no lock and retries a copy that a write overlapped. A failed wait on the semaphore, or a
// failed post to the worker's queue, ends the process through vorn_event_assert.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "config/environment_store.h"
#include "config/rtos.h"

inline constexpr uint32_t VORN_MGMT_ENV_NUM_SLOTS = 250;
inline constexpr uint32_t VORN_MGMT_ENV_SLOT_SIZE = 512;
inline constexpr uint32_t VORN_MGMT_ENV_QUEUE_DEPTH = 100;
inline constexpr uint32_t VORN_MGMT_ENV_MAX_LISTENERS = 16;
// The display text of the write log line fits this buffer; longer texts are cut to 46
// characters and "...".
inline constexpr size_t VORN_MGMT_ENV_DISPLAY_SIZE = 50;

// Worker messages: action and row index.
enum : uint32_t {
    ENV_ACTION_READ = 0,             // accepted, no effect
    ENV_ACTION_RELOAD_DEFAULTS = 1,  // reload the cache from the default slots
    ENV_ACTION_NOTIFY = 2,           // a notify setting was written
    ENV_ACTION_EXIT = 3,             // end the worker
};

// Listener events.
enum : uint32_t {
    ENV_EVENT_DEFAULTS_RELOADED = 1,
    ENV_EVENT_CHANGED = 8,
};

struct sVORN_MGMT_ENV_MSG {
    uint32_t action;
    uint32_t index;
};
static_assert(sizeof(sVORN_MGMT_ENV_MSG) == 8);

// Called on the worker thread with (context, event, pointer to the row index); the
// result is ignored.
typedef int32_t (*vorn_mgmt_env_listener)(void* context, uint32_t event, uint32_t* index);

struct sVORN_MGMT_ENV_LISTENER {
    vorn_mgmt_env_listener callback;
    void* context;
};

// One per process; zeroed at start-up.
struct sVORN_MGMT_ENV_CONTROL_BLOCK {
    sVORN_RTOS_THREAD* thread;
    sVORN_RTOS_QUEUE* queue;    // sVORN_MGMT_ENV_MSG, VORN_MGMT_ENV_QUEUE_DEPTH deep
    sVORN_RTOS_SEM* value_sem;  // count 1, guards the value cache
    sVORN_RTOS_MUTEX* worker_mutex;
    sVORN_RTOS_MUTEX* listener_mutex;
    sVORN_MGMT_ENV_LISTENER listeners[VORN_MGMT_ENV_MAX_LISTENERS];
    uint32_t listener_count;
    uint8_t default_slots[VORN_MGMT_ENV_NUM_SLOTS][VORN_MGMT_ENV_SLOT_SIZE];  // slot 0 holds nothing
    uint8_t worker_flag;
};

// One value. Readers copy it without a lock while a writer may be changing it, so it is
// read and written as 32-bit atomics; a sequence number per entry, kept beside the cache,
// tells a reader whether its copy is whole. The 512 value bytes are words[0..127] in
// memory order.
struct sVORN_MGMT_ENV_CACHE_ENTRY {
    std::atomic<uint32_t> valid;  // 1 when the words hold a value
    std::atomic<uint32_t> words[VORN_MGMT_ENV_SLOT_SIZE / 4];
};
static_assert(sizeof(sVORN_MGMT_ENV_CACHE_ENTRY) * VORN_MGMT_ENV_NUM_SLOTS == 129000);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

sVORN_MGMT_ENV_CONTROL_BLOCK* mgmt_vorn_env_control_block();

// Fills the default slot of every setting; client selects the client-side special values.
void mgmt_vorn_env_set_defaults(sVORN_MGMT_ENV_CONTROL_BLOCK* block, bool client);
// Creates the primitives, registers the worker, loads the cache and opens the RTOS.
int32_t mgmt_vorn_env_init_fsm(sVORN_MGMT_ENV_CONTROL_BLOCK* block);
// Copies every default slot into the cache and marks it valid. The caller holds the
// value semaphore or runs before the store is started.
int32_t mgmt_vorn_env_load_cache(sVORN_MGMT_ENV_CONTROL_BLOCK* block);

// The 512 bytes of one cache entry, as one write left them: 0, -510 when the entry holds no
// value, -501 for an index beyond the cache, -503 before the primitives exist. Lock-free.
int32_t mgmt_vorn_env_get(uint32_t index, uint8_t* buffer);
// Writes 512 bytes into the cache entry of a setting, logs the write and, for notify
// settings, posts a change message. -501 for index 0 or beyond the last setting.
int32_t mgmt_vorn_env_set(uint32_t index, const uint8_t* buffer);

// The worker's entry; argument is the control block.
void mgmt_vorn_env_thread_entry(void* argument);
// Calls every registered listener with (event, index).
int32_t mgmt_vorn_env_notify(uint32_t event, uint32_t index);
// Puts a message on the worker's queue, waiting for room without limit.
int32_t mgmt_vorn_env_post(uint32_t action, uint32_t index);

// Adds a listener: -502 for a null callback, -504 when all 16 places are taken, -503
// before start-up.
int32_t mgmt_vorn_env_register_listener(vorn_mgmt_env_listener callback, void* context);

// The display text of a value of row index (a 512-byte slot), whole, into out (at most
// size - 1 bytes and a terminating zero). Languages by name for orvix.language.
void mgmt_vorn_env_format_value(uint32_t index, const uint8_t* value, char* out, size_t size);
// The same, cut for the write log line, in one static 50-byte buffer: the caller holds
// the value semaphore.
const char* vorn_mgmt_env_value_to_string(uint32_t index, const uint8_t* value);
