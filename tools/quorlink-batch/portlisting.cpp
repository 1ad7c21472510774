#include "portlisting.h"

#include "messages.h"

#include "serial/portdiscovery.h"

#include <cstdio>

namespace quorlink::batch {

int listPorts(const serial::PortTable& table, std::int32_t storedPort)
{
    const auto ports = serial::listPorts(table, storedPort, serial::findSystemPorts());
    std::fputs(messages::portListing(ports).c_str(), stdout);
    return 0;
}

void reachListedPort(serial::PortTable& table, std::int32_t number, std::int32_t storedPort)
{
    if (number <= serial::AlwaysListedPortCount || table.entries().contains(number))
        return;
    const auto ports = serial::listPorts(table, storedPort, serial::findSystemPorts());
    if (const serial::ListedPort* port = serial::findListed(ports, number); port && port->offered)
        table.setDevice(number, port->device);
}

} // namespace quorlink::batch
