#include "portdialog.h"

#include "application.h"
#include "keys.h"
#include "text.h"
#include "windowfont.h"

#include <commctrl.h>

#include <stdexcept>

namespace quorlink::win32 {

namespace {

using window::DialogControl;

constexpr wchar_t DialogClass[] = L"QuorlinkSetCom";
// Controls are numbered from here in the order of SetComComponents.
constexpr int FirstControlId = 10;
// The width of the spin field's arrow buttons at 96 dots per inch.
constexpr int SpinButtonWidth = 15;

constexpr DialogControl AllControls[] = {
    DialogControl::GroupBox1,   DialogControl::ComboBoxCom, DialogControl::ComboBoxBaud,
    DialogControl::EditTimeOut, DialogControl::Button1,     DialogControl::Button2,
};

// The dialog control a component of SetComComponents is, if any.
std::optional<DialogControl> controlOfComponent(const window::DialogComponent& component)
{
    for (const DialogControl control : AllControls) {
        if (&window::componentOf(control) == &component)
            return control;
    }
    return std::nullopt;
}

HWND createChild(HWND parent, const wchar_t* windowClass, std::u16string_view text, DWORD style,
                 int id)
{
    return CreateWindowExW(0, windowClass, toWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                           0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

} // namespace

PortDialog::~PortDialog()
{
    destroy();
    if (m_font)
        DeleteObject(m_font);
}

int PortDialog::scale(int pixels96) const
{
    return scaled(pixels96, m_dpi);
}

void PortDialog::create(HWND owner)
{
    m_owner = owner;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &PortDialog::dialogProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = DialogClass;
    RegisterClassExW(&windowClass);

    // A fixed dialog frame, a caption with the close box only, no icon.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE;
    m_hwnd = CreateWindowExW(exStyle, DialogClass, toWide(window::SetComCaption).c_str(), style, 0,
                             0, window::SetComClientWidth, window::SetComClientHeight, owner,
                             nullptr, GetModuleHandleW(nullptr), this);
    if (!m_hwnd)
        throw std::runtime_error("The port dialog could not be created");
    // The window menu offers what the frame allows: move and close.
    const HMENU systemMenu = GetSystemMenu(m_hwnd, FALSE);
    for (const UINT item : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        DeleteMenu(systemMenu, item, MF_BYCOMMAND);

    m_dpi = dpiOfWindow(m_hwnd);
    m_font = createWindowFont(m_dpi);

    // Created in the order of the table, which is the tab order.
    int id = FirstControlId;
    std::size_t label = 0;
    for (const window::DialogComponent& component : window::SetComComponents) {
        const std::optional<DialogControl> control = controlOfComponent(component);
        switch (component.kind) {
        case window::ComponentKind::GroupBox:
            m_groupBox = createChild(m_hwnd, L"BUTTON", component.text, BS_GROUPBOX, id);
            break;
        case window::ComponentKind::Label:
            if (label < m_labels.size())
                m_labels[label++] = createChild(m_hwnd, L"STATIC", component.text,
                                                SS_LEFTNOWORDWRAP | SS_NOPREFIX, id);
            break;
        case window::ComponentKind::ComboBox:
            (control == DialogControl::ComboBoxCom ? m_comboCom : m_comboBaud).create(m_hwnd, id);
            break;
        case window::ComponentKind::SpinEdit:
            m_timeOut.create(m_hwnd, id);
            break;
        case window::ComponentKind::Button:
            // "Ok" is the default button.
            (control == DialogControl::Button1 ? m_button1 : m_button2) = createChild(
                m_hwnd, L"BUTTON", component.text,
                WS_TABSTOP | (control == DialogControl::Button2 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                id);
            break;
        }
        ++id;
    }
    layoutControls();
}

void PortDialog::attach(window::TSetCom& setCom)
{
    m_setCom = &setCom;
    m_comboCom.attach(setCom, setCom.ComboBoxCom, DialogControl::ComboBoxCom);
    m_comboBaud.attach(setCom, setCom.ComboBoxBaud, DialogControl::ComboBoxBaud);
    m_timeOut.attach(setCom);
}

void PortDialog::destroy()
{
    // Closing the main window destroyed it already, as the window it owns.
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void PortDialog::layoutControls()
{
    for (HWND control : {m_groupBox, m_labels[0], m_labels[1], m_labels[2], m_comboCom.hwnd(),
                         m_comboBaud.hwnd(), m_timeOut.focusWindow(), m_button1, m_button2})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);

    RECT frame{0, 0, scale(window::SetComClientWidth), scale(window::SetComClientHeight)};
    adjustFrameForDpi(frame, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), false,
                      static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)), m_dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    const window::Rect group = window::componentOf(DialogControl::GroupBox1).bounds;
    std::size_t label = 0;
    int id = FirstControlId;
    for (const window::DialogComponent& component : window::SetComComponents) {
        const window::Rect r = component.bounds;
        const int left = r.left + (component.inGroupBox ? group.left : 0);
        const int top = r.top + (component.inGroupBox ? group.top : 0);
        const RECT at{scale(left), scale(top), scale(left + r.width), scale(top + r.height)};
        switch (component.kind) {
        case window::ComponentKind::ComboBox:
            (controlOfComponent(component) == DialogControl::ComboBoxCom ? m_comboCom : m_comboBaud)
                .place(at, window::DropDownVisibleEntries);
            break;
        case window::ComponentKind::SpinEdit:
            m_timeOut.place(at, scale(SpinButtonWidth));
            break;
        case window::ComponentKind::Label:
            if (label < m_labels.size())
                MoveWindow(m_labels[label++], at.left, at.top, at.right - at.left,
                           at.bottom - at.top, TRUE);
            break;
        default:
            MoveWindow(GetDlgItem(m_hwnd, id), at.left, at.top, at.right - at.left,
                       at.bottom - at.top, TRUE);
            break;
        }
        ++id;
    }
}

// ---- The controls

HWND PortDialog::windowOf(DialogControl control) const
{
    switch (control) {
    case DialogControl::GroupBox1:
        return m_groupBox;
    case DialogControl::ComboBoxCom:
        return m_comboCom.hwnd();
    case DialogControl::ComboBoxBaud:
        return m_comboBaud.hwnd();
    case DialogControl::EditTimeOut:
        return m_timeOut.hwnd();
    case DialogControl::Button1:
        return m_button1;
    case DialogControl::Button2:
        return m_button2;
    }
    return nullptr;
}

HWND PortDialog::focusWindowOf(DialogControl control) const
{
    switch (control) {
    case DialogControl::ComboBoxCom:
        return m_comboCom.focusWindow();
    case DialogControl::ComboBoxBaud:
        return m_comboBaud.focusWindow();
    case DialogControl::EditTimeOut:
        return m_timeOut.focusWindow();
    default:
        return windowOf(control);
    }
}

std::optional<DialogControl> PortDialog::controlOf(HWND window) const
{
    // A list's edit box and its drop-down part belong to the list, the
    // spin field's text and arrows to the field.
    for (HWND w = window; w && w != m_hwnd; w = GetParent(w)) {
        for (const DialogControl control : AllControls) {
            if (windowOf(control) == w)
                return control;
        }
    }
    return std::nullopt;
}

// ---- SetComFace

int PortDialog::runModal()
{
    m_result.reset();
    m_running = true;
    EnableWindow(m_owner, FALSE);
    ShowWindow(m_hwnd, SW_SHOW);
    SetForegroundWindow(m_hwnd);
    if (m_pendingFocus) {
        const DialogControl control = *m_pendingFocus;
        m_pendingFocus.reset();
        setFocus(control, true);
    }
    m_noticedFocus = nullptr;
    noticeFocus();
    MSG msg{};
    while (!m_result) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the quit message goes on to its loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            m_result = window::TSetCom::ResultCancel;
            break;
        }
        dispatchMessage(msg);
        noticeFocus();
    }
    m_running = false;
    // The owner comes back before the dialog goes, and is activated: as a
    // dialog ends, the focus leaves its controls and the owner, not another
    // window or program, becomes active.
    const bool active = GetActiveWindow() == m_hwnd;
    EnableWindow(m_owner, TRUE);
    if (IsChild(m_hwnd, GetFocus()))
        SetFocus(m_hwnd);
    SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    if (active)
        SetForegroundWindow(m_owner);
    return *m_result;
}

void PortDialog::endModal(int result)
{
    m_result = result;
    // Nothing of the dialog stays open or holds the mouse.
    m_comboCom.closeDropDown();
    m_comboBaud.closeDropDown();
    if (const HWND captured = GetCapture(); captured && controlOf(captured))
        ReleaseCapture();
}

std::optional<DialogControl> PortDialog::focusedControl() const
{
    return controlOf(GetFocus());
}

void PortDialog::setFocus(DialogControl control, bool)
{
    if (!IsWindowVisible(m_hwnd)) {
        m_pendingFocus = control;
        return;
    }
    SetFocus(focusWindowOf(control));
    // A list entered from the keyboard has its whole text selected.
    if (control == DialogControl::ComboBoxCom)
        m_comboCom.selectAll();
    else if (control == DialogControl::ComboBoxBaud)
        m_comboBaud.selectAll();
}

void PortDialog::showDefaultButton(DialogControl button)
{
    SendMessageW(m_button1, BM_SETSTYLE,
                 button == DialogControl::Button1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    SendMessageW(m_button2, BM_SETSTYLE,
                 button == DialogControl::Button2 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void PortDialog::noticeFocus()
{
    const HWND focus = GetFocus();
    if (focus == m_noticedFocus || !focus || !IsChild(m_hwnd, focus))
        return;
    m_noticedFocus = focus;
    m_setCom->FocusChanged(controlOf(focus));
}

window::Point PortDialog::position() const
{
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    return {frame.left, frame.top};
}

void PortDialog::move(window::Point topLeft)
{
    SetWindowPos(m_hwnd, nullptr, topLeft.x, topLeft.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

window::Point PortDialog::frameSize() const
{
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

window::Rect PortDialog::ownerFrame() const
{
    RECT frame{};
    GetWindowRect(m_owner, &frame);
    return {frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top};
}

window::Rect PortDialog::desktopArea() const
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(m_owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

// ---- Input

bool PortDialog::preTranslate(MSG& msg)
{
    if (!m_running || !m_setCom || (msg.message != WM_KEYDOWN && msg.message != WM_CHAR))
        return false;
    const std::optional<DialogControl> focus = focusedControl();
    if (!focus)
        return false;
    // The dialog's keys (Tab, Enter, Esc, the arrows) before any control
    // sees them; the rest is the control's.
    if (msg.message == WM_KEYDOWN)
        return m_setCom->KeyDown(*focus, keyOf(msg.wParam), heldModifiers());
    // Characters typed on a button or the group box: the lists and the
    // spin field take theirs in their own edit controls.
    if (*focus == DialogControl::Button1 || *focus == DialogControl::Button2 ||
        *focus == DialogControl::GroupBox1) {
        char16_t key = static_cast<char16_t>(msg.wParam);
        m_setCom->KeyPress(*focus, key);
        return true;
    }
    return false;
}

LRESULT CALLBACK PortDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PortDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self) {
        self->m_hwnd = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    } else if (self && self->m_setCom) {
        return self->handle(message, wParam, lParam);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT PortDialog::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const std::optional<DialogControl> control = controlOf(reinterpret_cast<HWND>(lParam));
        if (!control)
            break;
        if (HIWORD(wParam) == BN_CLICKED &&
            (*control == DialogControl::Button1 || *control == DialogControl::Button2))
            m_setCom->ButtonClick(*control);
        else if (*control == DialogControl::ComboBoxCom)
            m_comboCom.notified(HIWORD(wParam));
        else if (*control == DialogControl::ComboBoxBaud)
            m_comboBaud.notified(HIWORD(wParam));
        return 0;
    }
    case WM_CLOSE:
        m_setCom->CloseRequested();
        return 0;
    case WM_ACTIVATE:
        // The focus comes back to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd, focus))
                m_focus = focus;
        } else if (m_focus && IsWindow(m_focus)) {
            SetFocus(m_focus);
            return 0;
        }
        break;
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
        m_font = createWindowFont(m_dpi);
        layoutControls();
        DeleteObject(old);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

} // namespace quorlink::win32
