#include "portdialog.h"

#include "application.h"
#include "qtkeys.h"
#include "qttext.h"

#include <QAbstractItemView>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace quorlink::qtface {

// ---------------------------------------------------------------------------
// ComboBoxWidget

ComboBoxWidget::ComboBoxWidget(window::DialogControl control, QWidget* parent)
    : QComboBox(parent), m_control(control)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Completion is the behaviour's: Qt's completer does not choose the entry.
    setCompleter(nullptr);
    setMaxVisibleItems(window::DropDownVisibleEntries);
    // Keys in the open drop-down part must reach the box and the dialog, not
    // only the drop-down; filters installed last run first.
    view()->installEventFilter(this);
    if (QWidget* container = view()->parentWidget())
        container->installEventFilter(this);
    // An entry picked in the drop-down part, or stepped to with the wheel or
    // Page Up and Down.
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (m_box && !m_showing)
            m_box->EntryPicked(index);
    });
    // Edits that come without a key (context-menu paste, drag and drop).
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
        if (m_inKey || m_showing)
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_box)
                    m_box->TextEdited(toU16View(lineEdit()->text()), lineEdit()->cursorPosition(),
                                      window::TextEdit::Other);
            },
            Qt::QueuedConnection);
    });
}

void ComboBoxWidget::attach(window::TComboBox* box,
                            std::function<bool(window::Key, window::Modifiers)> keyDown,
                            std::function<bool(char16_t&)> keyPress)
{
    m_box = box;
    m_keyDown = std::move(keyDown);
    m_keyPress = std::move(keyPress);
    clear();
    for (const std::u16string& item : box->Items())
        addItem(toQString(item));
    box->attach(this);
}

void ComboBoxWidget::showChoice(int itemIndex, std::u16string_view text, int selStart,
                                int selLength)
{
    m_showing = true;
    if (currentIndex() != itemIndex)
        setCurrentIndex(itemIndex);
    const QString shown = toQString(text);
    QLineEdit* edit = lineEdit();
    if (edit->text() != shown)
        edit->setText(shown);
    if (selLength > 0)
        edit->setSelection(selStart, selLength);
    else
        edit->setCursorPosition(selStart);
    // In the open drop-down part the highlight follows the choice.
    if (droppedDown()) {
        if (itemIndex >= 0)
            view()->setCurrentIndex(model()->index(itemIndex, modelColumn(), rootModelIndex()));
        else
            view()->selectionModel()->clear();
    }
    m_showing = false;
}

bool ComboBoxWidget::droppedDown() const
{
    return view()->isVisible();
}

void ComboBoxWidget::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    const window::Modifiers modifiers = modifiersOf(*event);
    const std::optional<window::Key> key = keyOf(*event);
    if (key && m_keyDown) {
        const bool listKey = *key == window::Key::Enter || *key == window::Key::Escape ||
                             *key == window::Key::Up || *key == window::Key::Down;
        if (listKey && m_keyDown(*key, modifiers))
            return;
    }
    const QString text = event->text();
    const bool typed = !text.isEmpty() && text.at(0).unicode() >= 32 &&
                       text.at(0).unicode() != 0x7F && !modifiers.ctrl && !modifiers.alt;
    if (typed && m_box) {
        char16_t character = text.at(0).unicode();
        if (!m_keyPress(character))
            return;
    }
    window::TextEdit how = window::TextEdit::Other;
    if (event->key() == Qt::Key_Backspace)
        how = window::TextEdit::Backspace;
    else if (event->key() == Qt::Key_Delete)
        how = window::TextEdit::Delete;
    else if (event->matches(QKeySequence::Paste))
        how = window::TextEdit::Paste;
    const bool erases = how != window::TextEdit::Other || event->matches(QKeySequence::Cut);

    QLineEdit* edit = lineEdit();
    const QString textBefore = edit->text();
    m_inKey = true;
    QComboBox::keyPressEvent(event);
    m_inKey = false;
    if (!m_box)
        return;
    // Backspace, Delete and paste count even when they left the text as it
    // was; cursor keys and the like, which change no text, do not.
    if (typed)
        m_box->TextTyped(toU16View(edit->text()), edit->cursorPosition());
    else if (erases || edit->text() != textBefore)
        m_box->TextEdited(toU16View(edit->text()), edit->cursorPosition(), how);
}

