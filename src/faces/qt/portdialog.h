#pragma once

#include "clock.h"
#include "combobox.h"
#include "spinedit.h"
#include "window/UnitSetCom.h"

#include <QDialog>

#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;

namespace quorlink::qtface {

// The port settings dialog SetCom in Qt.  What it does is TSetCom's
// (core()); this lays it out from the dialog's table, runs its modal loop and
// hands TSetCom the keys and clicks.
class PortDialog : public QDialog, public window::SetComFace
{
    Q_OBJECT

public:
    explicit PortDialog(QWidget* parent = nullptr);
    ~PortDialog() override;

    window::TSetCom& core() { return *m_core; }

    // Components, named as their objectName.
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    ComboBoxWidget* ComboBoxCom = nullptr;
    QLabel* Label2 = nullptr;
    ComboBoxWidget* ComboBoxBaud = nullptr;
    QLabel* Label3 = nullptr;
    SpinEditWidget* EditTimeOut = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // SetComFace
    int runModal() override { return exec(); }
    void endModal(int result) override { QDialog::done(result); }
    std::optional<window::DialogControl> focusedControl() const override;
    void setFocus(window::DialogControl control, bool forward) override;
    void showDefaultButton(window::DialogControl button) override;
    window::Point position() const override;
    void move(window::Point topLeft) override;
    window::Point frameSize() const override;
    window::Rect ownerFrame() const override;
    window::Rect desktopArea() const override;
    void setPortDescriptions(const std::vector<std::u16string>& descriptions) override;

public slots:
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab and Shift+Tab from any control: TSetCom's tab order.
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* widgetOf(window::DialogControl control) const;

    QtClock m_clock;
    QtTimer m_timer;
    std::unique_ptr<window::TSetCom> m_core;
};

} // namespace quorlink::qtface
