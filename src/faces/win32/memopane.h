#pragma once

#include "transfer/pane.h"

#include <windows.h>

#include <cstddef>

namespace quorlink::win32 {

// A pane of the main window (Memo1, Memo2) over a multi-line EDIT control:
// editable, both scroll bars, no wrapping.
//
// The control shows the text; the pane keeps its own copy with the line
// index of transfer::MemoryPane, so that counting and reading lines follow
// the pane rules and cost no scan of the control per call.  The control
// breaks lines only at CR LF, so the pane gives it nothing else as a break:
// a CR or LF inside an appended line (a reply with a lone CR) is shown as
// its picture (transfer::pictureOf) and read back and saved as itself, and
// a lone CR or LF in text that is set or pasted becomes CR LF.  The control
// and the copy then hold the same units, pictures apart.
//
// The operator's edits (EN_CHANGE that the pane did not cause itself) are
// followed cheaply, since the source pane may hold 100,000 lines and the
// line count shows at every key: the line count comes from the control's own
// count of its lines, and the copy is taken from the control again only when
// a line or the text is read.  A pane that shows pictures compares the
// control's text with the copy at each edit instead, so that the pictures
// the operator left keep standing for their CR and LF.  Appends are no undo
// steps: the control forgets what the operator could undo before them.
//
// Capacity: Capacity UTF-16 units, the largest source text a pane takes
// (transfer::MaxSourceChars, 64 Mi units).  The control's limit is raised to
// it for typing; an append or a text that would go past it throws
// "Text exceeds memo capacity" and leaves the pane as it was.
class EditPane : public transfer::Pane
{
public:
    static const std::size_t Capacity;

    EditPane() = default;
    EditPane(const EditPane&) = delete;
    EditPane& operator=(const EditPane&) = delete;

    // Creates the control as a child of `parent` with the command id `id`.
    void create(HWND parent, int id, HFONT font);
    HWND hwnd() const { return m_hwnd; }

    // The control reported EN_CHANGE.  Returns true when the change came from
    // the operator, not from the pane itself.
    bool controlChanged();

    int lineCount() const override;
    // Read from the copy: no scan of the control per line.
    std::u16string line(int index) const override;
    std::u16string text() const override;
    // Written to the control and the copy; past Capacity nothing changes.
    void appendLine(std::u16string_view line) override;
    void setText(std::u16string_view text) override;
    void clear() override;

private:
    // Brings the copy up to date with what the operator typed.
    const transfer::MemoryPane& copy() const;
    // Takes the copy from the control after an edit, keeping the pictures
    // outside what the edit changed.
    void followEdit();
    std::u16string controlText() const;
    // Notes the copy's length and last unit, which appending depends on.
    void noteEnd(const std::u16string& text) const;
    void checkCapacity(std::size_t units) const;
    static LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR data);

    HWND m_hwnd = nullptr;
    mutable transfer::MemoryPane m_copy;
    mutable std::size_t m_length = 0;  // units in m_copy
    mutable char16_t m_last = 0;       // its last unit, when m_length > 0
    mutable bool m_lastInLine = false; // which is a CR or LF of an appended line
    mutable bool m_stale = false;      // the operator changed the control since
    bool m_changing = false;           // the pane itself is changing the control
};

} // namespace quorlink::win32
