#include "memopane.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <algorithm>

namespace quorlink::qtface {

namespace {

// The format property holding the character a picture stands for.
constexpr int StandsFor = QTextFormat::UserProperty + 1;

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';

// Characters the editor takes as paragraph ends although they end no line
// (U+FDD0 and U+FDD1 are its frame marks).
bool endsParagraph(char16_t c)
{
    return c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
}

// The picture that shows a character the editor cannot hold inside a line:
// CR and LF as every pane shows them, the editor's own paragraph ends too.
char16_t pictureOf(char16_t c)
{
    switch (c) {
    case CR:
    case LF:
        return transfer::pictureOf(c);
    case 0x2029:
        return 0x00B6; // PILCROW SIGN
    default:
        return 0xFFFD; // REPLACEMENT CHARACTER
    }
}

QTextCharFormat pictureFormat(char16_t standsFor)
{
    QTextCharFormat format;
    format.setProperty(StandsFor, static_cast<int>(standsFor));
    return format;
}

} // namespace

template <typename Pictured>
void MemoPane::insertShown(QTextCursor& cursor, QStringView text, Pictured pictured)
{
    // Plain runs go in with the plain format, never with the format of the
    // picture before them.
    const QTextCharFormat plain;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!pictured(c))
            continue;
        if (i > runStart)
            cursor.insertText(text.mid(runStart, i - runStart).toString(), plain);
        cursor.insertText(QString(QChar(pictureOf(c))), pictureFormat(c));
        m_pictures = true;
        runStart = i + 1;
    }
    if (runStart < text.size())
        cursor.insertText(text.mid(runStart).toString(), plain);
}

QString MemoPane::blockText(const QTextBlock& block) const
{
    if (!m_pictures)
        return block.text();
    QString text;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        QString part = fragment.text();
        const QVariant standsFor = fragment.charFormat().property(StandsFor);
        if (standsFor.isValid()) {
            const auto original = static_cast<char16_t>(standsFor.toInt());
            for (QChar& c : part) {
                if (c.unicode() == pictureOf(original))
                    c = QChar(original);
            }
        }
        text += part;
    }
    return text;
}

MemoPane::MemoPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // What the user types next to a picture must not take its format (and
    // be read back as a CR).  With a selection, setting the format would
    // restyle the selection: keyPressEvent and insertFromMimeData see to it.
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (!textCursor().hasSelection() && currentCharFormat().hasProperty(StandsFor))
            setCurrentCharFormat(QTextCharFormat());
    });
}

bool MemoPane::lastBlockEmpty() const
{
    // A block's length counts its paragraph end.
    return document()->lastBlock().length() <= 1;
}

int MemoPane::lineCount() const
{
    return transfer::lineCountOfBlocks(document()->blockCount(), lastBlockEmpty());
}

std::u16string MemoPane::line(int index) const
{
    if (index < 0 || index >= lineCount())
        return {};
    const QString text = blockText(document()->findBlockByNumber(index));
    const std::u16string_view whole(reinterpret_cast<const char16_t*>(text.constData()),
                                    static_cast<std::size_t>(text.size()));
    return std::u16string(whole.substr(0, transfer::keptLineLength(whole)));
}

