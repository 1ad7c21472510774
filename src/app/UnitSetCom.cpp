#include "UnitSetCom.h"

// Placeholder until the dialog's controls exist.
TSetCom::TSetCom(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SetCom"));
    setWindowTitle(QStringLiteral("Nastavení portu"));
}

int TSetCom::ShowModal()
{
    return exec() == QDialog::Accepted ? ResultOk : ResultCancel;
}

int TSetCom::comItemIndex() const { return -1; }
void TSetCom::setComItemIndex(int) {}
int TSetCom::baudItemIndex() const { return -1; }
void TSetCom::setBaudItemIndex(int) {}
std::int32_t TSetCom::timeOutValue() const { return 200; }
void TSetCom::setTimeOutValue(std::int32_t) {}
void TSetCom::setPortDescriptions(const QStringList&) {}
