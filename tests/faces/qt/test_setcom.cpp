// The time-out spin field and the port settings dialog, driven by key and
// mouse events on the offscreen platform.

#include "portdialog.h"
#include "spinedit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <utility>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using quorlink::qtface::ArrowButton;
using quorlink::qtface::ComboBoxWidget;
using quorlink::qtface::PortDialog;
using quorlink::qtface::SpinEditWidget;

namespace {

void activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// A key as the keyboard sends it: to the open drop-down part when there is
// one, else to the focused control.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
}

void typeKeys(const QString& text)
{
    QTest::keyClicks(static_cast<QWidget*>(nullptr), text);
}

// The dialog's time-out field, shown without a modal loop, and the speed
// list for the focus to leave to.
class SpinFieldTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_spin = m_dialog.EditTimeOut;
        m_other = m_dialog.ComboBoxBaud;
        activate(m_dialog);
    }
    void TearDown() override { m_dialog.hide(); }

    // Types `text` over the whole field, then moves the focus on.
    void typeAndLeave(const char* text)
    {
        m_spin->setFocus(Qt::TabFocusReason);
        m_spin->selectAll();
        QTest::keyClicks(m_spin, QString::fromLatin1(text));
        m_other->setFocus(Qt::TabFocusReason);
    }

    PortDialog m_dialog;
    SpinEditWidget* m_spin = nullptr;
    QWidget* m_other = nullptr;
};

TEST_F(SpinFieldTest, shouldCorrectOutOfRangeValueWhenLeftAndKeepTextInRange)
{
    typeAndLeave("3000");
    EXPECT_EQ(m_spin->text(), u"2000");
    typeAndLeave("-7");
    EXPECT_EQ(m_spin->text(), u"5");
    typeAndLeave("$10");
    EXPECT_EQ(m_spin->text(), u"$10");
}

