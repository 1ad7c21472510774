#pragma once

namespace quorlink::batch {

// Exit statuses.
inline constexpr int ExitAllAnswered = 0;
inline constexpr int ExitSomeUnanswered = 1;
inline constexpr int ExitError = 2;     // port, file or usage error
inline constexpr int ExitStopped = 130; // Ctrl+C, after the current exchange
// Stopped at once: 128 + the signal's number (exitStatusFor in stopsignals.h).

// The whole program: options, settings, source, port, run, output.
int main(int argc, char** argv);

} // namespace quorlink::batch
