// A stand-in for the NVIDIA driver interface library (nvapi64.dll), built by the tests
// and installed in the system directory of the Wine prefix, where the layer loads it
// from. Its query entry answers the identifiers the layer asks for; two more exports let
// a test script its answers and read what was called.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

int32_t g_initialize_status = 0, g_version_status = 0;
uint32_t g_driver_version = 47211;
std::string g_calls;

void record(const char* call) { g_calls += (g_calls.empty() ? "" : ",") + std::string(call); }

int32_t initialize() {
    record("initialize");
    return g_initialize_status;
}
void before_call() { record("before"); }
void after_call() { record("after"); }
int32_t driver_and_branch_version(uint32_t* version, char* branch) {
    record("version");
    *version = g_driver_version;
    std::strcpy(branch, "r470_00");
    return g_version_status;
}

}  // namespace

extern "C" __declspec(dllexport) void* nvapi_QueryInterface(uint32_t id) {
    switch (id) {
        case 0x0150E828: return reinterpret_cast<void*>(initialize);
        case 0x33C7358C: return reinterpret_cast<void*>(before_call);
        case 0x593E8644: return reinterpret_cast<void*>(after_call);
        case 0x2926AAAD: return reinterpret_cast<void*>(driver_and_branch_version);
        default: return nullptr;
    }
}

extern "C" __declspec(dllexport) void orvix_standin_nvapi_script(int32_t initialize_status, uint32_t driver_version,
                                                                  int32_t version_status) {
    g_initialize_status = initialize_status;
    g_driver_version = driver_version;
    g_version_status = version_status;
}

// The calls so far, comma-separated ("initialize,before,version,after").
extern "C" __declspec(dllexport) const char* orvix_standin_nvapi_calls() { return g_calls.c_str(); }
