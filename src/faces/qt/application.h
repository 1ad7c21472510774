#pragma once

#include "window/face.h"

#include <QApplication>

#include <exception>
#include <string>

namespace quorlink::qtface {

// The title the error display is captioned with, from this executable's name.
std::u16string applicationTitle();

// Shows `error` in the error display.
void showException(std::exception_ptr error);

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

} // namespace quorlink::qtface
