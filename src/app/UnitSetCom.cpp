#include "UnitSetCom.h"

#include "CSpinEdit.h"

#include <QAbstractItemView>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <array>

// ---------------------------------------------------------------------------
// TComboBox

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion is ours: Qt's completer does not choose the entry.
    setCompleter(nullptr);
    setMaxVisibleItems(8);
    // Esc in the open drop-down part must reach the owner, not only close
    // the drop-down; filters installed last run first.
    view()->installEventFilter(this);
    if (QWidget* container = view()->parentWidget())
        container->installEventFilter(this);
    // Edits that come without a key (context-menu paste, drag and drop)
    // leave no entry chosen, like Backspace and Delete.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
        if (!m_inKey)
            QMetaObject::invokeMethod(
                this, [this] { chooseNothingKeepText(); }, Qt::QueuedConnection);
    });
}

bool TComboBox::droppedDown() const
{
    return view()->isVisible();
}

void TComboBox::setItemIndex(int index)
{
    if (index == currentIndex())
        return;
    if (index < 0 || index >= count()) {
        setCurrentIndex(-1);
        setEditText(QString());
        return;
    }
    setCurrentIndex(index);
}

void TComboBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        char16_t key = 27;
        if (OnKeyPress)
            OnKeyPress(this, key);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Closed list: on to the dialog, whose default button confirms.
        event->ignore();
        return;
    }
    const QString text = event->text();
    const bool typed =
        !text.isEmpty() && text.at(0).unicode() >= 32 && text.at(0).unicode() != 0x7F &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typed && OnKeyPress) {
        char16_t key = text.at(0).unicode();
        OnKeyPress(this, key);
        if (key == 0) {
            event->accept();
            return;
        }
    }
    // Backspace, Delete and paste leave no entry chosen even when the text
    // stays as it was (Backspace at the start, "COM3" pasted over "COM3").
    const bool erases = event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete ||
                        event->matches(QKeySequence::Paste);
    QLineEdit* edit = lineEdit();
    const QString textBefore = edit->text();
    const int indexBefore = currentIndex();
    m_inKey = true;
    QComboBox::keyPressEvent(event);
    m_inKey = false;
    if (currentIndex() != indexBefore)
        return; // an entry was stepped to
    if (erases)
        chooseNothingKeepText();
    else if (edit->text() == textBefore)
        return;
    else if (typed)
        completeTyped();
    else
        chooseNothingKeepText();
}

bool TComboBox::eventFilter(QObject* watched, QEvent* event)
{
    const bool fromPopup =
        watched == view() || (view()->parentWidget() && watched == view()->parentWidget());
    const bool isKey =
        event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (!fromPopup || !isKey)
        return QComboBox::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (event->type() == QEvent::ShortcutOverride) {
        // The drop-down part would take Enter here to choose the highlighted
        // entry; it comes back as a key press instead.
        if (!enter)
            return QComboBox::eventFilter(watched, event);
        key->accept();
        return true;
    }
    if (key->key() == Qt::Key_Escape) {
        hidePopup();
        char16_t escape = 27;
        if (OnKeyPress)
            OnKeyPress(this, escape);
        return true;
    }
    if (enter) {
        // Closes the drop-down part; the choice stays what the box shows.
        hidePopup();
        return true;
    }
    if (!keyForBox(*key))
        return QComboBox::eventFilter(watched, event);
    // Up and Down choose, typing and erasing edit the box, as with the
    // drop-down part closed; the highlight follows the choice.
    keyPressEvent(key);
    const int chosen = currentIndex();
    if (chosen >= 0)
        view()->setCurrentIndex(model()->index(chosen, modelColumn(), rootModelIndex()));
    else
        view()->selectionModel()->clear();
    return true;
}

