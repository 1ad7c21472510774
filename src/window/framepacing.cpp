#include "framepacing.h"

#include <algorithm>

namespace quorlink::window {

std::int64_t FramePacing::frameUs() const
{
    const double rate = m_face.refreshRate();
    return static_cast<std::int64_t>(1e6 / (rate >= 1.0 ? rate : DefaultRefreshRate));
}

std::int64_t FramePacing::sinceShownUs() const
{
    // Nothing shown yet: a frame is due.
    if (!m_shownBefore)
        return frameUs();
    return m_face.frameClock().nowUs() - m_shownAtUs;
}

void FramePacing::runStarted()
{
    m_running = true;
}

void FramePacing::runEnded()
{
    m_running = false;
    showNow();
}

void FramePacing::changeHeld()
{
    if (!m_running || m_timerStarted)
        return;
    m_timerStarted = true;
    const std::int64_t leftUs = std::max<std::int64_t>(frameUs() - sinceShownUs(), 0);
    m_face.frameTimer().start((leftUs + 999) / 1000);
}

void FramePacing::timerExpired()
{
    m_timerStarted = false;
    if (!m_running)
        return;
    // A timer may run out a little early: the frame it waits for is then
    // still to come.
    if (sinceShownUs() >= frameUs())
        showNow();
    else
        changeHeld();
}

void FramePacing::betweenExchanges()
{
    if (m_running && sinceShownUs() >= frameUs())
        showNow();
}

void FramePacing::showNow()
{
    if (m_timerStarted) {
        m_timerStarted = false;
        m_face.frameTimer().stop();
    }
    struct Showing
    {
        bool& flag;
        explicit Showing(bool& f) : flag(f) { flag = true; }
        ~Showing() { flag = false; }
    } showing(m_showing);
    // The frame starts as it is shown.
    m_shownBefore = true;
    m_shownAtUs = m_face.frameClock().nowUs();
    m_face.showPendingChanges();
}

} // namespace quorlink::window
