// Queues, semaphores and mutexes over std::mutex and std::condition_variable; thread
// records in one list that vorn_rtos_open starts.
#include "config/rtos.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>

#include "eventlog/event_log.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_thread_list_lock;
sVORN_RTOS_THREAD* g_thread_head = nullptr;
sVORN_RTOS_THREAD* g_thread_tail = nullptr;
std::atomic<bool> g_opened{false};

// Waits on cv (whose mutex lock holds) until ready() is true or the time-out ends.
// Returns whether ready() holds.
template <typename Ready>
bool wait_for_ready(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t timeout_ms,
                    Clock::time_point deadline, Ready ready) {
    if (ready()) return true;
    if (timeout_ms == VORN_RTOS_NO_WAIT) return false;
    if (timeout_ms == VORN_RTOS_WAIT_FOREVER) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_until(lock, deadline, ready);
}

Clock::time_point deadline_of(uint32_t timeout_ms) {
    // Taken before the lock, so the time spent waiting for it counts against the time-out.
    if (timeout_ms == VORN_RTOS_NO_WAIT || timeout_ms == VORN_RTOS_WAIT_FOREVER) return {};
    return Clock::now() + std::chrono::milliseconds(timeout_ms);
}

}  // namespace

sVORN_RTOS_QUEUE* vorn_rtos_queue_create(uint32_t msg_size, uint32_t depth) {
    const uint64_t bytes = static_cast<uint64_t>(msg_size) * depth;
    if (bytes > std::numeric_limits<size_t>::max() / 2) return nullptr;
    auto* queue = new (std::nothrow) sVORN_RTOS_QUEUE;
    if (queue == nullptr) return nullptr;
    if (bytes > 0) {
        queue->buffer = new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]();
        if (queue->buffer == nullptr) {
            delete queue;
            return nullptr;
        }
    }
    queue->msg_size = msg_size;
    queue->depth = depth;
    return queue;
}

int32_t vorn_rtos_queue_put(sVORN_RTOS_QUEUE* queue, const void* message, uint32_t timeout_ms) {
    if (queue == nullptr) vorn_event_assert(VORN_STATUS_MISSING_ARGUMENT, "vorn_rtos_queue_put", __LINE__);
    const Clock::time_point deadline = deadline_of(timeout_ms);
    std::unique_lock<std::mutex> lock(queue->lock);
    if (!wait_for_ready(queue->changed, lock, timeout_ms, deadline, [queue] { return queue->count < queue->depth; })) {
        return VORN_STATUS_TIMEOUT;
    }
    uint8_t* slot = queue->buffer + static_cast<size_t>(queue->write_pos) * queue->msg_size;
    if (message != nullptr) {
        std::memcpy(slot, message, queue->msg_size);
    } else {
        std::memset(slot, 0, queue->msg_size);
    }
    ++queue->count;
    queue->write_pos = queue->write_pos + 1 == queue->depth ? 0 : queue->write_pos + 1;
    queue->changed.notify_all();
    return VORN_STATUS_SUCCESS;
}

int32_t vorn_rtos_queue_get(sVORN_RTOS_QUEUE* queue, void* buffer, uint32_t timeout_ms, uint32_t* size) {
    if (queue == nullptr) vorn_event_assert(VORN_STATUS_MISSING_ARGUMENT, "vorn_rtos_queue_get", __LINE__);
    const Clock::time_point deadline = deadline_of(timeout_ms);
    std::unique_lock<std::mutex> lock(queue->lock);
    if (!wait_for_ready(queue->changed, lock, timeout_ms, deadline, [queue] { return queue->count > 0; })) {
        return VORN_STATUS_TIMEOUT;
    }
    const uint8_t* slot = queue->buffer + static_cast<size_t>(queue->read_pos) * queue->msg_size;
    if (buffer != nullptr) std::memcpy(buffer, slot, queue->msg_size);
    if (size != nullptr) *size = queue->msg_size;
    queue->read_pos = queue->read_pos + 1 == queue->depth ? 0 : queue->read_pos + 1;
    --queue->count;
    queue->changed.notify_all();
    return VORN_STATUS_SUCCESS;
}

void vorn_rtos_queue_flush(sVORN_RTOS_QUEUE* queue) {
    if (queue == nullptr) vorn_event_assert(VORN_STATUS_MISSING_ARGUMENT, "vorn_rtos_queue_flush", __LINE__);
    std::lock_guard<std::mutex> lock(queue->lock);
    queue->count = 0;
    queue->write_pos = 0;
    queue->read_pos = 0;
    queue->changed.notify_all();
}

void vorn_rtos_queue_delete(sVORN_RTOS_QUEUE* queue) {
    if (queue == nullptr) return;
    delete[] queue->buffer;
    delete queue;
}

sVORN_RTOS_SEM* vorn_rtos_sem_create(uint32_t initial_count) {
    auto* sem = new (std::nothrow) sVORN_RTOS_SEM;
    if (sem != nullptr) sem->count.store(initial_count);
    return sem;
}

