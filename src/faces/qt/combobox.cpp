#include "combobox.h"

#include "keys.h"
#include "text.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>

namespace quorlink::qtface {

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
        if (m_box && !m_showing && !m_leaving)
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
    box->attach(this);
}

void ComboBoxWidget::showItems(const std::vector<std::u16string>& items)
{
    // Only what changed: the entries the list always has keep their place
    // and the entry chosen among them stays current.  The list's state is
    // shown again afterwards.
    m_showing = true;
    const int wanted = static_cast<int>(items.size());
    while (count() > wanted)
        removeItem(count() - 1);
    for (int i = 0; i < wanted; ++i) {
        const QString text = toQString(items[static_cast<std::size_t>(i)]);
        if (i == count())
            addItem(text);
        else if (itemText(i) != text)
            setItemText(i, text);
    }
    m_showing = false;
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

void ComboBoxWidget::showPopup()
{
    // Opening the drop-down part clears the box's selection; a list box
    // keeps it, so that what is typed next replaces the selected text.
    QLineEdit* edit = lineEdit();
    const int start = edit->selectionStart();
    const int length = static_cast<int>(edit->selectedText().size());
    const int cursor = edit->cursorPosition();
    QComboBox::showPopup();
    if (length == 0)
        edit->setCursorPosition(cursor);
    else if (cursor == start)
        edit->setSelection(start + length, -length);
    else
        edit->setSelection(start, length);
}

void ComboBoxWidget::focusOutEvent(QFocusEvent* event)
{
    // Leaving, the box chooses the entry its text matches (it says it was
    // activated): the choice is the behaviour's, which already has it.
    m_leaving = true;
    QComboBox::focusOutEvent(event);
    m_leaving = false;
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

} // namespace quorlink::qtface
