#include "CSpinEdit.h"

#include <algorithm>

namespace quorlink::window {

// ---------------------------------------------------------------------------
// TTimerSpeedButton

TTimerSpeedButton::TTimerSpeedButton(const Clock& clock, Timer& timer, std::function<void()> click)
    : m_clock(clock), m_timer(timer), m_click(std::move(click))
{}

void TTimerSpeedButton::MouseDown()
{
    if (m_down)
        return;
    m_down = true;
    m_over = true;
    m_repeats = 0;
    m_pressedAt = m_clock.nowMs();
    m_timer.start(FirstRepeatMs);
}

void TTimerSpeedButton::MouseMove(bool overButton)
{
    if (m_down)
        m_over = overButton;
}

void TTimerSpeedButton::clickDueRepeats()
{
    const std::int64_t elapsed = m_clock.nowMs() - m_pressedAt;
    while (m_down && elapsed >= nextRepeatAt()) {
        ++m_repeats;
        if (m_over)
            m_click();
    }
}

void TTimerSpeedButton::TimerExpired()
{
    if (!m_down)
        return;
    clickDueRepeats();
    if (m_down)
        m_timer.start(std::max<std::int64_t>(0, nextRepeatAt() - (m_clock.nowMs() - m_pressedAt)));
}

void TTimerSpeedButton::MouseUp(bool overButton)
{
    if (!m_down)
        return;
    m_over = overButton;
    clickDueRepeats();
    m_down = false;
    m_timer.stop();
    if (overButton)
        m_click();
}

void TTimerSpeedButton::Cancel()
{
    if (!m_down)
        return;
    m_down = false;
    m_timer.stop();
}

// ---------------------------------------------------------------------------
// TCSpinEdit

TCSpinEdit::TCSpinEdit(SpinEditFace& face, const Clock& clock, Timer& timer)
    : m_face(face), m_up(clock, timer, [this] { UpClick(); }),
      m_down(clock, timer, [this] { DownClick(); })
{}

void TCSpinEdit::syncFromFace()
{
    m_value.Text = m_face.fieldText();
}

void TCSpinEdit::syncToFace()
{
    if (m_face.fieldText() != m_value.Text)
        m_face.setFieldText(m_value.Text);
}

std::int32_t TCSpinEdit::GetValue()
{
    syncFromFace();
    const std::int32_t value = m_value.GetValue();
    syncToFace();
    return value;
}

void TCSpinEdit::SetValue(std::int32_t value)
{
    m_value.SetValue(value);
    syncToFace();
}

bool TCSpinEdit::IsValidChar(char16_t key) const
{
    return isValidSpinChar(key, m_face.decimalSeparator());
}

void TCSpinEdit::UpClick()
{
    syncFromFace();
    m_value.UpClick();
    syncToFace();
}

void TCSpinEdit::DownClick()
{
    syncFromFace();
    m_value.DownClick();
    syncToFace();
}

bool TCSpinEdit::KeyDown(Key key, Modifiers modifiers)
{
    if (modifiers.alt || modifiers.ctrl)
        return false;
    if (key == Key::Up) {
        UpClick();
        return true;
    }
    if (key == Key::Down) {
        DownClick();
        return true;
    }
    return false;
}

bool TCSpinEdit::KeyPress(char16_t& key)
{
    const char16_t typed = key;
    if (!IsValidChar(typed)) {
        // Neither the text nor the owner sees it; Enter does not reach the
        // dialog's default button.
        m_face.beep();
        return false;
    }
    if (OnKeyPress)
        OnKeyPress(key);
    // Esc and Enter never go into a single-line text.
    return key != 0 && key != EscChar && key != EnterChar;
}

void TCSpinEdit::FocusEntered(bool byLeftPressOnText)
{
    if (!byLeftPressOnText)
        m_face.selectAll();
}

void TCSpinEdit::FocusLeft()
{
    syncFromFace();
    if (m_value.Leave())
        syncToFace();
}

void TCSpinEdit::ArrowMouseDown(Arrow arrow)
{
    // A press on either button brings the keyboard focus into the field.
    if (!m_face.hasFocus())
        m_face.takeFocus();
    buttonOf(arrow).MouseDown();
}

void TCSpinEdit::ArrowMouseMove(Arrow arrow, bool overButton)
{
    buttonOf(arrow).MouseMove(overButton);
}

void TCSpinEdit::ArrowMouseUp(Arrow arrow, bool overButton)
{
    buttonOf(arrow).MouseUp(overButton);
}

void TCSpinEdit::TimerExpired()
{
    m_up.TimerExpired();
    m_down.TimerExpired();
}

void TCSpinEdit::Hidden()
{
    m_up.Cancel();
    m_down.Cancel();
}

} // namespace quorlink::window
