#pragma once

#include "clock.h"
#include "dialogs.h"
#include "memopane.h"
#include "settings/settingsstore.h"
#include "window/Term.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTabWidget;

namespace quorlink::qtface {

class PortDialog;

// The main window Form1 in Qt: the source and received panes on two tabs,
// the status bar with its four panels and the menu.  What the window does is
// TForm1's (form()); this builds the widgets from the window's tables, hands
// TForm1 the user's commands and keys, and shows what it asks for.
class MainWindow : public QMainWindow, public window::WindowFace, public window::StatusPanels
{
    Q_OBJECT

public:
    // Builds the window and the port dialog and performs TForm1's start-up
    // with `store` (the stored port opened, or the open-failure box shown,
    // before the window is).  Whatever the store throws goes to the caller.
    explicit MainWindow(std::unique_ptr<settings::SettingsStore> store, QWidget* parent = nullptr);
    ~MainWindow() override;

    window::TForm1& form() { return *m_form; }

    // Components, named as their objectName.
    MemoPane* Memo1 = nullptr;
    MemoPane* Memo2 = nullptr;
    QTabWidget* TabbedNotebook1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    PortDialog* SetCom = nullptr;
    QAction* action(window::MenuItem item) const { return m_actions.at(item); }

    // WindowFace
    void showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                        std::u16string_view text) override;
    std::optional<std::filesystem::path> askSourceFileName() override;
    std::optional<std::filesystem::path> askResultFileName() override;
    void setCaption(std::u16string_view caption) override;
    void setMenuItemEnabled(window::MenuItem item, bool enabled) override;
    void setMenuItemChecked(window::MenuItem item, bool checked) override;
    void processMessages() override;
    void showPendingChanges() override;
    void closeWindow() override;
    void setFocus(window::WindowControl control) override;
    using QMainWindow::setFocus;
    int shownPage() const override;
    void showPage(int page) override;
    double refreshRate() const override;
    const window::Clock& frameClock() const override { return m_frameClock; }
    window::Timer& frameTimer() override { return m_frameTimer; }

    // StatusPanels
    void setPanelText(int index, std::u16string_view text) override;
    std::u16string panelText(int index) const override;

protected:
    // Holds the window's repaints while TForm1's pacing says so.
    bool event(QEvent* event) override;
    // The close box, Alt+F4: TForm1 decides whether the window closes now.
    void closeEvent(QCloseEvent* event) override;
    // The key-press handler for keys that reach the window itself.
    void keyPressEvent(QKeyEvent* event) override;
    // The panes' and the tabs' key presses, and the menu shortcuts winning
    // over the panes' own.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Tab and Shift+Tab that no control took, and the focus leaving a
    // control that is hidden: where TForm1 says.
    bool focusNextPrevChild(bool next) override;

private:
    void buildWindow();
    void buildMenu();
    // A key press on its way to `control`, to TForm1's key handling: first
    // as a key (KeyDown), then as the character it types (KeyPress).  True
    // when TForm1 used the key or dropped the character.
    bool keyPress(window::WindowControl control, const QKeyEvent& event);
    // The control that has the focus, as TForm1 knows them.
    window::WindowControl focusedControl() const;
    // True when the LayoutRequest of `widget` is to be held.
    bool holdLayout(QObject* widget);

    std::array<QLabel*, window::PanelCount> m_panels{};
    std::map<window::MenuItem, QAction*> m_actions;
    QtMessageBoxes m_boxes;
    std::unique_ptr<window::TForm1> m_form;
    // The window closes: TForm1 has agreed.
    bool m_closing = false;

    // While TForm1's pacing holds the window's changes, the repaint and the
    // relayouts (the status bar's, after each panel text) wait until it has
    // them shown (showPendingChanges).
    std::vector<QPointer<QObject>> m_layoutHeld;
    // The panels' texts set while held: a label's new text costs a relayout
    // and a repaint request each time, and a run sets two after every
    // exchange; the label gets the last one with the frame.
    std::array<std::optional<QString>, window::PanelCount> m_panelTextsHeld;
    QtClock m_frameClock;
    QtTimer m_frameTimer;
    // Installed on the application: a widget's layout sees its LayoutRequest
    // before the widget's own event filters do.
    std::unique_ptr<QObject> m_layoutFilter;
};

} // namespace quorlink::qtface
