#pragma once

namespace quorlink::batch {

// The signals that ask a run to stop (Ctrl+C, and SIGTERM where there is
// one), one source file per platform.

// Calls handler for each of them from now on.
void installStopHandler(void (*handler)(int));

// Gives them back their default action (the program ends). Safe to call
// from the handler itself.
void restoreDefaultStop();

// A write to a pipe whose reader has gone fails (EPIPE) instead of ending
// the program; nothing to do where no such signal exists.
void ignoreBrokenPipe();

} // namespace quorlink::batch
