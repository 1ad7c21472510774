#pragma once

namespace quorlink::serial {
class WaitInterrupt;
}

namespace quorlink::batch {

// What asks the program to stop.  The platform's own events map onto these
// (stopsignals_unix.cpp, stopsignals_win.cpp).
enum class StopCause {
    None,
    Interrupt, // Ctrl+C (SIGINT); on Windows also Ctrl+Break
    Terminate, // SIGTERM; on Windows the end of the session (log-off, shut-down)
    HangUp,    // SIGHUP, the terminal went away; on Windows the console window closed
};

// The exit status of a run stopped by `cause`: 128 + the signal's number, as
// a shell reports a program that a signal ended (130, 143, 129).
int exitStatusFor(StopCause cause);

// Installs the handlers.  The first Ctrl+C asks for a stop after the current
// exchange, as Esc in the window does (gentleStopRequested()), and writes
// `note` (`noteSize` bytes) to standard error.  A second Ctrl+C, or any of
// the other causes, ends the waits of the port at once through `interrupt`
// and becomes hardStop(): the program then closes the port, writes what it
// has and ends.  Should that clean-up itself hang, a further Ctrl+C ends the
// program by the signal's default action; repeated SIGTERM or SIGHUP, which
// come from other programs, are ignored.  `note` and `interrupt` must live
// as long as the handlers.
void installStopHandlers(serial::WaitInterrupt& interrupt, const char* note, unsigned noteSize);

bool gentleStopRequested();
StopCause hardStop();

// A write to a pipe whose reader has gone fails (EPIPE) instead of ending
// the program; nothing to do where no such signal exists.
void ignoreBrokenPipe();

// ---- Between the common part (stopsignals.cpp) and the platform's

namespace stopsignals {
// Called by the platform's handler for each event; async-signal-safe.
// Returns false when the event should take its default action instead (the
// program ends at once).
bool request(StopCause cause);
// Installs the platform's handlers, which call request().
void installPlatformHandlers();
// Writes `size` bytes to standard error; async-signal-safe.
void writeNote(const char* text, unsigned size);
} // namespace stopsignals

} // namespace quorlink::batch
