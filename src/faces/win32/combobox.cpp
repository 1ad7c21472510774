#include "combobox.h"

#include "text.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace quorlink::win32 {

namespace {

constexpr UINT_PTR SubclassId = 1;

// Control characters the edit control turns into edits.
constexpr char16_t Backspace = 8;
constexpr char16_t CtrlV = 0x16; // paste
constexpr char16_t CtrlX = 0x18; // cut
constexpr char16_t CtrlZ = 0x1A; // undo

} // namespace

void ComboField::create(HWND dialog, int id)
{
    m_combo = CreateWindowExW(0, L"COMBOBOX", L"",
                              WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL |
                                  WS_TABSTOP,
                              0, 0, 0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(m_combo, &info);
    m_edit = info.hwndItem;
    m_list = info.hwndList;
    SetWindowSubclass(m_edit, &ComboField::editProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void ComboField::attach(window::TSetCom& setCom, window::TComboBox& box,
                        window::DialogControl control)
{
    m_setCom = &setCom;
    m_box = &box;
    m_control = control;
    box.attach(this);
}

void ComboField::showItems(const std::vector<std::u16string>& items)
{
    // Only the entries after those that stay as they are: the ones the list
    // always has keep their place.  The list's state is shown afterwards.
    m_showing = true;
    const auto count = [this] {
        return static_cast<std::size_t>(SendMessageW(m_combo, CB_GETCOUNT, 0, 0));
    };
    std::size_t same = 0;
    while (same < items.size() && same < count()) {
        const auto length = SendMessageW(m_combo, CB_GETLBTEXTLEN, same, 0);
        std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        SendMessageW(m_combo, CB_GETLBTEXT, same, reinterpret_cast<LPARAM>(text.data()));
        text.resize(std::wcslen(text.c_str()));
        if (fromWide(text) != items[same])
            break;
        ++same;
    }
    while (count() > same)
        SendMessageW(m_combo, CB_DELETESTRING, count() - 1, 0);
    for (std::size_t i = same; i < items.size(); ++i)
        SendMessageW(m_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toWide(items[i]).c_str()));
    m_showing = false;
}

void ComboField::place(const RECT& box, int visibleEntries)
{
    SendMessageW(m_combo, CB_SETMINVISIBLE, static_cast<WPARAM>(visibleEntries), 0);
    // A combo box's window covers its open drop-down part; the closed box's
    // height follows its font and is set through the height of its field.
    const int itemHeight = static_cast<int>(SendMessageW(m_combo, CB_GETITEMHEIGHT, 0, 0));
    const int height = box.bottom - box.top;
    MoveWindow(m_combo, box.left, box.top, box.right - box.left,
               height + itemHeight * visibleEntries + 2, TRUE);
    RECT shown{};
    GetWindowRect(m_combo, &shown);
    const int difference = height - (shown.bottom - shown.top);
    if (difference != 0) {
        const int field = static_cast<int>(SendMessageW(m_combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
        SendMessageW(m_combo, CB_SETITEMHEIGHT, WPARAM(-1), field + difference);
    }
}

void ComboField::selectAll()
{
    SendMessageW(m_combo, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

std::u16string ComboField::text() const
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(m_edit, text.data(), static_cast<int>(text.size()))));
    return fromWide(text);
}

int ComboField::cursor() const
{
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(m_edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end);
}

// ---- ComboBoxFace

void ComboField::showChoice(int itemIndex, std::u16string_view text, int selStart, int selLength)
{
    m_showing = true;
    // Choosing shows the entry's text in the box; no choice empties it.
    SendMessageW(m_combo, CB_SETCURSEL, static_cast<WPARAM>(itemIndex), 0);
    if (this->text() != text)
        SetWindowTextW(m_edit, toWide(text).c_str());
    // The box's own search for its text may have marked another entry in
    // the list part: it shows the choice.
    SendMessageW(m_list, LB_SETCURSEL, static_cast<WPARAM>(itemIndex), 0);
    // A box without the focus shows no selection, as a combo box does once
    // the focus has left it.
    if (GetFocus() == m_edit)
        SendMessageW(m_combo, CB_SETEDITSEL, 0, MAKELPARAM(selStart, selStart + selLength));
    else
        SendMessageW(m_edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    m_showing = false;
}

void ComboField::showBox()
{
    showChoice(m_box->ItemIndex(), m_box->Text(), m_box->SelStart(), m_box->SelLength());
}

bool ComboField::droppedDown() const
{
    return SendMessageW(m_combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void ComboField::closeDropDown()
{
    SendMessageW(m_combo, CB_SHOWDROPDOWN, FALSE, 0);
}

void ComboField::notified(WORD code)
{
    if (m_showing || !m_box)
        return;
    switch (code) {
    case CBN_SELENDOK:
        // Picked in the open drop-down part.
        m_box->EntryPicked(static_cast<int>(SendMessageW(m_combo, CB_GETCURSEL, 0, 0)));
        break;
    case CBN_SELENDCANCEL:
        // Closed without a pick: the pointer moving over the entries may
        // have put another one in the box.
        showBox();
        break;
    default:
        break;
    }
}

// ---- The box's edit control

LRESULT CALLBACK ComboField::editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<ComboField*>(data);
    if (!self->m_setCom)
        return DefSubclassProc(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_CHAR:
        return self->typed(hwnd, wParam, lParam);
    case WM_KEYDOWN:
        if (wParam == VK_DELETE) // Shift+Delete cuts
            return self->edited(hwnd, message, wParam, lParam, window::TextEdit::Delete);
        if (wParam == VK_INSERT) // Shift+Insert pastes, Ctrl+Insert copies
            return self->edited(hwnd, message, wParam, lParam, window::TextEdit::Paste, true);
        break;
    case WM_PASTE:
        return self->edited(hwnd, message, wParam, lParam, window::TextEdit::Paste);
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO:
        return self->edited(hwnd, message, wParam, lParam, window::TextEdit::Other);
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &ComboField::editProc, SubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT ComboField::typed(HWND edit, WPARAM wParam, LPARAM lParam)
{
    char16_t key = static_cast<char16_t>(wParam);
    const bool insert = m_setCom->KeyPress(m_control, key);
    // The owner's handler dropped the key or closed the dialog.
    if (key == 0 || !m_setCom->isShowing())
        return 0;
    if (insert) {
        DefSubclassProc(edit, WM_CHAR, key, lParam);
        m_box->TextTyped(text(), cursor());
        return 0;
    }
    switch (key) {
    case Backspace:
        return edited(edit, WM_CHAR, key, lParam, window::TextEdit::Backspace);
    case CtrlV:
        return edited(edit, WM_CHAR, key, lParam, window::TextEdit::Paste);
    case CtrlX:
    case CtrlZ:
        return edited(edit, WM_CHAR, key, lParam, window::TextEdit::Other);
    default:
        // Copying and the other control characters change no text.
        return DefSubclassProc(edit, WM_CHAR, key, lParam);
    }
}

LRESULT ComboField::edited(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                           window::TextEdit how, bool onlyIfChanged)
{
    const std::u16string before = onlyIfChanged ? text() : std::u16string();
    ++m_editDepth;
    const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
    --m_editDepth;
    if (m_editDepth == 0 && !m_showing && (!onlyIfChanged || text() != before))
        m_box->TextEdited(text(), cursor(), how);
    return result;
}

} // namespace quorlink::win32
