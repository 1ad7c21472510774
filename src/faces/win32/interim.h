#pragma once

// A stand-in for the window behaviour, which the face calls once it exists:
// just enough for the window and the dialog to be shown, closed and tested
// for layout.  It decides nothing that a user relies on and goes when the
// behaviour arrives.

#include "mainwindow.h"
#include "portdialog.h"

namespace quorlink::win32 {

class InterimForm : public MainWindowEvents, public PortDialogEvents
{
public:
    InterimForm(MainWindow& window, PortDialog& dialog) : m_window(window), m_dialog(dialog) {}

    // MainWindowEvents
    void command(MenuCommand id) override;
    void sourceEdited() override {}
    void keyPressed(char16_t) override {}
    void closing() override {}

    // PortDialogEvents
    bool keyDown(DialogControl, unsigned virtualKey, bool) override;
    bool character(DialogControl, char16_t) override { return false; }
    void listEdited(DialogControl) override {}
    void listChosen(DialogControl) override {}
    void focusMoved(DialogControl, DialogControl, bool) override {}
    void buttonClicked(DialogControl button) override;
    void closeRequested() override { m_dialog.end(2); }
    void spinPressed(bool) override {}
    void spinPointerOver(bool, bool) override {}
    void spinReleased(bool, bool) override {}

private:
    MainWindow& m_window;
    PortDialog& m_dialog;
    bool m_shown = false;
};

} // namespace quorlink::win32
