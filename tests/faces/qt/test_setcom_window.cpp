// The port dialog reached from the main window: F9 fills it from the
// settings fields, "Ok" stores the three values and reopens the port, every
// other way out changes nothing.

#include "portdialog.h"
#include "ptydevice.h"
#include "spinedit.h"
#include "test_app_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using quorlink::qtface::testing::AppTest;
using quorlink::testing::PtyDevice;

class PortDialog : public AppTest
{
protected:
    // Presses F9 in the window and runs `action` in the dialog once it is
    // shown and active.
    void pressF9(MainWindow& form, std::function<void(quorlink::qtface::PortDialog&)> action)
    {
        // The window is active again after the previous showing.
        form.activateWindow();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        bool reached = false;
        QTimer::singleShot(0, [&reached, action] {
            auto* dialog =
                qobject_cast<quorlink::qtface::PortDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            reached = true;
            dialog->activateWindow();
            QApplication::setActiveWindow(dialog);
            EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
            action(*dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                dialog->QDialog::done(0);
            }
        });
        QTest::keyClick(form.Memo1, Qt::Key_F9);
        EXPECT_TRUE(reached);
    }

    static QString panel(MainWindow& form, int index)
    {
        return QString::fromStdU16String(form.panelText(index));
    }
};

TEST_F(PortDialog, shouldOfferDefaultsOnFirstStartAndStoreThemOnOk)
{
    auto form = start();
    showActive(*form);
    QString port, speed, timeOut;
    int portIndex = 0;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        port = dialog.ComboBoxCom->currentText();
        portIndex = dialog.core().ComboBoxCom.ItemIndex();
        speed = dialog.ComboBoxBaud->currentText();
        timeOut = dialog.EditTimeOut->text();
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    EXPECT_EQ(port, u"Vyberte port");
    EXPECT_EQ(portIndex, -1);
    EXPECT_EQ(speed, u"2400");
    EXPECT_EQ(timeOut, u"200");
    const QString stored = settingsText();
    EXPECT_TRUE(stored.contains(u"ComPortIndex=0")) << stored.toStdString();
    EXPECT_TRUE(stored.contains(u"BaudRateIndex=5")) << stored.toStdString();
    EXPECT_TRUE(stored.contains(u"TimeOut=200")) << stored.toStdString();
    EXPECT_EQ(form->form().ComPortIndex, 0);
    EXPECT_EQ(panel(*form, 3), u"Port uzavřen");
    EXPECT_EQ(m_dialogs.boxes.size(), 1u); // port 0 cannot be opened
    EXPECT_FALSE(form->action(MenuItem::Odeslat1)->isEnabled());
}

TEST_F(PortDialog, shouldStoreTypedPortOrNoneWhenTypingChoosesNothing)
{
    auto form = start();
    showActive(*form);
    pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
        QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com10"));
        QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
    });
    EXPECT_EQ(form->form().ComPortIndex, 10);
    EXPECT_TRUE(settingsText().contains(u"ComPortIndex=10"));

    pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
        dialog.ComboBoxCom->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("7"));
        QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
    });
    EXPECT_EQ(form->form().ComPortIndex, 0);
    EXPECT_TRUE(settingsText().contains(u"ComPortIndex=0"));

    pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
        dialog.ComboBoxBaud->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(dialog.ComboBoxBaud, QStringLiteral("8"));
        QTest::keyClick(dialog.ComboBoxBaud, Qt::Key_Return);
    });
    EXPECT_EQ(form->form().BaudRateIndex, -1);
}

TEST_F(PortDialog, shouldStoreNothingWhenNotConfirmed)
{
    auto form = start();
    showActive(*form);
    const std::vector<std::function<void(quorlink::qtface::PortDialog&)>> ways{
        [](quorlink::qtface::PortDialog& dialog) {
            QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        },
        [](quorlink::qtface::PortDialog&) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        },
        [](quorlink::qtface::PortDialog& dialog) { dialog.close(); },
    };
    for (const auto& way : ways) {
        pressF9(*form, [&way](quorlink::qtface::PortDialog& dialog) {
            QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com3"));
            dialog.EditTimeOut->setText(QStringLiteral("700"));
            way(dialog);
        });
        EXPECT_EQ(form->form().ComPortIndex, 0);
        EXPECT_EQ(form->form().TimeOut, 200);
        EXPECT_EQ(settingsText(), u"");
        EXPECT_EQ(panel(*form, 3), u"");
    }
    // The next showing sets the port list from ComPortIndex 0 again: COM3,
    // still chosen in the hidden dialog, is removed and the box is empty.
    QString port;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        port = dialog.ComboBoxCom->currentText();
        dialog.close();
    });
    EXPECT_EQ(port, u"");
}