namespace {

bool try_take(sVORN_RTOS_SEM* sem) {
    uint32_t count = sem->count.load();
    while (count > 0) {
        if (sem->count.compare_exchange_weak(count, count - 1, std::memory_order_seq_cst)) return true;
    }
    return false;
}

// The store holds its semaphore for a few nanoseconds: a short spin is nearly always
// enough and saves both sides a sleep and a wake-up.
constexpr int kSpins = 200;

}  // namespace

int32_t vorn_rtos_sem_get(sVORN_RTOS_SEM* sem, uint32_t timeout_ms) {
    if (sem == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    if (try_take(sem)) return VORN_STATUS_SUCCESS;
    if (timeout_ms == VORN_RTOS_NO_WAIT) return VORN_STATUS_TIMEOUT;
    const Clock::time_point deadline = deadline_of(timeout_ms);
    for (int i = 0; i < kSpins; ++i) {
        if (sem->count.load(std::memory_order_relaxed) > 0 && try_take(sem)) return VORN_STATUS_SUCCESS;
    }
    std::unique_lock<std::mutex> lock(sem->lock);
    // Announce the wait before looking at the count again: a put either sees the waiter
    // and wakes it under the lock, or its count is seen here.
    sem->waiters.fetch_add(1);
    const bool got = wait_for_ready(sem->available, lock, timeout_ms, deadline, [sem] { return try_take(sem); });
    sem->waiters.fetch_sub(1);
    return got ? VORN_STATUS_SUCCESS : VORN_STATUS_TIMEOUT;
}

void vorn_rtos_sem_put(sVORN_RTOS_SEM* sem) {
    if (sem == nullptr) return;
    uint32_t count = sem->count.load(std::memory_order_relaxed);
    do {
        if (count == std::numeric_limits<uint32_t>::max()) break;
    } while (!sem->count.compare_exchange_weak(count, count + 1, std::memory_order_seq_cst));
    if (sem->waiters.load() > 0) {
        std::lock_guard<std::mutex> lock(sem->lock);
        sem->available.notify_one();
    }
}

void vorn_rtos_sem_delete(sVORN_RTOS_SEM* sem) { delete sem; }

sVORN_RTOS_MUTEX* vorn_rtos_mutex_create() { return new (std::nothrow) sVORN_RTOS_MUTEX; }

int32_t vorn_rtos_mutex_get(sVORN_RTOS_MUTEX* mutex, uint32_t timeout_ms) {
    if (mutex == nullptr) return VORN_STATUS_MISSING_ARGUMENT;
    if (timeout_ms == VORN_RTOS_WAIT_FOREVER) {
        mutex->mutex.lock();
        return VORN_STATUS_SUCCESS;
    }
    if (timeout_ms == VORN_RTOS_NO_WAIT) {
        return mutex->mutex.try_lock() ? VORN_STATUS_SUCCESS : VORN_STATUS_TIMEOUT;
    }
    // A bounded wait would need a timed mutex; the callers of this layer never ask for one.
    return VORN_STATUS_INVALID;
}

void vorn_rtos_mutex_put(sVORN_RTOS_MUTEX* mutex) {
    if (mutex != nullptr) mutex->mutex.unlock();
}

void vorn_rtos_mutex_delete(sVORN_RTOS_MUTEX* mutex) { delete mutex; }

sVORN_RTOS_THREAD* vorn_rtos_thread_create(const sVORN_RTOS_THREAD_PARAMS& params) {
    {
        // The flag is tested under the list lock, so a registration racing with the open
        // either lands in the list before it is walked or sees the flag.
        std::lock_guard<std::mutex> lock(g_thread_list_lock);
        if (!g_opened.load()) {
            auto* record = new sVORN_RTOS_THREAD;
            record->entry = params.entry;
            record->argument = params.argument;
            record->flag = params.flag;
            if (g_thread_tail == nullptr) {
                g_thread_head = record;
            } else {
                g_thread_tail->next = record;
            }
            g_thread_tail = record;
            return record;
        }
    }
    vorn_event_log(VORN_EVENT_CAT_RTOS, VORN_EVENT_LEVEL_CRITICAL, VORN_STATUS_NOT_STARTED,
                   "Vorn_rtos_thread_create() can NOT be called after vorn_rtos is opened!");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    vorn_event_assert(VORN_STATUS_NOT_STARTED, "vorn_rtos_thread_create", __LINE__);
}

int32_t vorn_rtos_open() {
    std::lock_guard<std::mutex> lock(g_thread_list_lock);
    if (g_opened.exchange(true)) return VORN_STATUS_NOT_STARTED;
    for (sVORN_RTOS_THREAD* record = g_thread_head; record != nullptr; record = record->next) {
        if (!record->entry) continue;  // nothing to run
        record->handle = std::thread(record->entry, record->argument);
        record->id = record->handle.get_id();
    }
    return VORN_STATUS_SUCCESS;
}

bool vorn_rtos_is_open() { return g_opened.load(); }
