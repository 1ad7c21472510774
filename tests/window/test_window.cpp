// The main window's behaviour on a face without widgets: start-up, the port
// command, runs, files, closing and the error display.

#include "fakeface.h"
#include "ptydevice.h"

#include "window/errordisplay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <tuple>
#include <utility>

using namespace std::chrono_literals;
using quorlink::testing::PtyDevice;
using quorlink::window::BoxIcon;
using quorlink::window::DialogControl;
using quorlink::window::FramePacing;
using quorlink::window::Key;
using quorlink::window::MenuItem;
using quorlink::window::Modifiers;
using quorlink::window::WindowControl;
using quorlink::window::testing::FakeWindow;
using quorlink::window::testing::FakeWindowFace;
using quorlink::window::testing::MemoryStore;

namespace {

namespace fs = std::filesystem;

class Window : public ::testing::Test
{
protected:
    // Settings that name COM1 as `device`, UTF-8 on the wire, 300 ms.
    void storePort(const std::string& device)
    {
        values.keyExisted = true;
        values.port = quorlink::settings::PortSettings{300, 9, 1};
        values.ports[1] = device;
        values.codePage = "UTF-8";
    }
    FakeWindow& start()
    {
        window = std::make_unique<FakeWindow>(values);
        window->form.FormCreate();
        return *window;
    }
    std::u16string panel(int index) const { return window->panels.panelText(index); }

