// A DLL the UI test loads into quorlink.exe to read what only the program
// itself can read under Wine: its menu, its fonts and its icons; and to send
// it what only the system sends.

#include "uiprobe.h"

#include <iterator>

using namespace uitest;

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
