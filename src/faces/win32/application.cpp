#include "application.h"

#include "mainwindow.h"
#include "portdialog.h"
#include "text.h"
#include "window/errordisplay.h"

#include <vector>

namespace quorlink::win32 {

namespace {

MainWindow* mainTarget = nullptr;
PortDialog* dialogTarget = nullptr;

} // namespace

void setMessageTargets(MainWindow* mainWindow, PortDialog* portDialog)
{
    mainTarget = mainWindow;
    dialogTarget = portDialog;
}

void dispatchMessage(MSG& msg)
{
    if (dialogTarget && dialogTarget->preTranslate(msg))
        return;
    if (mainTarget && mainTarget->preTranslate(msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

namespace {

// The next waiting message; WM_PAINT only with `paint`.
bool nextMessage(MSG& msg, bool paint)
{
    if (paint)
        return PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    return PeekMessageW(&msg, nullptr, 0, WM_PAINT - 1, PM_REMOVE) ||
           PeekMessageW(&msg, nullptr, WM_PAINT + 1, 0xFFFF, PM_REMOVE);
}

} // namespace

void processMessages(bool paint)
{
    MSG msg{};
    while (nextMessage(msg, paint)) {
        if (msg.message == WM_QUIT) {
            // Only the program's own loop ends on it: put it back.  Windows
            // hands it out only once the queue holds nothing else.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        dispatchMessage(msg);
    }
}

int runMessageLoop()
{
    MSG msg{};
    BOOL got = 0;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0)
        dispatchMessage(msg);
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
}

std::u16string applicationTitle()
{
    // The executable's full path, however long.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size())
            return window::applicationTitle(fromWide(std::wstring_view(path.data(), length)));
        path.resize(path.size() * 2);
    }
}

} // namespace quorlink::win32
