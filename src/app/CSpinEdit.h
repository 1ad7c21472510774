#pragma once

#include "settings/spinvalue.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

// One arrow button of the spin field.  Left button only: releasing it over
// the button clicks; holding it repeats the click, the first repeat 400 ms
// after the press and then one every 100 ms, each only while the pointer is
// over the button.  The repeats follow the clock from the press, so a late
// timer tick catches up rather than losing a step.
class TTimerSpeedButton : public QWidget
{
    Q_OBJECT

public:
    enum class Direction { Up, Down };

    static constexpr int FirstRepeatMs = 400;
    static constexpr int RepeatMs = 100;

    TTimerSpeedButton(Direction direction, QWidget* parent);

    bool isDown() const { return m_down; }

signals:
    void pressed(); // left button went down on the button
    void clicked(); // one step: a repeat or the click on release

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void repeatDue();
    void scheduleNext();
    qint64 nextRepeatAt() const { return FirstRepeatMs + RepeatMs * m_repeats; }

    Direction m_direction;
    bool m_down = false;
    bool m_pointerInside = false;
    int m_repeats = 0;
    QElapsedTimer m_sincePress;
    QTimer m_timer;
};

// The pair of arrow buttons, up above down.
class TCSpinButton : public QWidget
{
    Q_OBJECT

public:
    explicit TCSpinButton(QWidget* parent);

    TTimerSpeedButton* upButton() const { return m_up; }
    TTimerSpeedButton* downButton() const { return m_down; }

signals:
    void OnUpClick();
    void OnDownClick();
    void pressed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    TTimerSpeedButton* m_up;
    TTimerSpeedButton* m_down;
};

// A numeric text field with arrow buttons at its right end.  It keeps no
// number apart from its text: Value is read from the text each time (text
// that is not a number becomes MinValue), written limited to
// MinValue..MaxValue (no limit while the two are equal) and stepped by
// Increment with the Up/Down keys and the arrow buttons.
class TCSpinEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TCSpinEdit(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return m_value.MinValue; }
    void setMinValue(std::int32_t value) { m_value.MinValue = value; }
    std::int32_t MaxValue() const { return m_value.MaxValue; }
    void setMaxValue(std::int32_t value) { m_value.MaxValue = value; }
    std::int32_t Increment() const { return m_value.Increment; }
    void setIncrement(std::int32_t value) { m_value.Increment = value; }

    // The number in the text, not limited; text that is not a number is
    // replaced by MinValue first.
    std::int32_t GetValue();
    // Writes the value limited, in plain decimal.
    void SetValue(std::int32_t value);
    std::int32_t CheckValue(std::int32_t value) const { return m_value.CheckValue(value); }

    virtual bool IsValidChar(char16_t key) const;
    virtual void UpClick(QObject* sender);
    virtual void DownClick(QObject* sender);

    // The owner's key-press handler: sees every accepted character before it
    // goes into the text, and may change it (0 drops it).
    std::function<void(QObject* sender, char16_t& key)> OnKeyPress;

    TCSpinButton* spinButton() const { return m_button; }
    // How many times a rejected key has beeped.
    int beepCount() const { return m_beeps; }

signals:
    void beeped();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void beep();
    void syncFromText();
    void syncToText();
    void takeFocusFromButton();

    quorlink::settings::SpinValue m_value;
    TCSpinButton* m_button;
    int m_beeps = 0;
    // The focus came with a left-button press that has not reached the text
    // yet: it may be a press on an arrow button, which Qt first gives to the
    // field as a click.
    bool m_focusByPress = false;
};
