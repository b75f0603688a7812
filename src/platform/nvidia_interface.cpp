#include "platform/nvidia_interface.h"

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "os/library.h"
#include "platform/nvidia_interface_testing.h"

namespace orvix {

std::recursive_mutex& CSingletonCriticalSection::get() {
    static std::recursive_mutex section;
    return section;
}

namespace nvidia {
namespace {

using QueryInterface = void* (*)(uint32_t id);
using InitializeFunction = int32_t (*)();
using CallHook = void (*)();
using DriverAndBranchVersionFunction = int32_t (*)(uint32_t* version, char* branch);

struct InterfaceKind {
    const char* library;
    const char* entry;
    std::atomic<void*> module{nullptr};
    std::atomic<uint32_t> loads{0};
    std::atomic<bool> unloading{false};
};

// Slots of the function cache, one per interface function this layer calls.
enum CacheSlot : size_t { kDriverAndBranchVersionSlot = 0 };

struct State {
    InterfaceKind kinds[2] = {{"nvapi64.dll", "nvapi_QueryInterface"}, {"nvpowerapi.dll", "nvapi_pepQueryInterface"}};
    std::atomic<QueryInterface> query{nullptr};
    std::atomic<CallHook> before{nullptr};
    std::atomic<CallHook> after{nullptr};
    std::array<std::atomic<void*>, 621> cache{};
    std::atomic<int32_t> busy{0};
};
static_assert(sizeof(std::array<std::atomic<void*>, 621>) == 4968, "the function cache is a table of 4968 bytes");

State& state() {
    static State s;
    return s;
}

void system_sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const testing::LibraryOps kSystemOps{os::load_system_library, os::library_symbol, os::library_free, system_sleep};
std::atomic<const testing::LibraryOps*> g_ops{&kSystemOps};

const testing::LibraryOps& ops() { return *g_ops.load(std::memory_order_acquire); }

int32_t load(InterfaceKind& kind) {
    State& s = state();
    const testing::LibraryOps& o = ops();
    uint32_t error = 0;
    void* module = o.load(kind.library, &error);
    if (module == nullptr) return kLibraryNotFound;
    auto query = reinterpret_cast<QueryInterface>(o.symbol(module, kind.entry));
    if (query == nullptr) {
        o.release(module);
        return kError;
    }
    s.query.store(query);
    auto initialize = reinterpret_cast<InitializeFunction>(query(kInitializeId));
    const int32_t status = initialize != nullptr ? initialize() : kError;
    if (status != kOk) {
        s.query.store(nullptr);
        o.release(module);
        return status;
    }
    s.before.store(reinterpret_cast<CallHook>(query(kBeforeCallHookId)));
    s.after.store(reinterpret_cast<CallHook>(query(kAfterCallHookId)));
    for (auto& slot : s.cache) slot.store(nullptr, std::memory_order_relaxed);
    kind.module.store(module);
    kind.loads.fetch_add(1);
    return kOk;
}

int32_t ensure_loaded(InterfaceKind& kind) {
    // An unload elsewhere may still be releasing the library: give it a second.
    for (int i = 0; i < 10 && kind.unloading.load(); ++i) ops().sleep_ms(100);
    if (kind.unloading.load()) return kError;
    if (kind.module.load() != nullptr) return kOk;
    return load(kind);
}

}  // namespace

int32_t nvapiInitialize() {
    std::lock_guard<std::recursive_mutex> lock(CSingletonCriticalSection::get());
    State& s = state();
    s.busy.fetch_add(1);
    const int32_t status = ensure_loaded(s.kinds[0]);
    s.busy.fetch_sub(1);
    return status;
}

int32_t nvapiGetDriverAndBranchVersion(uint32_t* version, char (&branch)[kShortStringSize]) {
    State& s = state();
    if (const int32_t status = ensure_loaded(s.kinds[0]); status != kOk) return status;
    auto function = reinterpret_cast<DriverAndBranchVersionFunction>(s.cache[kDriverAndBranchVersionSlot].load());
    if (function == nullptr) {
        const QueryInterface query = s.query.load();
        if (query == nullptr) return kNoImplementation;
        function = reinterpret_cast<DriverAndBranchVersionFunction>(query(kDriverAndBranchVersionId));
        if (function == nullptr) return kNoImplementation;
        s.cache[kDriverAndBranchVersionSlot].store(reinterpret_cast<void*>(function));
    }
    if (const CallHook before = s.before.load()) before();
    const int32_t status = function(version, branch);
    if (const CallHook after = s.after.load()) after();
    return status;
}

namespace testing {

void setLibraryOps(const LibraryOps* o) { g_ops.store(o != nullptr ? o : &kSystemOps, std::memory_order_release); }

void setUnloadInProgress(int kind, bool in_progress) { state().kinds[kind].unloading.store(in_progress); }
uint32_t loadCount(int kind) { return state().kinds[kind].loads.load(); }
bool loaded(int kind) { return state().kinds[kind].module.load() != nullptr; }
int32_t busyCount() { return state().busy.load(); }

void reset() {
    State& s = state();
    for (auto& kind : s.kinds) {
        kind.module.store(nullptr);
        kind.loads.store(0);
        kind.unloading.store(false);
    }
    s.query.store(nullptr);
    s.before.store(nullptr);
    s.after.store(nullptr);
    for (auto& slot : s.cache) slot.store(nullptr);
}

}  // namespace testing
}  // namespace nvidia
}  // namespace orvix