TEST_F(SpinFieldTest, shouldStepByIncrementWithArrowKeysWithinLimits)
{
    m_spin->setFocus(Qt::TabFocusReason);
    QTest::keyClick(m_spin, Qt::Key_Up);
    EXPECT_EQ(m_spin->text(), u"2000");
    m_spin->setText(QStringLiteral("7"));
    QTest::keyClick(m_spin, Qt::Key_Up);
    EXPECT_EQ(m_spin->text(), u"12");
    // Each press counts, the keyboard's own repeats included.
    m_spin->setText(QStringLiteral("100"));
    QTest::keyClick(m_spin, Qt::Key_Down);
    QTest::sendKeyEvent(QTest::KeyAction::Press, m_spin, Qt::Key_Down, QString(), Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(m_spin, &repeat);
    EXPECT_EQ(m_spin->text(), u"85");
    // Pasted text is not filtered; an arrow reads it as the minimum first.
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    m_spin->selectAll();
    QTest::keyClick(m_spin, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(m_spin->text(), u"abc");
    QTest::keyClick(m_spin, Qt::Key_Up);
    EXPECT_EQ(m_spin->text(), u"10");
}

TEST_F(SpinFieldTest, shouldBeepAndDropRejectedCharacters)
{
    m_spin->setFocus(Qt::TabFocusReason);
    m_spin->setText(QStringLiteral("200"));
    m_spin->end(false);
    QTest::keyClick(m_spin, Qt::Key_A);
    EXPECT_EQ(m_spin->text(), u"200");
    EXPECT_EQ(m_spin->beepCount(), 1);
    QTest::keyClick(m_spin, Qt::Key_Return);
    EXPECT_EQ(m_spin->text(), u"200");
    EXPECT_EQ(m_spin->beepCount(), 2);
    EXPECT_TRUE(m_dialog.isVisible());
    QTest::keyClick(m_spin, Qt::Key_5);
    EXPECT_EQ(m_spin->text(), u"2005");
    EXPECT_EQ(m_spin->beepCount(), 2);
}

TEST_F(SpinFieldTest, shouldSelectWholeTextWhenFocusedOtherThanByClickOnText)
{
    m_other->setFocus(Qt::TabFocusReason);
    m_spin->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(m_spin->selectedText(), u"2000");
    m_other->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(m_spin, Qt::LeftButton, {}, QPoint(5, m_spin->height() / 2));
    EXPECT_TRUE(m_spin->hasFocus());
    EXPECT_TRUE(m_spin->selectedText().isEmpty());
    // A press on an arrow button brings the focus with the whole text.
    m_other->setFocus(Qt::TabFocusReason);
    ArrowButton* up = m_spin->upButton();
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_TRUE(m_spin->hasFocus());
    EXPECT_EQ(m_spin->selectedText(), u"2000");
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
}

TEST_F(SpinFieldTest, shouldKeepArrowButtonsRightOfText)
{
    ArrowButton* up = m_spin->upButton();
    ArrowButton* down = m_spin->downButton();
    EXPECT_GE(up->x() + up->width(), m_spin->width() - 3);
    EXPECT_GE(m_spin->textMargins().right(), up->width());
    EXPECT_GT(up->height(), 0);
    EXPECT_GE(down->y(), up->y() + up->height());
}

TEST_F(SpinFieldTest, shouldStepOnReleaseOverArrowButtonOnly)
{
    m_spin->field().SetValue(200);
    ArrowButton* up = m_spin->upButton();
    ArrowButton* down = m_spin->downButton();
    QTest::mouseClick(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(m_spin->text(), u"205");
    QTest::mouseClick(down, Qt::LeftButton, {}, down->rect().center());
    QTest::mouseClick(down, Qt::LeftButton, {}, down->rect().center());
    EXPECT_EQ(m_spin->text(), u"195");
    QTest::mouseClick(up, Qt::RightButton, {}, up->rect().center());
    EXPECT_EQ(m_spin->text(), u"195");
    // Pressed, then dragged off and released elsewhere: no step.
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    QMouseEvent away(QEvent::MouseMove, QPointF(-30, -30), up->mapToGlobal(QPointF(-30, -30)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(up, &away);
    QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(-30, -30));
    EXPECT_EQ(m_spin->text(), u"195");
}

TEST_F(SpinFieldTest, shouldRepeatWhileArrowButtonHeld)
{
    m_spin->field().SetValue(200);
    ArrowButton* up = m_spin->upButton();
    QTest::mousePress(up, Qt::LeftButton, {}, up->rect().center());
    QTest::qWait(350);
    EXPECT_EQ(m_spin->text(), u"200"); // no repeat before 400 ms
    QTest::qWait(700);
    // Repeats at 400, 500 ... 1000 ms, and the click itself.
    QTest::mouseRelease(up, Qt::LeftButton, {}, up->rect().center());
    EXPECT_EQ(m_spin->text(), u"240");
    QTest::qWait(250);
    EXPECT_EQ(m_spin->text(), u"240"); // nothing after the release
}

TEST_F(SpinFieldTest, shouldNotRepeatWhilePointerIsOffTheButton)
{
    m_spin->field().SetValue(200);
    ArrowButton* down = m_spin->downButton();
    QTest::mousePress(down, Qt::LeftButton, {}, down->rect().center());
    QMouseEvent away(QEvent::MouseMove, QPointF(-30, 2), down->mapToGlobal(QPointF(-30, 2)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(down, &away);
    QTest::qWait(650);
    EXPECT_EQ(m_spin->text(), u"200");
    QTest::mouseRelease(down, Qt::LeftButton, {}, QPoint(-30, 2));
    EXPECT_EQ(m_spin->text(), u"200");
}

// ---------------------------------------------------------------------------
// The dialog.

class SetComTest : public ::testing::Test
{
protected:
    // Shows the dialog modally, runs `action` once it is active and returns
    // the result.  A dialog the action leaves open is closed with -1.
    int showAndRun(std::function<void()> action)
    {
        QTimer::singleShot(0, &m_dialog, [this, action] {
            m_dialog.activateWindow();
            QApplication::setActiveWindow(&m_dialog);
            if (!QTest::qWaitForWindowActive(&m_dialog))
                ADD_FAILURE() << "dialog not active";
            action();
            if (m_dialog.isVisible())
                QTimer::singleShot(0, &m_dialog, [this] { m_dialog.QDialog::done(-1); });
        });
        return m_dialog.core().ShowModal();
    }

    PortDialog m_dialog;
};

TEST_F(SetComTest, shouldLayOutComponentsAsDesigned)
{
    EXPECT_EQ(m_dialog.objectName(), u"SetCom");
    EXPECT_EQ(m_dialog.windowTitle(), u"Nastavení portu");
    EXPECT_EQ(m_dialog.minimumSize(), QSize(252, 291));
    EXPECT_EQ(m_dialog.maximumSize(), QSize(252, 291));
    EXPECT_FALSE(m_dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(m_dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(m_dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(m_dialog.font().pointSize(), 8);

    struct Expected
    {
        const char* name;
        QRect geometry;
        QString text;
    };
    const Expected components[] = {
        {"GroupBox1", {0, 8, 249, 225}, QStringLiteral("Parametry")},
        {"ComboBoxCom", {16, 40, 209, 21}, QStringLiteral("Vyberte port")},
        {"ComboBoxBaud", {16, 112, 209, 21}, QStringLiteral("Vyberte rychlost")},
        {"EditTimeOut", {16, 184, 209, 22}, QStringLiteral("2000")},
        {"Button1", {16, 248, 75, 25}, QStringLiteral("Storno")},
        {"Button2", {150, 248, 75, 25}, QStringLiteral("Ok")},
    };
    for (const Expected& component : components) {
        auto* widget = m_dialog.findChild<QWidget*>(QLatin1String(component.name));
        ASSERT_NE(widget, nullptr) << component.name;
        EXPECT_EQ(widget->geometry(), component.geometry) << component.name;
        QString text;
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            text = box->title();
        else if (auto* combo = qobject_cast<QComboBox*>(widget))
            text = combo->currentText();
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            text = edit->text();
        else if (auto* button = qobject_cast<QPushButton*>(widget))
            text = button->text();
        EXPECT_EQ(text, component.text) << component.name;
    }
    const std::pair<const char*, QString> labels[] = {
        {"Label1", QStringLiteral("Port")},
        {"Label2", QStringLiteral("Přenosová rychlost")},
        {"Label3", QStringLiteral("Timeout")}};
    for (const auto& [name, text] : labels) {
        auto* label = m_dialog.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), text);
    }
    EXPECT_EQ(m_dialog.Label1->pos(), QPoint(16, 21));
    EXPECT_EQ(m_dialog.Label2->pos(), QPoint(16, 93));
    EXPECT_EQ(m_dialog.Label3->pos(), QPoint(16, 165));
    EXPECT_TRUE(m_dialog.Button2->isDefault());
    EXPECT_EQ(m_dialog.core().ComboBoxCom.ItemIndex(), -1);
    EXPECT_EQ(m_dialog.core().ComboBoxBaud.ItemIndex(), -1);
    EXPECT_EQ(m_dialog.core().EditTimeOut.GetValue(), 2000);
    EXPECT_EQ(m_dialog.EditTimeOut->field().MinValue(), 5);
    EXPECT_EQ(m_dialog.EditTimeOut->field().MaxValue(), 2000);
    EXPECT_EQ(m_dialog.EditTimeOut->field().Increment(), 5);
}

TEST_F(SetComTest, shouldListPortsAndSpeedsUnsortedEightVisible)
{
    ASSERT_EQ(m_dialog.ComboBoxCom->count(), 16);
    EXPECT_EQ(m_dialog.ComboBoxCom->itemText(0), u"COM1");
    EXPECT_EQ(m_dialog.ComboBoxCom->itemText(9), u"COM10");
    EXPECT_EQ(m_dialog.ComboBoxCom->itemText(15), u"COM16");
    QStringList speeds;
    for (int i = 0; i < m_dialog.ComboBoxBaud->count(); ++i)
        speeds << m_dialog.ComboBoxBaud->itemText(i);
    EXPECT_EQ(speeds.join(u' '), u"300 600 900 1200 1800 2400 3600 4800 7200 9600 14400 19200 "
                                 u"28800 38400 57600 76800 115200");
    EXPECT_EQ(m_dialog.ComboBoxCom->maxVisibleItems(), 8);
    EXPECT_EQ(m_dialog.ComboBoxBaud->maxVisibleItems(), 8);
}

// Tab and Shift+Tab as the keyboard sends them go round the tab order.  A
// control entered either way has its whole text selected, and the time-out
// field left that way is corrected.
TEST_F(SetComTest, shouldMoveFocusInTabOrder)
{
    std::vector<QWidget*> order;
    QString speedSelected;
    QString timeOutSelected;
    QString timeOutLeft;
    const int result = showAndRun([&] {
        for (int i = 0; i < 5; ++i) {
            if (QApplication::focusWidget() == m_dialog.EditTimeOut)
                typeKeys(QStringLiteral("3000"));
            press(Qt::Key_Tab);
            order.push_back(QApplication::focusWidget());
        }
        timeOutLeft = m_dialog.EditTimeOut->text();
        for (int i = 0; i < 5; ++i) {
            press(Qt::Key_Backtab, Qt::ShiftModifier);
            order.push_back(QApplication::focusWidget());
            if (QApplication::focusWidget() == m_dialog.EditTimeOut)
                timeOutSelected = m_dialog.EditTimeOut->selectedText();
            if (QApplication::focusWidget() == m_dialog.ComboBoxBaud)
                speedSelected = m_dialog.ComboBoxBaud->lineEdit()->selectedText();
        }
        press(Qt::Key_Escape);
    });
    EXPECT_EQ(result, 2);
    const std::vector<QWidget*> expected{
        m_dialog.ComboBoxBaud, m_dialog.EditTimeOut, m_dialog.Button1, m_dialog.Button2,
        m_dialog.ComboBoxCom,  m_dialog.Button2,     m_dialog.Button1, m_dialog.EditTimeOut,
        m_dialog.ComboBoxBaud, m_dialog.ComboBoxCom};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(timeOutLeft, u"2000");
    EXPECT_EQ(timeOutSelected, u"2000");
    EXPECT_EQ(speedSelected, u"Vyberte rychlost");
}

// The default button, its border and Enter follow the focus: "Storno"
// while it has it, "Ok" from anywhere else.
TEST_F(SetComTest, shouldMakeTheFocusedButtonTheDefault)
{
    std::vector<std::pair<bool, bool>> defaults;
    const int result = showAndRun([&] {
        defaults.emplace_back(m_dialog.Button1->isDefault(), m_dialog.Button2->isDefault());
        for (const auto& [key, modifiers] : {std::pair{Qt::Key_Tab, Qt::KeyboardModifiers{}},
                                             {Qt::Key_Tab, {}},
                                             {Qt::Key_Tab, {}},
                                             {Qt::Key_Tab, {}},
                                             {Qt::Key_Backtab, Qt::ShiftModifier}}) {
            press(key, modifiers);
            defaults.emplace_back(m_dialog.Button1->isDefault(), m_dialog.Button2->isDefault());
        }
        press(Qt::Key_Return);
    });
    const std::vector<std::pair<bool, bool>> expected{{false, true}, {false, true}, {false, true},
                                                      {true, false}, {false, true}, {true, false}};
    EXPECT_EQ(defaults, expected);
    EXPECT_EQ(result, 3);
}

TEST_F(SetComTest, shouldCompleteTypedTextToFirstEntryAndChooseIt)
{
    struct Case
    {
        ComboBoxWidget* box;
        const char* typed;
        int index;
        const char* text;
        const char* selected;
    };
    const Case cases[] = {
        {m_dialog.ComboBoxCom, "com", 0, "COM1", "1"},
        {m_dialog.ComboBoxCom, "com10", 9, "COM10", ""},
        {m_dialog.ComboBoxCom, "7", -1, "7", ""},
        {m_dialog.ComboBoxCom, "com17", -1, "COM17", ""},
        {m_dialog.ComboBoxBaud, "1", 3, "1200", "200"},
        {m_dialog.ComboBoxBaud, "11", 16, "115200", "5200"},
        {m_dialog.ComboBoxBaud, "5", 14, "57600", "7600"},
        {m_dialog.ComboBoxBaud, "8", -1, "8", ""},
    };
    showAndRun([&] {
        for (const Case& c : cases) {
            c.box->setFocus(Qt::TabFocusReason);
            ASSERT_EQ(c.box->lineEdit()->selectedText(), c.box->currentText()) << c.typed;
            QTest::keyClicks(c.box, QString::fromLatin1(c.typed));
            EXPECT_EQ(c.box->ItemIndex(), c.index) << c.typed;
            EXPECT_EQ(c.box->currentText(), QString::fromLatin1(c.text)) << c.typed;
            EXPECT_EQ(c.box->lineEdit()->selectedText(), QString::fromLatin1(c.selected))
                << c.typed;
            m_dialog.Button1->setFocus(Qt::TabFocusReason);
        }
    });
}

TEST_F(SetComTest, shouldChooseNothingOnBackspaceDeleteOrPaste)
{
    QApplication::clipboard()->setText(QStringLiteral("COM2"));
    showAndRun([&] {
        ComboBoxWidget* box = m_dialog.ComboBoxCom;
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(box, QStringLiteral("com1"));
        ASSERT_EQ(box->ItemIndex(), 0);
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM");

        box->box().setItemIndex(2);
        box->lineEdit()->setCursorPosition(0);
        QTest::keyClick(box, Qt::Key_Delete);
        EXPECT_EQ(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"OM3");

        box->box().setItemIndex(3);
        box->lineEdit()->selectAll();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM2");

        // A paste without a key (the context menu) as well.
        box->box().setItemIndex(4);
        box->lineEdit()->selectAll();
        box->lineEdit()->paste();
        QTRY_COMPARE(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM2");

        // Also when the text stays as it was.
        box->box().setItemIndex(2);
        box->lineEdit()->setCursorPosition(0);
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM3");
        box->box().setItemIndex(2);
        box->lineEdit()->end(false);
        QTest::keyClick(box, Qt::Key_Delete);
        EXPECT_EQ(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM3");
        QApplication::clipboard()->setText(QStringLiteral("COM3"));
        box->box().setItemIndex(2);
        box->lineEdit()->selectAll();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM3");
        box->box().setItemIndex(2);
        box->lineEdit()->selectAll();
        box->lineEdit()->paste();
        QTRY_COMPARE(box->ItemIndex(), -1);
        EXPECT_EQ(box->currentText(), u"COM3");
    });
}

TEST_F(SetComTest, shouldStepEntryWithUpAndDown)
{
    m_dialog.core().ComboBoxBaud.setItemIndex(5);
    showAndRun([&] {
        m_dialog.ComboBoxBaud->setFocus(Qt::TabFocusReason);
        QTest::keyClick(m_dialog.ComboBoxBaud, Qt::Key_Down);
        EXPECT_EQ(m_dialog.core().ComboBoxBaud.ItemIndex(), 6);
        EXPECT_EQ(m_dialog.ComboBoxBaud->currentText(), u"3600");
        QTest::keyClick(m_dialog.ComboBoxBaud, Qt::Key_Up);
        QTest::keyClick(m_dialog.ComboBoxBaud, Qt::Key_Up);
        EXPECT_EQ(m_dialog.core().ComboBoxBaud.ItemIndex(), 4);
    });
}

TEST_F(SetComTest, shouldReturnOneForOkAndThreeForStorno)
{
    EXPECT_EQ(showAndRun([&] { QTest::mouseClick(m_dialog.Button2, Qt::LeftButton); }), 1);
    EXPECT_EQ(showAndRun([&] { QTest::mouseClick(m_dialog.Button1, Qt::LeftButton); }), 3);
    EXPECT_EQ(showAndRun([&] {
                  m_dialog.Button1->setFocus(Qt::TabFocusReason);
                  QTest::keyClick(m_dialog.Button1, Qt::Key_Return);
              }),
              3);
    EXPECT_EQ(showAndRun([&] {
                  m_dialog.Button2->setFocus(Qt::TabFocusReason);
                  QTest::keyClick(m_dialog.Button2, Qt::Key_Space);
              }),
              1);
    EXPECT_EQ(showAndRun([&] {
                  m_dialog.ComboBoxBaud->setFocus(Qt::TabFocusReason);
                  QTest::keyClick(m_dialog.ComboBoxBaud, Qt::Key_Return);
              }),
              1);
}

TEST_F(SetComTest, shouldReturnTwoForEscFromEveryControlAndForClose)
{
    const std::vector<QWidget*> controls{m_dialog.ComboBoxCom, m_dialog.ComboBoxBaud,
                                         m_dialog.EditTimeOut, m_dialog.Button1, m_dialog.Button2};
    for (QWidget* control : controls) {
        EXPECT_EQ(showAndRun([&] {
                      control->setFocus(Qt::TabFocusReason);
                      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                  }),
                  2)
            << control->objectName().toStdString();
    }
    EXPECT_EQ(showAndRun([&] { m_dialog.close(); }), 2);
}

TEST_F(SetComTest, shouldBeepOnEnterInTimeOutFieldAndStayOpen)
{
    bool stayed = false;
    const int result = showAndRun([&] {
        m_dialog.EditTimeOut->setFocus(Qt::TabFocusReason);
        const int beeps = m_dialog.EditTimeOut->beepCount();
        QTest::keyClick(m_dialog.EditTimeOut, Qt::Key_Return);
        stayed = m_dialog.isVisible();
        EXPECT_EQ(m_dialog.EditTimeOut->beepCount(), beeps + 1);
        QTest::keyClick(m_dialog.EditTimeOut, Qt::Key_Escape);
    });
    EXPECT_TRUE(stayed);
    EXPECT_EQ(result, 2);
}

TEST_F(SetComTest, shouldCloseDialogOnEscWithDropDownOpen)
{
    bool popupWasOpen = false;
    const int result = showAndRun([&] {
        m_dialog.ComboBoxBaud->setFocus(Qt::TabFocusReason);
        m_dialog.ComboBoxBaud->showPopup();
        QTRY_VERIFY(m_dialog.ComboBoxBaud->droppedDown());
        popupWasOpen = true;
        QTest::keyClick(m_dialog.ComboBoxBaud->view(), Qt::Key_Escape);
    });
    EXPECT_TRUE(popupWasOpen);
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(m_dialog.ComboBoxBaud->droppedDown());
}

// With the drop-down part open, Up and Down choose (the box shows what the
// "Ok" will take) and Enter only closes the drop-down part.
TEST_F(SetComTest, shouldChooseWithArrowsAndKeepChoiceOnEnterWithDropDownOpen)
{
    m_dialog.core().ComboBoxBaud.setItemIndex(5);
    std::vector<int> chosen;
    QString shown;
    bool stayed = false;
    const int result = showAndRun([&] {
        ComboBoxWidget* box = m_dialog.ComboBoxBaud;
        box->setFocus(Qt::TabFocusReason);
        box->showPopup();
        QTRY_VERIFY(box->droppedDown());
        press(Qt::Key_Down);
        press(Qt::Key_Down);
        chosen.push_back(box->ItemIndex());
        shown = box->currentText();
        press(Qt::Key_Up);
        chosen.push_back(box->ItemIndex());
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        QTRY_VERIFY(!box->droppedDown());
        stayed = m_dialog.isVisible();
        chosen.push_back(box->ItemIndex());
        press(Qt::Key_Return); // closed now: confirms
    });
    EXPECT_EQ(chosen, (std::vector<int>{7, 6, 7}));
    EXPECT_EQ(shown, u"4800");
    EXPECT_TRUE(stayed);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(m_dialog.core().ComboBoxBaud.ItemIndex(), 7);
    EXPECT_EQ(m_dialog.ComboBoxBaud->currentText(), u"4800");
}

// Typing and Backspace work in the box while the drop-down part is open, and
// Enter there picks nothing of its own.
TEST_F(SetComTest, shouldTypeIntoBoxWithDropDownOpen)
{
    std::vector<std::pair<int, QString>> states;
    const int result = showAndRun([&] {
        ComboBoxWidget* box = m_dialog.ComboBoxCom;
        auto record = [&] { states.emplace_back(box->ItemIndex(), box->currentText()); };
        box->setFocus(Qt::TabFocusReason);
        box->showPopup();
        QTRY_VERIFY(box->droppedDown());
        press(Qt::Key_Return); // nothing chosen: still nothing
        QTRY_VERIFY(!box->droppedDown());
        record();
        box->lineEdit()->selectAll();
        box->showPopup();
        QTRY_VERIFY(box->droppedDown());
        typeKeys(QStringLiteral("7"));
        record();
        press(Qt::Key_Return);
        QTRY_VERIFY(!box->droppedDown());
        record();
        box->lineEdit()->selectAll();
        box->showPopup();
        QTRY_VERIFY(box->droppedDown());
        typeKeys(QStringLiteral("com10"));
        record();
        press(Qt::Key_Backspace);
        record();
        EXPECT_TRUE(box->droppedDown());
        press(Qt::Key_Escape);
    });
    EXPECT_EQ(result, 2);
    const std::vector<std::pair<int, QString>> expected{
        {-1, QStringLiteral("Vyberte port")},
        {-1, QStringLiteral("7")},
        {-1, QStringLiteral("7")},
        {9, QStringLiteral("COM10")},
        {-1, QStringLiteral("COM1")},
    };
    EXPECT_EQ(states, expected);
}

// Arrows with a modifier in a list or the time-out field leave the focus
// there: only the buttons and the group box move it with the arrows.
TEST_F(SetComTest, shouldKeepFocusOnModifiedArrowsOutsideButtons)
{
    std::vector<QString> movedFrom;
    showAndRun([&] {
        for (QWidget* control : {static_cast<QWidget*>(m_dialog.ComboBoxCom),
                                 static_cast<QWidget*>(m_dialog.ComboBoxBaud),
                                 static_cast<QWidget*>(m_dialog.EditTimeOut)}) {
            using Press = std::pair<Qt::Key, Qt::KeyboardModifiers>;
            for (const auto& [key, modifiers] :
                 {Press{Qt::Key_Left, Qt::AltModifier}, Press{Qt::Key_Right, Qt::AltModifier},
                  Press{Qt::Key_Left, Qt::AltModifier | Qt::ShiftModifier},
                  Press{Qt::Key_Right, Qt::MetaModifier}}) {
                control->setFocus(Qt::TabFocusReason);
                press(key, modifiers);
                if (QApplication::focusWidget() != control)
                    movedFrom.push_back(control->objectName());
            }
        }
        press(Qt::Key_Escape);
    });
    EXPECT_TRUE(movedFrom.empty()) << movedFrom.front().toStdString();
}

TEST_F(SetComTest, shouldMoveAmongButtonsAndGroupBoxWithArrowKeys)
{
    std::vector<QWidget*> visited;
    bool stayedAfterEscOnGroup = false;
    const int result = showAndRun([&] {
        m_dialog.Button1->setFocus(Qt::TabFocusReason);
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Right, Qt::Key_Left, Qt::Key_Up}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            visited.push_back(QApplication::focusWidget());
        }
        // From "Ok" on to the group box: Esc does nothing there, Tab goes to
        // the port list.
        press(Qt::Key_Right);
        EXPECT_EQ(QApplication::focusWidget(), m_dialog.GroupBox1);
        press(Qt::Key_Escape);
        stayedAfterEscOnGroup = m_dialog.isVisible();
        QTest::keyClick(m_dialog.GroupBox1, Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
        m_dialog.GroupBox1->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(m_dialog.GroupBox1, Qt::Key_Backtab, Qt::ShiftModifier);
        visited.push_back(QApplication::focusWidget());
        m_dialog.Button2->setFocus(Qt::TabFocusReason);
        QTest::keyClick(m_dialog.Button2, Qt::Key_Right);
        visited.push_back(QApplication::focusWidget());
        QTest::keyClick(m_dialog.GroupBox1, Qt::Key_Return); // confirms
    });
    const std::vector<QWidget*> expected{
        m_dialog.Button2, m_dialog.GroupBox1,   m_dialog.Button1, m_dialog.GroupBox1,
        m_dialog.Button2, m_dialog.ComboBoxCom, m_dialog.Button2, m_dialog.GroupBox1};
    EXPECT_EQ(visited, expected);
    EXPECT_TRUE(stayedAfterEscOnGroup);
    EXPECT_EQ(result, 1);
}

TEST_F(SetComTest, shouldCorrectTimeOutWhenOkIsClicked)
{
    const int result = showAndRun([&] {
        m_dialog.EditTimeOut->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(m_dialog.EditTimeOut, QStringLiteral("3000"));
        QTest::mouseClick(m_dialog.Button2, Qt::LeftButton);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(m_dialog.EditTimeOut->text(), u"2000");
    EXPECT_EQ(m_dialog.core().EditTimeOut.GetValue(), 2000);
}

TEST_F(SetComTest, shouldKeepPositionFocusAndStateBetweenShowings)
{
    QWidget owner;
    owner.setGeometry(200, 150, 640, 480);
    owner.show();
    PortDialog dialog(&owner);
    auto run = [&](std::function<void()> action) {
        QTimer::singleShot(0, &dialog, [&dialog, action] {
            dialog.activateWindow();
            QApplication::setActiveWindow(&dialog);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            action();
        });
        return dialog.core().ShowModal();
    };
    QPoint firstCentre;
    QWidget* firstFocus = nullptr;
    run([&] {
        firstCentre = dialog.frameGeometry().center();
        firstFocus = QApplication::focusWidget();
        QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com3"));
        dialog.QDialog::move(40, 60); // as dragged by the operator
        dialog.Button1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(dialog.Button1, Qt::Key_Escape);
    });
    EXPECT_LE((firstCentre - owner.frameGeometry().center()).manhattanLength(), 4);
    EXPECT_EQ(firstFocus, dialog.ComboBoxCom);
    owner.move(300, 300);
    QPoint secondPosition;
    QWidget* secondFocus = nullptr;
    QString keptText;
    run([&] {
        secondPosition = dialog.pos();
        secondFocus = QApplication::focusWidget();
        keptText = dialog.ComboBoxCom->currentText();
        dialog.close();
    });
    EXPECT_EQ(secondPosition, QPoint(40, 60));
    EXPECT_EQ(secondFocus, dialog.Button1);
    EXPECT_EQ(keptText, u"COM3");
}

TEST_F(SetComTest, shouldShowPortDescriptionsAsEntryTooltips)
{
    m_dialog.setPortDescriptions({u"/dev/ttyUSB0", u"", u"/dev/pts/7"});
    EXPECT_EQ(m_dialog.ComboBoxCom->itemData(0, Qt::ToolTipRole).toString(), u"/dev/ttyUSB0");
    EXPECT_FALSE(m_dialog.ComboBoxCom->itemData(1, Qt::ToolTipRole).isValid());
    EXPECT_EQ(m_dialog.ComboBoxCom->itemData(2, Qt::ToolTipRole).toString(), u"/dev/pts/7");
    EXPECT_FALSE(m_dialog.ComboBoxCom->itemData(3, Qt::ToolTipRole).isValid());
}

} // namespace
