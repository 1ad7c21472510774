#include "windowfont.h"

#include "text.h"
#include "window/windowdefs.h"

namespace quorlink::win32 {

namespace {

// A function of a system DLL that older Windows lack, or null there.
template <typename Function> Function* systemFunction(HMODULE module, const char* name)
{
    if (!module)
        return nullptr;
    // Through void*: GetProcAddress's type says nothing of the real one.
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE user32()
{
    static const HMODULE module = GetModuleHandleW(L"user32.dll");
    return module;
}

// GetDpiForMonitor of Windows 8.1, from shcore.dll, which Windows 7 lacks.
// Only System32's copy is loaded; Windows 7 without the update that knows
// LOAD_LIBRARY_SEARCH_SYSTEM32 refuses the flag and is at the system's scale
// anyway.
using GetDpiForMonitorFunction = HRESULT WINAPI(HMONITOR, int, UINT*, UINT*);
GetDpiForMonitorFunction* getDpiForMonitor()
{
    static GetDpiForMonitorFunction* const function = systemFunction<GetDpiForMonitorFunction>(
        LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor");
    return function;
}

} // namespace

HFONT createWindowFont(UINT dpi)
{
    // The point size at the monitor's dots per inch: -11 at 96.
    const std::wstring family = toWide(window::WindowFont.family);
    return CreateFontW(-MulDiv(window::WindowFont.pointSize, static_cast<int>(dpi), 72), 0, 0, 0,
                       FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       family.c_str());
}

UINT dpiOfWindow(HWND window)
{
    // Windows 10 1607 on.
    static const auto getDpiForWindow =
        systemFunction<UINT WINAPI(HWND)>(user32(), "GetDpiForWindow");
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    // Windows 8.1: the effective dots per inch of the window's monitor.
    if (GetDpiForMonitorFunction* const forMonitor = getDpiForMonitor()) {
        constexpr int EffectiveDpi = 0; // MDT_EFFECTIVE_DPI
        UINT x = 0;
        UINT y = 0;
        if (SUCCEEDED(forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), EffectiveDpi,
                                 &x, &y)) &&
            x != 0)
            return x;
    }
    // Windows 7: one scale for every monitor.
    UINT dpi = 96;
    if (const HDC screen = GetDC(nullptr)) {
        if (const int perInch = GetDeviceCaps(screen, LOGPIXELSX); perInch > 0)
            dpi = static_cast<UINT>(perInch);
        ReleaseDC(nullptr, screen);
    }
    return dpi;
}

void adjustFrameForDpi(RECT& frame, DWORD style, bool hasMenu, DWORD exStyle, UINT dpi)
{
    // Windows 10 1607 on.
    static const auto adjustForDpi = systemFunction<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>(
        user32(), "AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&frame, style, hasMenu, exStyle, dpi))
        AdjustWindowRectEx(&frame, style, hasMenu, exStyle);
}

} // namespace quorlink::win32
