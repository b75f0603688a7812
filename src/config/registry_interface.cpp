#include "config/registry_interface.h"

namespace orvix::config::internal {

int32_t RegistryInterfaceImpl::open_key(orvix::os::RegKey root, const char* sub_key, uint32_t options,
                                        uint32_t access, orvix::os::RegKey* key) {
    return orvix::os::registry_open_key_a(root, sub_key, options, access, key);
}

int32_t RegistryInterfaceImpl::notify_change(orvix::os::RegKey key, bool watch_subtree, uint32_t filter,
                                             orvix::os::Event* event, bool asynchronous) {
    if (event == nullptr) return orvix::os::kErrorInvalidParameter;
    return orvix::os::registry_notify_change(key, watch_subtree, filter, *event, asynchronous);
}

int32_t RegistryInterfaceImpl::enum_value(orvix::os::RegKey key, uint32_t index, char* name,
                                          uint32_t* name_chars, uint32_t* reserved, uint32_t* type,
                                          uint8_t* data, uint32_t* data_bytes) {
    return orvix::os::registry_enum_value_a(key, index, name, name_chars, reserved, type, data, data_bytes);
}

int32_t RegistryInterfaceImpl::close_key(orvix::os::RegKey key) { return orvix::os::registry_close_key(key); }

}  // namespace orvix::config::internal
