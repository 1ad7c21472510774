#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorlink::serial {

// The ports the port dialog lists and --list-ports shows: COM1 to COM16.
inline constexpr std::int32_t ListedPortCount = 16;

// "COM" and the port number in plain decimal ("COM3").
std::string comName(std::int32_t portNumber);

// The port number of a COM name: "COM", in any letter case, then the number
// in plain decimal from 1 to 255, without sign, spaces or leading zeros, so
// that every port has one spelling apart from letter case ("COM3", "com3"
// give 3; "COM 3", "COM03" and "COM256" are no COM names).  The --port
// option and the [Ports] keys of the settings file both read their names
// with this.
std::optional<std::int32_t> parseComName(std::string_view text);

// Resolves a COM port number (1 for COM1) to the device the platform opens.
// Without an entry, COM n is the platform's default device: /dev/ttyS<n-1> on
// POSIX systems, "\\.\COM<n>" on Windows.  Entries override the default
// (on Linux they come from the [Ports] group of the settings file).
class PortTable
{
public:
    // Sets the device of port `portNumber`; an empty path removes the entry.
    void setDevice(std::int32_t portNumber, std::string devicePath);
    void clear();
    const std::map<std::int32_t, std::string>& entries() const { return m_entries; }

    // The device of the port, or nothing for port numbers below 1, which name
    // no device on any platform.
    std::optional<std::string> devicePath(std::int32_t portNumber) const;

    // The platform's own device for port `portNumber` (>= 1), ignoring entries.
    static std::string defaultDevicePath(std::int32_t portNumber);

    // Whether a device is there to be opened.  On Linux: the node exists,
    // and when it is a port of a serial driver that probes for its UART
    // (ttyS), a UART was found behind it.
    static bool isPresent(const std::string& devicePath);

    // Whether a device is there, where the platform can tell before opening
    // it: on Linux as isPresent(); on Windows nothing, since whether a COM
    // port is there shows only when it is opened.
    static std::optional<bool> presence(const std::string& devicePath);

private:
    std::map<std::int32_t, std::string> m_entries;
};

} // namespace quorlink::serial
