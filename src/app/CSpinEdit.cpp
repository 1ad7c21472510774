#include "CSpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

// ---------------------------------------------------------------------------
// TTimerSpeedButton

TTimerSpeedButton::TTimerSpeedButton(Direction direction, QWidget* parent)
    : QWidget(parent), m_direction(direction)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TTimerSpeedButton::repeatDue);
}

void TTimerSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionButton button;
    button.initFrom(this);
    button.rect = rect();
    const bool sunken = m_down && m_pointerInside;
    button.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &button, &painter, this);
    QStyleOption arrow;
    arrow.initFrom(this);
    const int side = std::max(3, std::min(width(), height()) - 2);
    arrow.rect = QRect(0, 0, side, side);
    arrow.rect.moveCenter(rect().center() + (sunken ? QPoint(1, 1) : QPoint()));
    style()->drawPrimitive(m_direction == Direction::Up ? QStyle::PE_IndicatorArrowUp
                                                        : QStyle::PE_IndicatorArrowDown,
                           &arrow, &painter, this);
}

void TTimerSpeedButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_down)
        return;
    m_down = true;
    m_pointerInside = true;
    m_repeats = 0;
    m_sincePress.start();
    emit pressed();
    scheduleNext();
    update();
}

void TTimerSpeedButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_down)
        return;
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != m_pointerInside) {
        m_pointerInside = inside;
        update();
    }
}

void TTimerSpeedButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_down)
        return;
    m_pointerInside = rect().contains(event->position().toPoint());
    // Repeats that fell due before the release still count, even when the
    // event loop was too busy to run the timer on time.
    repeatDue();
    m_down = false;
    m_timer.stop();
    update();
    if (m_pointerInside)
        emit clicked();
}

void TTimerSpeedButton::repeatDue()
{
    if (!m_down)
        return;
    if (!isVisible()) {
        // Hidden while held (the dialog closed): no release will come.
        m_down = false;
        m_timer.stop();
        return;
    }
    const qint64 elapsed = m_sincePress.elapsed();
    while (elapsed >= nextRepeatAt()) {
        ++m_repeats;
        if (m_pointerInside)
            emit clicked();
        if (!m_down)
            return;
    }
    scheduleNext();
}

void TTimerSpeedButton::scheduleNext()
{
    const qint64 remaining = nextRepeatAt() - m_sincePress.elapsed();
    m_timer.start(static_cast<int>(std::max<qint64>(0, remaining)));
}

// ---------------------------------------------------------------------------
// TCSpinButton

TCSpinButton::TCSpinButton(QWidget* parent)
    : QWidget(parent), m_up(new TTimerSpeedButton(TTimerSpeedButton::Direction::Up, this)),
      m_down(new TTimerSpeedButton(TTimerSpeedButton::Direction::Down, this))
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    m_up->setObjectName(QStringLiteral("UpButton"));
    m_down->setObjectName(QStringLiteral("DownButton"));
    connect(m_up, &TTimerSpeedButton::clicked, this, &TCSpinButton::OnUpClick);
    connect(m_down, &TTimerSpeedButton::clicked, this, &TCSpinButton::OnDownClick);
    connect(m_up, &TTimerSpeedButton::pressed, this, &TCSpinButton::pressed);
    connect(m_down, &TTimerSpeedButton::pressed, this, &TCSpinButton::pressed);
}

void TCSpinButton::resizeEvent(QResizeEvent*)
{
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

// ---------------------------------------------------------------------------
// TCSpinEdit

namespace {

constexpr int ButtonWidth = 15; // pixels, both arrows

// The character a key press types, as a 16-bit code; nothing for keys that
// type none (cursor keys, Delete, function keys).
std::optional<char16_t> typedCharacter(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return u'\r';
    case Qt::Key_Backspace:
        return u'\b';
    case Qt::Key_Escape:
        return char16_t(27);
    case Qt::Key_Tab:
        return u'\t';
    case Qt::Key_Delete:
        return std::nullopt;
    default:
        break;
    }
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) &&
        event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return static_cast<char16_t>(event.key() - Qt::Key_A + 1);
    const QString text = event.text();
    if (text.isEmpty() || text.at(0).unicode() == 0x7F)
        return std::nullopt;
    return text.at(0).unicode();
}

} // namespace

