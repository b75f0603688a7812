// The stress binary is built on its own, so it carries its own folder redirection: the
// known folder ProgramData follows "Common AppData", and HKEY_LOCAL_MACHINE is a
// per-process key in the tests.
#include <string>

#include "os/registry.h"

namespace orvix_stress {

void use_program_data(const std::string& folder) {
    using namespace orvix::os;
    const std::u16string value(folder.begin(), folder.end());
    for (const char16_t* path :
         {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
          u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"}) {
        RegKey key = 0;
        registry_create_key(kHkeyLocalMachine, path, kKeyAllAccess, &key);
        registry_set_value(key, u"Common AppData", kRegSz, value.c_str(),
                           static_cast<uint32_t>((value.size() + 1) * sizeof(char16_t)));
        registry_close_key(key);
    }
}

}  // namespace orvix_stress
