#include "output.h"

#include "messages.h"
#include "stopsignals.h"
#include "transfer/utf16.h"

#include <cstdio>
#include <stdexcept>

namespace quorlink::batch {

namespace {

// The mark written in a transcript for a line that got no reply.
constexpr std::u16string_view NoReplyMark = u"-";

} // namespace

std::u16string transcriptRow(int line, std::u16string_view request,
                             const std::u16string_view* reply, std::optional<long long> tenths)
{
    std::u16string row = transfer::decimalText(line);
    row += u'\t';
    row += request;
    row += u'\t';
    row += reply ? *reply : NoReplyMark;
    if (tenths) {
        row += u'\t';
        const std::string ms = messages::milliseconds(*tenths);
        row.append(ms.begin(), ms.end());
    }
    row += u"\r\n";
    return row;
}

void writeStandardOutput(std::u16string_view text, const transfer::CodePage& codePage)
{
    // What went to the C library's buffer before goes first.
    if (std::fflush(stdout) == 0 && console::writeIfConsole(console::Stream::Output, text))
        return;
    const std::string bytes = codePage.fromUnicode(text);
    // Standard output gets the line ends of this system.
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        out += bytes[i];
    }
    // A reader that went away fails the write instead of ending the program
    // unreported.  Said once: it is a system call, and this runs per reply.
    static const bool brokenPipeIgnored = (ignoreBrokenPipe(), true);
    (void)brokenPipeIgnored;
    const std::size_t written = std::fwrite(out.data(), 1, out.size(), stdout);
    if (written != out.size() || std::fflush(stdout) != 0 || std::ferror(stdout))
        throw std::runtime_error(std::string(messages::StreamWriteError));
}

void writeStandardError(std::string_view message)
{
    std::fflush(stderr);
    try {
        if (console::writeIfConsole(console::Stream::Error, transfer::fromUtf8(message)))
            return;
    } catch (const std::exception&) {
        return;
    }
    const std::string bytes = console::messageBytes(message);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

} // namespace quorlink::batch
