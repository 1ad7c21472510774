#pragma once

#include "clock.h"
#include "combobox.h"
#include "spinedit.h"
#include "window/UnitSetCom.h"

#include <windows.h>

#include <array>
#include <optional>

namespace quorlink::win32 {

// The port dialog SetCom in Win32: the components of window::SetComComponents
// at their places at 96 dots per inch, scaled per monitor, in a fixed frame
// with a close box only and no icon.  It is the face of window::TSetCom:
// its own message loop while shown (the owner disabled), keys given to
// TSetCom::KeyDown before any control sees them, clicks on the buttons, the
// close box; and it places the dialog and moves the focus where TSetCom
// says.
class PortDialog : public window::SetComFace
{
public:
    PortDialog() = default;
    ~PortDialog() override;
    PortDialog(const PortDialog&) = delete;
    PortDialog& operator=(const PortDialog&) = delete;

    // Creates the dialog, hidden, owned by `owner`.
    void create(HWND owner);
    // The dialog's behaviour; the lists take their entries from it.
    void attach(window::TSetCom& setCom);
    // Destroys the dialog before the behaviour it calls goes.
    void destroy();

    HWND hwnd() const { return m_hwnd; }
    SpinField& timeOutField() { return m_timeOut; }
    const window::Clock& clock() const { return m_clock; }

    // SetComFace.  The dialog's own message loop, its owner disabled.
    int runModal() override;
    void endModal(int result) override;
    // The focus among the controls; asked for while the dialog is hidden,
    // it is given when the dialog shows.
    std::optional<window::DialogControl> focusedControl() const override;
    void setFocus(window::DialogControl control, bool forward) override;
    // The button's style: BS_DEFPUSHBUTTON on it, BS_PUSHBUTTON on the other.
    void showDefaultButton(window::DialogControl button) override;
    // Screen pixels: the frame, its owner's, the work area of its monitor.
    window::Point position() const override;
    void move(window::Point topLeft) override;
    window::Point frameSize() const override;
    window::Rect ownerFrame() const override;
    window::Rect desktopArea() const override;

    // Lets the dialog see a message before it is dispatched.  Returns true
    // when the message was used.
    bool preTranslate(MSG& msg);

private:
    static LRESULT CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void layoutControls();
    int scale(int pixels96) const;
    // The window that stands for a control, and the one that takes its focus.
    HWND windowOf(window::DialogControl control) const;
    HWND focusWindowOf(window::DialogControl control) const;
    std::optional<window::DialogControl> controlOf(HWND window) const;
    // Tells TSetCom when the focus has moved to another of the dialog's
    // controls, whatever moved it (keys, clicks, activation).
    void noticeFocus();

    window::TSetCom* m_setCom = nullptr;
    HWND m_owner = nullptr;
    HWND m_hwnd = nullptr;
    HFONT m_font = nullptr;
    UINT m_dpi = 96;
    HWND m_groupBox = nullptr;
    std::array<HWND, 3> m_labels{};
    ComboField m_comboCom;
    ComboField m_comboBaud;
    SpinField m_timeOut;
    MessageClock m_clock;
    HWND m_button1 = nullptr;
    HWND m_button2 = nullptr;
    bool m_running = false;
    std::optional<int> m_result;
    // The focus asked for while the dialog was hidden, given when it shows.
    std::optional<window::DialogControl> m_pendingFocus;
    // The control that had the focus when the dialog was deactivated.
    HWND m_focus = nullptr;
    // The focus TSetCom was last told of.
    HWND m_noticedFocus = nullptr;
};

} // namespace quorlink::win32
