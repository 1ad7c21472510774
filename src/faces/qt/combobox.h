#pragma once

#include "window/UnitSetCom.h"

#include <QComboBox>

#include <functional>

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
    void showItems(const std::vector<std::u16string>& items) override;
    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
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
    bool m_leaving = false;
};

} // namespace quorlink::qtface
