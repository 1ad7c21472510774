#pragma once

#include "window/UnitSetCom.h"

#include <windows.h>

#include <string>
#include <vector>

namespace quorlink::win32 {

// An editable drop-down list of the port dialog (ComboBoxCom, ComboBoxBaud)
// over a CBS_DROPDOWN combo box.  The list's behaviour, window::TComboBox,
// decides the choice and the text; this shows them and reports the
// operator's input to it:
// - a typed character goes first to the dialog's key handling (the owner's
//   key-press handler sees it), then, when it is to go in, into the box, and
//   the text after it is reported as typed (completion follows);
// - Backspace, Delete, pasting, cutting, clearing and undoing are done by
//   the box and the text after them reported as edited;
// - an entry picked in the open drop-down part is reported as picked.
// Keys that type nothing (arrows, Enter, Esc, Tab) never reach it: the
// dialog's message loop gives them to TSetCom::KeyDown first.
class ComboField : public window::ComboBoxFace
{
public:
    ComboField() = default;
    ComboField(const ComboField&) = delete;
    ComboField& operator=(const ComboField&) = delete;

    // Creates the combo box as a child of `dialog`, empty.
    void create(HWND dialog, int id);
    // Shows the entries and the state of `box` from now on.
    void attach(window::TSetCom& setCom, window::TComboBox& box, window::DialogControl control);

    HWND hwnd() const { return m_combo; }
    // The window that takes the keyboard focus: the box's edit control.
    HWND focusWindow() const { return m_edit; }
    // Places the box at `box` (its closed height), its drop-down part below.
    void place(const RECT& box, int visibleEntries);
    void selectAll();
    // A CBN_ notification of the combo box.
    void notified(WORD code);

    // ComboBoxFace
    void showChoice(int itemIndex, std::u16string_view text, int selStart, int selLength) override;
    bool droppedDown() const override;
    void closeDropDown() override;
    void showItems(const std::vector<std::u16string>& items) override;

private:
    static LRESULT CALLBACK editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    LRESULT typed(HWND edit, WPARAM wParam, LPARAM lParam);
    // Lets the edit control do `message`, then reports the text as edited
    // `how` (only when it changed, with `onlyIfChanged`).
    LRESULT edited(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, window::TextEdit how,
                   bool onlyIfChanged = false);
    std::u16string text() const;
    int cursor() const;
    void showBox();

    window::TSetCom* m_setCom = nullptr;
    window::TComboBox* m_box = nullptr;
    window::DialogControl m_control{};
    HWND m_combo = nullptr;
    HWND m_edit = nullptr;
    HWND m_list = nullptr;
    bool m_showing = false; // the face itself is changing the box
    int m_editDepth = 0;    // nested edits (^V sends WM_PASTE) report once
};

} // namespace quorlink::win32
