// quorlink.exe driven as a person drives it: started as a program, keys and
// clicks through the system's input queue, and checked by what the windows
// show.  Run under Windows or Wine with QUORLINK_EXE naming the program and
// QUORLINK_SHOTS a folder for the screenshots (optional).

#include "uidriver.h"
#include "uiprobe.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

using namespace uitest;

namespace {

struct Rect
{
    long left, top, width, height;
    bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r)
{
    return out << "(" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ")";
}

Rect rectOf(HWND window, HWND parent)
{
    const RECT r = rectIn(window, parent);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Asks scripts/test-windows for a picture of `window` (frame included) as
// <QUORLINK_SHOTS>\<name>.png: it writes the window's place on the screen
// to <name>.geometry and waits until the script has taken the picture from
// the X display and removed that file.  Nothing when QUORLINK_SHOTS is unset.
void shoot(HWND window, const wchar_t* name)
{
    const wchar_t* folder = _wgetenv(L"QUORLINK_SHOTS");
    if (!folder)
        return;
    // Let the window finish painting.
    std::this_thread::sleep_for(500ms);
    RECT r{};
    GetWindowRect(window, &r);
    const std::wstring request = std::wstring(folder) + L"\\" + name + L".geometry";
    {
        std::ofstream out(std::filesystem::path(request + L".part"));
        out << (r.right - r.left) << "x" << (r.bottom - r.top) << "+" << r.left << "+" << r.top
            << "\n";
    }
    std::filesystem::rename(std::filesystem::path(request + L".part"),
                            std::filesystem::path(request));
    EXPECT_TRUE(
        waitFor([&] { return !std::filesystem::exists(std::filesystem::path(request)); }, 10000ms))
        << "no screenshot taken";
}

// Each case starts the program anew without stored settings.
class Window : public ::testing::Test
{
protected:
    void SetUp() override
    {
        deleteSettingsKey();
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(m_program.start()) << "QUORLINK_EXE must name quorlink.exe";
        m_main = m_program.waitForWindow(L"QuorlinkForm1");
        ASSERT_NE(m_main, nullptr) << "no main window within 10 s";
        m_startMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
        ASSERT_TRUE(bringToFront(m_main)) << "the main window never came to the front";
        m_statusBar = findChild(m_main, STATUSCLASSNAMEW);
        m_tabs = findChild(m_main, WC_TABCONTROLW);
        const std::vector<HWND> edits = children(m_main, L"Edit");
        ASSERT_EQ(edits.size(), 2u);
        m_memo1 = edits[0];
        m_memo2 = edits[1];
    }

    Program m_program;
    HWND m_main = nullptr;
    HWND m_statusBar = nullptr;
    HWND m_tabs = nullptr;
    HWND m_memo1 = nullptr;
    HWND m_memo2 = nullptr;
    long long m_startMs = 0;
};

TEST_F(Window, shouldStartWithCaptionsLayoutAndMenuOfAFirstStart)
{
    std::printf("start to window shown: %lld ms\n", m_startMs);
    EXPECT_EQ(windowText(m_main), L"Terminal");
    const SIZE client = clientSize(m_main);
    EXPECT_EQ(client.cx, 635);
    EXPECT_EQ(client.cy, 216);

    // The tabs above a status bar of 24 pixels; the source page shown.
    EXPECT_EQ(rectOf(m_tabs, m_main), (Rect{0, 0, 635, 192}));
    EXPECT_EQ(rectOf(m_statusBar, m_main), (Rect{0, 192, 635, 24}));
    EXPECT_EQ(tabText(m_tabs, 0), L"Zdrojová data");
    EXPECT_EQ(tabText(m_tabs, 1), L"Přijatá data");
    EXPECT_EQ(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(m_memo1));
    EXPECT_FALSE(IsWindowVisible(m_memo2));
    const auto paneStyle = GetWindowLongPtrW(m_memo1, GWL_STYLE);
    EXPECT_EQ(paneStyle & (ES_MULTILINE | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_READONLY),
              ES_MULTILINE | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL);
    // The pane fills the tab's page.
    const RECT page = tabPage(m_tabs);
    EXPECT_EQ(rectOf(m_memo1, m_main),
              (Rect{page.left, page.top, page.right - page.left, page.bottom - page.top}));

    // Panels 50, 50, 50 and the rest; "0" centred in panels 0 and 1.
    EXPECT_EQ(statusParts(m_statusBar), (std::vector<int>{50, 100, 150, -1}));
    EXPECT_EQ(statusText(m_statusBar, 0), L"\t0");
    EXPECT_EQ(statusText(m_statusBar, 1), L"\t0");
    EXPECT_EQ(statusText(m_statusBar, 2), L"");
    EXPECT_EQ(statusText(m_statusBar, 3), L"");

    // The menu, item by item: captions with their shortcuts, "Odeslat"
    // disabled, the end-of-file option unchecked.
    MenuRequest menu{};
    menu.window = m_main;
    ASSERT_TRUE(runProbe(m_program.process(), "probeMenu", &menu, sizeof menu));
    const std::vector<std::tuple<int, std::wstring, UINT>> expected = {
        {0, L"Soubor", MF_POPUP},
        {1, L"Otevřít zdroj\tCtrl+O", 0},
        {1, L"Uložit výsledek\tCtrl+S", 0},
        {1, L"", MF_SEPARATOR},
        {1, L"Konec\tCtrl+X", 0},
        {0, L"Funkce", MF_POPUP},
        {1, L"Odeslat\tF6", MF_GRAYED},
        {1, L"Smazat zdrojová data", 0},
        {1, L"Smazat přijatá data", 0},
        {0, L"Nastavení", MF_POPUP},
        {1, L"Port\tF9", 0},
        {1, L"Poslat znaky konce souboru [0,CR,LF]", 0},
    };
    std::vector<std::tuple<int, std::wstring, UINT>> shown;
    for (int i = 0; i < menu.count; ++i) {
        const MenuEntry& e = menu.entries[i];
        // The item count of a menu's items sits in the high byte.
        // A separator is reported disabled as well.
        const UINT flags =
            (e.state & MF_SEPARATOR)
                ? UINT(MF_SEPARATOR)
                : e.state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | (e.level == 0 ? MF_POPUP : 0));
        shown.emplace_back(e.level, e.text, flags);
    }
    EXPECT_EQ(shown, expected);

    // Tahoma 8 point in the panes and the status bar: 11 pixels at 96 dpi.
    for (HWND control : {m_memo1, m_statusBar, m_tabs}) {
        FontRequest font{};
        font.window = control;
        ASSERT_TRUE(runProbe(m_program.process(), "probeFont", &font, sizeof font));
        EXPECT_TRUE(font.found);
        EXPECT_EQ(font.font.lfHeight, -11);
        EXPECT_STREQ(font.font.lfFaceName, L"Tahoma");
    }

    // A first start shows no box and stores nothing.
    EXPECT_EQ(m_program.waitForWindow(L"#32770", 0ms), nullptr);
    EXPECT_FALSE(settingsKeyExists());
    shoot(m_main, L"window");
}

TEST_F(Window, shouldShowThePortDialogLaidOutToThePixel)
{
    pressKey(VK_F9);
    const HWND dialog = m_program.waitForWindow(L"QuorlinkSetCom");
    ASSERT_NE(dialog, nullptr) << "F9 showed no port dialog";
    EXPECT_EQ(windowText(dialog), L"Nastavení portu");
    const SIZE client = clientSize(dialog);
    EXPECT_EQ(client.cx, 252);
    EXPECT_EQ(client.cy, 291);
    // Fixed frame, close box only, modal over the disabled main window.
    const auto style = GetWindowLongPtrW(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_SYSMENU | WS_CAPTION),
              WS_SYSMENU | WS_CAPTION);
    EXPECT_NE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), m_main);
    EXPECT_FALSE(IsWindowEnabled(m_main));

    const HWND group = findChild(dialog, L"Button", L"Parametry");
    const HWND storno = findChild(dialog, L"Button", L"Storno");
    const HWND ok = findChild(dialog, L"Button", L"Ok");
    const std::vector<HWND> lists = children(dialog, L"ComboBox");
    const HWND spin = findChild(dialog, L"QuorlinkCSpinEdit");
    ASSERT_TRUE(group && storno && ok && spin);
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(rectOf(group, dialog), (Rect{0, 8, 249, 225}));
    // Inside the group box, at its offset (0, 8).
    EXPECT_EQ(rectOf(findChild(dialog, L"Static", L"Port"), dialog), (Rect{16, 29, 20, 13}));
    EXPECT_EQ(rectOf(lists[0], dialog), (Rect{16, 48, 209, 21}));
    EXPECT_EQ(rectOf(findChild(dialog, L"Static", L"Přenosová rychlost"), dialog),
              (Rect{16, 101, 92, 13}));
    EXPECT_EQ(rectOf(lists[1], dialog), (Rect{16, 120, 209, 21}));
    EXPECT_EQ(rectOf(findChild(dialog, L"Static", L"Timeout"), dialog), (Rect{16, 173, 38, 13}));
    EXPECT_EQ(rectOf(spin, dialog), (Rect{16, 192, 209, 22}));
    EXPECT_EQ(rectOf(storno, dialog), (Rect{16, 248, 75, 25}));
    EXPECT_EQ(rectOf(ok, dialog), (Rect{150, 248, 75, 25}));

    // The spin field: its text left of two arrow buttons, up above down.
    const HWND spinText = findChild(spin, L"Edit");
    const std::vector<HWND> arrows = children(spin, L"QuorlinkSpinButton");
    ASSERT_TRUE(spinText);
    ASSERT_EQ(arrows.size(), 2u);
    const Rect up = rectOf(arrows[0], spin);
    const Rect down = rectOf(arrows[1], spin);
    const Rect text = rectOf(spinText, spin);
    EXPECT_EQ(up.left, text.left + text.width);
    EXPECT_EQ(down.left, up.left);
    EXPECT_EQ(down.top, up.top + up.height);
    EXPECT_EQ(up.left + up.width, clientSize(spin).cx);

    // Editable drop-down lists, unsorted, with their design texts; the
    // entries COM1..COM16 and the 17 speeds; 8 entries at a time.
    const char* names[] = {"port list", "speed list"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(names[i]);
        const auto listStyle = GetWindowLongPtrW(lists[static_cast<std::size_t>(i)], GWL_STYLE);
        EXPECT_EQ(listStyle & 3, CBS_DROPDOWN);
        EXPECT_EQ(listStyle & CBS_SORT, 0);
        EXPECT_NE(listStyle & WS_TABSTOP, 0);
        EXPECT_EQ(SendMessageW(lists[static_cast<std::size_t>(i)], CB_GETMINVISIBLE, 0, 0), 8);
    }
    EXPECT_EQ(windowText(lists[0]), L"Vyberte port");
    EXPECT_EQ(windowText(lists[1]), L"Vyberte rychlost");
    ASSERT_EQ(SendMessageW(lists[0], CB_GETCOUNT, 0, 0), 16);
    ASSERT_EQ(SendMessageW(lists[1], CB_GETCOUNT, 0, 0), 17);
    auto entry = [](HWND list, int index) {
        wchar_t text[64] = {};
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    EXPECT_EQ(entry(lists[0], 0), L"COM1");
    EXPECT_EQ(entry(lists[0], 15), L"COM16");
    const wchar_t* speeds[] = {L"300",   L"600",   L"900",   L"1200",  L"1800",  L"2400",
                               L"3600",  L"4800",  L"7200",  L"9600",  L"14400", L"19200",
                               L"28800", L"38400", L"57600", L"76800", L"115200"};
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(entry(lists[1], i), speeds[i]);

    // Tab stops in the order port list, speed list, time-out field,
    // "Storno", "Ok", the default button.
    EXPECT_NE(GetWindowLongPtrW(spinText, GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_NE(GetWindowLongPtrW(storno, GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_EQ(GetWindowLongPtrW(ok, GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongPtrW(storno, GWL_STYLE) & 0xF, BS_PUSHBUTTON);
    HWND order[] = {lists[0], lists[1], spin, storno, ok};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        HWND next = GetWindow(order[i], GW_HWNDNEXT);
        while (next && className(next) == L"Static")
            next = GetWindow(next, GW_HWNDNEXT);
        EXPECT_EQ(next, order[i + 1]) << "after control " << i;
    }

    shoot(dialog, L"portdialog");
    // The close box: the dialog goes and the main window is usable again.
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(dialog) && IsWindowEnabled(m_main); }))
        << "the close box did not close the dialog";
}

TEST_F(Window, shouldEndTheProgramOnCtrlXInAPaneWithoutCuttingText)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    typeText(L"abc");
    ASSERT_TRUE(waitFor([&] { return windowText(m_memo1) == L"abc"; }))
        << "typing did not reach the source pane";
    pressKey(VK_HOME, {VK_SHIFT});
    ASSERT_TRUE(waitFor([&] {
        DWORD start = 0, end = 0;
        SendMessageW(m_memo1, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return start == 0 && end == 3;
    })) << "Shift+Home selected nothing";
    pressKey('X', {VK_CONTROL});
    EXPECT_TRUE(m_program.hasExited(5000ms)) << "Ctrl+X did not end the program";
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT)) << "Ctrl+X cut the text";
}

} // namespace
