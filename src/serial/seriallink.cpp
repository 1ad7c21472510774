#include "seriallink.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace quorlink::serial {

using Clock = std::chrono::steady_clock;

SerialLink::SerialLink(OpenFailureView& view) : m_view(view) {}

bool SerialLink::OpenPort(std::int32_t portNumber, std::uint32_t baud)
{
    ClosePort();
    // Bytes held from the previous port belong to it, like its input buffer.
    m_framer.clear();
    // A port number that names no device fails as a missing device does, so
    // that the port's error() always says why the last OpenPort failed.
    if (!m_port.open(m_portTable.devicePath(portNumber).value_or(std::string()), baud)) {
        m_view.showOpenFailure();
        return false;
    }
    return true;
}

void SerialLink::ClosePort()
{
    m_port.close();
}

bool SerialLink::SendBytes(const std::uint8_t* data, std::size_t count)
{
    return m_port.send(data, std::min(count, MaxRequestBytes));
}

std::size_t SerialLink::ReadReply(std::string& reply, std::int32_t timeoutMs)
{
    reply.clear();
    if (timeoutMs <= 0)
        return 0;
    // A reply that arrived with the previous one is answered at once.
    if (auto held = m_framer.takeReply()) {
        reply = std::move(*held);
        return reply.size();
    }

    const std::chrono::milliseconds silence{timeoutMs};
    auto deadline = Clock::now() + silence;
    std::array<std::uint8_t, 4096> chunk;
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const std::size_t n = m_port.read(chunk.data(), chunk.size(), left);
        if (n == 0) {
            // A lost device or an interrupt ends the wait for the program
            // that asked for it; nothing more can arrive in time.
            if (m_port.waitsEnded())
                break;
            continue;
        }
        // Every received byte restarts the silence window.
        deadline = Clock::now() + silence;
        m_framer.append(chunk.data(), n);
        if (auto complete = m_framer.takeReply()) {
            reply = std::move(*complete);
            return reply.size();
        }
    }
    // Given up: what arrived of an unfinished reply is not a reply.
    m_framer.clear();
    return 0;
}

} // namespace quorlink::serial