TCSpinEdit::TCSpinEdit(QWidget* parent) : QLineEdit(parent), m_button(new TCSpinButton(this))
{
    setText(QStringLiteral("0"));
    // Composed input would bypass the character check.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setTextMargins(0, 0, ButtonWidth, 0);
    connect(m_button, &TCSpinButton::OnUpClick, this, [this] { UpClick(m_button); });
    connect(m_button, &TCSpinButton::OnDownClick, this, [this] { DownClick(m_button); });
    connect(m_button, &TCSpinButton::pressed, this, &TCSpinEdit::takeFocusFromButton);
}

void TCSpinEdit::syncFromText()
{
    m_value.Text = text().toStdU16String();
}

void TCSpinEdit::syncToText()
{
    const QString wanted = QString::fromStdU16String(m_value.Text);
    if (wanted != text())
        setText(wanted);
}

std::int32_t TCSpinEdit::GetValue()
{
    syncFromText();
    const std::int32_t value = m_value.GetValue();
    syncToText();
    return value;
}

void TCSpinEdit::SetValue(std::int32_t value)
{
    m_value.SetValue(value);
    syncToText();
}

bool TCSpinEdit::IsValidChar(char16_t key) const
{
    const QString separator = QLocale().decimalPoint();
    return quorlink::settings::isValidSpinChar(
        key, separator.isEmpty() ? u'.' : separator.at(0).unicode());
}

void TCSpinEdit::UpClick(QObject*)
{
    syncFromText();
    m_value.UpClick();
    syncToText();
}

void TCSpinEdit::DownClick(QObject*)
{
    syncFromText();
    m_value.DownClick();
    syncToText();
}

void TCSpinEdit::beep()
{
    ++m_beeps;
    QApplication::beep();
    emit beeped();
}

void TCSpinEdit::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    if (event->key() == Qt::Key_Up) {
        UpClick(this);
        return;
    }
    if (event->key() == Qt::Key_Down) {
        DownClick(this);
        return;
    }
    const std::optional<char16_t> typed = typedCharacter(*event);
    if (!typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    char16_t key = *typed;
    if (!IsValidChar(key)) {
        // Goes no further: neither the text nor the owner sees it, and Enter
        // does not reach the dialog's default button.
        beep();
        return;
    }
    if (OnKeyPress)
        OnKeyPress(this, key);
    if (key == 0 || key == 27 || key == u'\r')
        return;
    if (key != *typed) {
        if (key >= 32)
            insert(QString(QChar(key)));
        return;
    }
    QLineEdit::keyPressEvent(event);
    // Whatever the text field does not take (Tab is handled before this)
    // stays here rather than reaching the dialog.
    event->accept();
}

void TCSpinEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    const bool leftPressOnText =
        event->reason() == Qt::MouseFocusReason && (QApplication::mouseButtons() & Qt::LeftButton);
    m_focusByPress = leftPressOnText;
    if (!leftPressOnText)
        selectAll();
}

void TCSpinEdit::mousePressEvent(QMouseEvent* event)
{
    m_focusByPress = false; // the press was on the text after all
    QLineEdit::mousePressEvent(event);
}

void TCSpinEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Only when the focus goes to another control, not when the window is
    // deactivated or a popup opens.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    syncFromText();
    if (m_value.Leave())
        syncToText();
}

void TCSpinEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    QStyleOptionFrame frame;
    initStyleOption(&frame);
    const int inset = std::max(1, style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this));
    m_button->setGeometry(width() - inset - ButtonWidth, inset, ButtonWidth, height() - 2 * inset);
}

void TCSpinEdit::takeFocusFromButton()
{
    if (!hasFocus()) {
        setFocus(Qt::OtherFocusReason);
    } else if (m_focusByPress) {
        m_focusByPress = false;
        selectAll();
    }
}
