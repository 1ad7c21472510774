// The main window: start-up, menu, keys, runs and closing.

#include "filesizelimit.h"
#include "ptydevice.h"
#include "test_app_support.h"

#include "portdialog.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <atomic>

using quorlink::qtface::testing::AppTest;
using quorlink::testing::PtyDevice;

namespace {

QString panel(MainWindow& form, int index)
{
    return QString::fromStdU16String(form.panelText(index));
}

// Settings naming COM1 as the pseudo-terminal of `device`.
QByteArray portSettings(const std::string& device, const char* extra = "")
{
    return QByteArray("[General]\nCodePage=UTF-8\nTimeOut=300\nBaudRateIndex=9\nComPortIndex=1\n") +
           extra + "\n[Ports]\nCOM1=" + QByteArray::fromStdString(device) + "\n";
}

class StartUp : public AppTest
{};

TEST_F(StartUp, shouldOpenStoredPortBeforeTheWindowShows)
{
    PtyDevice device;
    writeSettings(portSettings(device.path(), "SendEndFile=1"));
    auto form = start();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(panel(*form, 3), u"Port COM1 otevřen");
    EXPECT_TRUE(form->action(MenuItem::Odeslat1)->isEnabled());
    EXPECT_TRUE(form->form().link().isOpen());
    EXPECT_TRUE(form->action(MenuItem::SendEndOfFile)->isChecked());
    EXPECT_EQ(form->form().TimeOut, 300);
    EXPECT_EQ(form->form().BaudRateIndex, 9);
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

TEST_F(StartUp, shouldIgnoreQtOptionsOnTheCommandLine)
{
    auto probed = runProbe({QStringLiteral("arguments"), QStringLiteral("-reverse"),
                            QStringLiteral("-qwindowtitle"), QStringLiteral("Foo")});
    EXPECT_EQ(probed["direction"], u"left-to-right");
    EXPECT_EQ(probed["caption"], u"Terminal");
}

class Window : public AppTest
{};

TEST_F(Window, shouldOfferTheMenuTreeWithCaptionsNamesAndShortcuts)
{
    auto form = start();
    QMenuBar* bar = form->menuBar();
    EXPECT_EQ(bar->objectName(), u"MainMenu1");

    QStringList tree;
    for (QAction* menuAction : bar->actions()) {
        tree << menuAction->menu()->objectName() + u'=' + menuAction->text();
        for (QAction* item : menuAction->menu()->actions()) {
            tree << QStringLiteral("  ") + item->objectName() + u'=' + item->text() + u'|' +
                        item->shortcut().toString() +
                        (item->isSeparator() ? QStringLiteral("|-") : QString()) +
                        (item->isCheckable() ? QStringLiteral("|check") : QString());
        }
    }
    EXPECT_EQ(tree.join(u'\n'), QStringLiteral("Soubor1=Soubor\n"
                                               "  Otevtzdroj1=Otevřít zdroj|Ctrl+O\n"
                                               "  Uloitvsledek1=Uložit výsledek|Ctrl+S\n"
                                               "  N1=||-\n"
                                               "  Konec1=Konec|Ctrl+X\n"
                                               "Funkce1=Funkce\n"
                                               "  Odeslat1=Odeslat|F6\n"
                                               "  ClearSource=Smazat zdrojová data|\n"
                                               "  ClearReceived=Smazat přijatá data|\n"
                                               "Nastaven1=Nastavení\n"
                                               "  Port1=Port|F9\n"
                                               "  SendEndOfFile=Poslat znaky konce souboru "
                                               "[0,CR,LF]||check"));
}

TEST_F(Window, shouldLayOutPanesAndStatusBarAsDesigned)
{
    auto form = start();
    form->show();
    QApplication::processEvents();
    auto* tabs = form->findChild<QTabWidget*>(QStringLiteral("TabbedNotebook1"));
    ASSERT_EQ(tabs, form->TabbedNotebook1);
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), u"Zdrojová data");
    EXPECT_EQ(tabs->tabText(1), u"Přijatá data");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(tabs->widget(0)->isAncestorOf(form->Memo1));
    EXPECT_TRUE(tabs->widget(1)->isAncestorOf(form->Memo2));
    EXPECT_EQ(form->Memo1->objectName(), u"Memo1");
    EXPECT_EQ(form->Memo2->objectName(), u"Memo2");
    for (auto* memo : {form->Memo1, form->Memo2}) {
        EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_FALSE(memo->isReadOnly());
    }

