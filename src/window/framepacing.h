#pragma once

// How often the screen shows what a run changes: once per frame.

#include "face.h"

#include <cstdint>

namespace quorlink::window {

// A run changes the window after every exchange (the panels, an appended
// reply), far more often than the screen shows a frame when the device
// answers at once; painting each change would cost the run more than the
// exchange itself.  While a run is in progress (holding()), a face holds
// every change it would show (a repaint, a relayout, a panel text, a pane's
// view) and this has the face show them all at once
// (WindowFace::showPendingChanges):
// - between two exchanges, when a frame of the screen has passed since they
//   were last shown;
// - before an exchange that may wait, at once, so that the screen stays
//   current however long the device takes;
// - when the outermost run is over;
// - at the end of the frame in which a change was held, when no exchange
//   comes by then (the run waits in a dialog or a message box).
class FramePacing
{
public:
    // The refresh rate taken when the face reports none, in Hz.
    static constexpr double DefaultRefreshRate = 60.0;

    explicit FramePacing(WindowFace& face) : m_face(face) {}

    // The outermost run started; it ended (what is held is shown).
    void runStarted();
    void runEnded();

    // Whether the face is to hold a change it would show now.
    bool holding() const { return m_running && !m_showing; }
    // The face held a change: it is shown by the end of the frame.
    void changeHeld();
    // The face's frame timer ran out.
    void timerExpired();

    // A run is between two exchanges: shows what is held when a frame is
    // due.
    void betweenExchanges();
    // Shows what is held now; the next frame counts from here.
    void showNow();

private:
    std::int64_t frameUs() const;
    std::int64_t sinceShownUs() const;

    WindowFace& m_face;
    bool m_running = false;
    bool m_showing = false;
    bool m_timerStarted = false;
    bool m_shownBefore = false;
    std::int64_t m_shownAtUs = 0;
};

} // namespace quorlink::window
