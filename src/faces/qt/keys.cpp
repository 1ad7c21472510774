#include "keys.h"

namespace quorlink::qtface {

window::Modifiers modifiersOf(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers held = event.modifiers();
    return {(held & Qt::ShiftModifier) != 0, (held & Qt::ControlModifier) != 0,
            (held & (Qt::AltModifier | Qt::MetaModifier)) != 0};
}

std::optional<window::Key> keyOf(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return window::Key::Enter;
    case Qt::Key_Escape:
        return window::Key::Escape;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return window::Key::Tab;
    case Qt::Key_Space:
        return window::Key::Space;
    case Qt::Key_Up:
        return window::Key::Up;
    case Qt::Key_Down:
        return window::Key::Down;
    case Qt::Key_Left:
        return window::Key::Left;
    case Qt::Key_Right:
        return window::Key::Right;
    case Qt::Key_PageUp:
        return window::Key::PageUp;
    case Qt::Key_PageDown:
        return window::Key::PageDown;
    case Qt::Key_Delete:
        return window::Key::Delete;
    default:
        return std::nullopt;
    }
}

std::optional<char16_t> typedCharacter(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return window::EnterChar;
    case Qt::Key_Backspace:
        return u'\b';
    case Qt::Key_Escape:
        return window::EscChar;
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

} // namespace quorlink::qtface
