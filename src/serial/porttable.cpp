#include "porttable.h"

#include <utility>

namespace quorlink::serial {

// defaultDevicePath() is platform code and lives in serialport_<platform>.cpp.

std::string comName(std::int32_t portNumber)
{
    return "COM" + std::to_string(portNumber);
}

std::optional<std::int32_t> parseComName(std::string_view text)
{
    if (text.size() < 4 || text.size() > 6)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) {
        const char c = text[i];
        if ((c & ~0x20) != "COM"[i])
            return std::nullopt;
    }
    if (text[3] == '0')
        return std::nullopt;
    std::int32_t number = 0;
    for (const char c : text.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number > HighestPortNumber)
        return std::nullopt;
    return number;
}

void PortTable::setDevice(std::int32_t portNumber, std::string devicePath)
{
    if (devicePath.empty())
        m_entries.erase(portNumber);
    else
        m_entries[portNumber] = std::move(devicePath);
}

void PortTable::clear()
{
    m_entries.clear();
}

std::optional<std::string> PortTable::devicePath(std::int32_t portNumber) const
{
    if (portNumber < 1)
        return std::nullopt;
    if (const auto it = m_entries.find(portNumber); it != m_entries.end())
        return it->second;
    return defaultDevicePath(portNumber);
}

} // namespace quorlink::serial
