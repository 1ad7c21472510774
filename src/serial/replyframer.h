#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorlink::serial {

// Splits the bytes received from a device into replies ended by CR LF.
//
// A reply is every byte up to the first CR LF pair; the CR LF itself is not
// part of it.  A lone CR or a lone LF is reply data.  Bytes after a reply's
// CR LF are kept and start the next reply, so no byte the device sent is
// lost.  A reply that reaches MaxReplyBytes without CR LF ends there and is
// returned as it stands; what follows starts the next reply.
class ReplyFramer
{
public:
    static constexpr std::size_t MaxReplyBytes = 65536;

    // Adds received bytes.
    void append(const std::uint8_t* data, std::size_t count);

    // Takes the next complete reply (without its CR LF), if there is one.
    std::optional<std::string> takeReply();

    // Drops every byte held.  Used with a purge of the port's input, and when
    // a reply time-out passes: what is held then is an unfinished reply, which
    // the caller does not take as one.
    void clear();

    // Bytes held that do not yet form a reply.
    std::size_t pendingBytes() const { return m_buffer.size() - m_start; }
    std::string pending() const { return m_buffer.substr(m_start); }

private:
    std::string m_buffer; // received bytes; m_buffer[m_start..] is unconsumed
    std::size_t m_start = 0;
    std::size_t m_scanned = 0; // bytes after m_start already searched for CR LF
};

} // namespace quorlink::serial
