#include "application.h"

#include "dialogs.h"
#include "text.h"
#include "window/errordisplay.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace quorlink::qtface {

std::u16string applicationTitle()
{
    return window::applicationTitle(toU16View(QCoreApplication::applicationFilePath()));
}

void showException(std::exception_ptr error)
{
    QtMessageBoxes boxes;
    window::showError(boxes, applicationTitle(), error);
}

namespace {

// What Qt is given of the command line: the program's name only.  Qt would
// take its own options from the rest (-reverse mirrors the window,
// -qwindowtitle replaces its caption, -style, -platform...), and the program
// reads no arguments.
int g_argumentCount = 1;
char* g_arguments[] = {nullptr, nullptr};

int& programNameOnly(char** argv)
{
    g_arguments[0] = argv[0];
    return g_argumentCount;
}

} // namespace

Application::Application(int& /*argc*/, char** argv)
    : QApplication(programNameOnly(argv), g_arguments)
{
    // Qt's own dialogs (the file dialogs) keep their state in
    // $XDG_CONFIG_HOME/QtProject.conf; the settings file is the program's
    // only stored configuration.  A folder that cannot exist reads as empty
    // and takes no writes.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));

    // Qt's own texts (file dialog buttons, the panes' context menu) in the
    // user's language, as the system's dialogs speak it.
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QLocale(), QStringLiteral("qt"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qtTexts);
    else
        delete qtTexts;
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showException(std::current_exception());
        return false;
    }
}

} // namespace quorlink::qtface
