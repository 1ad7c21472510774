#pragma once

#include "editpane.h"
#include "menu.h"
#include "transfer/transferrun.h"

#include <windows.h>

#include <array>
#include <string>

namespace quorlink::win32 {

// What the main window reports; the window behaviour answers each report.
class MainWindowEvents
{
public:
    virtual ~MainWindowEvents() = default;
    // A menu click or its shortcut.
    virtual void command(MenuCommand id) = 0;
    // The operator edited the source pane (Memo1).
    virtual void sourceEdited() = 0;
    // A key typed in a pane or in the window itself (not on the tabs),
    // as a 16-bit character (27 for Esc).
    virtual void keyPressed(char16_t key) = 0;
    // The window is closing, by any means (FormClose).
    virtual void closing() = 0;
};

// The main window Form1: the tab control TabbedNotebook1 with the source
// pane Memo1 and the received pane Memo2, the status bar StatusBar1 with its
// four panels, and the menu MainMenu1 with its shortcuts.  Laid out at 96
// dots per inch and scaled to the monitor it is on.
class MainWindow : public transfer::StatusPanels
{
public:
    MainWindow();
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, hidden.  Throws std::runtime_error when the
    // system refuses a window.
    void create(MainWindowEvents& events);
    void show(int showCommand);
    // Asks the window to close as the close box does (FormClose runs).
    void close();
    // Destroys the window once the message loop is over.
    void destroy();

    HWND hwnd() const { return m_hwnd; }
    EditPane& memo1() { return m_memo1; }
    EditPane& memo2() { return m_memo2; }
    HFONT font() const { return m_font; }

    void setCaption(std::u16string_view caption);
    void setItemEnabled(MenuCommand id, bool enabled);
    bool isItemEnabled(MenuCommand id) const;
    void setItemChecked(MenuCommand id, bool checked);
    bool isItemChecked(MenuCommand id) const;

    // StatusPanels
    void setPanelText(int index, std::u16string_view text) override;
    std::u16string panelText(int index) const override;

    // Lets the window see a message before it is dispatched: the menu
    // shortcuts (before the focused pane sees the key) and the keys its
    // key handler takes.  Returns true when the message was handled.
    bool preTranslate(MSG& msg);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildMenu();
    void buildAccelerators();
    void applyDpi(UINT dpi);
    void layoutChildren();
    void showPage(int page);
    int scale(int pixels96) const;

    MainWindowEvents* m_events = nullptr;
    HWND m_hwnd = nullptr;
    HWND m_tabs = nullptr;
    HWND m_statusBar = nullptr;
    HMENU m_menu = nullptr;
    HACCEL m_accelerators = nullptr;
    HFONT m_font = nullptr;
    UINT m_dpi = 96;
    bool m_closing = false;
    EditPane m_memo1;
    EditPane m_memo2;
};

} // namespace quorlink::win32
