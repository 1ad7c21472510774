// --list-ports on Windows: the COM table with the devices that are there.
// Windows names every serial device COMn, so no device is left unreached.

#include "portlisting.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace quorlink::batch {

int listPorts(const serial::PortTable& table)
{
    std::printf("Port   Device                                   Present\n");
    for (std::int32_t n = 1; n <= serial::ListedPortCount; ++n) {
        const std::string device = table.devicePath(n).value_or("");
        // The DOS device exists while a driver has the port.
        char target[512];
        const bool present =
            QueryDosDeviceA(serial::comName(n).c_str(), target, sizeof target) != 0;
        std::printf("COM%-3d %-40s %s\n", n, device.c_str(), present ? "yes" : "no");
    }
    return 0;
}

} // namespace quorlink::batch
