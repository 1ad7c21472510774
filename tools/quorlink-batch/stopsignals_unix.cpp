#include "stopsignals.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace quorlink::batch {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

StopCause causeOf(int signal)
{
    switch (signal) {
    case SIGINT:
        return StopCause::Interrupt;
    case SIGTERM:
        return StopCause::Terminate;
    default:
        return StopCause::HangUp;
    }
}

extern "C" void onStopSignal(int signal)
{
    const int savedErrno = errno;
    if (!stopsignals::request(causeOf(signal))) {
        // The default action, once this handler returns (the signal is held
        // back while it runs).
        std::signal(signal, SIG_DFL);
        ::raise(signal);
    }
    errno = savedErrno;
}

} // namespace

void stopsignals::installPlatformHandlers()
{
    // sigaction, not signal: SA_RESTART keeps reads and writes of files from
    // failing with EINTR, while the port's waits see the interrupt's pipe.
    // The three are held back while one of them is handled.
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (const int signal : StopSignals)
        sigaddset(&sa.sa_mask, signal);
    sa.sa_flags = SA_RESTART;
    for (const int signal : StopSignals)
        sigaction(signal, &sa, nullptr);
}

void stopsignals::writeNote(const char* text, unsigned size)
{
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, text, size);
}

void ignoreBrokenPipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace quorlink::batch
