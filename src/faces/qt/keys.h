#pragma once

// Qt's key events as the window's behaviour takes them.

#include "window/keys.h"

#include <QKeyEvent>

#include <optional>

namespace quorlink::qtface {

window::Modifiers modifiersOf(const QKeyEvent& event);

// The key, for keys that type nothing the behaviour cares about (arrows,
// Page Up and Down, Enter, Esc, Tab, Space, Delete); nothing for the others.
std::optional<window::Key> keyOf(const QKeyEvent& event);

// The character a key press types, as a 16-bit code: Enter CR, Backspace 8,
// Esc 27, Tab 9, Ctrl+letter its control code, else the key's text.
// Nothing for keys that type none (cursor keys, Delete, function keys).
std::optional<char16_t> typedCharacter(const QKeyEvent& event);

} // namespace quorlink::qtface
