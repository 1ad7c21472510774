#include "mainwindow.h"

#include "layout.h"
#include "wintext.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

namespace quorlink::win32 {

namespace {

constexpr wchar_t WindowClass[] = L"QuorlinkForm1";
constexpr int TabsId = 1;
constexpr int Memo1Id = 2;
constexpr int Memo2Id = 3;
constexpr int StatusBarId = 4;

struct MenuItem
{
    MenuCommand id;
    const wchar_t* caption; // with the shortcut's text after a tab
};

HFONT createFont(UINT dpi)
{
    // The point size at the monitor's dots per inch: -11 at 96.
    return CreateFontW(-MulDiv(layout::FontPoints, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL,
                       FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       layout::FontFace);
}

} // namespace

MainWindow::MainWindow() = default;

MainWindow::~MainWindow()
{
    destroy();
    if (m_accelerators)
        DestroyAcceleratorTable(m_accelerators);
    if (m_font)
        DeleteObject(m_font);
}

void MainWindow::create(MainWindowEvents& events)
{
    m_events = &events;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MainWindow::windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));     // IDI_APPLICATION
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass);

    buildMenu();
    buildAccelerators();
    // Placed where the system places new windows; sized once the dots per
    // inch of its monitor are known.
    m_hwnd = CreateWindowExW(0, WindowClass, layout::MainCaption, WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, layout::MainClientWidth,
                             layout::MainClientHeight, nullptr, m_menu, instance, this);
    if (!m_hwnd)
        throw std::runtime_error("The main window could not be created");
    m_dpi = GetDpiForWindow(m_hwnd);
    m_font = createFont(m_dpi);

    m_tabs = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                             0, 0, m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(TabsId)),
                             instance, nullptr);
    SendMessageW(m_tabs, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    const wchar_t* pages[] = {layout::SourcePageCaption, layout::ReceivedPageCaption};
    for (int i = 0; i < 2; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(pages[i]);
        SendMessageW(m_tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i),
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
    SendMessageW(m_statusBar, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);

    applyDpi(m_dpi);
    showPage(0);
}

void MainWindow::buildMenu()
{
    auto popup = [](std::initializer_list<MenuItem> items) {
        HMENU menu = CreatePopupMenu();
        for (const MenuItem& item : items) {
            if (item.caption == nullptr)
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            else
                AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id), item.caption);
        }
        return menu;
    };
    m_menu = CreateMenu();
    AppendMenuW(m_menu, MF_POPUP,
                reinterpret_cast<UINT_PTR>(popup({
                    {Otevtzdroj1, L"Otevřít zdroj\tCtrl+O"},
                    {Uloitvsledek1, L"Uložit výsledek\tCtrl+S"},
                    {MenuCommand{}, nullptr}, // N1
                    {Konec1, L"Konec\tCtrl+X"},
                })),
                L"Soubor");
    AppendMenuW(m_menu, MF_POPUP,
                reinterpret_cast<UINT_PTR>(popup({
                    {Odeslat1, L"Odeslat\tF6"},
                    {ClearSource, L"Smazat zdrojová data"},
                    {ClearReceived, L"Smazat přijatá data"},
                })),
                L"Funkce");
    AppendMenuW(m_menu, MF_POPUP,
                reinterpret_cast<UINT_PTR>(popup({
                    {Port1, L"Port\tF9"},
                    {SendEndOfFile, L"Poslat znaky konce souboru [0,CR,LF]"},
                })),
                L"Nastavení");
    // "Odeslat" waits for an open port.
    EnableMenuItem(m_menu, Odeslat1, MF_BYCOMMAND | MF_GRAYED);
}

void MainWindow::buildAccelerators()
{
    ACCEL keys[] = {
        {FVIRTKEY | FCONTROL, 'O', Otevtzdroj1},
        {FVIRTKEY | FCONTROL, 'S', Uloitvsledek1},
        {FVIRTKEY | FCONTROL, 'X', Konec1},
        {FVIRTKEY, VK_F6, Odeslat1},
        {FVIRTKEY, VK_F9, Port1},
    };
    m_accelerators = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
}

int MainWindow::scale(int pixels96) const
{
    return MulDiv(pixels96, static_cast<int>(m_dpi), 96);
}

void MainWindow::applyDpi(UINT dpi)
{
    m_dpi = dpi;
    const HFONT old = m_font;
    m_font = createFont(dpi);
    for (HWND child : {m_tabs, m_memo1.hwnd(), m_memo2.hwnd(), m_statusBar})
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    if (old)
        DeleteObject(old);

    RECT frame{0, 0, scale(layout::MainClientWidth), scale(layout::MainClientHeight)};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE));
    AdjustWindowRectExForDpi(&frame, style, TRUE, exStyle, dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layoutChildren();
}

