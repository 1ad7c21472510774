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

} // namespace quorlink::win32
