#pragma once

#include "spinedit.h"
#include "window/UnitSetCom.h"

#include <QComboBox>
#include <QDialog>

#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;

namespace quorlink::qtface {

// An editable drop-down list (ComboBoxCom, ComboBoxBaud) in Qt.  Its choice
// and completion are TComboBox's: this hands it the keys and the text after
// each edit, with the drop-down part open or closed, and shows its choice.
class ComboBoxWidget : public QComboBox, public window::ComboBoxFace
{
    Q_OBJECT

public:
    ComboBoxWidget(window::DialogControl control, QWidget* parent);

    // The behaviour this shows, and the dialog's key table and key-press
    // handler for the keys it does not take itself.
    void attach(window::TComboBox* box, std::function<bool(window::Key, window::Modifiers)> keyDown,
                std::function<bool(char16_t&)> keyPress);
    window::TComboBox& box() { return *m_box; }
    int ItemIndex() const { return m_box->ItemIndex(); }

    // ComboBoxFace
    void showChoice(int itemIndex, std::u16string_view text, int selStart, int selLength) override;
    bool droppedDown() const override;
    void closeDropDown() override { hidePopup(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether a key pressed in the open drop-down part belongs to the box.
    static bool keyForBox(const QKeyEvent& event);

    window::DialogControl m_control;
    window::TComboBox* m_box = nullptr;
    std::function<bool(window::Key, window::Modifiers)> m_keyDown;
    std::function<bool(char16_t&)> m_keyPress;
    bool m_showing = false;
    bool m_inKey = false;
};

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

private:
    QWidget* widgetOf(window::DialogControl control) const;

    QtClock m_clock;
    QtTimer m_timer;
    std::unique_ptr<window::TSetCom> m_core;
};

} // namespace quorlink::qtface
