#pragma once

// What the window's behaviour asks of a face: the widgets of one toolkit or
// platform that show the window and translate the user's input into calls of
// TForm1, TSetCom and TCSpinEdit.  The behaviour never draws; the face never
// decides.

#include "windowdefs.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace quorlink::window {

enum class BoxIcon { Information, Stop };

// Modal message boxes with an OK button, owned by the active window of the
// program (the application itself while no window is shown) and disabling
// every other window of the program until dismissed.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual void showMessageBox(BoxIcon icon, std::u16string_view caption,
                                std::u16string_view text) = 0;
};

// The common file dialogs, owned by the main window.  Nothing when the
// operator cancels.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    // OpenDialogFilters, the first preselected; a name that does not exist
    // is accepted.
    virtual std::optional<std::filesystem::path> askSourceFileName() = 0;
    // SaveDialogFilters, the first preselected; no question before
    // overwriting, no check that the folder exists.
    virtual std::optional<std::filesystem::path> askResultFileName() = 0;
};

// A monotonic clock and a one-shot timer on the face's event loop, for the
// spin buttons' repeat and the pacing of the screen during a run.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
    // The same clock in microseconds, for faces that have them.
    virtual std::int64_t nowUs() const { return nowMs() * 1000; }
};

class Timer
{
public:
    virtual ~Timer() = default;
    // Calls the owner's timeout handler once, `delayMs` (>= 0) from now;
    // starting again replaces the pending call.
    virtual void start(std::int64_t delayMs) = 0;
    virtual void stop() = 0;
};

// The main window's face.
class WindowFace : public MessageBoxes, public FileDialogs
{
public:
    virtual void setCaption(std::u16string_view caption) = 0;
    virtual void setMenuItemEnabled(MenuItem item, bool enabled) = 0;
    virtual void setMenuItemChecked(MenuItem item, bool checked) = 0;
    // Handles every pending window message (keys, menu commands, repaints
    // unless FramePacing holds them) and returns.
    virtual void processMessages() = 0;
    // Brings the screen up to date with everything set so far (panels,
    // appended lines, whatever was held), without handling any input.
    // FramePacing calls it.
    virtual void showPendingChanges() = 0;
    // Closes the main window now and ends the program once the handler that
    // is running has returned.  Called only when the window may close.
    virtual void closeWindow() = 0;
    // Gives `control` the keyboard focus, now or, while the window is hidden,
    // when it is shown.
    virtual void setFocus(WindowControl control) = 0;
    // The notebook's page on show (an index into NotebookPages), and
    // showing another with its pane.  The caller gives the focus where it
    // belongs afterwards.
    virtual int shownPage() const = 0;
    virtual void showPage(int page) = 0;

    // What FramePacing needs of the face: the refresh rate of the screen the
    // window is on, in Hz (0 when the screen reports none), a monotonic
    // clock, and a one-shot timer whose expiry the face reports to
    // FramePacing::timerExpired.
    virtual double refreshRate() const = 0;
    virtual const Clock& frameClock() const = 0;
    virtual Timer& frameTimer() = 0;
};

} // namespace quorlink::window
