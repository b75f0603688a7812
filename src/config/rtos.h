// A small real-time OS interface on the standard thread library: fixed-size message
// queues, counting semaphores, mutexes with a time-out argument, and thread registration.
// The environment store is its user.
//
// Time-outs are milliseconds on a steady clock: 0 does not wait, VORN_RTOS_WAIT_FOREVER
// waits without limit. Operations return 0, or -504 when the time-out expires or the
// object is busy. A null queue ends the process through vorn_event_assert; errors of the
// underlying mutex and condition-variable calls raise std::system_error.
//
// Threads are registered first and started later, all at once, by vorn_rtos_open, which
// also sets the process-wide opened flag; registering after that ends the process. The
// environment store opens the RTOS at the end of its start-up, right after it registered
// its worker, so a component that wants threads of its own registers them before it
// starts the store (or opens the RTOS itself when it does not use the store).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "eventlog/status.h"

inline constexpr uint32_t VORN_RTOS_NO_WAIT = 0;
inline constexpr uint32_t VORN_RTOS_WAIT_FOREVER = 0xFFFFFFFFu;

// A ring of depth messages of msg_size bytes each.
struct sVORN_RTOS_QUEUE {
    std::mutex lock;
    std::condition_variable changed;
    uint8_t* buffer = nullptr;  // depth * msg_size bytes, zero-filled
    uint32_t msg_size = 0;
    uint32_t depth = 0;
    uint32_t count = 0;  // messages queued
    uint32_t write_pos = 0;
    uint32_t read_pos = 0;
};

// The count is taken and given back with atomic operations; the mutex and condition
// variable are used only when a taker has to wait, so an uncontended get and put cost two
// atomic operations and no lock.
struct sVORN_RTOS_SEM {
    std::mutex lock;
    std::atomic<uint32_t> count{0};
    std::condition_variable available;
    std::atomic<uint32_t> waiters{0};  // takers blocked on available
};

// Not recursive.
struct sVORN_RTOS_MUTEX {
    std::mutex mutex;
};

using vorn_rtos_thread_entry = std::function<void(void*)>;

struct sVORN_RTOS_THREAD_PARAMS {
    vorn_rtos_thread_entry entry;
    void* argument = nullptr;
    uint8_t flag = 0;
};

// One registered thread. Records live until the process ends (a thread that is still
// running at exit is never joined), in one list in registration order.
struct sVORN_RTOS_THREAD {
    std::thread handle;  // not a thread until vorn_rtos_open starts it
    std::thread::id id;  // the default (no thread) until then
    vorn_rtos_thread_entry entry;
    void* argument = nullptr;
    uint8_t flag = 0;
    sVORN_RTOS_THREAD* next = nullptr;
};

// Queues. create returns null when msg_size * depth bytes cannot be had.
sVORN_RTOS_QUEUE* vorn_rtos_queue_create(uint32_t msg_size, uint32_t depth);
// Copies msg_size bytes of message in; waits for room as the time-out allows.
int32_t vorn_rtos_queue_put(sVORN_RTOS_QUEUE* queue, const void* message, uint32_t timeout_ms);
// Copies the oldest message into buffer (msg_size bytes) and its size into *size (when
// size is given); waits for a message as the time-out allows.
int32_t vorn_rtos_queue_get(sVORN_RTOS_QUEUE* queue, void* buffer, uint32_t timeout_ms, uint32_t* size);
void vorn_rtos_queue_flush(sVORN_RTOS_QUEUE* queue);
// Frees a queue nobody uses any longer (null is ignored). The store keeps its objects for
// the life of the process; short-lived users give theirs back.
void vorn_rtos_queue_delete(sVORN_RTOS_QUEUE* queue);

// Counting semaphores; create returns null when memory runs out. get on a null
// semaphore returns -502 and put ignores it.
sVORN_RTOS_SEM* vorn_rtos_sem_create(uint32_t initial_count);
int32_t vorn_rtos_sem_get(sVORN_RTOS_SEM* sem, uint32_t timeout_ms);
void vorn_rtos_sem_put(sVORN_RTOS_SEM* sem);
void vorn_rtos_sem_delete(sVORN_RTOS_SEM* sem);

// Mutexes: get takes VORN_RTOS_WAIT_FOREVER (lock) or 0 (try, -504 when held); any
// other time-out is refused with -501 without locking. A null mutex gives -502.
sVORN_RTOS_MUTEX* vorn_rtos_mutex_create();
int32_t vorn_rtos_mutex_get(sVORN_RTOS_MUTEX* mutex, uint32_t timeout_ms);
void vorn_rtos_mutex_put(sVORN_RTOS_MUTEX* mutex);
void vorn_rtos_mutex_delete(sVORN_RTOS_MUTEX* mutex);

// Registers a thread (it does not run yet) and returns its record. After vorn_rtos_open
// this logs, waits 100 ms and ends the process through vorn_event_assert.
sVORN_RTOS_THREAD* vorn_rtos_thread_create(const sVORN_RTOS_THREAD_PARAMS& params);

// Starts every registered thread, each on a thread of its own running entry(argument),
// fills in handle and id, and sets the opened flag. Returns 0, or -503 when the RTOS is
// open already (nothing is started then).
int32_t vorn_rtos_open();
bool vorn_rtos_is_open();
