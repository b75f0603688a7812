#include "support/scripted_nvapi.h"

#include <cstdio>
#include <cstring>

#include "platform/nvidia_interface.h"
#include "platform/nvidia_interface_testing.h"

namespace orvix::test {
namespace {

ScriptedNvapi* g_script = nullptr;
int g_module_token = 0;

void record(const std::string& event) { g_script->events.push_back(event); }

int32_t initialize() {
    record("initialize");
    return g_script->initialize_status;
}
void before_hook() { record("before"); }
void after_hook() { record("after"); }
int32_t driver_and_branch_version(uint32_t* version, char* branch) {
    record("version");
    *version = g_script->driver_version;
    std::strcpy(branch, "r530_00");
    return g_script->driver_version_status;
}

void* query(uint32_t id) {
    char text[32];
    std::snprintf(text, sizeof text, "query 0x%08X", id);
    record(text);
    switch (id) {
    case nvidia::kInitializeId:
        return g_script->has_initialize ? reinterpret_cast<void*>(initialize) : nullptr;
    case nvidia::kBeforeCallHookId:
        return g_script->has_hooks ? reinterpret_cast<void*>(before_hook) : nullptr;
    case nvidia::kAfterCallHookId:
        return g_script->has_hooks ? reinterpret_cast<void*>(after_hook) : nullptr;
    case nvidia::kDriverAndBranchVersionId:
        return g_script->has_driver_version ? reinterpret_cast<void*>(driver_and_branch_version) : nullptr;
    default:
        return nullptr;
    }
}

void* load(const std::string& name, uint32_t* error) {
    record("load " + name);
    if (!g_script->present) {
        *error = 126;
        return nullptr;
    }
    return &g_module_token;
}

void* symbol(void* module, const char* name) {
    if (module != &g_module_token) return nullptr;
    record(std::string("symbol ") + name);
    return g_script->has_query_entry && std::strcmp(name, "nvapi_QueryInterface") == 0 ? reinterpret_cast<void*>(query)
                                                                                       : nullptr;
}

void release(void*) { record("release"); }
int g_sleeps = 0;
void sleep_ms(uint32_t ms) {
    record("sleep " + std::to_string(ms));
    if (++g_sleeps == g_script->unload_ends_at_sleep) nvidia::testing::setUnloadInProgress(0, false);
}

const nvidia::testing::LibraryOps kOps{load, symbol, release, sleep_ms};

}  // namespace

void install_scripted_nvapi(ScriptedNvapi* script) {
    g_script = script;
    g_sleeps = 0;
    nvidia::testing::reset();
    nvidia::testing::setLibraryOps(&kOps);
}

void uninstall_scripted_nvapi() {
    nvidia::testing::setLibraryOps(nullptr);
    nvidia::testing::reset();
    g_script = nullptr;
}

std::vector<std::string> scripted_events(const ScriptedNvapi& script, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : script.events) {
        if (e.rfind(prefix, 0) == 0) out.push_back(e);
    }
    return out;
}

}  // namespace orvix::test
