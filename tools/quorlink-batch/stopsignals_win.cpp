#include "stopsignals.h"

#include <windows.h>

namespace quorlink::batch {

namespace {

// Runs on a thread of its own that the console starts for each event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // FALSE: the next handler, the default one, ends the process.
        return stopsignals::request(StopCause::Interrupt) ? TRUE : FALSE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopsignals::request(event == CTRL_CLOSE_EVENT ? StopCause::HangUp : StopCause::Terminate);
        // Windows ends the process as soon as this returns (or after a few
        // seconds): hold it until the main thread has closed the port and
        // written the replies, which ends the process first.
        Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void stopsignals::installPlatformHandlers()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void stopsignals::writeNote(const char* text, unsigned size)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, size, &written, nullptr);
}

// Windows has no SIGPIPE: a write to a closed pipe just fails.
void ignoreBrokenPipe() {}

} // namespace quorlink::batch
