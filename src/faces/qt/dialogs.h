#pragma once

#include "window/face.h"

#include <QString>

#include <optional>

class QWidget;

namespace quorlink::qtface {

// The modal boxes and file dialogs of the program.  The window and the error
// display ask for them through this interface so that tests can answer them
// without a modal loop.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // Information icon, OK button.
    virtual void information(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Stop (critical) icon, OK button: the error display.
    virtual void stop(QWidget* owner, const QString& caption, const QString& text) = 0;
    // The source file to load, or nothing when the operator cancels.
    virtual std::optional<QString> openFileName(QWidget* owner) = 0;
    // The result file to write, or nothing when the operator cancels.
    virtual std::optional<QString> saveFileName(QWidget* owner) = 0;
};

// The owner of a message box: the modal window in front or the active window.
// Right after a dialog closed, the active window is still the hidden dialog
// or none at all; the main window then owns the box.  Nothing before the main
// window is shown.
QWidget* boxOwner();

// The dialogs in use: message boxes and file dialogs of Qt unless replaced.
Dialogs& dialogs();
// Replaces the dialogs (nullptr restores Qt's); the caller keeps ownership.
void setDialogs(Dialogs* replacement);

// The program's message boxes, through dialogs(): owned by the window in
// front.
class QtMessageBoxes : public window::MessageBoxes
{
public:
    void showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                        std::u16string_view text) override;
};

} // namespace quorlink::qtface
