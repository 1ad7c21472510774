#pragma once

#include "serial/porttable.h"

#include <cstdint>

namespace quorlink::batch {

// --list-ports: the port list the window's port dialog would show, with
// each port's device, whether it is there and what it is, and the [Ports]
// line of each number given to a device that no number reached.  `storedPort`
// is the stored ComPortIndex.  Returns the exit status.
int listPorts(const serial::PortTable& table, std::int32_t storedPort);

// Lets port `number` reach the device --list-ports gives it, when it is one
// that no number reached: for this run only, [Ports] stays as it is.
void reachListedPort(serial::PortTable& table, std::int32_t number, std::int32_t storedPort);

} // namespace quorlink::batch
