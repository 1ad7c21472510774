#include "application.h"

#include "dialogs.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace quorlink::app {

QString applicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype period = name.indexOf(QLatin1Char('.'));
    if (period >= 0)
        name.truncate(period);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString errorDisplayText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

namespace {

// Walks a chain of nested exceptions, keeping the innermost non-empty message.
void collectMessage(std::exception_ptr error, QString& message)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        if (!text.isEmpty())
            message = text;
        try {
            std::rethrow_if_nested(e);
        } catch (...) {
            collectMessage(std::current_exception(), message);
        }
    } catch (...) {
    }
}

} // namespace

QString exceptionMessage(std::exception_ptr error)
{
    QString message;
    if (error)
        collectMessage(error, message);
    return message;
}

void showException(std::exception_ptr error)
{
    const QString title = applicationTitle(QCoreApplication::applicationFilePath());
    dialogs().stop(boxOwner(), title, errorDisplayText(exceptionMessage(error)));
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

} // namespace quorlink::app
