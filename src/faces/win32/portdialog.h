#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace quorlink::win32 {

// The controls of the port dialog, in their tab order after the group box.
enum class DialogControl {
    None,
    GroupBox1,
    ComboBoxCom,
    ComboBoxBaud,
    EditTimeOut,
    Button1, // "Storno"
    Button2, // "Ok", the default button
};

// What the port dialog reports; the dialog behaviour answers each report
// through the PortDialog it is given.
class PortDialogEvents
{
public:
    virtual ~PortDialogEvents() = default;
    // A key went down while `control` had the focus; `listOpen` tells
    // whether a list's drop-down part is open.  Returning true takes the key
    // from the control.
    virtual bool keyDown(DialogControl control, unsigned virtualKey, bool listOpen) = 0;
    // A character was typed into `control` (16-bit, 27 for Esc).  Returning
    // true keeps it out of the control.
    virtual bool character(DialogControl control, char16_t key) = 0;
    // The text in a list's box was edited by typing, deleting or pasting.
    virtual void listEdited(DialogControl list) = 0;
    // An entry of a list was picked in its drop-down part or with the arrows.
    virtual void listChosen(DialogControl list) = 0;
    // The keyboard focus moved; `byPressOnText` when a left-button press on
    // the spin field's text moved it there.
    virtual void focusMoved(DialogControl from, DialogControl to, bool byPressOnText) = 0;
    // A button was clicked (mouse, or Space while it has the focus).
    virtual void buttonClicked(DialogControl button) = 0;
    // The close box, Alt+F4 or the close command of the window menu.
    virtual void closeRequested() = 0;
    // The spin field's arrow buttons, left mouse button only: pressed,
    // pointer over the pressed button or not, released (over it or not).
    virtual void spinPressed(bool up) = 0;
    virtual void spinPointerOver(bool up, bool over) = 0;
    virtual void spinReleased(bool up, bool over) = 0;
};

// The port dialog SetCom: "Nastavení portu", 252 x 291 at 96 dots per inch,
// a fixed frame with a close box only and no icon; the group box
// "Parametry" with the port list, the speed list and the spin field
// EditTimeOut, and the buttons "Storno" and "Ok".  Created hidden once and
// shown modally as often as asked.
class PortDialog
{
public:
    PortDialog() = default;
    ~PortDialog();
    PortDialog(const PortDialog&) = delete;
    PortDialog& operator=(const PortDialog&) = delete;

    // Creates the dialog, hidden, owned by `owner`, with the list entries.
    void create(HWND owner, PortDialogEvents& events, const std::vector<std::wstring>& ports,
                const std::vector<std::wstring>& speeds);
    HWND hwnd() const { return m_hwnd; }

    // Shows the dialog with the owner disabled and returns once end() was
    // called, with the result given there.  A quit message ends it with 2
    // and is passed on to the outer loop.
    int showModal();
    void end(int result);
    bool isShown() const { return m_running; }

    // Position of the dialog's frame on the screen, in pixels.
    POINT position() const;
    void moveTo(POINT topLeft);
    // The owner's frame on the screen, and the desktop's work area.
    RECT ownerFrame() const;
    RECT dialogFrame() const;

    // The controls.
    HWND control(DialogControl which) const;
    DialogControl focused() const;
    void focus(DialogControl which);
    int itemIndex(DialogControl list) const;
    void setItemIndex(DialogControl list, int index);
    bool isListOpen(DialogControl list) const;
    void closeList(DialogControl list);
    // The text of a list's box or of the spin field, and its selection.
    std::u16string text(DialogControl which) const;
    void setText(DialogControl which, std::u16string_view text);
    void select(DialogControl which, int start, int end);
    void beep();

    // Lets the dialog see a message before it is dispatched.  Returns true
    // when the message was handled.
    bool preTranslate(MSG& msg);

private:
    static LRESULT CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK spinProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK arrowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void layoutControls();
    int scale(int pixels96) const;
    // The control a window belongs to (a list's edit box is its list).
    DialogControl controlOf(HWND window) const;
    HWND textWindow(DialogControl which) const;
    // Reports a move of the keyboard focus since the last message.
    void noticeFocus();

    PortDialogEvents* m_events = nullptr;
    HWND m_owner = nullptr;
    HWND m_hwnd = nullptr;
    HFONT m_font = nullptr;
    UINT m_dpi = 96;
    HWND m_groupBox = nullptr;
    std::array<HWND, 3> m_labels{};
    HWND m_comboCom = nullptr;
    HWND m_comboBaud = nullptr;
    HWND m_spin = nullptr;          // the field's frame
    HWND m_spinEdit = nullptr;      // its text
    std::array<HWND, 2> m_arrows{}; // up, down
    HWND m_button1 = nullptr;
    HWND m_button2 = nullptr;
    bool m_running = false;
    int m_result = 0;
    bool m_pressOnText = false;
    DialogControl m_lastFocus = DialogControl::None;
};

} // namespace quorlink::win32