    // The client area below the menu bar: 635 x 216, the status bar 24 of it.
    EXPECT_EQ(form->width(), 635);
    EXPECT_EQ(form->StatusBar1->height(), 24);
    EXPECT_EQ(form->height() - form->menuBar()->height(), 216);
    EXPECT_EQ(tabs->height(), 192);

    // The panels side by side from the bar's left edge, without gaps.
    const auto panels = form->StatusBar1->findChildren<QLabel*>();
    ASSERT_EQ(panels.size(), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(panels[i]->x(), 50 * i);
        EXPECT_EQ(panels[i]->width(), 50);
        EXPECT_EQ(panels[i]->alignment(), Qt::AlignCenter);
    }
    EXPECT_EQ(panels[3]->x(), 150);
    EXPECT_TRUE(panels[3]->alignment() & Qt::AlignLeft);
    EXPECT_GT(panels[3]->width(), 440);
    EXPECT_EQ(form->font().pointSize(), 8);
}

TEST_F(Window, shouldCountSourceLinesAtEveryEditButNotReceivedOnes)
{
    auto form = start();
    showActive(*form);
    // Typed at once: the source pane has the focus from the start.
    EXPECT_EQ(QApplication::focusWidget(), form->Memo1);
    QTest::keyClicks(nullptr, QStringLiteral("AT"));
    EXPECT_EQ(panel(*form, 0), u"1");
    QTest::keyClick(form->Memo1, Qt::Key_Return);
    EXPECT_EQ(panel(*form, 0), u"1"); // a final line break starts no line
    QTest::keyClicks(form->Memo1, QStringLiteral("I"));
    EXPECT_EQ(panel(*form, 0), u"2");

    form->setPanelText(2, u"7");
    form->Memo2->setPlainText(QStringLiteral("a\nb\nc"));
    EXPECT_EQ(panel(*form, 0), u"2");
    form->form().ClearReceivedClick();
    EXPECT_EQ(form->Memo2->lineCount(), 0);
    EXPECT_EQ(panel(*form, 2), u"7");

    form->form().ClearSourceClick();
    EXPECT_EQ(panel(*form, 0), u"0");
    EXPECT_EQ(form->Memo1->lineCount(), 0);
}

TEST_F(Window, shouldToggleEndOfFileOptionAndStoreItWhenClosedByCloseBox)
{
    auto form = start();
    form->show();
    form->form().SendEndOfFileClick();
    EXPECT_TRUE(form->action(MenuItem::SendEndOfFile)->isChecked());
    EXPECT_FALSE(settingsText().contains(u"SendEndFile")); // nothing stored yet
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(settingsText().contains(u"SendEndFile=1"));

    auto again = start();
    EXPECT_TRUE(again->action(MenuItem::SendEndOfFile)->isChecked());
    again->form().SendEndOfFileClick();
    again->close();
    EXPECT_TRUE(settingsText().contains(u"SendEndFile=0"));
}

TEST_F(Window, shouldRunKonecInsteadOfCuttingOnCtrlXInAPane)
{
    PtyDevice device;
    writeSettings(portSettings(device.path()));
    auto form = start();
    showActive(*form);
    form->Memo1->setPlainText(QStringLiteral("nevyjímat"));
    form->Memo1->setFocus();
    form->Memo1->selectAll();
    QTest::keyClick(form->Memo1, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(form->Memo1->toPlainText(), u"nevyjímat");
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->form().link().isOpen());
    EXPECT_TRUE(settingsText().contains(u"SendEndFile=0"));
}

