// quorlink.exe: the Windows face of Quorlink, plain Win32.

#include "interim.h"
#include "mainwindow.h"
#include "messagepump.h"
#include "portdialog.h"
#include "serial/baudrates.h"
#include "settings/comports.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

using namespace quorlink;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    win32::MainWindow window;
    win32::PortDialog dialog;
    win32::InterimForm form(window, dialog);
    window.create(form);
    window.setPanelText(0, u"0");
    window.setPanelText(1, u"0");

    std::vector<std::wstring> ports;
    for (std::int32_t port = 1; port <= settings::ComPortCount; ++port)
        ports.push_back(L"COM" + std::to_wstring(port));
    std::vector<std::wstring> speeds;
    for (std::uint32_t baud : serial::BaudRates)
        speeds.push_back(std::to_wstring(baud));
    dialog.create(window.hwnd(), form, ports, speeds);

    win32::setMessageTargets(&window, &dialog);
    window.show(showCommand);
    const int code = win32::runMessageLoop();
    win32::setMessageTargets(nullptr, nullptr);
    window.destroy();
    return code;
}
