#pragma once

// Win32's keys as the window's behaviour takes them.

#include "window/keys.h"

#include <windows.h>

namespace quorlink::win32 {

// The key of a WM_KEYDOWN's virtual-key code: Key::Other for those the
// behaviour does not tell apart.
window::Key keyOf(WPARAM virtualKey);

// The modifiers held when the message being handled was made.
window::Modifiers heldModifiers();

} // namespace quorlink::win32
