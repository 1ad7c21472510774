#pragma once

#include <windows.h>

namespace quorlink::win32 {

// The font of both windows (window::WindowFont) at `dpi` dots per inch.  The
// caller deletes it.
HFONT createWindowFont(UINT dpi);

// `pixels96`, a length at 96 dots per inch, at `dpi`.
inline int scaled(int pixels96, UINT dpi)
{
    return MulDiv(pixels96, static_cast<int>(dpi), 96);
}

// The dots per inch `window` is shown at: its monitor's where the system
// scales each monitor on its own (Windows 8.1 on), the system's otherwise.
// The same program runs on Windows 7, so the newer functions are looked up
// when first needed rather than imported.
UINT dpiOfWindow(HWND window);

// Grows `frame`, a client rectangle, by the frame, caption and menu bar of a
// window with `style` and `exStyle` drawn at `dpi` (at the system's dots per
// inch before Windows 10 1607, which draws frames at that scale anyway).
void adjustFrameForDpi(RECT& frame, DWORD style, bool hasMenu, DWORD exStyle, UINT dpi);

} // namespace quorlink::win32
