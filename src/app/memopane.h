#pragma once

#include "transfer/pane.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

namespace quorlink::app {

// A pane of the main window (Memo1, Memo2): an editable plain-text editor
// without wrapping, with both scroll bars.  Each line of the pane is one
// paragraph of the editor's document; the pane's text uses CR LF between
// them.  Counting lines, reading a line and appending one take constant or
// per-line time, never a scan of the whole text, so a pane of a million lines
// stays responsive.
//
// A CR or LF inside an appended line (a device reply with a lone CR) starts a
// new paragraph, as the editor shows any line break.
//
// Appending is what a run does once per exchange.  The text is in the pane
// at once; the editor's view of it (scroll bar ranges, the repaint) follows
// at most once per frame of the screen: an append sooner than one frame
// after the last one that updated the view leaves the view to a timer that
// fires within that frame.
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

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Brings the view up to date with the appends it was spared.
    void updateView();

    QElapsedTimer m_lastViewUpdate;
    std::int64_t m_frameNs = 0; // one frame of the screen, nanoseconds
    bool m_viewBehind = false;
    QTimer m_viewTimer;
};

} // namespace quorlink::app
