#pragma once

// UnitSetCom: the port settings dialog SetCom (TSetCom) and its lists (TComboBox).

#include "CSpinEdit.h"
#include "face.h"
#include "keys.h"
#include "serial/portdiscovery.h"
#include "windowdefs.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorlink::window {

class TComboBox;

// An editable drop-down list as its face shows it.
class ComboBoxFace
{
public:
    virtual ~ComboBoxFace() = default;
    // Shows the list's state: the chosen entry (or none) in the list part,
    // `text` in the box with [selStart, selStart + selLength) selected.
    virtual void showChoice(int itemIndex, std::u16string_view text, int selStart,
                            int selLength) = 0;
    virtual bool droppedDown() const = 0;
    virtual void closeDropDown() = 0;
    // Shows `items` as the list's entries, in this order.  The list's state
    // is shown after it.
    virtual void showItems(const std::vector<std::u16string>& items) = 0;
};

// How the text of a list's box was changed other than by typing a character.
enum class TextEdit { Backspace, Delete, Paste, Other };

// The behaviour of an editable drop-down list (ComboBoxCom, ComboBoxBaud).
// Its choice, ItemIndex, follows the typing: typed text completes to the
// first entry it begins (case ignored) with the rest of that entry selected
// and chooses it; text that begins no entry leaves no entry chosen while the
// text stays.  Backspace leaves no entry chosen, and so do Delete, cutting
// and pasting, with the drop-down part open or closed.  Up and Down choose
// the previous or next entry, open or closed.
class TComboBox
{
public:
    TComboBox(std::vector<std::u16string> items, std::u16string designText);

    // Shows the entries and the state in `face` from now on.
    void attach(ComboBoxFace* face);

    const std::vector<std::u16string>& Items() const { return m_items; }
    // Replaces the entries.  A chosen entry that is still there stays chosen
    // at its new position; otherwise no entry is chosen and the text stays.
    void setItems(std::vector<std::u16string> items);
    // The chosen entry's position, or -1.
    int ItemIndex() const { return m_itemIndex; }
    // The index it already has changes nothing (the text stays); any other
    // chooses that entry, or for -1 and positions outside the list removes
    // the choice and empties the box.
    void setItemIndex(int index);
    const std::u16string& Text() const { return m_text; }
    int SelStart() const { return m_selStart; }
    int SelLength() const { return m_selLength; }

    // The owner's key-press handler: sees every typed character (Esc
    // included, also with the drop-down part open) and may drop it (0).
    std::function<void(char16_t& key)> OnKeyPress;

    // ---- Input from the face

    // A key that types nothing.  Returns true when the list used it.
    bool KeyDown(Key key, Modifiers modifiers);
    // A typed character, before it goes in.  Returns true when the face is
    // to let it into the box and then report TextTyped.
    bool KeyPress(char16_t& key);
    // The box's text after a typed character went in, the cursor after it.
    void TextTyped(std::u16string_view text, int cursor);
    // The box's text after any other change by the operator.
    void TextEdited(std::u16string_view text, int cursor, TextEdit how);
    // An entry picked in the open drop-down part (click).
    void EntryPicked(int index);

private:
    void choose(int index);
    void chooseNothingKeepText(std::u16string_view text, int cursor);
    void show();

    std::vector<std::u16string> m_items;
    std::u16string m_text;
    int m_itemIndex = -1;
    int m_selStart = 0;
    int m_selLength = 0;
    ComboBoxFace* m_face = nullptr;
};

// The port settings dialog as its face shows it.
class SetComFace
{
public:
    virtual ~SetComFace() = default;
    // Shows the dialog modally, the main window disabled, and returns the
    // result given to endModal.
    virtual int runModal() = 0;
    virtual void endModal(int result) = 0;
    // The control with the keyboard focus, if one of the dialog's has it.
    virtual std::optional<DialogControl> focusedControl() const = 0;
    // `forward` tells a focus that arrives like Tab from one that arrives
    // like Shift+Tab.
    virtual void setFocus(DialogControl control, bool forward) = 0;
    // Shows `button` as the default one: the bold border, and Enter on a
    // control that does not take it presses it.
    virtual void showDefaultButton(DialogControl button) = 0;
    // Top-left corner of the dialog's frame, in screen pixels.
    virtual Point position() const = 0;
    virtual void move(Point topLeft) = 0;
    // Size of the dialog's frame, and the frame of the window that owns it
    // and the desktop's work area, in screen pixels.
    virtual Point frameSize() const = 0;
    virtual Rect ownerFrame() const = 0;
    virtual Rect desktopArea() const = 0;
    // What each port entry reaches ("/dev/ttyUSB0 (existuje)"), in list
    // order, for the face to show beside the entries where it can.
    virtual void setPortDescriptions(const std::vector<std::u16string>&) {}
};

