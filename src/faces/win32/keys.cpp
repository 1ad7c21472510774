#include "keys.h"

namespace quorlink::win32 {

window::Key keyOf(WPARAM virtualKey)
{
    switch (virtualKey) {
    case VK_RETURN:
        return window::Key::Enter;
    case VK_ESCAPE:
        return window::Key::Escape;
    case VK_TAB:
        return window::Key::Tab;
    case VK_SPACE:
        return window::Key::Space;
    case VK_UP:
        return window::Key::Up;
    case VK_DOWN:
        return window::Key::Down;
    case VK_LEFT:
        return window::Key::Left;
    case VK_RIGHT:
        return window::Key::Right;
    case VK_PRIOR:
        return window::Key::PageUp;
    case VK_NEXT:
        return window::Key::PageDown;
    case VK_DELETE:
        return window::Key::Delete;
    default:
        return window::Key::Other;
    }
}

window::Modifiers heldModifiers()
{
    return {GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0};
}

} // namespace quorlink::win32
