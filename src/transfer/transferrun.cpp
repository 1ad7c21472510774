#include "transferrun.h"

#include "serial/seriallink.h"
#include "utf16.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorlink::transfer {

namespace {

// Number of characters (a surrogate pair is one) in `text`.
std::size_t characterCount(std::u16string_view text)
{
    std::size_t count = text.size();
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (isHighSurrogate(text[i]) && isLowSurrogate(text[i + 1])) {
            --count;
            ++i;
        }
    }
    return count;
}

// The bytes of the longest run of whole leading characters of `line` that
// fits in `room` bytes, for code pages where characters take different
// numbers of bytes.  Encoding a longer prefix never gives fewer bytes, so a
// binary search over the character boundaries finds it.
std::string longestFittingPrefix(const CodePage& codePage, std::u16string_view line,
                                 std::size_t room)
{
    std::vector<std::size_t> boundaries; // offsets in `line` after each character
    boundaries.reserve(line.size() + 1);
    boundaries.push_back(0);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isHighSurrogate(line[i]) && i + 1 < line.size() && isLowSurrogate(line[i + 1]))
            ++i;
        boundaries.push_back(i + 1);
    }
    // boundaries[low] fits (no characters always does); boundaries[high]
    // does not (the whole line did not).
    std::size_t low = 0;
    std::size_t high = boundaries.size() - 1;
    std::string best;
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        std::string bytes = codePage.fromUnicode(line.substr(0, boundaries[middle]));
        if (bytes.size() <= room) {
            low = middle;
            best = std::move(bytes);
        } else {
            high = middle;
        }
    }
    return best;
}

} // namespace

std::string encodeRequest(const CodePage& codePage, std::u16string_view line, std::size_t maxBytes)
{
    static constexpr std::string_view LineEnd{"\r\n"};
    if (maxBytes < LineEnd.size())
        return std::string(LineEnd.substr(0, maxBytes));
    const std::size_t room = maxBytes - LineEnd.size();

    std::string request = codePage.fromUnicode(line);
    if (request.size() > room) {
        if (codePage.isUtf8()) {
            // Step back over continuation bytes (10xxxxxx) to the start of
            // the character that would be split.
            std::size_t cut = room;
            while (cut > 0 && (static_cast<std::uint8_t>(request[cut]) & 0xC0) == 0x80)
                --cut;
            request.resize(cut);
        } else if (request.size() == characterCount(line)) {
            // One byte per character: every byte ends a character.
            request.resize(room);
        } else {
            request = longestFittingPrefix(codePage, line, room);
        }
    }
    request.append(LineEnd);
    return request;
}

// The host's parts are asked for anew at every use: processMessages() runs
// handlers that may replace a pane, reopen or close the port, change the
// option or start a nested run on the same host.
RunOutcome runTransfer(RunHost& host)
{
    RunOutcome outcome;
    host.setStopRequested(false);
    host.runEvents().runStarted();

    // Taken once: a handler that empties or replaces the source pane does not
    // change how many lines this run sends.
    const int lineCount = host.sourcePane().lineCount();

    std::string reply;
    for (int i = 0; i < lineCount; ++i) {
        const int line = i + 1;
        // The line as the pane holds it now; past its end it is empty and
        // goes out as CR LF alone.
        const std::string request = encodeRequest(host.codePage(), host.sourcePane().line(i),
                                                  serial::SerialLink::MaxRequestBytes);
        host.runEvents().lineSending(line);

        const bool sent = host.serialLink().SendBytes(
            reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
        if (sent) {
            ++outcome.linesSent;
            host.awaitingReply();
            const std::size_t length = host.serialLink().ReadReply(reply, host.timeOut());
            if (length > 0) {
                // The reply ends at its first 0 byte.
                std::string_view bytes(reply.data(), std::min(length, reply.size()));
                bytes = bytes.substr(0, bytes.find('\0'));
                const std::u16string text = host.codePage().toUnicode(bytes);
                host.receivedPane().appendLine(text);
                ++outcome.replies;
                host.runEvents().replyCollected(line, text, outcome.replies);
            } else {
                ++outcome.unanswered;
                host.runEvents().noReply(line);
            }
            host.processMessages();
        } else {
            // The port is gone: no reply and no pump; the run then races
            // through the remaining lines.
            host.runEvents().sendFailed(line);
        }
        if (host.stopRequested()) {
            outcome.stopped = true;
            host.runEvents().stopped(line);
            return outcome;
        }
    }

    // The option as it is now, not as it was when the run started.  Neither
    // a reply nor the result of this send is awaited.
    if (host.sendEndOfFile()) {
        host.serialLink().SendBytes(reinterpret_cast<const std::uint8_t*>(EndOfFileBytes.data()),
                                    EndOfFileBytes.size());
    }
    host.runEvents().finished();
    return outcome;
}

} // namespace quorlink::transfer
