#include "Term.h"
#include "application.h"

#include <exception>

int main(int argc, char** argv)
{
    quorlink::app::Application app(argc, argv);
    try {
        TForm1 form(quorlink::settings::createUserSettingsStore());
        form.show();
        return app.exec();
    } catch (...) {
        // A failed start is shown like any other error, then the process ends.
        quorlink::app::showException(std::current_exception());
        return 1;
    }
}
