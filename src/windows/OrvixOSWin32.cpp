#include "windows/OrvixOSWin32.h"

#include "OrvixLog/IOrvixLog.h"
#include "os/system_facts.h"
#include "platform/text_conversion.h"

namespace orvix {

std::string getHostName() {
    std::u16string name;
    uint32_t error = 0;
    if (!os::system_facts().host_name(&name, &error)) {
        // The source position is the one the agent's log readers know this report by.
        orvixLogError("src/windows/OrvixOSWin32", 181, "Cannot get the host name! err: %d",
                      static_cast<int>(error));
        return "(Unknown)";
    }
    return text::utf16_to_utf8(name);
}

}  // namespace orvix
