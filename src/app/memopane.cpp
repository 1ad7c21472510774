#include "memopane.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QScreen>
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
    m_viewTimer.setSingleShot(true);
    m_viewTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_viewTimer, &QTimer::timeout, this, [this] { updateView(); });
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
    // The document layout's signals are what move the view; within a frame
    // of the last view update they are held back for the timer.
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    const bool spareView =
        m_lastViewUpdate.isValid() && m_lastViewUpdate.nsecsElapsed() < m_frameNs;
    const bool layoutWasBlocked = spareView && layout->blockSignals(true);
    QTextCursor cursor(document());
    // Inside an edit block the cursor leaves its on-screen x position
    // uncomputed; outside one it would lay out the new paragraph to find it,
    // a cost paid for every reply of a run.
    cursor.beginEditBlock();
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
    cursor.endEditBlock();
    if (spareView) {
        layout->blockSignals(layoutWasBlocked);
        m_viewBehind = true;
        if (!m_viewTimer.isActive())
            m_viewTimer.start(static_cast<int>((m_frameNs + 999'999) / 1'000'000));
    } else {
        // Appends held back since the last update still need their repaint:
        // the layout's signals for this one cover only the rows it touched.
        if (m_viewBehind)
            updateView();
        m_lastViewUpdate.start();
        const QScreen* display = screen();
        const qreal rate = display ? display->refreshRate() : 0.0;
        m_frameNs = static_cast<std::int64_t>(1e9 / (rate >= 1.0 ? rate : 60.0));
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
    QPlainTextEdit::keyPressEvent(event);
}

void MemoPane::updateView()
{
    if (!m_viewBehind)
        return;
    m_viewBehind = false;
    m_lastViewUpdate.start();
    // What the layout would have said after each held append: the document
    // size (scroll bar ranges) and a repaint of the whole view.
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    emit layout->update();
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
    // The editor takes CR LF, a lone CR and a lone LF each as one line break
    // itself, so the text goes in as it is, without a converted copy: a
    // million lines load in one setPlainText.
    setPlainText(QString::fromRawData(reinterpret_cast<const QChar*>(text.data()),
                                      static_cast<qsizetype>(text.size())));
}

} // namespace quorlink::app
