#include "clock.h"

#include <algorithm>

namespace quorlink::win32 {

std::int64_t MessageClock::nowMs() const
{
    const ULONGLONG now = GetTickCount64();
    // GetMessageTime is the low 32 bits of the tick count when the message
    // was made; a message older than a minute (or none yet) counts as now.
    const DWORD age = static_cast<DWORD>(now) - static_cast<DWORD>(GetMessageTime());
    return static_cast<std::int64_t>(age < 60000 ? now - age : now);
}

PerformanceClock::PerformanceClock()
{
    LARGE_INTEGER frequency{};
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
        m_frequency = frequency.QuadPart;
}

std::int64_t PerformanceClock::nowUs() const
{
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    // In two steps, so that a counter running for weeks does not overflow.
    const std::int64_t seconds = count.QuadPart / m_frequency;
    const std::int64_t rest = count.QuadPart % m_frequency;
    return seconds * 1'000'000 + rest * 1'000'000 / m_frequency;
}

void WindowTimer::start(std::int64_t delayMs)
{
    // SetTimer takes at least USER_TIMER_MINIMUM (10 ms) and replaces a
    // pending timer of the same id.
    if (m_window)
        SetTimer(m_window, m_id, static_cast<UINT>(std::clamp<std::int64_t>(delayMs, 0, 60'000)),
                 nullptr);
}

void WindowTimer::stop()
{
    if (m_window)
        KillTimer(m_window, m_id);
}

} // namespace quorlink::win32
