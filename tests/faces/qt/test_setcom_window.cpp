// The port dialog reached from the main window: F9 fills it from the
// settings fields, "Ok" stores the three values and reopens the port, every
// other way out changes nothing.

#include "devicetree.h"
#include "filesizelimit.h"
#include "portdialog.h"
#include "ptydevice.h"
#include "refuseddevice.h"
#include "spinedit.h"
#include "test_app_support.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using quorlink::qtface::testing::AppTest;
using quorlink::testing::PreparedDeviceTree;
using quorlink::testing::PtyDevice;
using quorlink::testing::RefusedDevice;

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

    // A machine with an FT232 adapter that udev named, reached by no number.
    std::unique_ptr<MainWindow> startWithAdapter()
    {
        auto form = start();
        form->form().setDeviceTree({m_devices.dev(), m_devices.sysClassTty()});
        return form;
    }
    void SetUp() override
    {
        AppTest::SetUp();
        m_adapterNode = QString::fromStdString(
            m_devices
                .addUsbAdapter("ttyUSB0", m_adapter.path(), "FTDI", "FT232R USB UART", "A50285BI",
                               "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")
                .string());
        m_byId = QString::fromStdString(
            (m_devices.dev() / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")
                .string());
    }

    PtyDevice m_adapter;
    PreparedDeviceTree m_devices;
    QString m_adapterNode;
    QString m_byId;
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

// After COM16: the adapter under the first free number, COM20 that [Ports]
// maps, and the stored COM31, not there but chosen.  With real keys "com1"
// still chooses COM1, "com17" the adapter, which the list shows when opened.
// "Ok" adds its [Ports] line once and opens it; the next start opens it and
// shows it chosen.
TEST_F(PortDialog, shouldOfferAnAdapterAfterCom16AndKeepItsNumberOnceConfirmed)
{
    writeSettings("[General]\nBaudRateIndex=9\nComPortIndex=31\nTimeOut=300\n\n"
                  "[Ports]\nCOM2=/dev/quorlink-no-such-device\nCOM20=/dev/null\n");
    auto form = startWithAdapter();
    showActive(*form);
    QStringList entries;
    QString stored;
    QString offered;
    QString afterCom1;
    QString afterCom17;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        for (int i = 0; i < dialog.ComboBoxCom->count(); ++i)
            entries << dialog.ComboBoxCom->itemText(i);
        stored = QStringLiteral("%1 %2")
                     .arg(dialog.ComboBoxCom->currentText())
                     .arg(dialog.ComboBoxCom->ItemIndex());
        offered = dialog.ComboBoxCom->itemData(16, Qt::ToolTipRole).toString();
        dialog.ComboBoxCom->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com1"));
        afterCom1 = QStringLiteral("%1 %2")
                        .arg(dialog.ComboBoxCom->currentText())
                        .arg(dialog.ComboBoxCom->ItemIndex());
        QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("7"));
        afterCom17 = QStringLiteral("%1 %2")
                         .arg(dialog.ComboBoxCom->currentText())
                         .arg(dialog.ComboBoxCom->ItemIndex());
        QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(dialog.ComboBoxCom->droppedDown());
        EXPECT_EQ(dialog.ComboBoxCom->view()->currentIndex().row(), 16);
        shoot(dialog, dialog.ComboBoxCom->view()->window(), QStringLiteral("portlist"));
        // Enter closes the open list, the next one confirms.
        QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
        EXPECT_FALSE(dialog.ComboBoxCom->droppedDown());
        QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
    });
    ASSERT_EQ(entries.size(), 19);
    EXPECT_EQ(entries.at(15), QStringLiteral("COM16"));
    EXPECT_EQ(entries.mid(16),
              (QStringList{QStringLiteral("COM17 FT232R USB UART"), QStringLiteral("COM20"),
                           QStringLiteral("COM31 (neexistuje)")}));
    EXPECT_EQ(stored, QStringLiteral("COM31 (neexistuje) 18"));
    EXPECT_EQ(offered,
              m_byId +
                  QStringLiteral(" (existuje): FT232R USB UART, výrobce FTDI, sériové číslo "
                                 "A50285BI, ") +
                  m_adapterNode + QStringLiteral(" – nové číslo, „Ok“ jej zapíše do [Ports]"));
    EXPECT_EQ(afterCom1, QStringLiteral("COM1 0"));
    EXPECT_EQ(afterCom17, QStringLiteral("COM17 FT232R USB UART 16"));
    const QString after =
        QStringLiteral("[General]\nBaudRateIndex=9\nComPortIndex=17\nTimeOut=300\n\n"
                       "[Ports]\nCOM17=") +
        m_byId + QStringLiteral("\nCOM2=/dev/quorlink-no-such-device\nCOM20=/dev/null\n");
    EXPECT_EQ(settingsText(), after);
    EXPECT_EQ(panel(*form, 3), QStringLiteral("Port COM17 otevřen"));
    const std::size_t boxes = m_dialogs.boxes.size(); // COM31 at the start

    // Confirmed again, the number maps the adapter already: no second line.
    pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
        QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
    });
    EXPECT_EQ(settingsText(), after);

    form.reset();
    form = startWithAdapter();
    EXPECT_EQ(panel(*form, 3), QStringLiteral("Port COM17 otevřen"));
    EXPECT_EQ(m_dialogs.boxes.size(), boxes);
    showActive(*form);
    QString chosen;
    QString mapped;
    pressF9(*form, [&](quorlink::qtface::PortDialog& dialog) {
        chosen = QStringLiteral("%1 %2")
                     .arg(dialog.ComboBoxCom->currentText())
                     .arg(dialog.ComboBoxCom->ItemIndex());
        mapped = dialog.ComboBoxCom->itemData(16, Qt::ToolTipRole).toString();
        dialog.close();
    });
    EXPECT_EQ(chosen, QStringLiteral("COM17 FT232R USB UART 16"));
    EXPECT_EQ(mapped,
              m_byId +
                  QStringLiteral(" (existuje): FT232R USB UART, výrobce FTDI, sériové číslo "
                                 "A50285BI, ") +
                  m_adapterNode);
}

