#include "mainwindow.h"

#include "application.h"
#include "dialogs.h"
#include "keys.h"
#include "resourceids.h"
#include "text.h"
#include "window/Term.h"
#include "window/windowdefs.h"
#include "windowfont.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quorlink::win32 {

namespace {

using window::MenuItem;
using window::Shortcut;

constexpr wchar_t WindowClass[] = L"QuorlinkForm1";
constexpr int TabsId = 1;
constexpr int Memo1Id = 2;
constexpr int Memo2Id = 3;
constexpr int StatusBarId = 4;
constexpr UINT_PTR FrameTimer = 1;

// Menu items are commands 100 and up, in the order of window::MenuItem.
constexpr UINT FirstCommand = 100;
constexpr UINT LastCommand = FirstCommand + static_cast<UINT>(MenuItem::SendEndOfFile);

UINT commandOf(MenuItem item)
{
    return FirstCommand + static_cast<UINT>(item);
}

// A shortcut as the keyboard gives it and as the menu writes it.
struct Accelerator
{
    BYTE flags;
    WORD key;
    const wchar_t* text;
};

Accelerator acceleratorOf(Shortcut shortcut)
{
    switch (shortcut) {
    case Shortcut::CtrlO:
        return {FVIRTKEY | FCONTROL, 'O', L"Ctrl+O"};
    case Shortcut::CtrlS:
        return {FVIRTKEY | FCONTROL, 'S', L"Ctrl+S"};
    case Shortcut::CtrlX:
        return {FVIRTKEY | FCONTROL, 'X', L"Ctrl+X"};
    case Shortcut::F6:
        return {FVIRTKEY, VK_F6, L"F6"};
    case Shortcut::F9:
        return {FVIRTKEY, VK_F9, L"F9"};
    case Shortcut::None:
        break;
    }
    return {0, 0, nullptr};
}

} // namespace

MainWindow::MainWindow() : m_frameTimer(FrameTimer) {}

MainWindow::~MainWindow()
{
    destroy();
    if (m_accelerators)
        DestroyAcceleratorTable(m_accelerators);
    if (m_font)
        DeleteObject(m_font);
}

void MainWindow::create()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MainWindow::windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    // The program's own icon, each size drawn for it rather than scaled.
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(QUORLINK_ICON_ID));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(QUORLINK_ICON_ID), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);

    buildMenu();
    buildAccelerators();
    // Placed where the system places new windows; sized once the dots per
    // inch of its monitor are known.
    m_hwnd = CreateWindowExW(0, WindowClass, toWide(window::DefaultCaption).c_str(),
                             WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, window::ClientWidth,
                             window::ClientHeight, nullptr, m_menu, instance, this);
    if (!m_hwnd)
        throw std::runtime_error("The main window could not be created");
    m_frameTimer.attach(m_hwnd);
    m_dpi = dpiOfWindow(m_hwnd);
    m_normalDpi = m_dpi;
    m_font = createWindowFont(m_dpi);

    m_tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                             0, 0, m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(TabsId)),
                             instance, nullptr);
    int page = 0;
    for (const std::u16string_view caption :
         {window::SourcePageCaption, window::ReceivedPageCaption}) {
        std::wstring text = toWide(caption);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(m_tabs, TCM_INSERTITEMW, static_cast<WPARAM>(page++),
                     reinterpret_cast<LPARAM>(&item));
    }
    // The panes lie over the tab control's display area, above it in the
    // z-order, as siblings: their notifications come to this window.
    m_memo1.create(m_hwnd, Memo1Id, m_font);
    m_memo2.create(m_hwnd, Memo2Id, m_font);

    m_statusBar = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"",
        WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
        0, 0, 0, 0, m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(StatusBarId)), instance,
        nullptr);

    applyDpi(m_dpi);
    // The first size is the layout's; from then on the size is the user's.
    RECT frame{0, 0, scale(window::ClientWidth), scale(window::ClientHeight)};
    adjustFrameForDpi(frame, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), true,
                      static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)), m_dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    showPage(0);

    // 0 and 1 stand for the hardware's default rate, which it does not say.
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1)
        m_refreshRate = mode.dmDisplayFrequency;
}

