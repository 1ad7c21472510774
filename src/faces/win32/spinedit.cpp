#include "spinedit.h"

#include "text.h"

#include <commctrl.h>

#include <algorithm>

namespace quorlink::win32 {

namespace {

constexpr wchar_t FrameClass[] = L"QuorlinkCSpinEdit";
constexpr wchar_t ArrowClass[] = L"QuorlinkSpinButton";
constexpr UINT_PTR RepeatTimer = 1;
constexpr UINT_PTR SubclassId = 1;

void registerClass(const wchar_t* name, WNDPROC proc, int background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
    windowClass.lpszClassName = name;
    RegisterClassExW(&windowClass);
}

SpinField* fieldOf(HWND hwnd)
{
    return reinterpret_cast<SpinField*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

} // namespace

void SpinField::create(HWND dialog, int id)
{
    m_dialog = dialog;
    registerClass(FrameClass, &SpinField::frameProc, COLOR_WINDOW);
    registerClass(ArrowClass, &SpinField::arrowProc, COLOR_BTNFACE);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    m_frame = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, FrameClass, L"",
                              WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SetWindowLongPtrW(m_frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_edit =
        CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | WS_TABSTOP, 0, 0,
                        0, 0, m_frame, reinterpret_cast<HMENU>(INT_PTR{1}), instance, nullptr);
    for (std::size_t i = 0; i < m_arrows.size(); ++i) {
        m_arrows[i] = CreateWindowExW(0, ArrowClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                      m_frame, reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 2)),
                                      instance, nullptr);
        SetWindowLongPtrW(m_arrows[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
}

void SpinField::attach(window::TSetCom& setCom)
{
    m_setCom = &setCom;
    SetWindowSubclass(m_edit, &SpinField::editProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void SpinField::place(const RECT& frame, int arrowWidth)
{
    MoveWindow(m_frame, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
               TRUE);
    // The text ends left of the arrow buttons, up above down.
    RECT inside{};
    GetClientRect(m_frame, &inside);
    const int textWidth = std::max<int>(inside.right - arrowWidth, 0);
    const int half = inside.bottom / 2;
    MoveWindow(m_edit, 0, 0, textWidth, inside.bottom, TRUE);
    MoveWindow(m_arrows[0], textWidth, 0, arrowWidth, half, TRUE);
    MoveWindow(m_arrows[1], textWidth, half, arrowWidth, inside.bottom - half, TRUE);
}

// ---- SpinEditFace

std::u16string SpinField::fieldText() const
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(m_edit, text.data(), static_cast<int>(text.size()))));
    return fromWide(text);
}

void SpinField::setFieldText(std::u16string_view text)
{
    SetWindowTextW(m_edit, toWide(text).c_str());
}

void SpinField::selectAll()
{
    SendMessageW(m_edit, EM_SETSEL, 0, -1);
}

bool SpinField::hasFocus() const
{
    return GetFocus() == m_edit;
}

void SpinField::takeFocus()
{
    SetFocus(m_edit);
}

void SpinField::beep()
{
    MessageBeep(MB_OK);
}

char16_t SpinField::decimalSeparator() const
{
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator,
                        static_cast<int>(std::size(separator))) < 2)
        return u'.';
    return static_cast<char16_t>(separator[0]);
}

// ---- Timer

void SpinField::start(std::int64_t delayMs)
{
    const auto delay = static_cast<UINT>(
        std::clamp<std::int64_t>(delayMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
    SetTimer(m_frame, RepeatTimer, delay, nullptr);
}

void SpinField::stop()
{
    KillTimer(m_frame, RepeatTimer);
}

// ---- Window procedures

LRESULT CALLBACK SpinField::frameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    SpinField* self = fieldOf(hwnd);
    if (message == WM_TIMER && wParam == RepeatTimer && self) {
        // One shot: the field starts the next one.
        KillTimer(hwnd, RepeatTimer);
        if (self->m_setCom)
            self->m_setCom->EditTimeOut.TimerExpired();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

window::TCSpinEdit::Arrow SpinField::arrowOf(HWND arrow) const
{
    return arrow == m_arrows[0] ? window::TCSpinEdit::Arrow::Up : window::TCSpinEdit::Arrow::Down;
}

LRESULT CALLBACK SpinField::arrowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    SpinField* self = fieldOf(hwnd);
    if (!self || !self->m_setCom)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->arrowMessage(hwnd, message, wParam, lParam);
}

LRESULT SpinField::arrowMessage(HWND arrow, UINT message, WPARAM wParam, LPARAM lParam)
{
    window::TCSpinEdit& field = m_setCom->EditTimeOut;
    const window::TCSpinEdit::Arrow which = arrowOf(arrow);
    const window::TTimerSpeedButton& button = field.button(which);
    const auto pointerOver = [arrow](LPARAM at) {
        RECT r{};
        GetClientRect(arrow, &r);
        const POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
        return PtInRect(&r, p) != FALSE;
    };
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(arrow, &paint);
        RECT r{};
        GetClientRect(arrow, &r);
        UINT state = which == window::TCSpinEdit::Arrow::Up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN;
        if (button.isDown() && button.isPointerOver())
            state |= DFCS_PUSHED;
        DrawFrameControl(dc, &r, DFC_SCROLL, state);
        EndPaint(arrow, &paint);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetCapture(arrow);
        field.ArrowMouseDown(which);
        InvalidateRect(arrow, nullptr, FALSE);
        return 0;
    case WM_MOUSEMOVE:
        if (button.isDown()) {
            const bool over = pointerOver(lParam);
            if (over != button.isPointerOver()) {
                field.ArrowMouseMove(which, over);
                InvalidateRect(arrow, nullptr, FALSE);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (button.isDown()) {
            field.ArrowMouseUp(which, pointerOver(lParam));
            InvalidateRect(arrow, nullptr, FALSE);
        }
        if (GetCapture() == arrow)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        // The capture taken away (another window took the mouse): a release
        // away from the button.
        if (button.isDown()) {
            field.ArrowMouseUp(which, false);
            InvalidateRect(arrow, nullptr, FALSE);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(arrow, message, wParam, lParam);
}

LRESULT CALLBACK SpinField::editProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<SpinField*>(data);
    switch (message) {
    case WM_CHAR: {
        // Filtered (a rejected character beeps and reaches nobody), then
        // seen by the dialog's key-press handler, then typed.
        char16_t key = static_cast<char16_t>(wParam);
        if (!self->m_setCom->KeyPress(window::DialogControl::EditTimeOut, key) || key == 0 ||
            !self->m_setCom->isShowing())
            return 0;
        return DefSubclassProc(hwnd, message, key, lParam);
    }
    case WM_LBUTTONDOWN: {
        self->m_pressOnText = GetFocus() != hwnd;
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        self->m_pressOnText = false;
        return result;
    }
    case WM_SETFOCUS: {
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        self->m_setCom->EditTimeOut.FocusEntered(self->m_pressOnText);
        return result;
    }
    case WM_KILLFOCUS: {
        const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        // Leaving the field for another control of the dialog, not the
        // dialog for another window.
        const auto next = reinterpret_cast<HWND>(wParam);
        if (next && IsChild(self->m_dialog, next))
            self->m_setCom->EditTimeOut.FocusLeft();
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &SpinField::editProc, SubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace quorlink::win32