TEST_F(Window, shouldSetStopRequestedByEscInPaneOrWindowButNotOnTabBar)
{
    auto form = start();
    showActive(*form);

    QTabBar* tabBar = form->TabbedNotebook1->tabBar();
    tabBar->setFocus();
    QTest::keyClick(tabBar, Qt::Key_Escape);
    EXPECT_FALSE(form->form().StopRequested);

    form->TabbedNotebook1->setCurrentIndex(1);
    form->Memo2->setFocus();
    QTest::keyClick(form->Memo2, Qt::Key_Escape);
    EXPECT_TRUE(form->form().StopRequested);
    EXPECT_EQ(form->TabbedNotebook1->currentIndex(), 1);

    form->form().StopRequested = false;
    form->setFocus();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->form().StopRequested);
}

// Keys as the keyboard sends them, through the window: Tab leaves a pane
// for the tabs without typing a tab and comes back; Ctrl+Tab and Ctrl+PgUp
// turn the page with the focus in its pane; a clicked tab keeps the focus
// until Tab.  Esc counts in a pane, not on the tabs.
TEST_F(Window, shouldLeaveAPaneWithTabAndTurnPagesWithCtrlTab)
{
    auto form = start();
    showActive(*form);
    QTRY_COMPARE(QGuiApplication::focusWindow(), form->windowHandle());
    QTabBar* tabs = form->TabbedNotebook1->tabBar();
    std::vector<std::pair<QWidget*, int>> visited;
    const auto record = [&] {
        visited.emplace_back(QApplication::focusWidget(), form->TabbedNotebook1->currentIndex());
    };
    QTest::keyClicks(static_cast<QWidget*>(nullptr), QStringLiteral("ab"));
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Tab, Qt::KeyboardModifiers{}},
                                         {Qt::Key_Tab, {}},
                                         {Qt::Key_Backtab, Qt::ShiftModifier},
                                         {Qt::Key_Escape, {}},
                                         {Qt::Key_Tab, Qt::ControlModifier},
                                         {Qt::Key_PageUp, Qt::ControlModifier}}) {
        QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
        record();
    }
    EXPECT_FALSE(form->form().StopRequested);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
    EXPECT_TRUE(form->form().StopRequested);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    record();
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
    record();
    EXPECT_EQ(form->Memo1->toPlainText(), u"ab");
    QWidget* memo1 = form->Memo1;
    const std::vector<std::pair<QWidget*, int>> expected{{tabs, 0}, {memo1, 0},       {tabs, 0},
                                                         {tabs, 0}, {form->Memo2, 1}, {memo1, 0},
                                                         {tabs, 1}, {form->Memo2, 1}};
    EXPECT_EQ(visited, expected);
}

class Run : public AppTest
{
protected:
    // The window, shown, on a device that echoes every line at once, with
    // the numbers 1 to `lines` in the source pane.
    std::unique_ptr<MainWindow> startFastRun(PtyDevice& device, int lines)
    {
        device.echo();
        writeSettings(portSettings(device.path()));
        auto form = start();
        showActive(*form);
        QStringList source;
        for (int line = 1; line <= lines; ++line)
            source << QString::number(line);
        form->Memo1->setPlainText(source.join(u'\n'));
        return form;
    }
};

TEST_F(Run, shouldRunTransferOnF6AndCollectEveryReply)
{
    PtyDevice device;
    device.respond(
        [](const std::string& line) { return std::vector<std::string>{"re:" + line + "\r\n"}; });
    writeSettings(portSettings(device.path(), "SendEndFile=1"));
    auto form = start();
    showActive(*form);
    form->Memo1->setPlainText(QStringLiteral("AT\nžluť\n\nATZ"));
    form->Memo1->setFocus();
    QTest::keyClick(form->Memo1, Qt::Key_F6);

    EXPECT_EQ(form->Memo2->text(), u"re:AT\r\nre:žluť\r\nre:\r\nre:ATZ\r\n");
    EXPECT_EQ(panel(*form, 1), u"4");
    EXPECT_EQ(panel(*form, 2), u"4");
    EXPECT_EQ(panel(*form, 3), u"Konec přenosu");
    ASSERT_TRUE(device.waitForBytes(22, std::chrono::seconds(2)));
    EXPECT_EQ(device.received(), std::string("AT\r\n\xC5\xBElu\xC5\xA5\r\n\r\nATZ\r\n\0\r\n", 22));
    EXPECT_EQ(form->TabbedNotebook1->currentIndex(), 0); // the run switches no page
}

