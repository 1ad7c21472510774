#include "stopsignals.h"

#include <csignal>

namespace quorlink::batch {

namespace {
void setStopAction(void (*action)(int))
{
    // sigaction, not signal: it may be called from the handler for the other
    // signal, and SA_RESTART keeps the port's waits from ending early.
    struct sigaction sa = {};
    sa.sa_handler = action;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}
} // namespace

void installStopHandler(void (*handler)(int))
{
    setStopAction(handler);
}

void restoreDefaultStop()
{
    setStopAction(SIG_DFL);
}

void ignoreBrokenPipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace quorlink::batch
