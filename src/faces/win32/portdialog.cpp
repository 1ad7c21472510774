#include "portdialog.h"

#include "layout.h"
#include "messagepump.h"
#include "wintext.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

namespace quorlink::win32 {

namespace {

constexpr wchar_t DialogClass[] = L"QuorlinkSetCom";
constexpr wchar_t SpinClass[] = L"QuorlinkCSpinEdit";
constexpr wchar_t ArrowClass[] = L"QuorlinkSpinButton";

// Per arrow button: pressed with the left button, and the pointer over it.
struct ArrowState
{
    bool pressed = false;
    bool over = false;
};

HFONT createFont(UINT dpi)
{
    return CreateFontW(-MulDiv(layout::FontPoints, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       layout::FontFace);
}

void registerClass(const wchar_t* name, WNDPROC proc, HBRUSH background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    RegisterClassExW(&windowClass);
}

HWND child(HWND parent, DWORD exStyle, const wchar_t* windowClass, const wchar_t* text, DWORD style,
           int id)
{
    return CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

ArrowState arrowStates[2];

} // namespace

PortDialog::~PortDialog()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
    if (m_font)
        DeleteObject(m_font);
}

int PortDialog::scale(int pixels96) const
{
    return MulDiv(pixels96, static_cast<int>(m_dpi), 96);
}

void PortDialog::create(HWND owner, PortDialogEvents& events,
                        const std::vector<std::wstring>& ports,
                        const std::vector<std::wstring>& speeds)
{
    m_events = &events;
    m_owner = owner;
    registerClass(DialogClass, &PortDialog::dialogProc,
                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    registerClass(SpinClass, &PortDialog::spinProc, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    registerClass(ArrowClass, &PortDialog::arrowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

    // A fixed dialog frame, a caption with the close box only, no icon.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE;
    m_hwnd = CreateWindowExW(exStyle, DialogClass, layout::DialogCaption, style, 0, 0,
                             layout::DialogClientWidth, layout::DialogClientHeight, owner, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (!m_hwnd)
        throw std::runtime_error("The port dialog could not be created");
    // The window menu offers what the frame allows: move and close.
    const HMENU systemMenu = GetSystemMenu(m_hwnd, FALSE);
    for (UINT item : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        DeleteMenu(systemMenu, item, MF_BYCOMMAND);

    m_dpi = GetDpiForWindow(m_hwnd);
    m_font = createFont(m_dpi);

    // Created in the tab order: the group box first with its labels and
    // fields, then "Storno" and "Ok".
    m_groupBox = child(m_hwnd, 0, L"BUTTON", layout::GroupBox1Text, BS_GROUPBOX | WS_GROUP, 10);
    m_labels[0] = child(m_hwnd, 0, L"STATIC", layout::Label1Text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 11);
    m_comboCom = child(m_hwnd, 0, L"COMBOBOX", L"",
                       CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 12);
    m_labels[1] = child(m_hwnd, 0, L"STATIC", layout::Label2Text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 13);
    m_comboBaud = child(m_hwnd, 0, L"COMBOBOX", L"",
                        CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 14);
    m_labels[2] = child(m_hwnd, 0, L"STATIC", layout::Label3Text, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 15);
    m_spin =
        child(m_hwnd, WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, SpinClass, L"", WS_CLIPCHILDREN, 16);
    m_spinEdit = child(m_spin, 0, L"EDIT", L"0", ES_AUTOHSCROLL | WS_TABSTOP, 1);
    for (int i = 0; i < 2; ++i) {
        m_arrows[static_cast<std::size_t>(i)] = child(m_spin, 0, ArrowClass, L"", 0, i);
        SetWindowLongPtrW(m_arrows[static_cast<std::size_t>(i)], GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(this));
    }
    m_button1 =
        child(m_hwnd, 0, L"BUTTON", layout::Button1Text, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 17);
    m_button2 = child(m_hwnd, 0, L"BUTTON", layout::Button2Text, BS_DEFPUSHBUTTON | WS_TABSTOP, 18);

    for (const std::wstring& entry : ports)
        SendMessageW(m_comboCom, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    for (const std::wstring& entry : speeds)
        SendMessageW(m_comboBaud, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    for (HWND list : {m_comboCom, m_comboBaud})
        SendMessageW(list, CB_SETMINVISIBLE, layout::ListVisibleEntries, 0);
    SetWindowTextW(m_comboCom, layout::ComboBoxComText);
    SetWindowTextW(m_comboBaud, layout::ComboBoxBaudText);

    layoutControls();
}

void PortDialog::layoutControls()
{
    for (HWND control : {m_groupBox, m_labels[0], m_labels[1], m_labels[2], m_comboCom, m_comboBaud,
                         m_spinEdit, m_button1, m_button2})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);

    RECT frame{0, 0, scale(layout::DialogClientWidth), scale(layout::DialogClientHeight)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)),
                             FALSE, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)),
                             m_dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    const layout::Rect96 group = layout::GroupBox1;
    auto place = [this](HWND control, layout::Rect96 r, int dx, int dy, int extraHeight = 0) {
        MoveWindow(control, scale(dx + r.left), scale(dy + r.top), scale(r.width),
                   scale(r.height) + extraHeight, TRUE);
    };
    place(m_groupBox, group, 0, 0);
    place(m_labels[0], layout::Label1, group.left, group.top);
    place(m_labels[1], layout::Label2, group.left, group.top);
    place(m_labels[2], layout::Label3, group.left, group.top);
    place(m_button1, layout::Button1, 0, 0);
    place(m_button2, layout::Button2, 0, 0);
    place(m_spin, layout::EditTimeOut, group.left, group.top);

    // A drop-down list's height is that of its box, which follows its
    // font: the box is set to the layout's height, the window's height
    // covers the open drop-down part of 8 entries as well.
    for (auto [list, r] : {std::pair{m_comboCom, layout::ComboBoxCom},
                           std::pair{m_comboBaud, layout::ComboBoxBaud}}) {
        const int itemHeight = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
        place(list, r, group.left, group.top, itemHeight * layout::ListVisibleEntries + 2);
        RECT box{};
        GetWindowRect(list, &box);
        const int difference = scale(r.height) - (box.bottom - box.top);
        if (difference != 0) {
            const int field = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, WPARAM(-1), 0));
            SendMessageW(list, CB_SETITEMHEIGHT, WPARAM(-1), field + difference);
        }
    }

    // The spin field: the text left of the arrow buttons, up above down.
    RECT inside{};
    GetClientRect(m_spin, &inside);
    const int arrowWidth = scale(layout::SpinButtonWidth);
    const int textWidth = std::max<int>(inside.right - arrowWidth, 0);
    const int half = inside.bottom / 2;
    MoveWindow(m_spinEdit, 0, 0, textWidth, inside.bottom, TRUE);
    MoveWindow(m_arrows[0], textWidth, 0, arrowWidth, half, TRUE);
    MoveWindow(m_arrows[1], textWidth, half, arrowWidth, inside.bottom - half, TRUE);
}

int PortDialog::showModal()
{
    m_result = 0;
    m_running = true;
    EnableWindow(m_owner, FALSE);
    ShowWindow(m_hwnd, SW_SHOW);
    SetForegroundWindow(m_hwnd);
    noticeFocus();
    MSG msg{};
    bool quit = false;
    while (m_running) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = true;
            break;
        }
        dispatchMessage(msg);
        noticeFocus();
    }
    m_running = false;
    // The owner comes back before the dialog goes, so that it, not another
    // program, is activated.
    EnableWindow(m_owner, TRUE);
    ShowWindow(m_hwnd, SW_HIDE);
    if (quit) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return 2;
    }
    return m_result;
}

