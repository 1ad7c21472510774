#pragma once

#include "window/face.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace quorlink::qtface {

// A monotonic clock and a one-shot timer on Qt's event loop.
class QtClock : public window::Clock
{
public:
    QtClock() { m_clock.start(); }
    std::int64_t nowMs() const override { return m_clock.elapsed(); }
    std::int64_t nowUs() const override { return m_clock.nsecsElapsed() / 1000; }

private:
    QElapsedTimer m_clock;
};

class QtTimer : public window::Timer
{
public:
    explicit QtTimer(std::function<void()> expired);
    void start(std::int64_t delayMs) override;
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace quorlink::qtface
