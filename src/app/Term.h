#pragma once

#include "memopane.h"
#include "serial/seriallink.h"
#include "settings/settingsstore.h"
#include "transfer/codepage.h"
#include "transfer/runnesting.h"
#include "transfer/transferrun.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTabWidget;
class TSetCom;

// The main window Form1: the source and received panes on two tabs, the
// status bar with its four panels, and the menu from which every command
// starts.  It holds the settings fields, StopRequested and the port for the
// life of the process, and is what a transfer run works on.
class TForm1 : public QMainWindow,
               public quorlink::transfer::RunHost,
               public quorlink::transfer::StatusPanels,
               public quorlink::serial::PortStateView
{
    Q_OBJECT

public:
    // Builds the window and performs the start-up: panels 0 and 1 "0",
    // StopRequested cleared, the settings loaded from `store`, the stored
    // port opened and reported (the open-failure box first when it fails),
    // and the port dialog created.  Whatever the store throws goes to the
    // caller.
    explicit TForm1(std::unique_ptr<quorlink::settings::SettingsStore> store,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // Settings fields.
    std::int32_t TimeOut = 200;     // reply time-out, milliseconds
    std::int32_t BaudRateIndex = 5; // index into BaudRates
    std::int32_t ComPortIndex = 0;  // COM port number, 1 for COM1; 0 none
    bool StopRequested = false;

    // Components, named as their objectName.
    quorlink::app::MemoPane* Memo1 = nullptr;
    quorlink::app::MemoPane* Memo2 = nullptr;
    QTabWidget* TabbedNotebook1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenu* Soubor1 = nullptr;
    QMenu* Funkce1 = nullptr;
    QMenu* Nastaven1 = nullptr;
    QAction* Otevtzdroj1 = nullptr;
    QAction* Uloitvsledek1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Konec1 = nullptr;
    QAction* Odeslat1 = nullptr;
    QAction* ClearSource = nullptr;
    QAction* ClearReceived = nullptr;
    QAction* Port1 = nullptr;
    QAction* SendEndOfFile = nullptr;
    TSetCom* SetCom = nullptr;

    quorlink::serial::SerialLink& link() { return m_link; }

    // Handlers.  Exceptions go to the caller; the menu connections hand them
    // to the error display.
    void Otevtzdroj1Click();
    void Uloitvsledek1Click();
    void Konec1Click();
    void Odeslat1Click();
    void ClearSourceClick();
    void ClearReceivedClick();
    void Port1Click();
    void SendEndOfFileClick();
    void Memo1Change();

    // RunHost
    quorlink::transfer::Pane& sourcePane() override;
    quorlink::transfer::Pane& receivedPane() override;
    quorlink::transfer::RunEvents& runEvents() override { return m_progress; }
    quorlink::serial::SerialLink& serialLink() override { return m_link; }
    const quorlink::transfer::CodePage& codePage() const override { return m_codePage; }
    std::int32_t timeOut() const override { return TimeOut; }
    bool sendEndOfFile() const override;
    bool stopRequested() const override { return StopRequested; }
    void setStopRequested(bool stop) override { StopRequested = stop; }
    void processMessages() override;
    void awaitingReply() override;

    // StatusPanels
    void setPanelText(int index, std::u16string_view text) override;
    std::u16string panelText(int index) const override;

    // PortStateView
    void showOpenFailure() override;
    void showPortState(std::u16string_view text, bool sendEnabled) override;

protected:
    // Holds the window's repaints during a run (see m_runs).
    bool event(QEvent* event) override;
    // FormClose: stores the end-of-file option however the window closes;
    // during a run the window closes once the run has returned.
    void closeEvent(QCloseEvent* event) override;
    // FormKeyPress for keys that reach the window itself.
    void keyPressEvent(QKeyEvent* event) override;
    // FormKeyPress of the panes, and the menu shortcuts winning over theirs.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildMenu();
    void FormKeyPress(int key);
    void loadSettings();
    // True when a repaint or relayout last done at `last` may happen again:
    // always outside a run, once per frame of the screen during one.
    bool frameDue(const QElapsedTimer& last) const;
    // Posts the repaint and the relayouts held back during a run.
    void releaseHeldFrame();
    // Lays out and paints at once whatever is held or pending, without
    // handling any other event.
    void showFrameNow();
    // True when the LayoutRequest of `widget` is to be held.
    bool holdLayout(QObject* widget);
    // Makes sure what is held goes out when the frame time since `last` is up.
    void releaseLater(const QElapsedTimer& last);

    std::unique_ptr<quorlink::settings::SettingsStore> m_store;
    quorlink::serial::SerialLink m_link;
    quorlink::transfer::CodePage m_codePage;
    std::array<QLabel*, 4> m_panels{};
    quorlink::transfer::PanelProgress m_progress{*this};

    // A run repaints between exchanges, but the screen shows no more than
    // one frame per refresh: while a run is in progress (nested runs
    // counted) a repaint or a status bar relayout that comes
    // sooner than one frame time after the previous one is held and done
    // once the frame time has passed, or when the outermost run ends.
    // Nothing stays held while an exchange waits: unless its reply is
    // already arriving, the frame is shown before the wait (awaitingReply).
    quorlink::transfer::RunNesting m_runs;
    std::int64_t m_frameNs = 0; // one frame of the window's screen, nanoseconds
    QElapsedTimer m_lastPaint;
    QElapsedTimer m_lastLayout;
    bool m_paintHeld = false;
    // Widgets of this window whose relayout is held.
    std::vector<QPointer<QObject>> m_layoutHeld;
    // Installed on the application during a run: a widget's layout sees its
    // LayoutRequest before the widget's own event filters do.
    std::unique_ptr<QObject> m_layoutFilter;
    // Releases what is held also when no exchange comes to do it (the port
    // dialog's modal loop inside a run).
    QTimer m_frameTimer;
    // showFrameNow() is at work: nothing is held.
    bool m_showingFrame = false;
};
