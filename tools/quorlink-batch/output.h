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
// "Stream write error".
void writeStandardOutput(std::u16string_view text, const transfer::CodePage& codePage);

} // namespace quorlink::batch
