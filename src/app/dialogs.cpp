#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace quorlink::app {

namespace {

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
        dialog.setNameFilters(openDialogFilters());
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
        dialog.setNameFilters(saveDialogFilters());
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

Dialogs& dialogs()
{
    return current ? *current : qtDialogs;
}

void setDialogs(Dialogs* replacement)
{
    current = replacement;
}

QStringList openDialogFilters()
{
    return {QStringLiteral("Textov soubor [*.txt] (*.txt)"), QStringLiteral("Všechny soubory  (*)"),
            QStringLiteral("Konfigurační soubor [*.cfg] (*.cfg)")};
}

QStringList saveDialogFilters()
{
    return {QStringLiteral("Všechny soubory (*)"), QStringLiteral("Textov soubor [*.txt] (*.txt)"),
            QStringLiteral("Konfigurační soubor [*.cfg] (*.cfg)")};
}

} // namespace quorlink::app
