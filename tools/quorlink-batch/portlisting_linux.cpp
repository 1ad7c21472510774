// --list-ports on Linux: the COM table, then the devices under /dev that look
// like serial ports (by-id links, USB adapters, ACM modems, UARTs with a
// chip behind them).

#include "portlisting.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace quorlink::batch {

int listPorts(const serial::PortTable& table)
{
    namespace fs = std::filesystem;
    std::set<std::string> reached;
    std::error_code ec;
    std::printf("Port   Device                                   Present\n");
    for (std::int32_t n = 1; n <= serial::ListedPortCount; ++n) {
        const std::string device = table.devicePath(n).value_or("");
        const bool present = serial::PortTable::isPresent(device);
        if (present)
            reached.insert(fs::weakly_canonical(device, ec).string());
        std::printf("COM%-3d %-40s %s\n", n, device.c_str(), present ? "yes" : "no");
    }

    std::vector<std::string> found;
    const auto addMatching = [&](const fs::path& dir, const std::string& prefix) {
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && serial::PortTable::isPresent(entry.path().string()))
                found.push_back(entry.path().string());
        }
    };
    addMatching("/dev/serial/by-id", "");
    addMatching("/dev", "ttyUSB");
    addMatching("/dev", "ttyACM");
    addMatching("/dev", "ttyS");
    std::sort(found.begin(), found.end());

    std::int32_t nextFree = 1;
    const auto freeNumber = [&]() {
        while (nextFree <= serial::ListedPortCount) {
            const std::int32_t n = nextFree++;
            const std::string device = table.devicePath(n).value_or("");
            if (table.entries().count(n) == 0 && !serial::PortTable::isPresent(device))
                return n;
        }
        return std::int32_t{0};
    };

    std::set<std::string> listed;
    bool header = false;
    for (const auto& device : found) {
        const std::string canonical = fs::weakly_canonical(device, ec).string();
        if (reached.count(canonical) != 0 || !listed.insert(canonical).second)
            continue;
        if (!header) {
            std::printf("\nSerial devices that no COM number reaches yet, with the [Ports] line "
                        "that would map each:\n");
            header = true;
        }
        const std::int32_t n = freeNumber();
        if (n != 0)
            std::printf("%-40s COM%d=%s\n", device.c_str(), n, device.c_str());
        else
            std::printf("%-40s (no free COM number)\n", device.c_str());
    }
    if (!header)
        std::printf("\nNo other serial devices found.\n");
    return 0;
}

} // namespace quorlink::batch
