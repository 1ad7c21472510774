#pragma once

#include "clock.h"
#include "window/CSpinEdit.h"

#include <QLineEdit>
#include <QWidget>

#include <functional>

namespace quorlink::qtface {

class SpinEditWidget;

// One arrow button of the spin field: reports the left button's press,
// moves and release to the field's behaviour, and draws itself pressed while
// held over.
class ArrowButton : public QWidget
{
    Q_OBJECT

public:
    ArrowButton(window::TCSpinEdit::Arrow arrow, SpinEditWidget* field);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    window::TCSpinEdit::Arrow m_arrow;
    SpinEditWidget* m_field;
};

// The time-out field EditTimeOut in Qt: a line edit with the two arrow
// buttons at its right end.  Its behaviour is TCSpinEdit's (field()).
class SpinEditWidget : public QLineEdit, public window::SpinEditFace
{
    Q_OBJECT

public:
    explicit SpinEditWidget(QWidget* parent = nullptr);

    // The behaviour this shows; set once by the dialog that owns both, and
    // `keyDown` is the dialog's key table for the keys that type nothing.
    void attach(window::TCSpinEdit* field,
                std::function<bool(window::Key, window::Modifiers)> keyDown);
    window::TCSpinEdit& field() { return *m_field; }

    ArrowButton* upButton() const { return m_up; }
    ArrowButton* downButton() const { return m_down; }
    // How many times a rejected key has beeped.
    int beepCount() const { return m_beeps; }

    // SpinEditFace
    std::u16string fieldText() const override;
    void setFieldText(std::u16string_view text) override;
    void selectAll() override { QLineEdit::selectAll(); }
    bool hasFocus() const override { return QLineEdit::hasFocus(); }
    void takeFocus() override { setFocus(Qt::OtherFocusReason); }
    void beep() override;
    char16_t decimalSeparator() const override;

    // A press on an arrow button came with the focus: it was no press on the
    // text after all.
    void arrowPressed();

signals:
    void beeped();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    window::TCSpinEdit* m_field = nullptr;
    std::function<bool(window::Key, window::Modifiers)> m_keyDown;
    ArrowButton* m_up;
    ArrowButton* m_down;
    int m_beeps = 0;
    // The focus came with a left-button press that has not reached the text
    // yet: it may be a press on an arrow button, which Qt first gives to the
    // field as a click.
    bool m_focusByPress = false;
};

} // namespace quorlink::qtface
