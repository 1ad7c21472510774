#pragma once

#include <QComboBox>
#include <QDialog>
#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;
class TCSpinEdit;

// An editable drop-down list whose choice (ItemIndex) follows the typing:
// typed text completes to the first entry it begins (case ignored) with the
// rest of that entry selected and chooses it; text that begins no entry, and
// every other edit (Backspace, Delete, paste, also one that leaves the text
// as it was), leaves no entry chosen while the text stays.  Up and Down choose
// the previous or next entry.  All of this holds with the drop-down part open
// as well, whose highlight then follows the choice.  Enter with the drop-down
// part closed goes on to the dialog; with it open, it only closes it.
class TComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TComboBox(QWidget* parent = nullptr);

    // The chosen entry's position, or -1.
    int ItemIndex() const { return currentIndex(); }
    // The index it already has changes nothing (the text stays); any other
    // chooses that entry, or for -1 and out of range empties the box.
    void setItemIndex(int index);
    // Whether the drop-down part is open.
    bool droppedDown() const;

    // The owner's key-press handler: sees every typed character, Esc
    // included also while the drop-down part is open.
    std::function<void(QObject* sender, char16_t& key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether a key pressed in the open drop-down part belongs to the box.
    static bool keyForBox(const QKeyEvent& event);
    void completeTyped();
    void chooseNothingKeepText();

    bool m_inKey = false;
};

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

    // The key-press handler of the dialog and its five controls: Esc closes
    // the dialog with the result 2.
    void FormKeyPress(QObject* sender, char16_t& key);

    // Components, named as their objectName.
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    TComboBox* ComboBoxCom = nullptr;
    QLabel* Label2 = nullptr;
    TComboBox* ComboBoxBaud = nullptr;
    QLabel* Label3 = nullptr;
    TCSpinEdit* EditTimeOut = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

public slots:
    void done(int result) override;
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void moveAmongButtons(QWidget* from, bool forward);
    void placeForShowing();

    bool m_shownBefore = false;
    QPoint m_lastPosition;
    QPointer<QWidget> m_lastFocus;
};
