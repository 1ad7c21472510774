#pragma once

// Keys as the window's behaviour sees them.  A face translates its own key
// events into these: KeyDown for keys that type nothing (arrows, Enter and
// Esc as keys), KeyPress for the characters a key types.

namespace quorlink::window {

enum class Key {
    Enter,
    Escape,
    Tab,
    Space,
    Up,
    Down,
    Left,
    Right,
    PageUp,
    PageDown,
    Delete,
    Other
};

struct Modifiers
{
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool any() const { return shift || ctrl || alt; }
};

inline constexpr char16_t EscChar = 27;
inline constexpr char16_t EnterChar = u'\r';

} // namespace quorlink::window