bool ComboBoxWidget::eventFilter(QObject* watched, QEvent* event)
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
        if (m_keyDown)
            m_keyDown(window::Key::Escape, modifiersOf(*key));
        return true;
    }
    if (!enter && !keyForBox(*key))
        return QComboBox::eventFilter(watched, event);
    // Up and Down choose, typing and erasing edit the box, and Enter only
    // closes the drop-down part, as the box's keys.
    keyPressEvent(key);
    return true;
}

bool ComboBoxWidget::keyForBox(const QKeyEvent& event)
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

// ---------------------------------------------------------------------------
// PortDialog

namespace {

// A group box that can hold the focus itself (the buttons' arrow keys move
// it there) instead of passing it on to its first control.
class FocusableGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void focusInEvent(QFocusEvent* event) override { QWidget::focusInEvent(event); }
};

QRect toQRect(const window::Rect& rect)
{
    return QRect(rect.left, rect.top, rect.width, rect.height);
}

QString nameOf(const window::DialogComponent& component)
{
    return QString::fromLatin1(component.name.data(),
                               static_cast<qsizetype>(component.name.size()));
}

} // namespace

PortDialog::PortDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_timer([this] { m_core->EditTimeOut.TimerExpired(); })
{
    setObjectName(QStringLiteral("SetCom"));
    setWindowTitle(toQString(window::SetComCaption));
    setFont(windowFont());
    setFixedSize(window::SetComClientWidth, window::SetComClientHeight);
    setSizeGripEnabled(false);

    for (const window::DialogComponent& component : window::SetComComponents) {
        QWidget* parent = component.inGroupBox ? static_cast<QWidget*>(GroupBox1) : this;
        QWidget* widget = nullptr;
        QRect bounds = toQRect(component.bounds);
        switch (component.kind) {
        case window::ComponentKind::GroupBox:
            widget = GroupBox1 = new FocusableGroupBox(toQString(component.text), parent);
            GroupBox1->setFocusPolicy(Qt::NoFocus);
            break;
        case window::ComponentKind::Label: {
            auto* label = new QLabel(toQString(component.text), parent);
            // Wider than laid out only when the font needs it.
            bounds.setWidth(std::max(bounds.width(), label->sizeHint().width()));
            (Label1 ? (Label2 ? Label3 : Label2) : Label1) = label;
            widget = label;
            break;
        }
        case window::ComponentKind::ComboBox: {
            const bool ports = ComboBoxCom == nullptr;
            auto* box = new ComboBoxWidget(ports ? window::DialogControl::ComboBoxCom
                                                 : window::DialogControl::ComboBoxBaud,
                                           parent);
            (ports ? ComboBoxCom : ComboBoxBaud) = box;
            widget = box;
            break;
        }
        case window::ComponentKind::SpinEdit:
            widget = EditTimeOut = new SpinEditWidget(parent);
            break;
        case window::ComponentKind::Button: {
            auto* button = new QPushButton(toQString(component.text), this);
            (Button1 ? Button2 : Button1) = button;
            widget = button;
            break;
        }
        }
        widget->setObjectName(nameOf(component));
        widget->setGeometry(bounds);
    }
    Button2->setDefault(true);

    // Creation order already gives this; stated for whoever reorders.
    setTabOrder(ComboBoxCom, ComboBoxBaud);
    setTabOrder(ComboBoxBaud, EditTimeOut);
    setTabOrder(EditTimeOut, Button1);
    setTabOrder(Button1, Button2);

    m_core = std::make_unique<window::TSetCom>(*this, *EditTimeOut, m_clock, m_timer);
    const auto keyDownFrom = [this](window::DialogControl control) {
        return [this, control](window::Key key, window::Modifiers modifiers) {
            return m_core->KeyDown(control, key, modifiers);
        };
    };
    const auto keyPressFrom = [this](window::DialogControl control) {
        return [this, control](char16_t& key) { return m_core->KeyPress(control, key); };
    };
    ComboBoxCom->attach(&m_core->ComboBoxCom, keyDownFrom(window::DialogControl::ComboBoxCom),
                        keyPressFrom(window::DialogControl::ComboBoxCom));
    ComboBoxBaud->attach(&m_core->ComboBoxBaud, keyDownFrom(window::DialogControl::ComboBoxBaud),
                         keyPressFrom(window::DialogControl::ComboBoxBaud));
    EditTimeOut->attach(&m_core->EditTimeOut, keyDownFrom(window::DialogControl::EditTimeOut));

    Button1->installEventFilter(this);
    Button2->installEventFilter(this);
    GroupBox1->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this,
            [this] { m_core->ButtonClick(window::DialogControl::Button1); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { m_core->ButtonClick(window::DialogControl::Button2); });
}

