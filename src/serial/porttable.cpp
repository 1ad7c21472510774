#include "porttable.h"

#include <utility>

namespace quorlink::serial {

// defaultDevicePath() is platform code and lives in serialport_<platform>.cpp.

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
