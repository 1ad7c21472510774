// A DLL the UI test loads into quorlink.exe to read what only the program
// itself can read under Wine: its menu, its fonts and its icons; and to send
// it what only the system sends.

#include "uiprobe.h"

#include <commctrl.h>

#include <iterator>

using namespace uitest;

namespace {

// The key timing's state, in the program: written by its window thread's
// hooks, read by the probe's thread after the keys.
KeyTimingRequest g_timing{};
HHOOK g_hooks[3] = {};
LARGE_INTEGER g_keyTaken{};
LARGE_INTEGER g_changed{};

double millisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1e3 /
           static_cast<double>(frequency.QuadPart);
}

LRESULT CALLBACK keyTaken(int code, WPARAM removed, LPARAM data)
{
    const auto* message = reinterpret_cast<const MSG*>(data);
    if (code == HC_ACTION && removed == PM_REMOVE && message->message == WM_KEYDOWN)
        QueryPerformanceCounter(&g_keyTaken);
    return CallNextHookEx(nullptr, code, removed, data);
}

LRESULT CALLBACK changeReported(int code, WPARAM sent, LPARAM data)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(data);
    if (code == HC_ACTION && message->message == WM_COMMAND &&
        HIWORD(message->wParam) == EN_CHANGE &&
        reinterpret_cast<HWND>(message->lParam) == g_timing.pane)
        QueryPerformanceCounter(&g_changed);
    return CallNextHookEx(nullptr, code, sent, data);
}

LRESULT CALLBACK textSet(int code, WPARAM sent, LPARAM data)
{
    const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(data);
    const int at = g_timing.count;
    if (code == HC_ACTION && message->hwnd == g_timing.statusBar &&
        message->message == SB_SETTEXTW && LOBYTE(message->wParam) == 0 &&
        g_changed.QuadPart != 0 && at < static_cast<int>(std::size(g_timing.fromKey))) {
        g_timing.fromKey[at] = g_keyTaken.QuadPart ? millisecondsSince(g_keyTaken) : 0;
        g_timing.fromChange[at] = millisecondsSince(g_changed);
        g_timing.count = at + 1;
        g_keyTaken.QuadPart = 0;
        g_changed.QuadPart = 0;
    }
    return CallNextHookEx(nullptr, code, sent, data);
}

HMODULE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&keyTaken), &module);
    return module;
}

} // namespace

extern "C" __declspec(dllexport) DWORD WINAPI probeMenu(void* data)
{
    auto* request = static_cast<MenuRequest*>(data);
    request->count = 0;
    const HMENU bar = GetMenu(request->window);
    auto add = [request](HMENU menu, int position, int level) {
        if (request->count >= static_cast<int>(std::size(request->entries)))
            return;
        MenuEntry& entry = request->entries[request->count++];
        entry.level = level;
        entry.state = GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION);
        entry.id = GetMenuItemID(menu, position) == UINT(-1) ? 0 : GetMenuItemID(menu, position);
        entry.text[0] = 0;
        GetMenuStringW(menu, static_cast<UINT>(position), entry.text,
                       static_cast<int>(std::size(entry.text)), MF_BYPOSITION);
    };
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        add(bar, i, 0);
        const HMENU sub = GetSubMenu(bar, i);
        for (int j = 0; sub && j < GetMenuItemCount(sub); ++j)
            add(sub, j, 1);
    }
    return static_cast<DWORD>(request->count);
}

extern "C" __declspec(dllexport) DWORD WINAPI probeFont(void* data)
{
    auto* request = static_cast<FontRequest*>(data);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(request->window, WM_GETFONT, 0, 0));
    request->found = font && GetObjectW(font, sizeof request->font, &request->font) != 0;
    return request->found;
}

extern "C" __declspec(dllexport) DWORD WINAPI probeIcon(void* data)
{
    auto* request = static_cast<IconRequest*>(data);
    const auto shown = reinterpret_cast<HICON>(SendMessageW(request->control, STM_GETICON, 0, 0));
    request->icon = 0;
    for (const WORD icon : {InformationIcon, StopIcon}) {
        if (shown && shown == LoadIconW(nullptr, MAKEINTRESOURCEW(icon)))
            request->icon = icon;
    }
    return static_cast<DWORD>(request->icon);
}

extern "C" __declspec(dllexport) DWORD WINAPI probeClassIcon(void* data)
{
    auto* request = static_cast<ClassIconRequest*>(data);
    auto describe = [request](int index, WORD& id, wchar_t* module) {
        const auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(request->window, index));
        ICONINFOEXW info{};
        info.cbSize = sizeof info;
        id = 0;
        module[0] = 0;
        if (icon && GetIconInfoExW(icon, &info)) {
            id = info.wResID;
            lstrcpynW(module, info.szModName, MAX_PATH);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }
    };
    describe(GCLP_HICON, request->largeId, request->largeModule);
    describe(GCLP_HICONSM, request->smallId, request->smallModule);
    return request->largeId;
}

extern "C" __declspec(dllexport) DWORD WINAPI probeDpiChange(void* data)
{
    auto* request = static_cast<DpiChangeRequest*>(data);
    return static_cast<DWORD>(SendMessageW(request->window, WM_DPICHANGED,
                                           MAKEWPARAM(request->dpi, request->dpi),
                                           reinterpret_cast<LPARAM>(&request->suggested)));
}

extern "C" __declspec(dllexport) DWORD WINAPI probeKeyTimingStart(void* data)
{
    g_timing = *static_cast<KeyTimingRequest*>(data);
    g_timing.count = 0;
    g_keyTaken.QuadPart = 0;
    g_changed.QuadPart = 0;
    const DWORD thread = GetWindowThreadProcessId(g_timing.statusBar, nullptr);
    g_hooks[0] = SetWindowsHookExW(WH_GETMESSAGE, keyTaken, thisModule(), thread);
    g_hooks[1] = SetWindowsHookExW(WH_CALLWNDPROC, changeReported, thisModule(), thread);
    g_hooks[2] = SetWindowsHookExW(WH_CALLWNDPROCRET, textSet, thisModule(), thread);
    return g_hooks[0] && g_hooks[1] && g_hooks[2];
}

extern "C" __declspec(dllexport) DWORD WINAPI probeKeyTimingRead(void* data)
{
    for (HHOOK& hook : g_hooks) {
        UnhookWindowsHookEx(hook);
        hook = nullptr;
    }
    *static_cast<KeyTimingRequest*>(data) = g_timing;
    return static_cast<DWORD>(g_timing.count);
}
