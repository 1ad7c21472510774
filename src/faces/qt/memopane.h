#pragma once

#include "transfer/pane.h"
#include "window/framepacing.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

namespace quorlink::qtface {

// A pane of the main window (Memo1, Memo2): an editable plain-text editor
// without wrapping, with both scroll bars.  Each line of the pane is one
// paragraph of the editor's document; the pane's text uses CR LF between
// them.  Counting lines, reading a line and appending one take constant or
// per-line time, never a scan of the whole text, so a pane of a million lines
// stays responsive.
//
// The editor would also end a paragraph at a CR or LF inside an appended line
// (a device reply with a lone CR), and in any text at U+2029 and at U+FDD0 and
// U+FDD1 (its frame marks).  Such a character is shown as a picture instead:
// CR and LF as every pane shows them (transfer::pictureOf), U+2029 as a
// pilcrow, U+FDD0 and U+FDD1 as U+FFFD, each carrying the character it stands
// for in its format, and is read back as that character.  A picture typed or
// pasted by the user carries nothing and reads as itself.
//
// Appends are no undo steps and keep no undo record; the user's own edits are
// undone as in any editor.  Qt's document can leave an edit out of its
// history only by dropping the whole history, so an append also ends the
// undo history of what was typed before it.
//
// Appending is what a run does once per exchange.  The text is in the pane
// at once; while the window's changes are held (window::FramePacing), the
// editor's view of it (scroll bar ranges, the repaint) waits for the window
// to show the next frame (updateView).
class MemoPane : public QPlainTextEdit, public transfer::Pane
{
    Q_OBJECT

public:
    explicit MemoPane(QWidget* parent = nullptr);

    int lineCount() const override;
    std::u16string line(int index) const override;
    void appendLine(std::u16string_view line) override;
    void clear() override;
    std::u16string text() const override;
    void setText(std::u16string_view text) override;

    // The window's pacing, which the view follows during a run; none, and
    // the view follows every append.
    void setPacing(window::FramePacing* pacing) { m_pacing = pacing; }
    // Brings the view up to date with the appends it was spared; the window
    // calls it before it shows a held frame.
    void updateView();
    // Whether appends wait for the view timer.
    bool viewBehind() const { return m_viewBehind; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // Inserts `text` at `cursor`, each character for which `pictured` holds
    // as its picture.
    template <typename Pictured>
    void insertShown(QTextCursor& cursor, QStringView text, Pictured pictured);
    // Inserts what the user typed or pasted without the format of a picture
    // at the cursor; false when there is none and Qt's own insertion will do.
    bool insertPlain(const QString& text);
    // The text of `block` with its pictures read back.
    QString blockText(const QTextBlock& block) const;
    // The text ends with a line break, or is empty.
    bool lastBlockEmpty() const;

    // Some picture was inserted since the pane was last set or cleared.
    bool m_pictures = false;
    bool m_viewBehind = false;
    window::FramePacing* m_pacing = nullptr;
};

} // namespace quorlink::qtface
