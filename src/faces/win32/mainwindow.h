#pragma once

#include "clock.h"
#include "memopane.h"
#include "window/face.h"
#include "window/panelprogress.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace quorlink::window {
class TForm1;
}

namespace quorlink::win32 {

// The main window Form1 in Win32: the tab control TabbedNotebook1 with the
// source pane Memo1 and the received pane Memo2, the status bar StatusBar1
// with its four panels, and the menu MainMenu1 with its shortcuts, all from
// window/windowdefs.h, laid out at 96 dots per inch and scaled to the
// monitor it is on.  It shows what TForm1 asks for and passes the operator's
// commands, keys and edits on to it; it decides nothing itself.
class MainWindow : public window::WindowFace, public window::StatusPanels
{
public:
    MainWindow();
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, hidden.  Throws std::runtime_error when the
    // system refuses a window.
    void create();
    // The behaviour that handles the window's events from now on.
    void attach(window::TForm1& form) { m_form = &form; }
    void show(int showCommand);
    // Destroys the window, if closeWindow has not, before the behaviour
    // it calls goes.
    void destroy();

    HWND hwnd() const { return m_hwnd; }
    EditPane& memo1() { return m_memo1; }
    EditPane& memo2() { return m_memo2; }

    // WindowFace.  The system's message box and common file dialogs.
    void showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                        std::u16string_view text) override;
    std::optional<std::filesystem::path> askSourceFileName() override;
    std::optional<std::filesystem::path> askResultFileName() override;
    // The caption, and the state of the menu's items by their command ids.
    void setCaption(std::u16string_view caption) override;
    void setMenuItemEnabled(window::MenuItem item, bool enabled) override;
    void setMenuItemChecked(window::MenuItem item, bool checked) override;
    // The message queue, without painting while the pacing holds; what is
    // pending painted at once; the window destroyed and the loop ended.
    void processMessages() override;
    void showPendingChanges() override;
    void closeWindow() override;
    void setFocus(window::WindowControl control) override;
    // The tab control's page, and its pane shown above the others.
    int shownPage() const override;
    void showPage(int page) override;
    // The display's refresh rate, a clock of the performance counter and a
    // timer of this window.
    double refreshRate() const override { return m_refreshRate; }
    const window::Clock& frameClock() const override { return m_frameClock; }
    window::Timer& frameTimer() override { return m_frameTimer; }

    // StatusPanels: the texts, shown at once or, while the pacing holds,
    // with the next frame.
    void setPanelText(int index, std::u16string_view text) override;
    std::u16string panelText(int index) const override;

    // Lets the window see a message before it is dispatched: the menu
    // shortcuts (before the focused pane sees the key), then the keys and
    // the characters TForm1 sees.  Returns true when the message was used.
    bool preTranslate(MSG& msg);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildMenu();
    void buildAccelerators();
    // The fonts and what the layout fixes (the status bar's height, the
    // panels' widths) at `dpi`.
    void applyDpi(UINT dpi);
    // The window at another scale: the layout at `dpi`, the user's size
    // kept, as the system suggests it or, maximised, once restored.
    void followDpi(UINT dpi, const RECT& suggested);
    // Restored: the restored size at the scale the window is at now.
    void restoredSize();
    void layoutChildren();
    int scale(int pixels96) const;
    HWND windowOf(window::WindowControl control) const;
    // The control `window` is, if it is one of those TForm1 knows.
    std::optional<window::WindowControl> controlOf(HWND window) const;
    // Shows the panel texts set since the last frame.
    void showPanels();

    window::TForm1* m_form = nullptr;
    HWND m_hwnd = nullptr;
    HWND m_tabs = nullptr;
    HWND m_statusBar = nullptr;
    HMENU m_menu = nullptr;
    HACCEL m_accelerators = nullptr;
    HFONT m_font = nullptr;
    UINT m_dpi = 96;
    // The scale the window's restored size belongs to: m_dpi, except after
    // the scale changed while it was maximised or minimised, until it is
    // restored.
    UINT m_normalDpi = 96;
    // The control that had the focus when the window was last deactivated.
    HWND m_focus = nullptr;
    // The panels' texts; those changed since the last frame are not shown
    // yet (a run changes them after every exchange, far more often than the
    // screen shows a frame).
    std::array<std::u16string, window::PanelCount> m_panels;
    std::array<bool, window::PanelCount> m_panelChanged{};
    double m_refreshRate = 0.0;
    PerformanceClock m_frameClock;
    WindowTimer m_frameTimer;
    EditPane m_memo1;
    EditPane m_memo2;
};

} // namespace quorlink::win32