// A lone CR inside a reply stays in the reply: one line of the received pane,
// saved as the device sent it.
TEST_F(Run, shouldKeepLoneCarriageReturnsOfRepliesInPaneAndSavedFile)
{
    PtyDevice device;
    device.respond([](const std::string& line) {
        return std::vector<std::string>{line == "1" ? "A\rB\r\n" : "OK\r\r\n"};
    });
    writeSettings(portSettings(device.path()));
    auto form = start();
    showActive(*form);
    form->Memo1->setPlainText(QStringLiteral("1\n2"));
    form->action(MenuItem::Odeslat1)->trigger();
    EXPECT_EQ(panel(*form, 2), u"2");
    EXPECT_EQ(form->Memo2->lineCount(), 2);
    EXPECT_EQ(form->Memo2->line(0), u"A\rB");
    m_dialogs.saveAnswers = {path("výsledek.txt")};
    form->action(MenuItem::Uloitvsledek1)->trigger();
    QFile saved(path("výsledek.txt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("\xEF\xBB\xBF" // UTF-8 is saved with its mark
                                          "A\rB\r\nOK\r\r\n"));
}

TEST_F(Run, shouldStopAfterTheExchangeDuringWhichEscWasPressed)
{
    PtyDevice device;
    writeSettings(portSettings(device.path(), "SendEndFile=1"));
    auto form = start();
    showActive(*form);
    QWidget* memo = form->Memo1;
    // The device presses Esc while it handles the third line; the key is
    // handled at the next processMessages of the run.
    device.respond([memo](const std::string& line) {
        if (line == "3") {
            QCoreApplication::postEvent(
                memo, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b"));
        }
        return std::vector<std::string>{"ok" + line + "\r\n"};
    });
    form->Memo1->setPlainText(QStringLiteral("1\n2\n3\n4\n5"));
    form->Memo1->setFocus();
    QTest::keyClick(form->Memo1, Qt::Key_F6);

    EXPECT_EQ(form->Memo2->text(), u"ok1\r\nok2\r\nok3\r\n");
    EXPECT_EQ(panel(*form, 1), u"3");
    EXPECT_EQ(panel(*form, 3), u"Přenos přerušen");
    EXPECT_EQ(device.lines(), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(device.received().find('\0'), std::string::npos); // no end-of-file bytes
}

class HideWatch : public QObject
{
public:
    HideWatch(QWidget& window, const PtyDevice& device) : m_device(device)
    {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && linesWhenHidden < 0)
            linesWhenHidden = static_cast<int>(m_device.lines().size());
        return false;
    }
    int linesWhenHidden = -1;

private:
    const PtyDevice& m_device;
};

// Closing the window (close box, Alt+F4) during a run keeps it on screen
// until the run has returned, Esc still stopping the run; then it closes.
TEST_F(Run, shouldKeepWindowUntilTheRunReturnsWhenClosedDuringIt)
{
    PtyDevice device;
    writeSettings(portSettings(device.path(), "SendEndFile=1"));
    auto form = start();
    showActive(*form);
    MainWindow* window = form.get();
    QWidget* memo = form->Memo1;
    device.respond([window, memo](const std::string& line) {
        if (line == "2")
            QMetaObject::invokeMethod(
                window, [window] { window->close(); }, Qt::QueuedConnection);
        // The key event is made on the window's thread, where Qt keeps its
        // keyboard device.
        if (line == "3")
            QMetaObject::invokeMethod(
                memo, [memo] { QTest::keyClick(memo, Qt::Key_Escape); }, Qt::QueuedConnection);
        return std::vector<std::string>{"ok" + line + "\r\n"};
    });
    HideWatch watch(*form, device);
    form->Memo1->setPlainText(QStringLiteral("1\n2\n3\n4"));
    form->Memo1->setFocus();
    form->action(MenuItem::Odeslat1)->trigger();

    EXPECT_EQ(device.lines(), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(watch.linesWhenHidden, 3);
    EXPECT_EQ(panel(*form, 3), u"Přenos přerušen");
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(settingsText().contains(u"SendEndFile=1"));
}

// Records when the status panels and the received pane were painted, and
// what they showed.
class PaintWatch : public QObject
{
public:
    struct Paint
    {
        qint64 ms;
        QString what;
    };

    explicit PaintWatch(MainWindow& form) : m_form(form)
    {
        clock.start();
        for (QLabel* panel : form.StatusBar1->findChildren<QLabel*>())
            panel->installEventFilter(this);
        form.Memo2->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (auto* panel = qobject_cast<QLabel*>(watched))
            paints.push_back({clock.elapsed(), panel->objectName() + u'=' + panel->text()});
        else
            paints.push_back(
                {clock.elapsed(), QStringLiteral("Memo2=%1").arg(m_form.Memo2->lineCount())});
        return false;
    }
    // When `what` was first painted, or -1.
    qint64 firstPainted(const QString& what) const
    {
        for (const Paint& paint : paints) {
            if (paint.what == what)
                return paint.ms;
        }
        return -1;
    }

    QElapsedTimer clock;
    std::vector<Paint> paints;

private:
    MainWindow& m_form;
};

// What was set before an exchange is on the screen while that exchange
// waits: two replies come at once, the third line is not answered.
TEST_F(Run, shouldShowEverythingSetBeforeAnExchangeWhileItWaits)
{
    PtyDevice device;
    writeSettings("[General]\nCodePage=UTF-8\nTimeOut=1000\nBaudRateIndex=9\nComPortIndex=1\n"
                  "[Ports]\nCOM1=" +
                  QByteArray::fromStdString(device.path()) + "\n");
    auto form = start();
    showActive(*form);
    form->TabbedNotebook1->setCurrentIndex(1);
    QApplication::processEvents();
    PaintWatch watch(*form);
    std::atomic<qint64> thirdSentAt{-1};
    device.respond([&watch, &thirdSentAt](const std::string& line) {
        if (line == "3") {
            thirdSentAt = watch.clock.elapsed();
            return std::vector<std::string>{};
        }
        return std::vector<std::string>{line == "1" ? "A\r\n" : "B\r\n"};
    });
    form->Memo1->setPlainText(QStringLiteral("1\n2\n3"));
    form->action(MenuItem::Odeslat1)->trigger();

    ASSERT_GE(thirdSentAt, 0);
    for (const char* what : {"Panel1=3", "Panel2=2", "Memo2=2"}) {
        const qint64 painted = watch.firstPainted(QString::fromLatin1(what));
        EXPECT_GE(painted, 0) << what;
        // Well before the time-out ends; on an idle machine within a few ms.
        EXPECT_LT(painted, thirdSentAt + 250)
            << what << " painted " << painted - thirdSentAt << " ms after the third line went out";
        RecordProperty(std::string(what) + " ms", static_cast<int>(painted - thirdSentAt));
    }
    EXPECT_EQ(panel(*form, 3), u"Konec přenosu");
}

// A device that answers at once: the run's progress is painted once per
// frame of the screen, not once per line, and its end at once.
TEST_F(Run, shouldPaintAFastRunOncePerFrameAndItsEndAtOnce)
{
    PtyDevice device;
    auto form = startFastRun(device, 400);
    form->TabbedNotebook1->setCurrentIndex(1);
    QApplication::processEvents();
    PaintWatch watch(*form);
    form->action(MenuItem::Odeslat1)->trigger();
    const qint64 ms = watch.clock.elapsed();

    EXPECT_EQ(form->Memo2->lineCount(), 400);
    // Painted before the window went back to its event loop.
    EXPECT_GE(watch.firstPainted(QStringLiteral("Panel1=400")), 0);
    EXPECT_GE(watch.firstPainted(QStringLiteral("Panel3=Konec přenosu")), 0);
    EXPECT_GE(watch.firstPainted(QStringLiteral("Memo2=400")), 0);
    const auto panelPaints =
        std::count_if(watch.paints.begin(), watch.paints.end(), [](const PaintWatch::Paint& paint) {
            return paint.what.startsWith(u"Panel1=");
        });
    // 60 frames a second on the offscreen screen; a reply that is late on a
    // busy machine is painted for at once, which adds a few.
    EXPECT_LT(panelPaints, 100) << "in " << ms << " ms";
    RecordProperty("panel 1 paints", static_cast<int>(panelPaints));
    RecordProperty("run ms", static_cast<int>(ms));
}

// The panels' labels follow a fast run once per frame, yet what the window
// reads back of them between two exchanges is always the latest text.
TEST_F(Run, shouldReadEachPanelsLatestTextBetweenExchangesAndShowItAtTheEnd)
{
    PtyDevice device;
    auto form = startFastRun(device, 300);
    QApplication::processEvents();
    std::vector<std::pair<QString, QString>> seen; // panels 1 and 2
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout,
                     [&] { seen.emplace_back(panel(*form, 1), panel(*form, 2)); });
    probe.start(0);
    form->action(MenuItem::Odeslat1)->trigger();
    probe.stop();

    // Between two exchanges line i has been sent and its reply collected.
    ASSERT_GT(seen.size(), 10u);
    int last = 0;
    for (const auto& [line, replies] : seen) {
        EXPECT_EQ(line, replies);
        EXPECT_GT(line.toInt(), last);
        last = line.toInt();
    }
    EXPECT_EQ(seen.back().first, u"300");
    const auto labels = form->statusBar()->findChildren<QLabel*>();
    QStringList shown;
    for (const QLabel* label : labels)
        shown << label->text();
    EXPECT_TRUE(shown.contains(QStringLiteral("300")) && shown.contains(u"Konec přenosu"))
        << shown.join(u'|').toStdString();
    EXPECT_EQ(panel(*form, 1), u"300");
}

TEST_F(Run, shouldNotRunOnF6WhileNoPortIsOpen)
{
    auto form = start();
    showActive(*form);
    form->Memo1->setPlainText(QStringLiteral("AT"));
    form->Memo1->setFocus();
    QTest::keyClick(form->Memo1, Qt::Key_F6);
    EXPECT_EQ(panel(*form, 3), u"");
    EXPECT_EQ(panel(*form, 1), u"0");
}

class PortCommand : public AppTest
{
protected:
    // Answers the next modal dialog: sets it up with `fill` and closes it
    // with `result`.
    void answerDialog(std::function<void(quorlink::qtface::PortDialog&)> fill, int result)
    {
        QTimer::singleShot(0, [fill, result] {
            auto* dialog =
                qobject_cast<quorlink::qtface::PortDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            fill(*dialog);
            dialog->done(result);
        });
    }
};

TEST_F(PortCommand, shouldStoreAndOpenPortWhenDialogIsConfirmed)
{
    PtyDevice device;
    writeSettings(QByteArray("[Ports]\nCOM2=") + QByteArray::fromStdString(device.path()) + "\n");
    auto form = start();
    answerDialog(
        [](quorlink::qtface::PortDialog& dialog) {
            dialog.core().ComboBoxCom.setItemIndex(1);
            dialog.core().ComboBoxBaud.setItemIndex(16);
            dialog.core().EditTimeOut.SetValue(500);
        },
        quorlink::window::TSetCom::ResultOk);
    form->form().Port1Click();
    EXPECT_EQ(form->form().ComPortIndex, 2);
    EXPECT_EQ(form->form().BaudRateIndex, 16);
    EXPECT_EQ(form->form().TimeOut, 500);
    EXPECT_EQ(panel(*form, 3), u"Port COM2 otevřen");
    EXPECT_TRUE(form->action(MenuItem::Odeslat1)->isEnabled());
    EXPECT_TRUE(settingsText().contains(u"ComPortIndex=2"));
}

// The open failure after the dialog closed is owned by the window, so that it
// shows over it and blocks it.
TEST_F(PortCommand, shouldOwnOpenFailureBoxByTheWindowAfterTheDialogClosed)
{
    writeSettings("[Ports]\nCOM1=/dev/quorlink-no-such-device\n");
    auto form = start();
    showActive(*form);
    answerDialog(
        [](quorlink::qtface::PortDialog& dialog) { dialog.core().ComboBoxCom.setItemIndex(0); },
        quorlink::window::TSetCom::ResultOk);
    form->action(MenuItem::Port1)->trigger();
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].text, u"Nelze otevrit COM");
    EXPECT_EQ(m_dialogs.boxes[0].owner, form.get());
}

