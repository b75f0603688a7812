#include <atomic>

#include "os/system_facts.h"

namespace orvix::os {
namespace {

const SystemFacts g_system_facts;
std::atomic<const SystemFacts*> g_replacement{nullptr};

}  // namespace

const SystemFacts& system_facts() {
    const SystemFacts* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement != nullptr ? *replacement : g_system_facts;
}

void set_system_facts(const SystemFacts* facts) { g_replacement.store(facts, std::memory_order_release); }

}  // namespace orvix::os
