// Quorlink's window on Linux: the Qt face over the window's behaviour.

#include "application.h"
#include "mainwindow.h"

#include <exception>

int main(int argc, char** argv)
{
    quorlink::qtface::Application app(argc, argv);
    try {
        quorlink::qtface::MainWindow window(quorlink::settings::createUserSettingsStore());
        window.show();
        return app.exec();
    } catch (...) {
        // A failed start is shown like any other error, then the process ends.
        quorlink::qtface::showException(std::current_exception());
        return 1;
    }
}
