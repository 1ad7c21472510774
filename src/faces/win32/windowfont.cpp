#include "windowfont.h"

#include "window/windowdefs.h"
#include "wintext.h"

namespace quorlink::win32 {

HFONT createWindowFont(UINT dpi)
{
    // The point size at the monitor's dots per inch: -11 at 96.
    const std::wstring family = toWide(window::WindowFont.family);
    return CreateFontW(-MulDiv(window::WindowFont.pointSize, static_cast<int>(dpi), 72), 0, 0, 0,
                       FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       family.c_str());
}

} // namespace quorlink::win32
