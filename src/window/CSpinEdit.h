#pragma once

// CSpinEdit: the time-out field TCSpinEdit and its arrow buttons (TTimerSpeedButton).

#include "face.h"
#include "keys.h"
#include "spinvalue.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quorlink::window {

// The text field of a spin field as its face shows it.
class SpinEditFace
{
public:
    virtual ~SpinEditFace() = default;
    virtual std::u16string fieldText() const = 0;
    virtual void setFieldText(std::u16string_view text) = 0;
    virtual void selectAll() = 0;
    virtual bool hasFocus() const = 0;
    // Moves the keyboard focus into the field; the field's face then
    // reports FocusEntered as for any other way in.
    virtual void takeFocus() = 0;
    // The system's default beep.
    virtual void beep() = 0;
    // The decimal separator of the user's regional settings.
    virtual char16_t decimalSeparator() const = 0;
};

// One arrow button of the spin field: left button only.  Releasing it over
// the button clicks; holding it repeats the click, the first repeat 400 ms
// after the press and then one every 100 ms, each only while the pointer is
// over the button.  Repeats follow the clock from the press, so a late timer
// catches up rather than losing a step, and repeats that fell due before the
// release still count.
class TTimerSpeedButton
{
public:
    static constexpr std::int64_t FirstRepeatMs = 400;
    static constexpr std::int64_t RepeatMs = 100;

    TTimerSpeedButton(const Clock& clock, Timer& timer, std::function<void()> click);

    void MouseDown();
    void MouseMove(bool overButton);
    void MouseUp(bool overButton);
    // The timer the button started has run out.
    void TimerExpired();
    // The button went away while held (its window was hidden): no release
    // will come.
    void Cancel();

    bool isDown() const { return m_down; }
    bool isPointerOver() const { return m_over; }

private:
    void clickDueRepeats();
    std::int64_t nextRepeatAt() const { return FirstRepeatMs + RepeatMs * m_repeats; }

    const Clock& m_clock;
    Timer& m_timer;
    std::function<void()> m_click;
    bool m_down = false;
    bool m_over = false;
    std::int64_t m_pressedAt = 0;
    std::int64_t m_repeats = 0;
};

// A numeric text field with a pair of arrow buttons at its right end.  It
// keeps no number apart from its text: Value is read from the text each time
// (text that is not a number becomes MinValue), written limited to
// MinValue..MaxValue (no limit while the two are equal) and stepped by
// Increment with the Up and Down keys and the arrow buttons.
class TCSpinEdit
{
public:
    enum class Arrow { Up, Down };

    // The two buttons share `timer`: only one can be held at a time.
    TCSpinEdit(SpinEditFace& face, const Clock& clock, Timer& timer);
    virtual ~TCSpinEdit() = default;

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
    virtual void UpClick();
    virtual void DownClick();

    // The owner's key-press handler: sees every accepted character before
    // it goes into the text, and may change it (0 drops it).
    std::function<void(char16_t& key)> OnKeyPress;

    // ---- Input from the face

    // A key that types nothing.  Returns true when the field used it (Up and
    // Down step); anything else is the text field's own.
    bool KeyDown(Key key, Modifiers modifiers);
    // A typed character.  A character the field does not accept beeps and
    // goes no further (the owner does not see it).  Returns true when the
    // face is to put `key` (possibly changed by the owner) into the text.
    bool KeyPress(char16_t& key);
    // The field got the focus: the whole text is selected unless the focus
    // came with a left-button press on the text itself.
    void FocusEntered(bool byLeftPressOnText);
    // The focus moved to another control: a value out of range is corrected;
    // text within the range keeps its form.
    void FocusLeft();

    void ArrowMouseDown(Arrow arrow);
    void ArrowMouseMove(Arrow arrow, bool overButton);
    void ArrowMouseUp(Arrow arrow, bool overButton);
    void TimerExpired();
    // The field was hidden (its dialog closed) while a button was held.
    void Hidden();

    const TTimerSpeedButton& button(Arrow arrow) const
    {
        return arrow == Arrow::Up ? m_up : m_down;
    }

private:
    TTimerSpeedButton& buttonOf(Arrow arrow) { return arrow == Arrow::Up ? m_up : m_down; }
    void syncFromFace();
    void syncToFace();

    SpinEditFace& m_face;
    SpinValue m_value;
    TTimerSpeedButton m_up;
    TTimerSpeedButton m_down;
};

} // namespace quorlink::window