// One entry of the port list: the COM number it stands for, its text in the
// list and what it reaches.
struct PortEntry
{
    std::int32_t number = 0;
    std::u16string text;
    std::u16string description;
};

// The port list's entries for `ports`.  COM1 to COM16 are "COM<n>"; an
// entry above them is "COM<n>" and the device's name ("COM23 USB Serial
// Port"), or "COM<n> (neexistuje)" for a port that is not there, so that
// the typed COM name completes to it.  The description names the device,
// whether it is there and what the system tells of it.
std::vector<PortEntry> portEntries(const std::vector<serial::ListedPort>& ports);

// Where a dialog of `size` goes the first time it is shown: centred over
// `owner`, kept inside the desktop's left and top edges.
Point centredOver(const Rect& owner, Point size, const Rect& desktop);

// The port settings dialog SetCom: port list, speed list, time-out field.
// Created once at start-up, shown modally by TForm1::Port1Click and only
// shown and hidden afterwards; its controls keep their text, the dialog its
// position and focus between showings.
class TSetCom
{
public:
    // ShowModal results.
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2; // Esc, the close box, Alt+F4
    static constexpr int ResultStorno = 3;

    TSetCom(SetComFace& face, SpinEditFace& timeOutFace, const Clock& clock, Timer& timer);

    TComboBox ComboBoxCom;
    TComboBox ComboBoxBaud;
    TCSpinEdit EditTimeOut;

    // Shows the dialog modally and returns 1 ("Ok"), 3 ("Storno") or 2.
    int ShowModal();

    // The port list: COM1 to COM16 until it is set.  A position in the list
    // and the port number it stands for go one to the other here only.
    void setPortList(const std::vector<PortEntry>& entries);
    // The position of port `number` in the list, -1 when it is not listed.
    int portPosition(std::int32_t number) const;
    // The port number of the entry at `position`; 0 for none (-1).
    std::int32_t portNumberAt(int position) const;

    // The key-press handler of the dialog and its five controls: Esc closes
    // the dialog with the result 2.
    void FormKeyPress(char16_t& key);

    // ---- Input from the face

    // A key that types nothing, pressed while `focus` has the focus, before
    // the control sees it: Tab and Shift+Tab move along the tab order, the
    // other keys as the dialog's key table says.  Returns true when the
    // dialog used it.
    bool KeyDown(DialogControl focus, Key key, Modifiers modifiers);
    // A character typed while `focus` has the focus, before the control sees
    // it.  Returns true when the dialog used it.
    bool KeyPress(DialogControl focus, char16_t& key);
    // The focus moved to `focus` (none: to no control of the dialog).  The
    // default button follows it, as on any dialog of the system: "Storno"
    // while it has the focus, "Ok" otherwise.
    void FocusChanged(std::optional<DialogControl> focus);
    // A click on a button (or Space on it).
    void ButtonClick(DialogControl button);
    // The close box, Alt+F4 or the window menu's close command.
    void CloseRequested();
    bool isShowing() const { return m_showing; }

private:
    void close(int result);
    void moveAmongButtons(DialogControl from, bool forward);
    void moveAlongTabOrder(DialogControl from, bool forward);
    void placeForShowing();

    SetComFace& m_face;
    std::vector<std::int32_t> m_portNumbers; // of ComboBoxCom's entries, in list order
    bool m_showing = false;
    bool m_shownBefore = false;
    Point m_lastPosition;
    std::optional<DialogControl> m_lastFocus;
};

} // namespace quorlink::window