// A store whose every write fails.
class FailingStore : public quorlink::settings::SettingsStore
{
public:
    quorlink::settings::StoredSettings LoadSettings() override { return {}; }
    void StorePortSettings(const quorlink::settings::PortSettings&) override
    {
        throw quorlink::settings::SettingsError("Failed to set data for 'TimeOut'");
    }
    void StoreSendEndFile(bool) override
    {
        throw quorlink::settings::SettingsError("Failed to set data for 'SendEndFile'");
    }
    void StorePortDevice(std::int32_t, const std::string&) override {}
};

TEST_F(PortCommand, shouldShowStoreFailureAndKeepPortWhenSettingsCannotBeWritten)
{
    PtyDevice device;
    MainWindow form(std::make_unique<FailingStore>());
    form.form().link().portTable().setDevice(1, device.path());
    form.show();
    answerDialog(
        [](quorlink::qtface::PortDialog& dialog) { dialog.core().ComboBoxCom.setItemIndex(0); },
        quorlink::window::TSetCom::ResultOk);
    form.action(MenuItem::Port1)->trigger();
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].kind, u"stop");
    EXPECT_EQ(m_dialogs.boxes[0].text, u"Failed to set data for 'TimeOut'");
    EXPECT_EQ(m_dialogs.boxes[0].caption, u"test_app");
    EXPECT_FALSE(form.form().link().isOpen());
    EXPECT_EQ(panel(form, 3), u"");

    // Closing still closes when the option cannot be stored.
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    ASSERT_EQ(m_dialogs.boxes.size(), 2u);
    EXPECT_EQ(m_dialogs.boxes[1].text, u"Failed to set data for 'SendEndFile'");
}

