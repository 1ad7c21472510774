#include "framepacer.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace quorlink::qtface {

FramePacer::FramePacer(const QWidget* screenOf, std::function<void()> release)
    : m_screenOf(screenOf)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [release = std::move(release)] { release(); });
}

std::int64_t FramePacer::frameNs() const
{
    const QScreen* display = m_screenOf ? m_screenOf->screen() : nullptr;
    const qreal rate = display ? display->refreshRate() : 0.0;
    return static_cast<std::int64_t>(1e9 / (rate >= 1.0 ? rate : 60.0));
}

bool FramePacer::due() const
{
    return !m_last.isValid() || m_last.nsecsElapsed() >= frameNs();
}

void FramePacer::done()
{
    m_timer.stop();
    m_last.start();
}

void FramePacer::hold()
{
    if (m_timer.isActive())
        return;
    const std::int64_t leftNs =
        m_last.isValid() ? std::max<std::int64_t>(frameNs() - m_last.nsecsElapsed(), 0) : 0;
    m_timer.start(static_cast<int>((leftNs + 999'999) / 1'000'000));
}

void FramePacer::cancel()
{
    m_timer.stop();
}

} // namespace quorlink::qtface
