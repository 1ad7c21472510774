// quorlink.exe: the Windows face of Quorlink, plain Win32 over the window's
// behaviour (src/window).

#include "application.h"
#include "dialogs.h"
#include "mainwindow.h"
#include "portdialog.h"
#include "settings/settingsstore.h"
#include "window/Term.h"
#include "window/errordisplay.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <string>

using namespace quorlink;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const std::u16string title = win32::applicationTitle();
    try {
        win32::MainWindow mainWindow;
        mainWindow.create();
        win32::PortDialog portDialog;
        portDialog.create(mainWindow.hwnd());
        window::TSetCom setCom(portDialog, portDialog.timeOutField(), portDialog.clock(),
                               portDialog.timeOutField());
        portDialog.attach(setCom);
        window::TForm1 form(mainWindow, mainWindow.memo1(), mainWindow.memo2(), mainWindow, setCom,
                            settings::createUserSettingsStore(), title);
        mainWindow.attach(form);
        win32::setMessageTargets(&mainWindow, &portDialog);
        // The windows go before the behaviour they call, however this ends.
        struct Windows
        {
            win32::MainWindow& mainWindow;
            win32::PortDialog& portDialog;
            ~Windows()
            {
                win32::setMessageTargets(nullptr, nullptr);
                portDialog.destroy();
                mainWindow.destroy();
            }
        } windows{mainWindow, portDialog};

        // Settings that cannot be read end the program after the error
        // display, before the window is shown.
        form.FormCreate();
        mainWindow.show(showCommand);
        return win32::runMessageLoop();
    } catch (...) {
        win32::SystemMessageBoxes boxes;
        window::showError(boxes, title, std::current_exception());
        return 1;
    }
}