bool TComboBox::keyForBox(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    switch (event.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Alt+Up and Alt+Down close the drop-down part.
        return !(modifiers & Qt::AltModifier);
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        break;
    }
    if (event.matches(QKeySequence::Paste) || event.matches(QKeySequence::Cut) ||
        event.matches(QKeySequence::Copy) || event.matches(QKeySequence::SelectAll) ||
        event.matches(QKeySequence::Undo) || event.matches(QKeySequence::Redo))
        return true;
    const QString text = event.text();
    return !text.isEmpty() && text.at(0).unicode() >= 32 && text.at(0).unicode() != 0x7F &&
           !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

void TComboBox::completeTyped()
{
    QLineEdit* edit = lineEdit();
    const QString typed = edit->text();
    if (!typed.isEmpty()) {
        for (int i = 0; i < count(); ++i) {
            const QString entry = itemText(i);
            if (!entry.startsWith(typed, Qt::CaseInsensitive))
                continue;
            if (i != currentIndex())
                setCurrentIndex(i);
            edit->setText(entry);
            edit->setSelection(static_cast<int>(typed.size()),
                               static_cast<int>(entry.size() - typed.size()));
            return;
        }
    }
    chooseNothingKeepText();
}

void TComboBox::chooseNothingKeepText()
{
    if (currentIndex() == -1)
        return;
    QLineEdit* edit = lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    setCurrentIndex(-1);
    edit->setText(text);
    edit->setCursorPosition(cursor);
}

// ---------------------------------------------------------------------------
// TSetCom

namespace {

// The window's font: Tahoma 8 point where installed, else the system's.
QFont dialogFont()
{
    QFont font = QFontDatabase::families().contains(QStringLiteral("Tahoma"))
                     ? QFont(QStringLiteral("Tahoma"))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    return font;
}

// A group box that can hold the focus itself (the buttons' arrow keys move
// it there) instead of passing it on to its first control.
class TGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void focusInEvent(QFocusEvent* event) override { QWidget::focusInEvent(event); }
};

// A label at its place; wider than laid out only when the font needs it.
QLabel* addLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    geometry.setWidth(std::max(geometry.width(), label->sizeHint().width()));
    label->setGeometry(geometry);
    return label;
}

} // namespace

