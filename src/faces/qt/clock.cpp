#include "clock.h"

#include <algorithm>

namespace quorlink::qtface {

QtTimer::QtTimer(std::function<void()> expired)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [expired = std::move(expired)] { expired(); });
}

void QtTimer::start(std::int64_t delayMs)
{
    m_timer.start(static_cast<int>(std::clamp<std::int64_t>(delayMs, 0, 1'000'000)));
}

} // namespace quorlink::qtface
