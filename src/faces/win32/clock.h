#pragma once

#include "window/face.h"

#include <windows.h>

#include <cstdint>

namespace quorlink::win32 {

// The clock of the spin buttons' repeat: the time at which the message
// being handled was generated (GetMessageTime), on the 64-bit tick count.
// A press and a release thus count from when the operator made them, not
// from when a busy program got to them.
class MessageClock : public window::Clock
{
public:
    std::int64_t nowMs() const override;
};

// The performance counter: a clock finer than the tick count, for the
// pacing of the screen.
class PerformanceClock : public window::Clock
{
public:
    PerformanceClock();
    std::int64_t nowMs() const override { return nowUs() / 1000; }
    std::int64_t nowUs() const override;

private:
    std::int64_t m_frequency = 1;
};

// A one-shot timer of a window: WM_TIMER with `id` comes to the window,
// which hands it to the timer's owner and stops it.
class WindowTimer : public window::Timer
{
public:
    explicit WindowTimer(UINT_PTR id) : m_id(id) {}
    void attach(HWND window) { m_window = window; }
    UINT_PTR id() const { return m_id; }

    void start(std::int64_t delayMs) override;
    void stop() override;

private:
    UINT_PTR m_id;
    HWND m_window = nullptr;
};

} // namespace quorlink::win32
