#pragma once

// Internal to the port discovery: what each platform file provides to the
// numbering that every platform shares.  Not for use outside src/serial.

#include "portdiscovery.h"

#include <cstdint>
#include <string>

namespace quorlink::serial::discovery {

// What a device path stands for: two paths that open the same device give
// the same identity (a by-id link and its node; "\\.\com3" and "\\.\COM3").
std::string identityOf(const std::string& devicePath);

// The number whose default device `port` is, if any: COM<n> on Windows,
// /dev/ttyS<n-1> on Linux; 0 for none.
std::int32_t defaultNumberOf(const SystemPort& port);

// Whether a device that is none of the system's serial ports is there to be
// opened: on Linux a node such as a pseudo-terminal mapped by hand (a ttyS
// node counts only when the kernel found a UART behind it); on Windows
// nothing, a COM port is there when SERIALCOMM lists it.
bool isOtherDevicePresent(const std::string& devicePath);

} // namespace quorlink::serial::discovery
