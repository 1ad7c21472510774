// What the stop requests mean, alike on every platform: the first Ctrl+C
// stops after the current exchange, anything after it (or any other cause)
// ends the waits at once.  Only lock-free atomics here: request() runs in a
// signal handler, or on Windows in the console's own thread.

#include "stopsignals.h"

#include "serial/waitinterrupt.h"

#include <atomic>

namespace quorlink::batch {

namespace {
std::atomic<bool> g_gentle{false};
std::atomic<StopCause> g_hard{StopCause::None};
static_assert(std::atomic<StopCause>::is_always_lock_free);
serial::WaitInterrupt* g_interrupt = nullptr;
const char* g_note = nullptr;
unsigned g_noteSize = 0;
} // namespace

int exitStatusFor(StopCause cause)
{
    switch (cause) {
    case StopCause::Interrupt:
        return 128 + 2;
    case StopCause::Terminate:
        return 128 + 15;
    case StopCause::HangUp:
        return 128 + 1;
    case StopCause::None:
        break;
    }
    return 0;
}

void installStopHandlers(serial::WaitInterrupt& interrupt, const char* note, unsigned noteSize)
{
    g_interrupt = &interrupt;
    g_note = note;
    g_noteSize = noteSize;
    stopsignals::installPlatformHandlers();
}

bool gentleStopRequested()
{
    return g_gentle.load();
}

StopCause hardStop()
{
    return g_hard.load();
}

bool stopsignals::request(StopCause cause)
{
    if (cause == StopCause::Interrupt && !g_gentle.exchange(true)) {
        writeNote(g_note, g_noteSize);
        return true;
    }
    StopCause none = StopCause::None;
    if (g_hard.compare_exchange_strong(none, cause)) {
        g_interrupt->trigger();
        return true;
    }
    // Already stopping at once: only the user's own key press again may end
    // a clean-up that hangs.
    return cause != StopCause::Interrupt;
}

} // namespace quorlink::batch
