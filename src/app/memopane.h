#pragma once

#include "transfer/pane.h"

#include <QPlainTextEdit>

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
};

} // namespace quorlink::app
