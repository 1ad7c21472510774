#include "application.h"

#include "dialogs.h"

#include <QFileInfo>

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
    dialogs().stop(QApplication::activeWindow(), title, errorDisplayText(exceptionMessage(error)));
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

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
