#pragma once

#include "transfer/codepage.h"

#include <optional>
#include <string>
#include <string_view>

namespace quorlink::batch {

// One row of the transcript: the request's number `line`, the request and
// the reply ("-" when none came), tab separated, then with `tenths` the
// exchange's time in milliseconds ("52.3") as a fourth column, and CR LF.
std::u16string transcriptRow(int line, std::u16string_view request,
                             const std::u16string_view* reply,
                             std::optional<long long> tenths = std::nullopt);

// Writes `text` to standard output in `codePage`, with this system's line
// ends.  A reader that went away (a closed pipe) or a full device throws
// "Stream write error".  A console on Windows gets the text itself instead
// (below).
void writeStandardOutput(std::u16string_view text, const transfer::CodePage& codePage);

// Writes `message` (UTF-8, as every message is made: an error, the progress
// line, the timings) to standard error as it is, with no line end added.  A
// failing write is not reported: there is nowhere left to report it.
void writeStandardError(std::string_view message);

// The platform's part (output_unix.cpp, output_win.cpp).  A Windows console
// shows the characters of its own code page (852 on a Czech Windows), not
// those of the ANSI code page (1250) that files and the wire use: text for
// a console goes to it as UTF-16 (WriteConsoleW), so that every letter
// shows.  A file or a pipe gets bytes: the replies in their code page, the
// messages on Windows in the ANSI code page and elsewhere in UTF-8, as the
// terminal takes them.
namespace console {
enum class Stream { Output, Error };
// Writes `text` to `stream` when it is a console that takes UTF-16, and
// says whether it was one; nothing is written when it is not.  Throws
// "Stream write error" when the console does not take the text.
bool writeIfConsole(Stream stream, std::u16string_view text);
// The bytes of a message for a file or a pipe.
std::string messageBytes(std::string_view message);
} // namespace console

} // namespace quorlink::batch
