#pragma once

#include <QApplication>

#include <exception>

namespace quorlink::app {

// The application title: the executable's file name without its folder, cut
// at its first period, every character after the first in lower case
// ("/opt/QUOR.LINK.exe" gives "Quor").
QString applicationTitle(const QString& executablePath);

// The text the error display shows: `message` with a period appended when its
// last character's code is above that of ".".
QString errorDisplayText(const QString& message);

// The message of an exception: the innermost non-empty one of a nested chain;
// empty for something that is not a std::exception.
QString exceptionMessage(std::exception_ptr error);

// Shows `error` in a message box with the stop icon, owned by the active
// window (boxOwner) and captioned with the application title.
void showException(std::exception_ptr error);

// Runs `handler`; an exception it lets out is shown by showException and the
// handler is abandoned.
template <typename F> void runHandler(F&& handler)
{
    try {
        handler();
    } catch (...) {
        showException(std::current_exception());
    }
}

// The application object: every exception that an event handler lets out is
// shown by the error display and the event loop goes on.  Of the command line
// it takes the program's name only, so that no Qt option applies; it loads
// Qt's translations for the user's locale and lets Qt store nothing of its own.
class Application : public QApplication
{
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace quorlink::app
