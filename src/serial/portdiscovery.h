#pragma once

// The serial ports a user can choose: the ones the system has, and the COM
// numbers that reach them.  The port dialog, --list-ports and every check of
// whether a port is there ask this one place.  What the system says of its
// ports is in one file per platform (portdiscovery_linux.cpp,
// portdiscovery_win.cpp); how they are numbered is the same everywhere
// (portdiscovery.cpp).

#include "porttable.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorlink::serial {

// COM1 to COM16 are always listed, first and in this order, whatever the
// system has: a list position below this is the port number minus one.
inline constexpr std::int32_t AlwaysListedPortCount = 16;

// Where Linux shows its serial devices: the device nodes and the kernel's
// view of its terminals.  Windows has no such tree and ignores it.  Tests
// point it at a tree of their own.
struct DeviceTree
{
    std::filesystem::path dev{"/dev"};
    std::filesystem::path sysClassTty{"/sys/class/tty"};
};

// A serial port of the system, as the system describes it.
struct SystemPort
{
    // What to open: on Linux the stable name udev made under
    // /dev/serial/by-id, which stays with an adapter across replugging, or
    // the node itself where there is none; on Windows "\\.\COM<n>".
    std::string device;
    // Linux: the node under /dev ("/dev/ttyUSB0"); Windows: empty.
    std::string node;
    // Windows: the COM number the system gave the port; Linux: 0, the
    // number is Quorlink's to give.
    std::int32_t comNumber = 0;
    // What the system calls the device ("FT232R USB UART", "USB Serial
    // Port"), the adapter's maker and serial number; each may be empty.
    std::string name;
    std::string maker;
    std::string serialNumber;
};

// The serial ports the system has.  Linux: the terminals of /sys/class/tty
// that are USB adapters (ttyUSB), USB modems (ttyACM) or UARTs that the
// driver found a chip behind, with a node under /dev, in the order of their
// kernel names.  Windows: the ports HARDWARE\DEVICEMAP\SERIALCOMM lists, in
// number order, named by SetupAPI where it can.
std::vector<SystemPort> findSystemPorts(const DeviceTree& tree = {});

// One entry of the port list.
struct ListedPort
{
    std::int32_t number = 0;
    // The device the number reaches, or for an offered port the device it
    // will reach once mapped.
    std::string device;
    bool present = false;
    // A device that no COM number reaches yet (Linux), under the next free
    // number from 17 up: choosing it maps the number to `device` in [Ports].
    bool offered = false;
    // What the system tells of the device, when it is one of its ports.
    std::optional<SystemPort> port;
};

// The port list, in number order: COM1 to COM16; after them every number
// above 16 that reaches a port of the system or that `table` maps, and
// `storedPort` (the stored ComPortIndex) when it is one of 17 to 255, so that
// a stored port is listed when it is not there today; then each port of
// `system` that no number reaches, offered under the next free number.  The
// same inputs give the same numbers, in the window and on the command line.
std::vector<ListedPort> listPorts(const PortTable& table, std::int32_t storedPort,
                                  const std::vector<SystemPort>& system);

// The entry of `number` in `ports`, if it is listed.
const ListedPort* findListed(const std::vector<ListedPort>& ports, std::int32_t number);

// The other name of a listed port's device, worth showing beside it: the
// node behind the by-id name it is listed under, or the by-id name of the
// node it is listed under; empty when there is none.
std::string otherDevicePath(const ListedPort& port);

} // namespace quorlink::serial