PortDialog::~PortDialog() = default;

QWidget* PortDialog::widgetOf(window::DialogControl control) const
{
    switch (control) {
    case window::DialogControl::GroupBox1:
        return GroupBox1;
    case window::DialogControl::ComboBoxCom:
        return ComboBoxCom;
    case window::DialogControl::ComboBoxBaud:
        return ComboBoxBaud;
    case window::DialogControl::EditTimeOut:
        return EditTimeOut;
    case window::DialogControl::Button1:
        return Button1;
    case window::DialogControl::Button2:
        break;
    }
    return Button2;
}

std::optional<window::DialogControl> PortDialog::focusedControl() const
{
    const QWidget* focus = focusWidget();
    for (const window::DialogControl control :
         {window::DialogControl::GroupBox1, window::DialogControl::ComboBoxCom,
          window::DialogControl::ComboBoxBaud, window::DialogControl::EditTimeOut,
          window::DialogControl::Button1, window::DialogControl::Button2}) {
        const QWidget* widget = widgetOf(control);
        // The list's line edit has the focus for the list.
        if (focus && (focus == widget ||
                      (control != window::DialogControl::GroupBox1 && widget->isAncestorOf(focus))))
            return control;
    }
    return std::nullopt;
}

void PortDialog::setFocus(window::DialogControl control, bool forward)
{
    // Before the dialog is shown, the focus it will have when it is.
    const Qt::FocusReason reason = !isVisible() ? Qt::ActiveWindowFocusReason
                                   : forward    ? Qt::TabFocusReason
                                                : Qt::BacktabFocusReason;
    widgetOf(control)->setFocus(reason);
}

window::Point PortDialog::position() const
{
    return {pos().x(), pos().y()};
}

void PortDialog::move(window::Point topLeft)
{
    QDialog::move(topLeft.x, topLeft.y);
}

window::Point PortDialog::frameSize() const
{
    return {width(), height()};
}

window::Rect PortDialog::desktopArea() const
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen* display = owner ? owner->screen() : screen();
    const QRect area = display ? display->availableVirtualGeometry() : QRect();
    return {area.x(), area.y(), area.width(), area.height()};
}

window::Rect PortDialog::ownerFrame() const
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return desktopArea();
    const QRect frame = owner->frameGeometry();
    return {frame.x(), frame.y(), frame.width(), frame.height()};
}

void PortDialog::setPortDescriptions(const std::vector<std::u16string>& descriptions)
{
    for (int i = 0; i < ComboBoxCom->count(); ++i) {
        const QString tip = static_cast<std::size_t>(i) < descriptions.size()
                                ? toQString(descriptions[static_cast<std::size_t>(i)])
                                : QString();
        ComboBoxCom->setItemData(i, tip.isEmpty() ? QVariant() : QVariant(tip), Qt::ToolTipRole);
    }
}

void PortDialog::accept()
{
    m_core->ButtonClick(window::DialogControl::Button2);
}

void PortDialog::reject()
{
    // The close box, Alt+F4, the window menu's close.
    m_core->CloseRequested();
}

void PortDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        char16_t key = window::EscChar;
        m_core->FormKeyPress(key);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool PortDialog::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = static_cast<QWidget*>(watched);
    // Keys a control inside the group box leaves unhandled (Alt+Left in a
    // list) pass the group box on their way up: they are not its own.
    if (event->type() != QEvent::KeyPress || !widget->hasFocus())
        return QDialog::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const std::optional<window::Key> key = keyOf(*keyEvent);
    if (!key)
        return QDialog::eventFilter(watched, event);
    const window::DialogControl control = widget == GroupBox1 ? window::DialogControl::GroupBox1
                                          : widget == Button1 ? window::DialogControl::Button1
                                                              : window::DialogControl::Button2;
    if (m_core->KeyDown(control, *key, modifiersOf(*keyEvent)))
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace quorlink::qtface