void MainWindow::layoutChildren()
{
    RECT client{};
    GetClientRect(m_hwnd, &client);
    const int width = client.right;
    const int barHeight = scale(layout::StatusBarHeight);
    const int tabsHeight = std::max<int>(client.bottom - barHeight, 0);
    MoveWindow(m_statusBar, 0, tabsHeight, width, barHeight, TRUE);
    int edges[4];
    for (int i = 0; i < layout::CentredPanels; ++i)
        edges[i] = scale(layout::StatusPanelWidth * (i + 1));
    edges[3] = -1;
    SendMessageW(m_statusBar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));

    MoveWindow(m_tabs, 0, 0, width, tabsHeight, TRUE);
    RECT page{0, 0, width, tabsHeight};
    SendMessageW(m_tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
    for (HWND pane : {m_memo1.hwnd(), m_memo2.hwnd()})
        MoveWindow(pane, page.left, page.top, page.right - page.left, page.bottom - page.top, TRUE);
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

void MainWindow::show(int showCommand)
{
    ShowWindow(m_hwnd, showCommand);
    UpdateWindow(m_hwnd);
    SetFocus(m_memo1.hwnd());
}

void MainWindow::close()
{
    if (m_hwnd)
        PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

void MainWindow::destroy()
{
    if (m_hwnd) {
        DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
    }
}

void MainWindow::setCaption(std::u16string_view caption)
{
    SetWindowTextW(m_hwnd, toWide(caption).c_str());
}

void MainWindow::setItemEnabled(MenuCommand id, bool enabled)
{
    EnableMenuItem(m_menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool MainWindow::isItemEnabled(MenuCommand id) const
{
    return (GetMenuState(m_menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0;
}

void MainWindow::setItemChecked(MenuCommand id, bool checked)
{
    CheckMenuItem(m_menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

bool MainWindow::isItemChecked(MenuCommand id) const
{
    return (GetMenuState(m_menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void MainWindow::setPanelText(int index, std::u16string_view text)
{
    if (index < 0 || index > 3)
        return;
    // A leading tab centres a panel's text.
    std::wstring shown = index < layout::CentredPanels && !text.empty() ? L"\t" : L"";
    shown += toWide(text);
    SendMessageW(m_statusBar, SB_SETTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(shown.c_str()));
}

std::u16string MainWindow::panelText(int index) const
{
    if (index < 0 || index > 3)
        return {};
    const auto length =
        LOWORD(SendMessageW(m_statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(m_statusBar, SB_GETTEXTW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    if (index < layout::CentredPanels && !text.empty() && text.front() == L'\t')
        text.erase(0, 1);
    return fromWide(text);
}

bool MainWindow::preTranslate(MSG& msg)
{
    if (!m_hwnd || (msg.hwnd != m_hwnd && GetAncestor(msg.hwnd, GA_ROOT) != m_hwnd))
        return false;
    // The shortcuts act before the focused control sees the key: Ctrl+X in
    // a pane runs "Konec" and cuts nothing.
    if (TranslateAcceleratorW(m_hwnd, m_accelerators, &msg))
        return true;
    if (msg.message == WM_CHAR &&
        (msg.hwnd == m_hwnd || msg.hwnd == m_memo1.hwnd() || msg.hwnd == m_memo2.hwnd()))
        m_events->keyPressed(static_cast<char16_t>(msg.wParam));
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
    if (self && self->m_tabs)
        return self->handle(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (lParam == 0) { // a menu item or a shortcut
            const auto id = static_cast<MenuCommand>(LOWORD(wParam));
            // A shortcut of a disabled item does nothing, like its click.
            if (HIWORD(wParam) == 1 && !isItemEnabled(id))
                return 0;
            m_events->command(id);
            return 0;
        }
        if (HIWORD(wParam) == EN_CHANGE) {
            const HWND control = reinterpret_cast<HWND>(lParam);
            if (control == m_memo1.hwnd() && m_memo1.controlChanged())
                m_events->sourceEdited();
            else if (control == m_memo2.hwnd())
                m_memo2.controlChanged();
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == m_tabs && header->code == TCN_SELCHANGE) {
            showPage(static_cast<int>(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0)));
            return 0;
        }
        break;
    }
    case WM_SIZE:
        layoutChildren();
        return 0;
    case WM_DPICHANGED: {
        // The system suggests the window's new place; the client area and
        // the fonts follow the new scale.
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        applyDpi(HIWORD(wParam));
        return 0;
    }
    case WM_CLOSE:
        // FormClose, then the loop ends once the running handler returns;
        // the window stays until then.
        if (!m_closing) {
            m_closing = true;
            m_events->closing();
            PostQuitMessage(0);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

} // namespace quorlink::win32
