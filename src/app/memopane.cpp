#include "memopane.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace quorlink::app {

namespace {

// The pane's line breaks (CR LF, a lone CR or LF) as the editor's '\n'.
// QString's own replace does the work: it is fast even in a debug build.
QString toEditorText(std::u16string_view text)
{
    QString result = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

} // namespace

MemoPane::MemoPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int MemoPane::lineCount() const
{
    const QTextDocument* doc = document();
    int count = doc->blockCount();
    // The last paragraph is empty when the text ends with a line break (and
    // in an empty pane): it is not a line.
    if (doc->lastBlock().length() <= 1)
        --count;
    return count;
}

std::u16string MemoPane::line(int index) const
{
    if (index < 0 || index >= lineCount())
        return {};
    const QString text = document()->findBlockByNumber(index).text();
    const auto length = std::min<qsizetype>(text.size(), static_cast<qsizetype>(MaxLineChars));
    return std::u16string(reinterpret_cast<const char16_t*>(text.constData()),
                          static_cast<std::size_t>(length));
}

void MemoPane::appendLine(std::u16string_view line)
{
    const QString lineText = toEditorText(line);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    const bool lastLineFinished = document()->lastBlock().length() <= 1;
    if (lastLineFinished) {
        cursor.insertText(lineText + QLatin1Char('\n'));
    } else {
        // An unfinished last line: the new line goes after a break and stays
        // unfinished itself, except that an empty one gets its break.
        cursor.insertText(QLatin1Char('\n') + lineText +
                          (lineText.isEmpty() ? QStringLiteral("\n") : QString()));
    }
}

void MemoPane::clear()
{
    QPlainTextEdit::clear();
}

std::u16string MemoPane::text() const
{
    // toRawText keeps every character as typed (toPlainText would turn
    // no-break spaces into spaces); paragraphs are separated by U+2029.
    QString raw = document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return raw.toStdU16String();
}

void MemoPane::setText(std::u16string_view text)
{
    // One setPlainText of the whole text: a million lines load in one go.
    setPlainText(toEditorText(text));
}

} // namespace quorlink::app