TSetCom::TSetCom(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("SetCom"));
    setWindowTitle(QStringLiteral("Nastavení portu"));
    setFont(dialogFont());
    setFixedSize(252, 291);
    setSizeGripEnabled(false);

    GroupBox1 = new TGroupBox(QStringLiteral("Parametry"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 8, 249, 225);
    GroupBox1->setFocusPolicy(Qt::NoFocus);

    Label1 = addLabel(GroupBox1, "Label1", QStringLiteral("Port"), QRect(16, 21, 20, 13));
    ComboBoxCom = new TComboBox(GroupBox1);
    ComboBoxCom->setObjectName(QStringLiteral("ComboBoxCom"));
    ComboBoxCom->setGeometry(16, 40, 209, 21);
    for (int port = 1; port <= 16; ++port)
        ComboBoxCom->addItem(QStringLiteral("COM%1").arg(port));
    ComboBoxCom->setCurrentIndex(-1);
    ComboBoxCom->setEditText(QStringLiteral("Vyberte port"));

    Label2 =
        addLabel(GroupBox1, "Label2", QStringLiteral("Přenosová rychlost"), QRect(16, 93, 92, 13));
    ComboBoxBaud = new TComboBox(GroupBox1);
    ComboBoxBaud->setObjectName(QStringLiteral("ComboBoxBaud"));
    ComboBoxBaud->setGeometry(16, 112, 209, 21);
    ComboBoxBaud->addItems({QStringLiteral("300"), QStringLiteral("600"), QStringLiteral("900"),
                            QStringLiteral("1200"), QStringLiteral("1800"), QStringLiteral("2400"),
                            QStringLiteral("3600"), QStringLiteral("4800"), QStringLiteral("7200"),
                            QStringLiteral("9600"), QStringLiteral("14400"),
                            QStringLiteral("19200"), QStringLiteral("28800"),
                            QStringLiteral("38400"), QStringLiteral("57600"),
                            QStringLiteral("76800"), QStringLiteral("115200")});
    ComboBoxBaud->setCurrentIndex(-1);
    ComboBoxBaud->setEditText(QStringLiteral("Vyberte rychlost"));

    Label3 = addLabel(GroupBox1, "Label3", QStringLiteral("Timeout"), QRect(16, 165, 38, 13));
    EditTimeOut = new TCSpinEdit(GroupBox1);
    EditTimeOut->setObjectName(QStringLiteral("EditTimeOut"));
    EditTimeOut->setGeometry(16, 184, 209, 22);
    EditTimeOut->setMinValue(5);
    EditTimeOut->setMaxValue(2000);
    EditTimeOut->setIncrement(5);
    EditTimeOut->SetValue(2000);

    Button1 = new QPushButton(QStringLiteral("Storno"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 248, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Ok"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(150, 248, 75, 25);
    Button2->setDefault(true);

    // Creation order already gives this; stated for whoever reorders.
    setTabOrder(ComboBoxCom, ComboBoxBaud);
    setTabOrder(ComboBoxBaud, EditTimeOut);
    setTabOrder(EditTimeOut, Button1);
    setTabOrder(Button1, Button2);

    const auto keyPress = [this](QObject* sender, char16_t& key) { FormKeyPress(sender, key); };
    ComboBoxCom->OnKeyPress = keyPress;
    ComboBoxBaud->OnKeyPress = keyPress;
    EditTimeOut->OnKeyPress = keyPress;
    Button1->installEventFilter(this);
    Button2->installEventFilter(this);
    GroupBox1->installEventFilter(this);

    connect(Button1, &QPushButton::clicked, this, [this] { done(ResultStorno); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(ResultOk); });
}

void TSetCom::FormKeyPress(QObject*, char16_t& key)
{
    if (key == 27)
        done(ResultCancel);
}

int TSetCom::ShowModal()
{
    placeForShowing();
    if (m_lastFocus)
        m_lastFocus->setFocus(Qt::ActiveWindowFocusReason);
    else
        ComboBoxCom->setFocus(Qt::ActiveWindowFocusReason);
    return exec();
}

void TSetCom::placeForShowing()
{
    if (m_shownBefore) {
        move(m_lastPosition);
        return;
    }
    m_shownBefore = true;
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : this->screen();
    const QRect desktop = screen ? screen->availableVirtualGeometry() : QRect();
    const QRect over = owner ? owner->frameGeometry() : desktop;
    QPoint topLeft(over.x() + (over.width() - width()) / 2,
                   over.y() + (over.height() - height()) / 2);
    if (desktop.isValid()) {
        topLeft.setX(std::max(topLeft.x(), desktop.left()));
        topLeft.setY(std::max(topLeft.y(), desktop.top()));
    }
    move(topLeft);
}

void TSetCom::done(int result)
{
    if (isVisible()) {
        m_lastPosition = pos();
        m_lastFocus = focusWidget();
    }
    QDialog::done(result);
}

void TSetCom::accept()
{
    done(ResultOk);
}

void TSetCom::reject()
{
    done(ResultCancel);
}

void TSetCom::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        char16_t key = 27;
        FormKeyPress(this, key);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TSetCom::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = static_cast<QWidget*>(watched);
    // Keys a control inside the group box leaves unhandled (Alt+Left in a
    // list) pass the group box on their way up: they are not its own.
    if (event->type() != QEvent::KeyPress || !widget->hasFocus())
        return QDialog::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    switch (keyEvent->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        moveAmongButtons(widget, false);
        return true;
    case Qt::Key_Right:
    case Qt::Key_Down:
        moveAmongButtons(widget, true);
        return true;
    case Qt::Key_Escape:
        // The group box has no key-press handler: Esc there does nothing.
        if (watched != GroupBox1) {
            char16_t key = 27;
            FormKeyPress(watched, key);
        }
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void TSetCom::moveAmongButtons(QWidget* from, bool forward)
{
    // The dialog's own controls in tab order, tab stops ignored.
    const std::array<QWidget*, 3> siblings{GroupBox1, Button1, Button2};
    const auto it = std::find(siblings.begin(), siblings.end(), from);
    if (it == siblings.end())
        return;
    const std::size_t at = static_cast<std::size_t>(it - siblings.begin());
    const std::size_t next = (at + (forward ? 1 : siblings.size() - 1)) % siblings.size();
    siblings[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

int TSetCom::comItemIndex() const
{
    return ComboBoxCom->ItemIndex();
}

void TSetCom::setComItemIndex(int index)
{
    ComboBoxCom->setItemIndex(index);
}

int TSetCom::baudItemIndex() const
{
    return ComboBoxBaud->ItemIndex();
}

void TSetCom::setBaudItemIndex(int index)
{
    ComboBoxBaud->setItemIndex(index);
}

std::int32_t TSetCom::timeOutValue() const
{
    // Leaving the field has limited it already; a value read without that
    // (the dialog closed from the field) is limited here all the same.
    return EditTimeOut->CheckValue(EditTimeOut->GetValue());
}

void TSetCom::setTimeOutValue(std::int32_t value)
{
    EditTimeOut->SetValue(value);
}

void TSetCom::setPortDescriptions(const QStringList& descriptions)
{
    for (int i = 0; i < ComboBoxCom->count(); ++i) {
        const QString tip = i < descriptions.size() ? descriptions.at(i) : QString();
        ComboBoxCom->setItemData(i, tip.isEmpty() ? QVariant() : QVariant(tip), Qt::ToolTipRole);
    }
}