void MemoPane::appendLine(std::u16string_view line)
{
    const QString lineText = QString::fromUtf16(line.data(), static_cast<qsizetype>(line.size()));
    // The document layout's signals are what move the view; while the
    // window's changes are held, they are held back for the next frame.
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    const bool spareView = m_pacing && m_pacing->holding();
    const bool layoutWasBlocked = spareView && layout->blockSignals(true);
    // Not an edit of the user's: no undo step, and no undo record held for
    // the rest of the run.  The document can only drop its whole history to
    // leave an edit out of it, so typing before an append is no longer undone
    // after it.
    QTextDocument* doc = document();
    const bool undoable = doc->isUndoRedoEnabled();
    if (undoable)
        doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    // Inside an edit block the cursor leaves its on-screen x position
    // uncomputed; outside one it would lay out the new paragraph to find it,
    // a cost paid for every reply of a run.
    cursor.beginEditBlock();
    // The end by its position: moving there would work out the last
    // paragraph's writing direction, a scan of its text at every reply.
    cursor.setPosition(doc->characterCount() - 1);
    const transfer::AppendBreaks breaks = transfer::appendBreaks(lastBlockEmpty(), line.empty());
    const QString breakText = QStringLiteral("\n");
    const bool plainLine = std::none_of(line.begin(), line.end(), [](char16_t c) {
        return c == CR || c == LF || endsParagraph(c);
    });
    if (plainLine) {
        // A run's usual reply: one insert.
        cursor.insertText((breaks.before ? breakText : QString()) + lineText +
                              (breaks.after ? breakText : QString()),
                          QTextCharFormat());
    } else {
        if (breaks.before)
            cursor.insertText(breakText, QTextCharFormat());
        insertShown(cursor, lineText,
                    [](char16_t c) { return c == CR || c == LF || endsParagraph(c); });
        if (breaks.after)
            cursor.insertText(breakText, QTextCharFormat());
    }
    cursor.endEditBlock();
    if (undoable)
        doc->setUndoRedoEnabled(true);
    if (spareView) {
        layout->blockSignals(layoutWasBlocked);
        m_viewBehind = true;
        m_pacing->changeHeld();
    } else if (m_viewBehind) {
        // Appends held back before still need their repaint: the layout's
        // signals for this one cover only the rows it touched.
        updateView();
    }
}

void MemoPane::keyPressEvent(QKeyEvent* event)
{
    // Shift+Enter would insert a line separator inside the paragraph: it
    // looks like a new line but is not one to the line count, the run or a
    // save. It makes a line break like Enter does.
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        QKeyEvent enter(event->type(), Qt::Key_Return, event->modifiers() & ~Qt::ShiftModifier,
                        QStringLiteral("\r"), event->isAutoRepeat(),
                        static_cast<ushort>(event->count()));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
        return;
    }
    const QString typed = event->text();
    const bool typesText =
        !typed.isEmpty() && typed.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (typesText && insertPlain(typed)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void MemoPane::insertFromMimeData(const QMimeData* source)
{
    if (source->hasText() && insertPlain(source->text()))
        return;
    QPlainTextEdit::insertFromMimeData(source);
}

bool MemoPane::insertPlain(const QString& text)
{
    QTextCursor cursor = textCursor();
    if (!cursor.charFormat().hasProperty(StandsFor))
        return false;
    // In place of the selection, as one undo step.
    cursor.insertText(text, QTextCharFormat());
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void MemoPane::updateView()
{
    if (!m_viewBehind)
        return;
    m_viewBehind = false;
    // What the layout would have said after each held append: the document
    // size (scroll bar ranges) and a repaint of the whole view.
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    emit layout->update();
}

void MemoPane::clear()
{
    QPlainTextEdit::clear();
    m_pictures = false;
}

std::u16string MemoPane::text() const
{
    if (!m_pictures) {
        // toRawText keeps every character as typed (toPlainText would turn
        // no-break spaces into spaces); paragraphs are separated by U+2029.
        QString raw = document()->toRawText();
        raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
        return raw.toStdU16String();
    }
    std::u16string text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            text += u"\r\n";
        text += blockText(block).toStdU16String();
    }
    return text;
}

void MemoPane::setText(std::u16string_view text)
{
    // The editor takes CR LF, a lone CR and a lone LF each as one line break
    // itself, so the text goes in as it is, without a converted copy: a
    // million lines load in one setPlainText.
    const auto raw = QString::fromRawData(reinterpret_cast<const QChar*>(text.data()),
                                          static_cast<qsizetype>(text.size()));
    m_pictures = false;
    if (std::none_of(text.begin(), text.end(), endsParagraph)) {
        setPlainText(raw);
        return;
    }
    // The characters the editor would end a paragraph at go in as pictures.
    QTextDocument* doc = document();
    doc->clear();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    insertShown(cursor, raw, endsParagraph);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(true);
    moveCursor(QTextCursor::Start);
}

} // namespace quorlink::qtface
