#include "spinedit.h"

#include "keys.h"
#include "text.h"

#include <QApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace quorlink::qtface {

namespace {

constexpr int ButtonWidth = 15; // pixels, both arrows

} // namespace

// ---------------------------------------------------------------------------
// ArrowButton

ArrowButton::ArrowButton(window::TCSpinEdit::Arrow arrow, SpinEditWidget* field)
    : QWidget(field), m_arrow(arrow), m_field(field)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setObjectName(arrow == window::TCSpinEdit::Arrow::Up ? QStringLiteral("UpButton")
                                                         : QStringLiteral("DownButton"));
}

void ArrowButton::paintEvent(QPaintEvent*)
{
    const window::TTimerSpeedButton& state = m_field->field().button(m_arrow);
    QPainter painter(this);
    QStyleOptionButton button;
    button.initFrom(this);
    button.rect = rect();
    const bool sunken = state.isDown() && state.isPointerOver();
    button.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &button, &painter, this);
    QStyleOption arrow;
    arrow.initFrom(this);
    const int side = std::max(3, std::min(width(), height()) - 2);
    arrow.rect = QRect(0, 0, side, side);
    arrow.rect.moveCenter(rect().center() + (sunken ? QPoint(1, 1) : QPoint()));
    style()->drawPrimitive(m_arrow == window::TCSpinEdit::Arrow::Up ? QStyle::PE_IndicatorArrowUp
                                                                    : QStyle::PE_IndicatorArrowDown,
                           &arrow, &painter, this);
}

void ArrowButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_field->arrowPressed();
    m_field->field().ArrowMouseDown(m_arrow);
    update();
}

void ArrowButton::mouseMoveEvent(QMouseEvent* event)
{
    m_field->field().ArrowMouseMove(m_arrow, rect().contains(event->position().toPoint()));
    update();
}

void ArrowButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_field->field().ArrowMouseUp(m_arrow, rect().contains(event->position().toPoint()));
    update();
}

// ---------------------------------------------------------------------------
// SpinEditWidget

SpinEditWidget::SpinEditWidget(QWidget* parent)
    : QLineEdit(parent), m_up(new ArrowButton(window::TCSpinEdit::Arrow::Up, this)),
      m_down(new ArrowButton(window::TCSpinEdit::Arrow::Down, this))
{
    setText(QStringLiteral("0"));
    // Composed input would bypass the character check.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setTextMargins(0, 0, ButtonWidth, 0);
}

void SpinEditWidget::attach(window::TCSpinEdit* field,
                            std::function<bool(window::Key, window::Modifiers)> keyDown)
{
    m_field = field;
    m_keyDown = std::move(keyDown);
}

std::u16string SpinEditWidget::fieldText() const
{
    return text().toStdU16String();
}

void SpinEditWidget::setFieldText(std::u16string_view text)
{
    setText(toQString(text));
}

void SpinEditWidget::beep()
{
    ++m_beeps;
    QApplication::beep();
    emit beeped();
}

char16_t SpinEditWidget::decimalSeparator() const
{
    const QString separator = QLocale().decimalPoint();
    return separator.isEmpty() ? u'.' : separator.at(0).unicode();
}

void SpinEditWidget::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    const std::optional<window::Key> key = keyOf(*event);
    const bool dialogKey = key && (*key == window::Key::Enter || *key == window::Key::Escape ||
                                   *key == window::Key::Up || *key == window::Key::Down);
    if (dialogKey && m_keyDown && m_keyDown(*key, modifiersOf(*event)))
        return;
    const std::optional<char16_t> typed = typedCharacter(*event);
    if (!typed || !m_field) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    char16_t character = *typed;
    if (!m_field->KeyPress(character))
        return;
    if (character != *typed) {
        if (character >= 32)
            insert(QString(QChar(character)));
        return;
    }
    QLineEdit::keyPressEvent(event);
    // Whatever the text field does not take stays here rather than reaching
    // the dialog.
    event->accept();
}

void SpinEditWidget::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    const bool leftPressOnText =
        event->reason() == Qt::MouseFocusReason && (QApplication::mouseButtons() & Qt::LeftButton);
    m_focusByPress = leftPressOnText;
    if (m_field)
        m_field->FocusEntered(leftPressOnText);
}

void SpinEditWidget::mousePressEvent(QMouseEvent* event)
{
    m_focusByPress = false; // the press was on the text after all
    QLineEdit::mousePressEvent(event);
}

void SpinEditWidget::arrowPressed()
{
    if (m_focusByPress && m_field) {
        m_focusByPress = false;
        m_field->FocusEntered(false);
    }
}

void SpinEditWidget::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Only when the focus goes to another control, not when the window is
    // deactivated or a popup opens.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (m_field)
        m_field->FocusLeft();
}

void SpinEditWidget::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    QStyleOptionFrame frame;
    initStyleOption(&frame);
    const int inset = std::max(1, style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this));
    const int height = this->height() - 2 * inset;
    const int upper = height / 2;
    m_up->setGeometry(width() - inset - ButtonWidth, inset, ButtonWidth, upper);
    m_down->setGeometry(width() - inset - ButtonWidth, inset + upper, ButtonWidth, height - upper);
}

void SpinEditWidget::hideEvent(QHideEvent* event)
{
    QLineEdit::hideEvent(event);
    // Hidden while a button was held: no release will come.
    if (m_field)
        m_field->Hidden();
}

} // namespace quorlink::qtface