    MemoryStore::Values values;
    std::unique_ptr<FakeWindow> window;
};

TEST_F(Window, shouldStartWithDefaultsAndOpenOnlyAStoredPort)
{
    FakeWindow& w = start();
    EXPECT_EQ(panel(0), u"0");
    EXPECT_EQ(panel(1), u"0");
    EXPECT_EQ(panel(2), u"");
    EXPECT_EQ(panel(3), u"");
    EXPECT_FALSE(w.face.enabled[MenuItem::Odeslat1]);
    EXPECT_FALSE(w.face.checked[MenuItem::SendEndOfFile]);
    EXPECT_EQ(w.form.TimeOut, 200);
    EXPECT_EQ(w.form.BaudRateIndex, 5);
    EXPECT_EQ(w.form.ComPortIndex, 0);
    EXPECT_TRUE(w.face.boxes.empty());
    EXPECT_EQ(w.face.focus, WindowControl::Memo1);

    PtyDevice device;
    storePort(device.path());
    values.sendEndFile = true;
    FakeWindow& stored = start();
    EXPECT_EQ(panel(3), u"Port COM1 otevřen");
    EXPECT_TRUE(stored.face.enabled[MenuItem::Odeslat1]);
    EXPECT_TRUE(stored.face.checked[MenuItem::SendEndOfFile]);
    EXPECT_TRUE(stored.form.link().isOpen());
    EXPECT_TRUE(stored.face.boxes.empty());
    // A two-digit port number, whole.
    values.ports = {{16, device.path()}};
    values.port->ComPortIndex = 16;
    start();
    EXPECT_EQ(panel(3), u"Port COM16 otevřen");

    // A port that does not open, and a speed outside the table: the box,
    // then "Port uzavřen".
    for (const auto& [device, speed] :
         {std::pair<std::string, int>{"/dev/quorlink-no-such-device", 9}, {device.path(), 17}}) {
        storePort(device);
        values.port->BaudRateIndex = speed;
        FakeWindow& failed = start();
        ASSERT_EQ(failed.face.boxes.size(), 1u);
        EXPECT_EQ(failed.face.boxes[0].icon, BoxIcon::Information);
        EXPECT_EQ(failed.face.boxes[0].caption, u"GetLastError2");
        EXPECT_EQ(failed.face.boxes[0].text, u"Nelze otevrit COM");
        EXPECT_EQ(panel(3), u"Port uzavřen");
        EXPECT_FALSE(failed.face.enabled[MenuItem::Odeslat1]);
    }

    // A port number no list holds, the smallest a file can store too: the
    // dialog shows no port chosen.
    values.port = quorlink::settings::PortSettings{300, 9, INT32_MIN};
    FakeWindow& odd = start();
    int shownIndex = 0;
    odd.setComFace.whileShown = [&] {
        shownIndex = odd.setCom.ComboBoxCom.ItemIndex();
        odd.setCom.CloseRequested();
    };
    odd.form.Click(MenuItem::Port1);
    EXPECT_EQ(shownIndex, -1);
}

TEST_F(Window, shouldStoreAndReopenOnlyWhenTheDialogIsConfirmed)
{
    PtyDevice device;
    storePort(device.path());
    FakeWindow& w = start();
    ASSERT_TRUE(w.form.link().isOpen());

    // Storno, Esc and the close box change nothing.
    w.setComFace.whileShown = [&] {
        w.setCom.ComboBoxCom.TextTyped(u"COM3", 4);
        w.setCom.ButtonClick(DialogControl::Button1);
    };
    w.form.Click(MenuItem::Port1);
    w.setComFace.whileShown = [&] {
        w.setCom.KeyDown(DialogControl::EditTimeOut, Key::Escape, {});
    };
    w.form.Click(MenuItem::Port1);
    w.setComFace.whileShown = [&] { w.setCom.CloseRequested(); };
    w.form.Click(MenuItem::Port1);
    EXPECT_EQ(values.port->ComPortIndex, 1);
    EXPECT_EQ(w.form.ComPortIndex, 1);
    EXPECT_TRUE(w.form.link().isOpen());

    // The dialog shows the fields; "Ok" takes them back, stores and reopens.
    w.setComFace.whileShown = [&] {
        EXPECT_EQ(w.baudFace.shown, u"9600");
        EXPECT_EQ(w.comFace.shown, u"COM1");
        EXPECT_EQ(w.spinFace.shown, u"300");
        w.setCom.ComboBoxBaud.TextTyped(u"11", 2);
        w.spinFace.shown = u"3000";
        w.setCom.EditTimeOut.FocusLeft();
        w.setCom.ButtonClick(DialogControl::Button2);
    };
    w.form.Click(MenuItem::Port1);
    EXPECT_EQ(values.port->BaudRateIndex, 16);
    EXPECT_EQ(values.port->TimeOut, 2000);
    EXPECT_EQ(values.port->ComPortIndex, 1);
    EXPECT_EQ(panel(3), u"Port COM1 otevřen");

    // A write that fails: the error display, and the port stays as it was.
    values.failingValue = "TimeOut";
    w.setComFace.whileShown = [&] {
        w.setCom.ComboBoxCom.TextTyped(u"7", 1);
        w.setCom.KeyDown(DialogControl::ComboBoxCom, Key::Enter, {});
    };
    w.form.Click(MenuItem::Port1);
    ASSERT_EQ(w.face.boxes.size(), 1u);
    EXPECT_EQ(w.face.boxes[0].icon, BoxIcon::Stop);
    EXPECT_EQ(w.face.boxes[0].caption, u"Quorlink");
    EXPECT_EQ(w.face.boxes[0].text, u"Failed to set data for 'TimeOut'");
    EXPECT_EQ(w.form.ComPortIndex, 0);
    EXPECT_TRUE(w.form.link().isOpen());

    // Confirmed with no port chosen: 0 is stored and the open fails.
    values.failingValue.clear();
    w.form.Click(MenuItem::Port1);
    EXPECT_EQ(w.form.ComPortIndex, 0);
    w.setComFace.whileShown = [&] { w.setCom.ButtonClick(DialogControl::Button2); };
    w.form.Click(MenuItem::Port1);
    EXPECT_EQ(values.port->ComPortIndex, 0);
    EXPECT_EQ(w.face.boxes.back().text, u"Nelze otevrit COM");
    EXPECT_EQ(panel(3), u"Port uzavřen");
    EXPECT_FALSE(w.form.link().isOpen());
}

TEST_F(Window, shouldRunStopOnEscAndCloseOnlyOnceTheRunHasReturned)
{
    PtyDevice device;
    device.replyWith("OK");
    storePort(device.path());
    FakeWindow& w = start();
    w.memo1.setText(u"A\r\nB\r\nC\r\nD\r\n");
    w.form.Memo1Change();
    EXPECT_EQ(panel(0), u"4");

    // Esc on the tabs does not count; in a pane in the third exchange it
    // does, and the run stops after that exchange.  Keys go on unchanged.
    w.face.script[2] = [&] {
        char16_t esc = 27;
        w.form.KeyPress(WindowControl::TabbedNotebook1, esc);
        EXPECT_FALSE(w.form.StopRequested);
        for (const WindowControl control : {WindowControl::Form1, WindowControl::Memo1}) {
            char16_t letter = u'x';
            w.form.KeyPress(control, letter);
            EXPECT_EQ(letter, u'x');
        }
        EXPECT_FALSE(w.form.StopRequested);
    };
    w.face.script[3] = [&] {
        char16_t esc = 27;
        w.form.KeyPress(WindowControl::Memo2, esc);
        EXPECT_EQ(esc, 27);
    };
    w.form.Click(MenuItem::Odeslat1);
    EXPECT_EQ(device.lines(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(w.memo2.text(), u"OK\r\nOK\r\nOK\r\n");
    EXPECT_EQ(panel(1), u"3");
    EXPECT_EQ(panel(2), u"3");
    EXPECT_EQ(panel(3), u"Přenos přerušen");

    // The close box during a run: the window stays until the run is done,
    // then closes, the option stored once.
    device.clearReceived();
    w.face.script[5] = [&] {
        EXPECT_FALSE(w.form.CloseQuery());
        EXPECT_EQ(w.face.closes, 0);
    };
    w.form.Click(MenuItem::SendEndOfFile);
    w.form.Click(MenuItem::Odeslat1);
    // Four lines, then the end-of-file bytes.
    device.waitForBytes(15, 2s);
    EXPECT_EQ(device.lines(), (std::vector<std::string>{"A", "B", "C", "D", std::string(1, '\0')}));
    EXPECT_EQ(panel(3), u"Konec přenosu");
    EXPECT_EQ(w.face.closes, 1);
    EXPECT_EQ(values.sendEndFile, true);

    // Esc on the window itself counts as well.
    char16_t esc = 27;
    w.form.StopRequested = false;
    w.form.KeyPress(WindowControl::Form1, esc);
    EXPECT_TRUE(w.form.StopRequested);

    // Konec in a run: the port closes, the rest is skipped, then it closes.
    FakeWindow& again = start();
    again.memo1.setText(u"A\r\nB\r\nC\r\n");
    again.face.script[1] = [&] { again.form.Click(MenuItem::Konec1); };
    again.form.Click(MenuItem::Odeslat1);
    EXPECT_EQ(again.face.pumps, 1);
    EXPECT_EQ(panel(3), u"Konec přenosu");
    EXPECT_EQ(again.face.closes, 1);
    EXPECT_FALSE(again.form.link().isOpen());
}

// Tab goes from a pane to the tabs and from there (or from the window
// itself) into the shown page's pane; Ctrl+Tab, Ctrl+PgDn and their reverses
// turn the pages round, the focus going into the page's pane.
TEST_F(Window, shouldMoveBetweenPaneAndTabsAndTurnPagesFromTheKeyboard)
{
    FakeWindow& w = start();
    const Modifiers none, shift{true, false, false}, ctrl{false, true, false};
    const WindowControl tabs = WindowControl::TabbedNotebook1;
    const std::tuple<WindowControl, Key, Modifiers, WindowControl, int> steps[] = {
        {WindowControl::Memo1, Key::Tab, none, tabs, 0},
        {tabs, Key::Tab, shift, WindowControl::Memo1, 0},
        {tabs, Key::Tab, ctrl, WindowControl::Memo2, 1},
        {WindowControl::Memo2, Key::Tab, shift, tabs, 1},
        {WindowControl::Form1, Key::Tab, none, WindowControl::Memo2, 1},
        {WindowControl::Memo2, Key::Tab, ctrl, WindowControl::Memo1, 0},
        {WindowControl::Memo1, Key::PageUp, ctrl, WindowControl::Memo2, 1},
        {WindowControl::Memo2, Key::PageDown, ctrl, WindowControl::Memo1, 0},
        {WindowControl::Memo1, Key::Tab, Modifiers{true, true, false}, WindowControl::Memo2, 1},
    };
    for (const auto& [from, key, modifiers, focus, page] : steps) {
        EXPECT_TRUE(w.form.KeyDown(from, key, modifiers));
        EXPECT_EQ(std::pair(*w.face.focus, w.face.page), std::pair(focus, page));
    }
    // Keys that are not the window's go on to the control.
    for (const auto& [key, modifiers] : {std::pair{Key::Tab, Modifiers{false, false, true}},
                                         {Key::PageDown, none},
                                         {Key::Left, ctrl}})
        EXPECT_FALSE(w.form.KeyDown(WindowControl::Memo1, key, modifiers));
    EXPECT_EQ(std::pair(*w.face.focus, w.face.page), std::pair(WindowControl::Memo2, 1));
}

TEST_F(Window, shouldShowAMissingReplyUntilTheRunEnds)
{
    PtyDevice device;
    device.silent();
    storePort(device.path());
    FakeWindow& w = start();
    w.memo1.setText(u"A\r\nB");
    std::u16string afterFirst;
    w.face.script[1] = [&] { afterFirst = panel(3); };
    w.form.Click(MenuItem::Odeslat1);
    EXPECT_EQ(afterFirst, u"Zařízení neodpovídá");
    EXPECT_EQ(panel(1), u"2");
    EXPECT_EQ(panel(2), u"0");
    EXPECT_EQ(panel(3), u"Konec přenosu");
}

// A device that does not answer: every exchange may wait, so what was set
// before it is shown first, in a nested run too; the end of the outermost
// run shows the rest, and the face holds its changes only until then.
TEST_F(Window, shouldHoldTheScreenFromTheStartOfTheOutermostRunToItsEnd)
{
    PtyDevice device;
    device.silent();
    storePort(device.path());
    values.port->TimeOut = 5;
    FakeWindow& w = start();
    w.memo1.setText(u"A\r\nB\r\n");
    EXPECT_FALSE(w.form.frames().holding());
    std::vector<std::pair<int, bool>> shownAndHolding;
    const auto record = [&] {
        shownAndHolding.emplace_back(w.face.shownNow, w.form.frames().holding());
    };
    w.face.script[1] = [&] {
        record();
        w.form.Click(MenuItem::Odeslat1);
        record();
    };
    w.face.script[2] = record;
    w.form.Click(MenuItem::Odeslat1);
    EXPECT_EQ(shownAndHolding,
              (std::vector<std::pair<int, bool>>{{1, true}, {2, true}, {3, true}}));
    EXPECT_EQ(w.face.shownNow, 5);
    EXPECT_FALSE(w.form.frames().holding());
    EXPECT_EQ(device.lines(), (std::vector<std::string>{"A", "A", "B", "B"}));
}

// Between exchanges the held changes are shown once a frame has passed;
// held while no exchange comes (a dialog during the run), by the frame's
// end.
TEST(FramePacing, shouldShowHeldChangesOncePerFrame)
{
    FakeWindowFace face;
    face.refresh = 50.0; // 20 ms a frame
    FramePacing frames(face);
    frames.changeHeld();
    EXPECT_FALSE(face.timer.due); // nothing is held outside a run

    frames.runStarted();
    frames.betweenExchanges(); // the first frame is due at once
    EXPECT_EQ(face.shownNow, 1);
    face.clock.now += 19;
    frames.betweenExchanges();
    frames.changeHeld();
    EXPECT_EQ(face.shownNow, 1);
    EXPECT_EQ(face.timer.due, 1);
    face.clock.now += 1;
    frames.betweenExchanges();
    EXPECT_EQ(face.shownNow, 2);
    EXPECT_FALSE(face.timer.due);

    // The timer shows them; one that runs out early waits for the rest.
    face.clock.now += 5;
    frames.changeHeld();
    frames.changeHeld();
    EXPECT_EQ(face.timer.due, 15);
    face.clock.now += 14;
    face.timer.due.reset();
    frames.timerExpired();
    EXPECT_EQ(face.shownNow, 2);
    EXPECT_EQ(face.timer.due, 1);
    face.clock.now += 1;
    face.timer.due.reset();
    frames.timerExpired();
    EXPECT_EQ(face.shownNow, 3);

    // Shown at once, the next frame counts from there; without a rate the
    // screen has 60 Hz.
    face.refresh = 0.0;
    face.clock.now += 3;
    frames.showNow();
    EXPECT_EQ(face.shownNow, 4);
    face.clock.now += 16;
    frames.betweenExchanges();
    EXPECT_EQ(face.shownNow, 4);
    face.clock.now += 1;
    frames.betweenExchanges();
    EXPECT_EQ(face.shownNow, 5);
    frames.runEnded();
    EXPECT_EQ(face.shownNow, 6);
    EXPECT_FALSE(frames.holding());
}

TEST_F(Window, shouldLoadAndSaveFilesAndShowWhatFails)
{
    const fs::path dir =
        fs::temp_directory_path() / ("quorlink-window-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "source.txt", std::ios::binary) << "one\ntwo\rthree\r\n";
    values.codePage = "UTF-8";
    FakeWindow& w = start();

    w.face.openAnswers = {dir / "source.txt", std::nullopt, dir / "missing.txt"};
    w.form.Click(MenuItem::Otevtzdroj1);
    EXPECT_EQ(w.memo1.text(), u"one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(panel(0), u"3");
    EXPECT_EQ(w.face.caption, (dir / "source.txt").u16string());
    w.form.Click(MenuItem::Otevtzdroj1); // cancelled
    w.form.Click(MenuItem::Otevtzdroj1); // missing
    ASSERT_EQ(w.face.boxes.size(), 1u);
    EXPECT_EQ(w.face.boxes[0].text.rfind(
                  u"Cannot open file \"" + (dir / "missing.txt").u16string() + u"\". ", 0),
              0u);
    EXPECT_EQ(w.face.boxes[0].text.back(), u'.');
    EXPECT_EQ(w.face.caption, (dir / "source.txt").u16string());
    EXPECT_EQ(panel(0), u"3");

    w.memo2.appendLine(u"R1");
    w.memo2.appendLine(u"Ř2");
    w.face.saveAnswers = {dir / "result.txt"};
    w.form.Click(MenuItem::Uloitvsledek1);
    std::ifstream saved(dir / "result.txt", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_EQ(bytes, "\xEF\xBB\xBFR1\r\n\xC5\x98"
                     "2\r\n");

    w.form.Click(MenuItem::ClearSource);
    EXPECT_EQ(panel(0), u"0");
    fs::remove_all(dir);

    // A stored code page the system does not know leaves the system's.
    values.codePage = "x-no-such-code-page";
    EXPECT_EQ(start().form.codePage().name(), quorlink::transfer::CodePage::system().name());
}

TEST(ErrorDisplay, shouldTitleByExecutableAndShowInnermostMessageWithPeriod)
{
    using quorlink::window::applicationTitle;
    using quorlink::window::errorDisplayText;
    using quorlink::window::exceptionMessage;
    EXPECT_EQ(applicationTitle(u"C:\\Program Files\\QUOR.LINK.exe"), u"Quor");
    EXPECT_EQ(applicationTitle(u"/usr/bin/quorlink"), u"quorlink");
    EXPECT_EQ(applicationTitle(u"/opt/ŘÍDICÍ.exe"), u"Řídicí");
    EXPECT_EQ(errorDisplayText(u"Stream write error"), u"Stream write error.");
    EXPECT_EQ(errorDisplayText(u"Done."), u"Done.");
    EXPECT_EQ(errorDisplayText(u"ends with -"), u"ends with -");
    EXPECT_EQ(errorDisplayText(u""), u"");
    try {
        try {
            throw std::runtime_error("inner \xC5\x99");
        } catch (...) {
            std::throw_with_nested(std::runtime_error("outer"));
        }
    } catch (...) {
        EXPECT_EQ(exceptionMessage(std::current_exception()), u"inner ř");
    }
    EXPECT_EQ(exceptionMessage(std::make_exception_ptr(42)), u"");
}

} // namespace
