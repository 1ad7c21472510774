#pragma once

#include "transfer/codepage.h"
#include "transfer/pane.h"

#include <optional>
#include <string>
#include <vector>

namespace quorlink::batch {

// The transcript: one row per request that was sent, with its number, the
// request and the reply ("-" when none came), tab separated, CR LF after
// each.  `replies` holds the reply to line i + 1 at i.
std::u16string transcriptText(const transfer::Pane& source,
                              const std::vector<std::optional<std::u16string>>& replies,
                              int linesSent);

// Writes `text` to standard output in `codePage`, with this system's line
// ends.  A reader that went away (a closed pipe) or a full device throws
// "Stream write error".
void writeStandardOutput(std::u16string_view text, const transfer::CodePage& codePage);

} // namespace quorlink::batch
