#include "replyframer.h"

#include <cstring>

namespace quorlink::serial {

void ReplyFramer::append(const std::uint8_t* data, std::size_t count)
{
    if (count == 0)
        return;
    // Drop the consumed front once it outweighs what is still held, so the
    // buffer stays bounded and each byte is moved a bounded number of times.
    if (m_start > 0 && m_start >= m_buffer.size() - m_start) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    m_buffer.append(reinterpret_cast<const char*>(data), count);
}

std::optional<std::string> ReplyFramer::takeReply()
{
    const std::size_t held = m_buffer.size() - m_start;
    // A reply with its CR LF is at most MaxReplyBytes long, so only that
    // much of the held bytes is searched.
    const std::size_t window = held < MaxReplyBytes ? held : MaxReplyBytes;
    const char* const begin = m_buffer.data() + m_start;

    // An LF at the very start of a reply has no CR before it in this reply.
    std::size_t pos = m_scanned > 0 ? m_scanned : 1;
    while (pos < window) {
        const void* hit = std::memchr(begin + pos, '\n', window - pos);
        if (!hit)
            break;
        const std::size_t lf = static_cast<const char*>(hit) - begin;
        if (begin[lf - 1] == '\r') {
            std::string reply(begin, lf - 1);
            m_start += lf + 1;
            m_scanned = 0;
            if (m_start == m_buffer.size()) {
                m_buffer.clear();
                m_start = 0;
            }
            return reply;
        }
        pos = lf + 1;
    }

    if (window == MaxReplyBytes) {
        // No CR LF in a whole reply's worth of bytes: a device that does not
        // stop sending.  Hand over what is there; the rest starts a new reply.
        std::string reply(begin, MaxReplyBytes);
        m_start += MaxReplyBytes;
        m_scanned = 0;
        return reply;
    }
    m_scanned = window;
    return std::nullopt;
}

void ReplyFramer::clear()
{
    m_buffer.clear();
    m_start = 0;
    m_scanned = 0;
}

} // namespace quorlink::serial
