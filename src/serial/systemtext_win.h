#pragma once

// The system's description of a Win32 error code, as the port's and the
// files' errors show it.  Kept with the serial link, the lowest part that
// reports system errors; the source and result files use it too.

#include <string>

namespace quorlink::serial {

// FormatMessageW's text for `code` in the user's language, as UTF-8 made
// from its UTF-16 (never through the ANSI code page, which cannot hold every
// language's letters), without the period and line end it ends with.
// Empty when the system has no text for the code.
std::string systemErrorText(unsigned long code);

} // namespace quorlink::serial
