#pragma once

#include <QDialog>

#include <cstdint>

// The port settings dialog SetCom: port list, speed list, time-out field.
// Shown modally by the main window's Port1Click; created once at start-up
// and only shown and hidden afterwards.
class TSetCom : public QDialog
{
    Q_OBJECT

public:
    // ShowModal results.
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2; // Esc, close box, Alt+F4
    static constexpr int ResultStorno = 3;

    explicit TSetCom(QWidget* parent = nullptr);

    // Shows the dialog modally and returns 1 ("Ok"), 3 ("Storno") or 2.
    int ShowModal();

    // ItemIndex of ComboBoxCom: position of the chosen entry (port number - 1)
    // or -1.  Setting the index it already has changes nothing.
    int comItemIndex() const;
    void setComItemIndex(int index);
    // ItemIndex of ComboBoxBaud: index into BaudRates, or -1.
    int baudItemIndex() const;
    void setBaudItemIndex(int index);
    // Value of EditTimeOut; setting it limits it to 5..2000.
    std::int32_t timeOutValue() const;
    void setTimeOutValue(std::int32_t value);

    // Tooltip of each port entry: the device COM n reaches (index 0 = COM1).
    void setPortDescriptions(const QStringList& descriptions);
};
