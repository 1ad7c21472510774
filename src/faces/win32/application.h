#pragma once

// The application: its message loop, ProcessMessages and the error
// display's title.

#include <windows.h>

#include <string>

namespace quorlink::win32 {

class MainWindow;
class PortDialog;

// The windows that see each message before it is dispatched: the port
// dialog while it is shown (its keys), then the main window (the menu
// shortcuts, before a pane sees the key, and its key handler).
void setMessageTargets(MainWindow* mainWindow, PortDialog* portDialog);

// Dispatches one message the program's way.
void dispatchMessage(MSG& msg);

// ProcessMessages: handles every message waiting, without waiting for
// more; with `paint` false, windows that need painting stay so until a
// later call.  A quit message stays queued for the loop that runs the
// program.
void processMessages(bool paint = true);

// The program's message loop, until the quit message; returns its code.
int runMessageLoop();

// The title the error display is captioned with, from this executable's name.
std::u16string applicationTitle();

} // namespace quorlink::win32