// A [Ports] line that cannot be written (a full disk) is shown as any failed
// settings write, and nothing else is stored or reopened.  The old bytes fit
// under the limit, the rewritten file does not: the file cut short is never
// taken for the whole one.
TEST_F(PortDialog, shouldShowAPortLineThatCannotBeWrittenAndChangeNothing)
{
    // Longer than the lock file, which must still be written.
    const QByteArray before =
        "[General]\nComPortIndex=20\n\n[Other]\nNote=" + QByteArray(200, 'x') +
        "\n\n[Ports]\nCOM20=/dev/null\n";
    writeSettings(before);
    auto form = startWithAdapter();
    showActive(*form);
    ASSERT_EQ(panel(*form, 3), QStringLiteral("Port uzavřen")); // /dev/null is no serial port
    const std::size_t boxes = m_dialogs.boxes.size();
    {
        quorlink::testing::FileSizeLimit fullDisk(before.size() + 10);
        ASSERT_TRUE(fullDisk.active());
        pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
            dialog.ComboBoxCom->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com17"));
            QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
        });
    }
    ASSERT_EQ(m_dialogs.boxes.size(), boxes + 1);
    EXPECT_EQ(m_dialogs.boxes.back().kind, QStringLiteral("stop"));
    EXPECT_EQ(m_dialogs.boxes.back().caption, QStringLiteral("test_setcom_window"));
    EXPECT_EQ(m_dialogs.boxes.back().text, QStringLiteral("Failed to set data for 'COM17'"));
    EXPECT_EQ(settingsText(), QString::fromUtf8(before));
    EXPECT_EQ(form->form().ComPortIndex, 20);
    EXPECT_EQ(panel(*form, 3), QStringLiteral("Port uzavřen"));
}

// A device the user may not open: the box says so on its second line, with
// the group that may use it and how to join it.
TEST_F(PortDialog, shouldNameTheGroupThatMayUseADeviceTheUserMayNotOpen)
{
    RefusedDevice refused("ttyUSB7");
    writeSettings(QByteArray("[Ports]\nCOM5=") + QByteArray::fromStdString(refused.path()) + "\n");
    auto form = start();
    showActive(*form);
    {
        RefusedDevice::Refusal asAnotherUser;
        pressF9(*form, [](quorlink::qtface::PortDialog& dialog) {
            QTest::keyClicks(dialog.ComboBoxCom, QStringLiteral("com5"));
            QTest::keyClick(dialog.ComboBoxCom, Qt::Key_Return);
        });
    }
    const QString device = QString::fromStdString(refused.path());
    const QString group = QString::fromStdString(refused.group());
    const QString second =
        group.isEmpty()
            ? QStringLiteral("Nemáte oprávnění používat zařízení ") + device + QStringLiteral(".")
            : QStringLiteral("Zařízení ") + device + QStringLiteral(" smí používat jen skupina ") +
                  group + QStringLiteral(". Přidejte se do ní (v Debianu: sudo usermod -aG ") +
                  group + QStringLiteral(" $USER) a přihlaste se znovu.");
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].kind, QStringLiteral("information"));
    EXPECT_EQ(m_dialogs.boxes[0].caption, QStringLiteral("GetLastError2"));
    EXPECT_EQ(m_dialogs.boxes[0].text, QStringLiteral("Nelze otevrit COM\n") + second);
    EXPECT_EQ(panel(*form, 3), QStringLiteral("Port uzavřen"));
}

} // namespace