TEST_F(PortDialog, shouldStoreCorrectedTimeOutOnOk)
{
    auto form = start();
    showActive(*form);
    const std::pair<const char*, int> typed[] = {{"3000", 2000}, {"-20", 5}, {"$10", 16}};
    for (const auto& [text, stored] : typed) {
        pressF9(*form, [text](quorlink::qtface::PortDialog& dialog) {
            dialog.EditTimeOut->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(dialog.EditTimeOut, QString::fromLatin1(text));
            QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        });
        EXPECT_EQ(form->form().TimeOut, stored) << text;
        EXPECT_TRUE(settingsText().contains(QStringLiteral("TimeOut=%1").arg(stored))) << text;
    }
}

TEST_F(PortDialog, shouldOpenMappedPortOnOk)
{
    PtyDevice device;
    writeSettings(QByteArray("[Ports]\nCOM1=") + QByteArray::fromStdString(device.path()) + "\n");
    auto form = start();
    showActive(*form);
    QString tooltip;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        tooltip = dialog.ComboBoxCom->itemData(0, Qt::ToolTipRole).toString();
        QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com1"));
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    EXPECT_EQ(tooltip, QString::fromStdString(device.path()) + QStringLiteral(" (existuje)"));
    EXPECT_EQ(form->form().ComPortIndex, 1);
    EXPECT_EQ(panel(*form, 3), u"Port COM1 otevřen");
    EXPECT_TRUE(form->action(MenuItem::Odeslat1)->isEnabled());
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

TEST_F(PortDialog, shouldNameEachPortsDeviceAndWhetherItExistsInItsTooltip)
{
    writeSettings("[Ports]\nCOM2=/dev/quorlink-no-such-device\nCOM3=/dev/null\n");
    auto form = start();
    showActive(*form);
    QStringList tooltips;
    QStringList texts;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        for (int i = 0; i < dialog.ComboBoxCom->count(); ++i) {
            tooltips << dialog.ComboBoxCom->itemData(i, Qt::ToolTipRole).toString();
            texts << dialog.ComboBoxCom->itemText(i);
        }
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    });
    ASSERT_EQ(tooltips.size(), 16);
    EXPECT_EQ(texts.at(1), u"COM2");
    EXPECT_EQ(tooltips.at(1), u"/dev/quorlink-no-such-device (neexistuje)");
    EXPECT_EQ(tooltips.at(2), u"/dev/null (existuje)");
    // Unmapped ports keep the default device; whether /dev/ttyS15 exists
    // depends on the machine.
    EXPECT_TRUE(tooltips.at(15).startsWith(u"/dev/ttyS15 (")) << tooltips.at(15).toStdString();
}

// Keys as the keyboard sends them, to whatever has the focus.  On a first
// start the list has its whole text selected, so what is typed with the
// drop-down part open replaces it; Backspace chooses nothing even where it
// deletes nothing.
TEST_F(PortDialog, shouldReplaceTheListsTextWhenTypingAndChooseNothingOnBackspace)
{
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        // The focus widget itself: the offscreen platform's focus window
        // drops Alt and lags behind a drop-down part.
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    auto form = start();
    showActive(*form);
    QString typed;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        press(Qt::Key_Down, Qt::AltModifier);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("com3"));
        typed = dialog.ComboBoxCom->currentText();
        press(Qt::Key_Return); // closes the drop-down part only
        QTRY_COMPARE(QApplication::focusWidget(), dialog.ComboBoxCom);
        EXPECT_TRUE(dialog.isVisible());
        press(Qt::Key_Return);
    });
    EXPECT_EQ(typed, u"COM3");
    EXPECT_EQ(form->form().ComPortIndex, 3);

    pressF9(*form, [&](quorlink::qtface::PortDialog&) {
        press(Qt::Key_Home);
        press(Qt::Key_Backspace);
        press(Qt::Key_Return);
    });
    EXPECT_EQ(form->form().ComPortIndex, 0);
    EXPECT_TRUE(settingsText().contains(u"ComPortIndex=0"));
}

TEST_F(PortDialog, shouldGiveFocusBackAndConfirmWithEnterAfterMouseOk)
{
    auto form = start();
    showActive(*form);
    pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    QWidget* focus = nullptr;
    pressF9(*form, [&](quorlink::qtface::PortDialog&) {
        focus = QApplication::focusWidget();
        QTest::keyClick(focus, Qt::Key_Return);
    });
    EXPECT_EQ(focus, form->SetCom->Button2);
    EXPECT_FALSE(form->SetCom->isVisible());
}

} // namespace
