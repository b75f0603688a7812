// The stand-in nvapi64.dll (tests/platform/nvapi_standin) under Windows: installed in the
// system directory, where the layer loads it from, and scripted through its own exports.
#pragma once

#include <cstdint>
#include <string>

namespace orvix::test {

// Copies nvapi64.dll from beside the test program into the system directory unless the
// same file is there already; several test processes may do so at once. False with the
// reason in *problem when it cannot.
bool install_standin_nvapi(std::string* problem);

// Loads the installed stand-in (the same module the layer gets) and sets its answers.
// False when it cannot be loaded.
bool script_standin_nvapi(int32_t initialize_status, uint32_t driver_version, int32_t version_status);

// The stand-in's calls so far, empty when the module is not loaded.
std::string standin_nvapi_calls();

// The system directory's nvapi64.dll path.
std::wstring system_nvapi_path();

}  // namespace orvix::test
