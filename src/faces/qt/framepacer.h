#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <functional>

class QWidget;

namespace quorlink::qtface {

// Paces something (a repaint, a relayout, a pane's view update) to the
// screen's refresh: done at most once per frame.  What comes sooner is held
// and `release` runs once the frame time since the last time has passed.
class FramePacer
{
public:
    // `screenOf` tells which screen's refresh rate counts (60 Hz when it
    // reports none).
    FramePacer(const QWidget* screenOf, std::function<void()> release);

    // Whether a frame time has passed since the last done().
    bool due() const;
    // It was done now.
    void done();
    // It is held: `release` runs when the frame is due, unless done() or
    // cancel() come first.
    void hold();
    void cancel();

private:
    std::int64_t frameNs() const;

    const QWidget* m_screenOf;
    QElapsedTimer m_last;
    QTimer m_timer;
};

} // namespace quorlink::qtface
