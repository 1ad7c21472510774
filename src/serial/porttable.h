#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorlink::serial {

// "COM" and the port number in plain decimal ("COM3").
std::string comName(std::int32_t portNumber);

// The highest port number a COM name gives ("COM255").
inline constexpr std::int32_t HighestPortNumber = 255;

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

private:
    std::map<std::int32_t, std::string> m_entries;
};

} // namespace quorlink::serial
