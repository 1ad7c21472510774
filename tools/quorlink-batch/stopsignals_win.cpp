#include "stopsignals.h"

#include <csignal>

namespace quorlink::batch {

// The C runtime turns Ctrl+C and Ctrl+Break into SIGINT and SIGBREAK; it
// has no SIGPIPE (a write to a closed pipe just fails).

void installStopHandler(void (*handler)(int))
{
    std::signal(SIGINT, handler);
    std::signal(SIGBREAK, handler);
    std::signal(SIGTERM, handler);
}

void restoreDefaultStop()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGBREAK, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void ignoreBrokenPipe() {}

} // namespace quorlink::batch
