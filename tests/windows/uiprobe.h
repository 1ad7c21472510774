#pragma once

// What the test probe reads inside quorlink.exe, where Wine lets a program
// read its own menus and fonts only (another process's HMENU and HFONT do
// not work there).  The probe DLL is loaded into the program by the test
// and its functions run on a thread of their own, each filling a request.

#include <windows.h>

namespace uitest {

struct MenuEntry
{
    int level;         // 0 for the menu bar, 1 for an item of a menu
    UINT state;        // GetMenuState: MF_GRAYED, MF_CHECKED, MF_SEPARATOR...
    UINT id;           // the command id (0 for a menu and a separator)
    wchar_t text[128]; // caption, with the shortcut's text after a tab
};

struct MenuRequest
{
    HWND window;
    int count;
    MenuEntry entries[32];
};

struct FontRequest
{
    HWND window; // WM_GETFONT of this window
    LOGFONTW font;
    BOOL found;
};

// Which of the system's icons a static control (a message box's icon)
// shows: InformationIcon, StopIcon, or 0 for another or none.
inline constexpr WORD InformationIcon = 32516; // IDI_INFORMATION (IDI_ASTERISK)
inline constexpr WORD StopIcon = 32513;        // IDI_ERROR (IDI_HAND)
struct IconRequest
{
    HWND control;
    WORD icon;
};

// The icons of a window's class: the resource each was loaded from (0 when
// none), and the file holding it.
struct ClassIconRequest
{
    HWND window;
    WORD largeId;
    WORD smallId;
    wchar_t largeModule[MAX_PATH];
    wchar_t smallModule[MAX_PATH];
};

// WM_DPICHANGED sent to `window` as the system sends it when the window
// reaches a monitor of `dpi` dots per inch, with the frame it suggests.
struct DpiChangeRequest
{
    HWND window;
    UINT dpi;
    RECT suggested;
};

// How long the program takes over a key that changes the text of `pane`:
// from the moment its window's thread takes the key press from its queue,
// and from the moment the pane reports the change (EN_CHANGE to its parent),
// to the moment the text of part 0 of `statusBar` has been set, in
// milliseconds, for each such key since the timing started.
// probeKeyTimingStart hooks the window thread; probeKeyTimingRead fills the
// times and removes the hooks.
struct KeyTimingRequest
{
    HWND statusBar;
    HWND pane;
    int count;
    double fromKey[64];
    double fromChange[64];
};

} // namespace uitest
