#pragma once

#include "serial/porttable.h"

namespace quorlink::batch {

// --list-ports: where each of COM1 to COM16 leads and whether that device is
// there, then the serial devices of the system that no COM number reaches
// yet, each with the [Ports] line that would map it.  One file per platform.
// Returns the exit status.
int listPorts(const serial::PortTable& table);

} // namespace quorlink::batch