void PortDialog::end(int result)
{
    m_result = result;
    m_running = false;
}

POINT PortDialog::position() const
{
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    return {frame.left, frame.top};
}

void PortDialog::moveTo(POINT topLeft)
{
    SetWindowPos(m_hwnd, nullptr, topLeft.x, topLeft.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT PortDialog::ownerFrame() const
{
    RECT frame{};
    GetWindowRect(m_owner, &frame);
    return frame;
}

RECT PortDialog::dialogFrame() const
{
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    return frame;
}

HWND PortDialog::control(DialogControl which) const
{
    switch (which) {
    case DialogControl::GroupBox1:
        return m_groupBox;
    case DialogControl::ComboBoxCom:
        return m_comboCom;
    case DialogControl::ComboBoxBaud:
        return m_comboBaud;
    case DialogControl::EditTimeOut:
        return m_spin;
    case DialogControl::Button1:
        return m_button1;
    case DialogControl::Button2:
        return m_button2;
    case DialogControl::None:
        break;
    }
    return nullptr;
}

// The window that takes the keyboard focus and the text of a control.
HWND PortDialog::textWindow(DialogControl which) const
{
    if (which == DialogControl::EditTimeOut)
        return m_spinEdit;
    return control(which);
}

DialogControl PortDialog::controlOf(HWND window) const
{
    for (HWND w = window; w && w != m_hwnd; w = GetParent(w)) {
        for (DialogControl c :
             {DialogControl::GroupBox1, DialogControl::ComboBoxCom, DialogControl::ComboBoxBaud,
              DialogControl::EditTimeOut, DialogControl::Button1, DialogControl::Button2}) {
            if (control(c) == w)
                return c;
        }
    }
    return DialogControl::None;
}

DialogControl PortDialog::focused() const
{
    return controlOf(GetFocus());
}

void PortDialog::focus(DialogControl which)
{
    if (HWND window = textWindow(which))
        SetFocus(window);
}

int PortDialog::itemIndex(DialogControl list) const
{
    return static_cast<int>(SendMessageW(control(list), CB_GETCURSEL, 0, 0));
}

void PortDialog::setItemIndex(DialogControl list, int index)
{
    SendMessageW(control(list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool PortDialog::isListOpen(DialogControl list) const
{
    return SendMessageW(control(list), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void PortDialog::closeList(DialogControl list)
{
    SendMessageW(control(list), CB_SHOWDROPDOWN, FALSE, 0);
}

std::u16string PortDialog::text(DialogControl which) const
{
    HWND window = textWindow(which);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return fromWide(text);
}

void PortDialog::setText(DialogControl which, std::u16string_view text)
{
    SetWindowTextW(textWindow(which), toWide(text).c_str());
}

void PortDialog::select(DialogControl which, int start, int end)
{
    if (which == DialogControl::EditTimeOut)
        SendMessageW(m_spinEdit, EM_SETSEL, static_cast<WPARAM>(start), end);
    else
        SendMessageW(control(which), CB_SETEDITSEL, 0, MAKELPARAM(start, end));
}

void PortDialog::beep()
{
    MessageBeep(MB_OK);
}

bool PortDialog::preTranslate(MSG& msg)
{
    if (!m_running || (msg.hwnd != m_hwnd && GetAncestor(msg.hwnd, GA_ROOT) != m_hwnd))
        return false;
    const DialogControl target = controlOf(msg.hwnd);
    switch (msg.message) {
    case WM_KEYDOWN:
        if (target != DialogControl::None) {
            const bool open =
                (target == DialogControl::ComboBoxCom || target == DialogControl::ComboBoxBaud) &&
                isListOpen(target);
            return m_events->keyDown(target, static_cast<unsigned>(msg.wParam), open);
        }
        break;
    case WM_CHAR:
        if (target != DialogControl::None)
            return m_events->character(target, static_cast<char16_t>(msg.wParam));
        break;
    case WM_LBUTTONDOWN:
        m_pressOnText = msg.hwnd == m_spinEdit;
        break;
    default:
        break;
    }
    return false;
}

void PortDialog::noticeFocus()
{
    const DialogControl now = focused();
    if (now != m_lastFocus) {
        const DialogControl before = m_lastFocus;
        m_lastFocus = now;
        m_events->focusMoved(before, now, m_pressOnText);
    }
    m_pressOnText = false;
}

LRESULT CALLBACK PortDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PortDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->m_button2)
        return self->handle(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT PortDialog::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const HWND from = reinterpret_cast<HWND>(lParam);
        const DialogControl control = controlOf(from);
        switch (HIWORD(wParam)) {
        case BN_CLICKED:
            if (control == DialogControl::Button1 || control == DialogControl::Button2)
                m_events->buttonClicked(control);
            return 0;
        case CBN_EDITUPDATE:
            m_events->listEdited(control);
            return 0;
        case CBN_SELCHANGE:
            m_events->listChosen(control);
            return 0;
        default:
            break;
        }
        break;
    }
    case WM_CLOSE:
        m_events->closeRequested();
        return 0;
    case WM_CTLCOLORSTATIC:
        // Labels on the dialog's face colour.
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        m_dpi = HIWORD(wParam);
        const HFONT old = m_font;
        m_font = createFont(m_dpi);
        layoutControls();
        DeleteObject(old);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK PortDialog::spinProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The field's frame passes its text's notifications on to the dialog.
    if (message == WM_COMMAND)
        return SendMessageW(GetParent(hwnd), message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK PortDialog::arrowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<PortDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    const bool up = GetDlgCtrlID(hwnd) == 0;
    ArrowState& state = arrowStates[up ? 0 : 1];
    auto pointerOver = [hwnd](LPARAM at) {
        RECT r{};
        GetClientRect(hwnd, &r);
        const POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
        return PtInRect(&r, p) != FALSE;
    };
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(hwnd, &paint);
        RECT r{};
        GetClientRect(hwnd, &r);
        const UINT pushed = state.pressed && state.over ? DFCS_PUSHED : 0;
        DrawFrameControl(dc, &r, DFC_SCROLL, (up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | pushed);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        state = {true, true};
        InvalidateRect(hwnd, nullptr, FALSE);
        if (self)
            self->m_events->spinPressed(up);
        return 0;
    case WM_MOUSEMOVE:
        if (state.pressed) {
            const bool over = pointerOver(lParam);
            if (over != state.over) {
                state.over = over;
                InvalidateRect(hwnd, nullptr, FALSE);
                if (self)
                    self->m_events->spinPointerOver(up, over);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (state.pressed) {
            const bool over = pointerOver(lParam);
            state = {};
            ReleaseCapture();
            InvalidateRect(hwnd, nullptr, FALSE);
            if (self)
                self->m_events->spinReleased(up, over);
        }
        return 0;
    case WM_CAPTURECHANGED:
        // The capture taken away (a message box): a release elsewhere.
        if (state.pressed) {
            state = {};
            InvalidateRect(hwnd, nullptr, FALSE);
            if (self)
                self->m_events->spinReleased(up, false);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace quorlink::win32
