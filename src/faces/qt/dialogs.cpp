#include "dialogs.h"

#include "text.h"
#include "window/windowdefs.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMainWindow>
#include <QMessageBox>

#include <array>
#include <utility>

namespace quorlink::qtface {

namespace {

using Filters = std::array<window::FileFilter, 3>;

// Qt's "*" stands for "*.*": it matches names without a period as well, as
// "*.*" does on Windows.
QString qtPattern(std::u16string_view pattern)
{
    return pattern == u"*.*" ? QStringLiteral("*") : toQString(pattern);
}

// Gives `dialog` the filters, the first one preselected, showing their
// descriptions exactly: Qt would append the patterns to them, and when told
// not to, it still trims them.
void setFilters(QFileDialog& dialog, const Filters& filters)
{
    QStringList nameFilters;
    for (const window::FileFilter& filter : filters)
        nameFilters << toQString(filter.description) + QStringLiteral(" (") +
                           qtPattern(filter.pattern) + u')';
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(nameFilters);
    auto* shown = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (shown && shown->count() == static_cast<int>(filters.size())) {
        for (int i = 0; i < shown->count(); ++i)
            shown->setItemText(i, toQString(filters[static_cast<std::size_t>(i)].description));
    }
}

class QtDialogs : public Dialogs
{
public:
    void information(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    void stop(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    std::optional<QString> openFileName(QWidget* owner) override
    {
        QFileDialog dialog(owner);
        dialog.setObjectName(QStringLiteral("OpenDialog"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // A name that does not exist is accepted; loading it reports the error.
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        setFilters(dialog, window::OpenDialogFilters);
        return run(dialog);
    }

    std::optional<QString> saveFileName(QWidget* owner) override
    {
        QFileDialog dialog(owner);
        dialog.setObjectName(QStringLiteral("SaveDialog"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        setFilters(dialog, window::SaveDialogFilters);
        return run(dialog);
    }

private:
    static std::optional<QString> run(QFileDialog& dialog)
    {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }
};

QtDialogs qtDialogs;
Dialogs* current = nullptr;

} // namespace

QWidget* boxOwner()
{
    for (QWidget* front : {QApplication::activeModalWidget(), QApplication::activeWindow()}) {
        if (front && front->isVisible())
            return front;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(window) && window->isVisible())
            return window;
    }
    return nullptr;
}

Dialogs& dialogs()
{
    return current ? *current : qtDialogs;
}

void setDialogs(Dialogs* replacement)
{
    current = replacement;
}

void QtMessageBoxes::showMessageBox(window::BoxIcon icon, std::u16string_view caption,
                                    std::u16string_view text)
{
    if (icon == window::BoxIcon::Information)
        dialogs().information(boxOwner(), toQString(caption), toQString(text));
    else
        dialogs().stop(boxOwner(), toQString(caption), toQString(text));
}

} // namespace quorlink::qtface
