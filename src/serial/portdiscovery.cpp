// How ports are numbered, alike on every platform.  A number reaches a port
// of the system when its device is that port (by [Ports], or as its default
// device); a port that no number reaches gets the next number from 17 up
// that nothing else holds.  Numbers once given are never taken back here:
// they come from [Ports], the system or the stored port, which this only
// reads.

#include "portdiscovery_p.h"

#include <algorithm>
#include <map>

namespace quorlink::serial {

std::vector<ListedPort> listPorts(const PortTable& table, std::int32_t storedPort,
                                  const std::vector<SystemPort>& system)
{
    std::map<std::int32_t, ListedPort> listed;
    const auto list = [&](std::int32_t number) -> ListedPort& {
        ListedPort& entry = listed[number];
        if (entry.number == 0) {
            entry.number = number;
            entry.device = table.devicePath(number).value_or(std::string());
        }
        return entry;
    };
    for (std::int32_t number = 1; number <= AlwaysListedPortCount; ++number)
        list(number);
    for (const auto& [number, device] : table.entries()) {
        if (number > AlwaysListedPortCount && number <= HighestPortNumber)
            list(number);
    }
    if (storedPort > AlwaysListedPortCount && storedPort <= HighestPortNumber)
        list(storedPort);

    // Which number reaches each port of the system: one that leads to it
    // now, else the one whose default device it is, unless [Ports] points
    // that number elsewhere.
    std::map<std::string, std::int32_t> numberOfIdentity;
    for (const auto& [number, entry] : listed)
        numberOfIdentity.emplace(discovery::identityOf(entry.device), number);
    std::vector<const SystemPort*> unreached;
    for (const SystemPort& port : system) {
        const std::string identity = discovery::identityOf(port.device);
        std::int32_t number = 0;
        if (const auto it = numberOfIdentity.find(identity); it != numberOfIdentity.end()) {
            number = it->second;
        } else if (const std::int32_t byDefault = discovery::defaultNumberOf(port);
                   byDefault > 0 && byDefault <= HighestPortNumber &&
                   !table.entries().contains(byDefault) &&
                   discovery::identityOf(PortTable::defaultDevicePath(byDefault)) == identity) {
            number = byDefault;
        }
        if (number == 0) {
            unreached.push_back(&port);
            continue;
        }
        ListedPort& entry = list(number);
        if (!entry.port)
            entry.port = port;
    }

    std::int32_t next = AlwaysListedPortCount + 1;
    for (const SystemPort* port : unreached) {
        while (next <= HighestPortNumber && listed.contains(next))
            ++next;
        if (next > HighestPortNumber)
            break;
        ListedPort& entry = listed[next];
        entry = ListedPort{next, port->device, true, true, *port};
    }

    std::vector<ListedPort> ports;
    ports.reserve(listed.size());
    for (auto& [number, entry] : listed) {
        entry.present = entry.port.has_value() || discovery::isOtherDevicePresent(entry.device);
        ports.push_back(std::move(entry));
    }
    return ports;
}

const ListedPort* findListed(const std::vector<ListedPort>& ports, std::int32_t number)
{
    const auto it = std::find_if(ports.begin(), ports.end(), [number](const ListedPort& port) {
        return port.number == number;
    });
    return it == ports.end() ? nullptr : &*it;
}

std::string otherDevicePath(const ListedPort& port)
{
    if (!port.port)
        return {};
    for (const std::string& path : {port.port->device, port.port->node}) {
        if (!path.empty() && path != port.device)
            return path;
    }
    return {};
}

} // namespace quorlink::serial
