#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorlink::transfer {

// A multi-line text pane (the source pane Memo1 and the received pane Memo2).
//
// Line rules shared by every pane:
// - text after the last line break is a line; a final line break does not
//   start an extra line; an empty pane counts 0 lines;
// - reading line i gives at most MaxLineChars characters, and an empty text
//   past the last line;
// - appending to a pane that is empty or ends with a line break adds the line
//   and CR LF; to a pane whose last line is unfinished it adds CR LF and then
//   the line with no CR LF after it, except that an empty line added this way
//   is followed by one more CR LF.
// A line break is CR LF, which is what appending writes; a lone LF or a lone
// CR (typed, pasted or received) also ends a line, as in a text editor.
class Pane
{
public:
    static constexpr std::size_t MaxLineChars = 4096;

    virtual ~Pane() = default;
    virtual int lineCount() const = 0;
    virtual std::u16string line(int index) const = 0;
    virtual void appendLine(std::u16string_view line) = 0;
    virtual void clear() = 0;
    virtual std::u16string text() const = 0;
    virtual void setText(std::u16string_view text) = 0;
};

// The line rules on a plain string, for panes that keep their text as one.
namespace panetext {
int lineCount(std::u16string_view text);
std::u16string line(std::u16string_view text, int index);
void appendLine(std::u16string& text, std::u16string_view line);
} // namespace panetext

// A pane held in memory.
//
// It keeps the offsets of its line starts once they were asked for, so that
// reading line after line (as a run does) costs the length of each line, not
// the length of the text before it.  Any change of the text drops them.  Like
// every pane it is used from one thread.
class MemoryPane : public Pane
{
public:
    MemoryPane() = default;
    explicit MemoryPane(std::u16string_view text) : m_text(text) {}

    int lineCount() const override;
    std::u16string line(int index) const override;
    void appendLine(std::u16string_view line) override;
    void clear() override;
    std::u16string text() const override { return m_text; }
    void setText(std::u16string_view text) override;

private:
    const std::vector<std::size_t>& lineStarts() const;

    std::u16string m_text;
    // Offset of each line's first unit in m_text; valid while m_indexed.
    mutable std::vector<std::size_t> m_lineStarts;
    mutable bool m_indexed = false;
};

} // namespace quorlink::transfer