void MainWindow::buildMenu()
{
    m_menu = CreateMenu();
    for (const window::TopMenu& topMenu : window::MainMenu1) {
        const HMENU popup = CreatePopupMenu();
        for (const window::MenuEntry& entry : topMenu.entries) {
            if (entry.separator) {
                AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            std::wstring caption = toWide(entry.caption);
            if (const wchar_t* keys = acceleratorOf(entry.shortcut).text)
                caption += std::wstring(L"\t") + keys;
            AppendMenuW(popup, MF_STRING, commandOf(entry.item), caption.c_str());
        }
        AppendMenuW(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                    toWide(topMenu.caption).c_str());
    }
}

void MainWindow::buildAccelerators()
{
    std::vector<ACCEL> keys;
    for (const window::TopMenu& topMenu : window::MainMenu1) {
        for (const window::MenuEntry& entry : topMenu.entries) {
            const Accelerator accelerator = acceleratorOf(entry.shortcut);
            if (!entry.separator && accelerator.text)
                keys.push_back(
                    {accelerator.flags, accelerator.key, static_cast<WORD>(commandOf(entry.item))});
        }
    }
    m_accelerators = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

int MainWindow::scale(int pixels96) const
{
    return scaled(pixels96, m_dpi);
}

void MainWindow::applyDpi(UINT dpi)
{
    m_dpi = dpi;
    const HFONT old = m_font;
    m_font = createWindowFont(dpi);
    for (HWND child : {m_tabs, m_memo1.hwnd(), m_memo2.hwnd(), m_statusBar})
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    if (old && old != m_font)
        DeleteObject(old);
    layoutChildren();
}

void MainWindow::followDpi(UINT dpi, const RECT& suggested)
{
    applyDpi(dpi);
    // Maximised or minimised, it stays so where it is; its size at the new
    // scale waits until it is restored (changing the restored frame now
    // would mean showing the window again, and activating it).
    if (IsZoomed(m_hwnd) || IsIconic(m_hwnd))
        return;
    // The system suggests the same window at the new scale.
    m_normalDpi = dpi;
    SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::restoredSize()
{
    // Restored after the scale changed while it was maximised or minimised:
    // the size the user gave it, at the new scale.
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    const int from = static_cast<int>(std::exchange(m_normalDpi, m_dpi));
    const int to = static_cast<int>(m_dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, MulDiv(frame.right - frame.left, to, from),
                 MulDiv(frame.bottom - frame.top, to, from),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::layoutChildren()
{
    RECT client{};
    GetClientRect(m_hwnd, &client);
    const int width = client.right;
    const int barHeight = scale(window::StatusBarHeight);
    const int tabsHeight = std::max<int>(client.bottom - barHeight, 0);
    MoveWindow(m_statusBar, 0, tabsHeight, width, barHeight, TRUE);
    // Each panel's right edge; -1 for the one that takes the rest.
    int edges[window::PanelCount];
    int right = 0;
    for (int i = 0; i < window::PanelCount; ++i) {
        right += window::StatusBarPanels[static_cast<std::size_t>(i)].width;
        edges[i] =
            window::StatusBarPanels[static_cast<std::size_t>(i)].width > 0 ? scale(right) : -1;
    }
    SendMessageW(m_statusBar, SB_SETPARTS, window::PanelCount, reinterpret_cast<LPARAM>(edges));

    MoveWindow(m_tabs, 0, 0, width, tabsHeight, TRUE);
    RECT page{0, 0, width, tabsHeight};
    SendMessageW(m_tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    for (HWND pane : {m_memo1.hwnd(), m_memo2.hwnd()})
        MoveWindow(pane, page.left, page.top, page.right - page.left, page.bottom - page.top, TRUE);
}

int MainWindow::shownPage() const
{
    return static_cast<int>(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0));
}

void MainWindow::showPage(int page)
{
    SendMessageW(m_tabs, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
    const bool focusInPane = GetFocus() == m_memo1.hwnd() || GetFocus() == m_memo2.hwnd();
    HWND shown = page == 0 ? m_memo1.hwnd() : m_memo2.hwnd();
    HWND hidden = page == 0 ? m_memo2.hwnd() : m_memo1.hwnd();
    ShowWindow(shown, SW_SHOW);
    ShowWindow(hidden, SW_HIDE);
    SetWindowPos(shown, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (focusInPane)
        SetFocus(shown);
}

void MainWindow::destroy()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
    m_form = nullptr;
}

void MainWindow::show(int showCommand)
{
    // The focus given before, also when the window manager activates the
    // window only after this.
    ShowWindow(m_hwnd, showCommand);
    UpdateWindow(m_hwnd);
    if (m_focus)
        SetFocus(m_focus);
}

// ---- WindowFace

void MainWindow::showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                                std::u16string_view text)
{
    win32::showMessageBox(icon, caption, text);
}

std::optional<std::filesystem::path> MainWindow::askSourceFileName()
{
    return askFileName(m_hwnd, FileDialogKind::Open, window::OpenDialogFilters,
                       window::OpenDialogDefaultExtension);
}

std::optional<std::filesystem::path> MainWindow::askResultFileName()
{
    return askFileName(m_hwnd, FileDialogKind::Save, window::SaveDialogFilters,
                       window::SaveDialogDefaultExtension);
}

void MainWindow::setCaption(std::u16string_view caption)
{
    if (m_hwnd)
        SetWindowTextW(m_hwnd, toWide(caption).c_str());
}

void MainWindow::setMenuItemEnabled(MenuItem item, bool enabled)
{
    EnableMenuItem(m_menu, commandOf(item), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void MainWindow::setMenuItemChecked(MenuItem item, bool checked)
{
    CheckMenuItem(m_menu, commandOf(item), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::processMessages()
{
    // A run comes here after every exchange: while the pacing holds, the
    // windows that need painting wait for the next frame.
    win32::processMessages(!m_form || !m_form->frames().holding());
}

void MainWindow::showPendingChanges()
{
    // RedrawWindow without a window would redraw the desktop.
    if (!m_hwnd)
        return;
    showPanels();
    RedrawWindow(m_hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HWND MainWindow::windowOf(window::WindowControl control) const
{
    switch (control) {
    case window::WindowControl::Form1:
        return m_hwnd;
    case window::WindowControl::TabbedNotebook1:
        return m_tabs;
    case window::WindowControl::Memo1:
        return m_memo1.hwnd();
    case window::WindowControl::Memo2:
        return m_memo2.hwnd();
    }
    return nullptr;
}

std::optional<window::WindowControl> MainWindow::controlOf(HWND window) const
{
    for (const auto control : {window::WindowControl::Form1, window::WindowControl::TabbedNotebook1,
                               window::WindowControl::Memo1, window::WindowControl::Memo2}) {
        if (window == windowOf(control))
            return control;
    }
    return std::nullopt;
}

void MainWindow::setFocus(window::WindowControl control)
{
    // Given back whenever the window is activated (WM_ACTIVATE).
    m_focus = windowOf(control);
    if (IsWindowVisible(m_hwnd))
        SetFocus(m_focus);
}

void MainWindow::closeWindow()
{
    if (!m_hwnd)
        return;
    // The port dialog, owned by this window, goes with it.
    DestroyWindow(m_hwnd);
    PostQuitMessage(0);
}

// ---- StatusPanels

void MainWindow::setPanelText(int index, std::u16string_view text)
{
    if (index < 0 || index >= window::PanelCount)
        return;
    const auto at = static_cast<std::size_t>(index);
    m_panels[at] = text;
    m_panelChanged[at] = true;
    // Setting a status bar's text draws it at once: while the pacing holds,
    // the text waits for the next frame.
    if (m_form && m_form->frames().holding())
        m_form->frames().changeHeld();
    else
        showPanels();
}

std::u16string MainWindow::panelText(int index) const
{
    if (index < 0 || index >= window::PanelCount)
        return {};
    return m_panels[static_cast<std::size_t>(index)];
}

void MainWindow::showPanels()
{
    // Setting a text draws the whole bar at once: the texts are set with
    // drawing off, and only their own panels are drawn again, once.
    bool any = false;
    for (const bool changed : m_panelChanged)
        any = any || changed;
    if (!any)
        return;
    SendMessageW(m_statusBar, WM_SETREDRAW, FALSE, 0);
    std::array<RECT, window::PanelCount> changed{};
    for (int index = 0; index < window::PanelCount; ++index) {
        const auto at = static_cast<std::size_t>(index);
        if (!m_panelChanged[at])
            continue;
        // A leading tab centres a panel's text.
        std::wstring shown =
            window::StatusBarPanels[at].centred && !m_panels[at].empty() ? L"\t" : L"";
        shown += toWide(m_panels[at]);
        SendMessageW(m_statusBar, SB_SETTEXTW, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(shown.c_str()));
        SendMessageW(m_statusBar, SB_GETRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&changed[at]));
    }
    SendMessageW(m_statusBar, WM_SETREDRAW, TRUE, 0);
    for (std::size_t at = 0; at < changed.size(); ++at) {
        if (m_panelChanged[at])
            InvalidateRect(m_statusBar, &changed[at], TRUE);
        m_panelChanged[at] = false;
    }
}

// ---- Input

bool MainWindow::preTranslate(MSG& msg)
{
    if (!m_hwnd || !m_form || (msg.hwnd != m_hwnd && GetAncestor(msg.hwnd, GA_ROOT) != m_hwnd))
        return false;
    // The shortcuts act before the focused control sees the key: Ctrl+X in
    // a pane runs "Konec" and cuts nothing.
    if (TranslateAcceleratorW(m_hwnd, m_accelerators, &msg))
        return true;
    // What is pressed and typed in the window itself, on the tabs and in
    // the panes goes to TForm1's key handling first: a pane asks for no
    // Tab, and the tab control knows no Ctrl+Tab.
    const std::optional<window::WindowControl> control = controlOf(msg.hwnd);
    if (!control)
        return false;
    if (msg.message == WM_KEYDOWN)
        return m_form->KeyDown(*control, keyOf(msg.wParam), heldModifiers());
    if (msg.message != WM_CHAR)
        return false;
    char16_t key = static_cast<char16_t>(msg.wParam);
    m_form->KeyPress(*control, key);
    if (key == 0)
        return true;
    msg.wParam = key;
    return false;
}

LRESULT CALLBACK MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self) {
        self->m_hwnd = nullptr;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (self && self->m_statusBar)
        return self->handle(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        if (lParam == 0 && id >= FirstCommand && id <= LastCommand) {
            // A menu click, or its shortcut (1).  A disabled item's shortcut
            // does nothing, like its click.
            if (HIWORD(wParam) == 1 &&
                (GetMenuState(m_menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)))
                return 0;
            if (m_form)
                m_form->Click(static_cast<MenuItem>(id - FirstCommand));
            return 0;
        }
        if (HIWORD(wParam) == EN_CHANGE) {
            const HWND control = reinterpret_cast<HWND>(lParam);
            if (control == m_memo1.hwnd()) {
                if (m_memo1.controlChanged() && m_form)
                    m_form->handle([this] { m_form->Memo1Change(); });
            } else if (control == m_memo2.hwnd()) {
                m_memo2.controlChanged();
            }
            return 0;
        }
        break;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_tabs && header->code == TCN_SELCHANGE) {
            showPage(static_cast<int>(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0)));
            return 0;
        }
        break;
    }
    case WM_ACTIVATE:
        // The focus comes back to the control that had it, as in a dialog,
        // after a message box, the port dialog or another program.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(m_hwnd, focus))
                m_focus = focus;
        } else if (m_focus && IsWindow(m_focus) && IsWindowVisible(m_focus)) {
            SetFocus(m_focus);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == m_frameTimer.id()) {
            m_frameTimer.stop();
            if (m_form)
                m_form->frames().timerExpired();
            return 0;
        }
        break;
    case WM_SIZE:
        if (wParam == SIZE_RESTORED && m_normalDpi != m_dpi)
            restoredSize(); // sizes it again, and lays it out then
        else
            layoutChildren();
        return 0;
    case WM_DPICHANGED:
        // Moved to a monitor of another scale, or the scale changed: the
        // window keeps the size the user gave it, at the new scale.
        followDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        // The close box, Alt+F4, the window menu: FormClose runs and the
        // window goes, or during a run it goes once the run has returned.
        if (!m_form || m_form->CloseQuery())
            closeWindow();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

} // namespace quorlink::win32
