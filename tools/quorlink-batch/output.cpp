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

std::u16string transcriptText(const transfer::Pane& source,
                              const std::vector<std::optional<std::u16string>>& replies,
                              int linesSent)
{
    std::u16string result;
    for (int i = 0; i < linesSent && static_cast<std::size_t>(i) < replies.size(); ++i) {
        result += transfer::decimalText(i + 1);
        result += u'\t';
        result += source.line(i);
        result += u'\t';
        const auto& reply = replies[static_cast<std::size_t>(i)];
        result += reply ? std::u16string_view(*reply) : NoReplyMark;
        result += u"\r\n";
    }
    return result;
}

void writeStandardOutput(std::u16string_view text, const transfer::CodePage& codePage)
{
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
    // unreported.
    ignoreBrokenPipe();
    const std::size_t written = std::fwrite(out.data(), 1, out.size(), stdout);
    if (written != out.size() || std::fflush(stdout) != 0 || std::ferror(stdout))
        throw std::runtime_error(std::string(messages::StreamWriteError));
}

} // namespace quorlink::batch
