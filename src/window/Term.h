#pragma once

// Term: the main window Form1 (TForm1), its handlers, start-up and closing.

#include "UnitSetCom.h"
#include "face.h"
#include "framepacing.h"
#include "keys.h"
#include "panelprogress.h"
#include "runnesting.h"
#include "serial/portdiscovery.h"
#include "serial/seriallink.h"
#include "settings/settingsstore.h"
#include "transfer/codepage.h"
#include "transfer/transferrun.h"
#include "windowdefs.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace quorlink::window {

// The main window Form1: what it does, apart from how it looks.  It holds
// the settings fields, StopRequested and the port for the life of the
// process; its handlers are the menu commands, the key-press handler and the
// closing of the window.  A face (the widgets of one platform) builds the
// window, shows what this asks for and calls these handlers.
class TForm1 : public transfer::RunHost, public serial::OpenFailureView
{
public:
    // The panes, the status bar and the port dialog are the face's; they
    // live as long as this.  `applicationTitle` captions the error display.
    TForm1(WindowFace& face, transfer::Pane& memo1, transfer::Pane& memo2, StatusPanels& statusBar1,
           TSetCom& setCom, std::unique_ptr<settings::SettingsStore> store,
           std::u16string applicationTitle);
    ~TForm1() override;

    // The start-up once the face has built the window, before it is shown:
    // panels 0 and 1 "0", StopRequested cleared, the settings loaded and,
    // when a port is stored, that port opened and reported (the open-failure
    // box first when it fails).  Whatever the store throws goes to the
    // caller.
    void FormCreate();

    // Settings fields, with the settings' defaults until they are loaded:
    // the reply time-out in milliseconds, the index into BaudRates, the COM
    // port number (1 for COM1; 0 none).
    std::int32_t TimeOut = settings::PortSettings{}.TimeOut;
    std::int32_t BaudRateIndex = settings::PortSettings{}.BaudRateIndex;
    std::int32_t ComPortIndex = settings::PortSettings{}.ComPortIndex;
    bool StopRequested = false;

    transfer::Pane& Memo1;
    transfer::Pane& Memo2;
    StatusPanels& StatusBar1;
    TSetCom& SetCom;

    serial::SerialLink& link() { return m_link; }
    const std::u16string& title() const { return m_title; }
    // Where the port dialog looks for the system's serial ports (Linux's
    // /dev and /sys/class/tty); tests give a tree of their own.
    void setDeviceTree(serial::DeviceTree tree) { m_deviceTree = std::move(tree); }

    // Handlers.  They throw what fails; Click and handle show it.
    void Otevtzdroj1Click();
    void Uloitvsledek1Click();
    void Konec1Click();
    void Odeslat1Click();
    void ClearSourceClick();
    void ClearReceivedClick();
    void Port1Click();
    void SendEndOfFileClick();
    void Memo1Change();
    // The key-press handler of the window itself and of both panes: Esc
    // asks a running transfer to stop.  The key goes on unchanged.
    void FormKeyPress(char16_t& key);
    // A character typed while `control` has the focus, before the control
    // takes it.  The window itself and both panes have FormKeyPress as
    // their key-press handler; the notebook's tabs have none, so Esc there
    // does not stop a run.
    void KeyPress(WindowControl control, char16_t& key);
    // A key that types nothing, pressed while `control` has the focus, after
    // the menu's shortcuts and before the control sees it.  Tab and
    // Shift+Tab go from a pane to the notebook's tabs, and from the tabs or
    // the window itself into the shown page's pane (a pane takes no tab
    // characters).  Ctrl+Tab and Ctrl+PgDn show the next page, Ctrl+Shift+Tab
    // and Ctrl+PgUp the previous one, round, with the focus in its pane.
    // Returns true when the window used the key.
    bool KeyDown(WindowControl control, Key key, Modifiers modifiers);

    // Reports the outcome of OpenPort in status panel 3 and on "Odeslat":
    // "Port COM<n> otevřen" and enabled, or "Port uzavřen", disabled and no
    // port open.
    void ShowPortState(bool opened, std::int32_t portNumber);

    // A menu command, chosen with the mouse or by its shortcut.  What the
    // handler throws is shown by the error display and the command ends.
    void Click(MenuItem item);
    // Runs `handler`, showing what it throws.
    template <typename Handler> void handle(Handler&& handler)
    {
        try {
            handler();
        } catch (...) {
            showError(std::current_exception());
        }
    }
    void showError(std::exception_ptr error);

    // The window is asked to close (its close box, Alt+F4, the window menu).
    // Returns true when it closes now, FormClose having run.  During a run
    // it stays on the screen, current, until the run has returned; then it
    // closes by WindowFace::closeWindow.
    bool CloseQuery();
    // The window is closing: stores the end-of-file option.  A failed store
    // is shown and the window closes all the same.
    void FormClose();

    // The menu items whose state changes.
    bool isSendEnabled() const { return m_sendEnabled; }
    bool isSendEndOfFileChecked() const { return m_sendEndOfFile; }
    bool isRunning() const { return m_runs.running(); }
    // How the screen shows a run's changes; the face asks it whether to
    // hold a change, and reports its frame timer to it.
    FramePacing& frames() { return m_frames; }

    // RunHost
    transfer::Pane& sourcePane() override { return Memo1; }
    transfer::Pane& receivedPane() override { return Memo2; }
    transfer::RunEvents& runEvents() override { return m_progress; }
    serial::SerialLink& serialLink() override { return m_link; }
    const transfer::CodePage& codePage() const override { return m_codePage; }
    std::int32_t timeOut() const override { return TimeOut; }
    bool sendEndOfFile() const override { return m_sendEndOfFile; }
    bool stopRequested() const override { return StopRequested; }
    void setStopRequested(bool stop) override { StopRequested = stop; }
    void processMessages() override;
    void awaitingReply() override;

    // OpenFailureView
    void showOpenFailure() override;

private:
    void LoadSettings();
    void openStoredPort();
    // Closes the window now, or once the outermost run has returned.
    void closeWhenIdle();

    WindowFace& m_face;
    std::unique_ptr<settings::SettingsStore> m_store;
    std::u16string m_title;
    serial::SerialLink m_link;
    serial::DeviceTree m_deviceTree;
    transfer::CodePage m_codePage;
    PanelProgress m_progress;
    bool m_sendEnabled = false;
    bool m_sendEndOfFile = false;
    RunNesting m_runs;
    FramePacing m_frames{m_face};
    bool m_closed = false;
};

} // namespace quorlink::window