// Settings that cannot be stored at all (a file in place of the settings
// folder; permissions stop nothing for root) leave the program usable: "Ok"
// reopens the port and the window closes, without a box.
TEST_F(PortCommand, shouldReopenPortAndCloseWithoutBoxWhenStoreCannotBeCreated)
{
    PtyDevice device;
    QFile folder(m_config.filePath(QStringLiteral("Brindova")));
    ASSERT_TRUE(folder.open(QIODevice::WriteOnly));
    folder.close();
    auto form = start();
    form->form().link().portTable().setDevice(1, device.path());
    showActive(*form);
    answerDialog(
        [](quorlink::qtface::PortDialog& dialog) { dialog.core().ComboBoxCom.setItemIndex(0); },
        quorlink::window::TSetCom::ResultOk);
    form->action(MenuItem::Port1)->trigger();
    EXPECT_TRUE(m_dialogs.boxes.empty());
    EXPECT_EQ(panel(*form, 3), u"Port COM1 otevřen");
    EXPECT_TRUE(form->action(MenuItem::Odeslat1)->isEnabled());
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

// A write refused once the file is open (a file that cannot grow stands for
// a full disk): the error names TimeOut, and the refused values never reach
// the file, not even with the option stored when the window closes.
TEST_F(PortCommand, shouldReportRefusedWriteAndStoreOnlyTheOptionWhenClosing)
{
    PtyDevice device;
    const QByteArray note = "Note=" + QByteArray(600, 'x');
    writeSettings(portSettings(device.path(), note.constData()));
    auto form = start();
    showActive(*form);
    {
        quorlink::testing::FileSizeLimit fullDisk(300);
        ASSERT_TRUE(fullDisk.active());
        answerDialog(
            [](quorlink::qtface::PortDialog& dialog) {
                dialog.core().ComboBoxBaud.setItemIndex(16);
                dialog.core().EditTimeOut.SetValue(500);
            },
            quorlink::window::TSetCom::ResultOk);
        form->action(MenuItem::Port1)->trigger();
    }
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].text, u"Failed to set data for 'TimeOut'");
    EXPECT_TRUE(form->close());
    EXPECT_EQ(m_dialogs.boxes.size(), 1u);
    const QString stored = settingsText();
    EXPECT_TRUE(stored.contains(u"SendEndFile=0")) << stored.toStdString();
    EXPECT_TRUE(stored.contains(u"TimeOut=300")) << stored.toStdString();
    EXPECT_TRUE(stored.contains(u"BaudRateIndex=9")) << stored.toStdString();
}

} // namespace
