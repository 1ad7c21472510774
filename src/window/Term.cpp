#include "Term.h"

#include "errordisplay.h"
#include "serial/baudrates.h"
#include "settings/applysettings.h"
#include "transfer/textfile.h"
#include "transfer/utf16.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace quorlink::window {

namespace {

// The full path as the caption shows it: absolute, with the platform's own
// separators, not resolved.
std::u16string captionOf(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error)
        full = path;
    full.make_preferred();
    const std::u8string bytes = full.u8string();
    return transfer::fromUtf8(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace

TForm1::TForm1(WindowFace& face, transfer::Pane& memo1, transfer::Pane& memo2,
               StatusPanels& statusBar1, TSetCom& setCom,
               std::unique_ptr<settings::SettingsStore> store, std::u16string applicationTitle)
    : Memo1(memo1), Memo2(memo2), StatusBar1(statusBar1), SetCom(setCom), m_face(face),
      m_store(std::move(store)), m_title(std::move(applicationTitle)), m_link(*this),
      m_codePage(transfer::CodePage::system()), m_progress(statusBar1)
{}

TForm1::~TForm1() = default;

void TForm1::FormCreate()
{
    StatusBar1.setPanelText(LineCountPanel, u"0");
    StatusBar1.setPanelText(LinePanel, u"0");
    StopRequested = false;
    // The source pane has the focus when the window first shows.
    m_face.setFocus(WindowControl::Memo1);
    m_face.setMenuItemEnabled(MenuItem::Odeslat1, m_sendEnabled);
    m_face.setMenuItemChecked(MenuItem::SendEndOfFile, m_sendEndOfFile);
    LoadSettings();
}

void TForm1::LoadSettings()
{
    const settings::AppliedSettings applied =
        settings::applyStoredSettings(*m_store, m_link.portTable());
    const settings::StoredSettings& stored = applied.stored;
    if (stored.sendEndFile) {
        m_sendEndOfFile = *stored.sendEndFile;
        m_face.setMenuItemChecked(MenuItem::SendEndOfFile, m_sendEndOfFile);
    }
    TimeOut = stored.port.TimeOut;
    BaudRateIndex = stored.port.BaudRateIndex;
    ComPortIndex = stored.port.ComPortIndex;
    // A name the system does not know keeps the system's code page.
    if (applied.codePage)
        m_codePage = *applied.codePage;
    if (stored.portStored)
        openStoredPort();
}

void TForm1::openStoredPort()
{
    // A speed index outside the table opens nothing and fails like a port
    // that cannot be opened.
    const bool opened =
        m_link.OpenPort(ComPortIndex, serial::baudRateAt(BaudRateIndex).value_or(0));
    ShowPortState(opened, ComPortIndex);
}

// ---- handlers

void TForm1::Otevtzdroj1Click()
{
    const std::optional<std::filesystem::path> fileName = m_face.askSourceFileName();
    if (!fileName)
        return;
    const std::u16string text = transfer::loadSourceFile(*fileName, m_codePage);
    if (text != Memo1.text())
        Memo1.setText(text);
    Memo1Change();
    m_face.setCaption(captionOf(*fileName));
}

void TForm1::Uloitvsledek1Click()
{
    const std::optional<std::filesystem::path> fileName = m_face.askResultFileName();
    if (!fileName)
        return;
    transfer::saveResultFile(*fileName, Memo2.text(), m_codePage);
}

void TForm1::Konec1Click()
{
    m_link.ClosePort();
    closeWhenIdle();
}

void TForm1::Odeslat1Click()
{
    // The screen is paced from the start of the outermost run to its end.
    // Also when a handler inside the run throws: a window closed during the
    // run closes once the outermost run has returned.
    struct RunScope
    {
        TForm1& form;
        explicit RunScope(TForm1& f) : form(f)
        {
            if (!form.isRunning())
                form.m_frames.runStarted();
            form.m_runs.enter();
        }
        ~RunScope()
        {
            const bool closeNow = form.m_runs.leave();
            if (!form.isRunning())
                form.m_frames.runEnded();
            if (closeNow)
                form.closeWhenIdle();
        }
    } scope(*this);
    transfer::runTransfer(*this);
}

void TForm1::ClearSourceClick()
{
    Memo1.clear();
    Memo1Change();
}

void TForm1::ClearReceivedClick()
{
    Memo2.clear();
}

void TForm1::Port1Click()
{
    const std::vector<serial::ListedPort> ports =
        serial::listPorts(m_link.portTable(), ComPortIndex, serial::findSystemPorts(m_deviceTree));
    SetCom.setPortList(portEntries(ports));

    SetCom.ComboBoxBaud.setItemIndex(BaudRateIndex);
    // The stored number may be anything a settings file holds, INT_MIN too;
    // one that is not listed leaves no entry chosen.
    SetCom.ComboBoxCom.setItemIndex(SetCom.portPosition(ComPortIndex));
    SetCom.EditTimeOut.SetValue(TimeOut);
    if (SetCom.ShowModal() != TSetCom::ResultOk)
        return;
    const std::int32_t port = SetCom.portNumberAt(SetCom.ComboBoxCom.ItemIndex());
    // A device that no number reached gets its number for good, before
    // anything else is stored: a write that fails changes nothing.
    if (const serial::ListedPort* chosen = serial::findListed(ports, port);
        chosen && chosen->offered) {
        m_store->StorePortDevice(port, chosen->device);
        m_link.portTable().setDevice(port, chosen->device);
    }
    BaudRateIndex = SetCom.ComboBoxBaud.ItemIndex();
    ComPortIndex = port;
    // Leaving the field has limited it already; a value read without that
    // (the dialog closed from the field) is limited here all the same.
    TimeOut = SetCom.EditTimeOut.CheckValue(SetCom.EditTimeOut.GetValue());
    // A value that cannot be written throws here: the error is shown and
    // the port stays as it was.
    m_store->StorePortSettings({TimeOut, BaudRateIndex, ComPortIndex});
    openStoredPort();
}

void TForm1::SendEndOfFileClick()
{
    // Stored when the window closes, not now.
    m_sendEndOfFile = !m_sendEndOfFile;
    m_face.setMenuItemChecked(MenuItem::SendEndOfFile, m_sendEndOfFile);
}

void TForm1::Memo1Change()
{
    StatusBar1.setPanelText(LineCountPanel, transfer::decimalText(Memo1.lineCount()));
}

void TForm1::FormKeyPress(char16_t& key)
{
    if (key == EscChar)
        StopRequested = true;
}

void TForm1::KeyPress(WindowControl control, char16_t& key)
{
    if (control != WindowControl::TabbedNotebook1)
        FormKeyPress(key);
}

bool TForm1::KeyDown(WindowControl control, Key key, Modifiers modifiers)
{
    if (modifiers.alt)
        return false;
    const int shown = std::clamp(m_face.shownPage(), 0, PageCount - 1);
    if (modifiers.ctrl) {
        if (key != Key::Tab && key != Key::PageDown && key != Key::PageUp)
            return false;
        const bool next = key == Key::PageDown || (key == Key::Tab && !modifiers.shift);
        const int page = (shown + (next ? 1 : PageCount - 1)) % PageCount;
        m_face.showPage(page);
        m_face.setFocus(NotebookPages[static_cast<std::size_t>(page)]);
        return true;
    }
    if (key != Key::Tab)
        return false;
    const bool inPane = control == WindowControl::Memo1 || control == WindowControl::Memo2;
    m_face.setFocus(inPane ? WindowControl::TabbedNotebook1
                           : NotebookPages[static_cast<std::size_t>(shown)]);
    return true;
}

void TForm1::ShowPortState(bool opened, std::int32_t portNumber)
{
    std::u16string text;
    if (opened) {
        text = PortOpenPrefix;
        text += transfer::decimalText(portNumber);
        text += PortOpenSuffix;
    } else {
        // "Port uzavřen" always means no port is open.
        m_link.ClosePort();
        text = PortClosedText;
    }
    StatusBar1.setPanelText(MessagePanel, text);
    m_sendEnabled = opened;
    m_face.setMenuItemEnabled(MenuItem::Odeslat1, opened);
}

void TForm1::Click(MenuItem item)
{
    handle([this, item] {
        switch (item) {
        case MenuItem::Otevtzdroj1:
            return Otevtzdroj1Click();
        case MenuItem::Uloitvsledek1:
            return Uloitvsledek1Click();
        case MenuItem::Konec1:
            return Konec1Click();
        case MenuItem::Odeslat1:
            // A shortcut reaches a disabled item's handler in no face; the
            // check keeps it so for a face that forgets.
            if (m_sendEnabled)
                Odeslat1Click();
            return;
        case MenuItem::ClearSource:
            return ClearSourceClick();
        case MenuItem::ClearReceived:
            return ClearReceivedClick();
        case MenuItem::Port1:
            return Port1Click();
        case MenuItem::SendEndOfFile:
            return SendEndOfFileClick();
        }
    });
}

void TForm1::showError(std::exception_ptr error)
{
    window::showError(m_face, m_title, error);
}

// ---- closing

bool TForm1::CloseQuery()
{
    if (m_closed)
        return true;
    // During a run the window stays, current, until the run has completed
    // its exchanges (Esc still stops it); it closes then.
    if (!m_runs.requestEnd())
        return false;
    FormClose();
    return true;
}

void TForm1::FormClose()
{
    m_closed = true;
    // The window closes even when the option cannot be stored: the error is
    // shown first.
    handle([this] { m_store->StoreSendEndFile(m_sendEndOfFile); });
}

void TForm1::closeWhenIdle()
{
    // Konec during a run: every send fails from now on, so the run skips its
    // remaining lines; the window closes once it has returned.
    if (!m_runs.requestEnd())
        return;
    if (!m_closed)
        FormClose();
    m_face.closeWindow();
}

// ---- RunHost, OpenFailureView

void TForm1::processMessages()
{
    m_frames.betweenExchanges();
    m_face.processMessages();
}

void TForm1::awaitingReply()
{
    // How long a reply may take to start arriving and still count as one
    // that is already coming.  A silent device's wait grows by this much.
    constexpr std::chrono::microseconds ReplyComing{1000};
    // A device that answers at once: the screen shows its next frame when
    // it is due one, and a fast run costs no more frames than the screen
    // shows.  Any other exchange may wait up to the time-out: what was set
    // before it goes on the screen now, while the device works.
    if (TimeOut > 0 && m_link.hCom().inputArrives(ReplyComing))
        return;
    m_frames.showNow();
}

void TForm1::showOpenFailure()
{
    std::u16string text(OpenFailureText);
    // A port the user may not use is the commonest failure on Linux, and
    // the one the user can mend: said on the next line.  The port tried is
    // always the stored one (openStoredPort).
    const serial::PortError& error = m_link.hCom().error();
    if (error.kind == serial::PortErrorKind::PermissionDenied) {
        text += u'\n';
        text += permissionDeniedText(
            transfer::fromUtf8(m_link.portTable().devicePath(ComPortIndex).value_or("")),
            transfer::fromUtf8(error.deviceGroup));
    }
    m_face.showMessageBox(BoxIcon::Information, OpenFailureCaption, text);
}

} // namespace quorlink::window
