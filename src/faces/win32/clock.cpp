#include "clock.h"

#include <windows.h>

namespace quorlink::win32 {

std::int64_t MessageClock::nowMs() const
{
    const ULONGLONG now = GetTickCount64();
    // GetMessageTime is the low 32 bits of the tick count when the message
    // was made; a message older than a minute (or none yet) counts as now.
    const DWORD age = static_cast<DWORD>(now) - static_cast<DWORD>(GetMessageTime());
    return static_cast<std::int64_t>(age < 60000 ? now - age : now);
}

} // namespace quorlink::win32
