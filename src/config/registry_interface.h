// Registry access for the registry settings source, as an interface so a source can be
// given another registry (tests drive odd data and failures through it). The operations
// take the arguments of the Windows functions of the same role and return their status
// codes; RegistryInterfaceImpl passes them to the registry seam unchanged.
#pragma once

#include <cstdint>

#include "os/event.h"
#include "os/registry.h"

namespace orvix::config::internal {

class RegistryInterface {
public:
    virtual ~RegistryInterface() = default;

    // RegOpenKeyExA: (root, sub-key path, options, access, out key handle).
    virtual int32_t open_key(orvix::os::RegKey root, const char* sub_key, uint32_t options, uint32_t access,
                             orvix::os::RegKey* key) = 0;
    // RegNotifyChangeKeyValue: (key, watch sub-tree, filter, event, asynchronous).
    virtual int32_t notify_change(orvix::os::RegKey key, bool watch_subtree, uint32_t filter,
                                  orvix::os::Event* event, bool asynchronous) = 0;
    // RegEnumValueA: (key, index, name buffer, in/out name length, reserved, out type,
    // data buffer, in/out data size).
    virtual int32_t enum_value(orvix::os::RegKey key, uint32_t index, char* name, uint32_t* name_chars,
                               uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* data_bytes) = 0;
    // RegCloseKey. Part of the interface so that a handle is always closed by the registry
    // that gave it out: a made-up handle must never reach the system's RegCloseKey.
    virtual int32_t close_key(orvix::os::RegKey key) = 0;
};

// The system's registry. The sources keep key paths and setting names as narrow text,
// so the narrow entry points of the seam are used (RegOpenKeyExA and RegEnumValueA on
// Windows, with the system's own conversion; UTF-8 over the in-process registry
// elsewhere).
class RegistryInterfaceImpl : public RegistryInterface {
public:
    int32_t open_key(orvix::os::RegKey root, const char* sub_key, uint32_t options, uint32_t access,
                     orvix::os::RegKey* key) override;
    int32_t notify_change(orvix::os::RegKey key, bool watch_subtree, uint32_t filter, orvix::os::Event* event,
                          bool asynchronous) override;
    int32_t enum_value(orvix::os::RegKey key, uint32_t index, char* name, uint32_t* name_chars,
                       uint32_t* reserved, uint32_t* type, uint8_t* data, uint32_t* data_bytes) override;
    int32_t close_key(orvix::os::RegKey key) override;
};

}  // namespace orvix::config::internal
