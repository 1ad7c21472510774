#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorlink::transfer {

// A multi-line text pane (the source pane Memo1 and the received pane Memo2).
//
// Line rules shared by every pane:
// - in text that is set (a loaded file, typed or pasted text), CR LF, a lone
//   LF and a lone CR each end a line, and no other character does;
// - an appended line is one line whatever it holds: a CR or LF inside it (a
//   reply with a lone CR) stays part of that line for the line count, for
//   reading it and in text(), as the device sent it; how a pane shows it is
//   the pane's affair;
// - text after the last line break is a line; a final line break does not
//   start an extra line; an empty pane counts 0 lines;
// - reading line i gives at most MaxLineChars characters, and an empty text
//   past the last line;
// - appending to a pane that is empty or ends with a line break adds the line
//   and CR LF; to a pane whose last line is unfinished it adds CR LF and then
//   the line with no CR LF after it, except that an empty line added this way
//   is followed by one more CR LF;
// - appending is not an edit by the user: where a pane can undo the user's
//   edits, an append is no undo step.
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

// How much of `line` (one line, without its break) a reading returns: at
// most Pane::MaxLineChars units, one fewer where the cut would split a
// surrogate pair.
std::size_t keptLineLength(std::u16string_view line);

// The line rules in the form a pane that keeps its text as blocks can use:
// the text split at every line break that is not part of an appended line,
// so that it has one block more than line breaks, the last block empty when
// the text ends with a break or is empty.  Each costs the same for a pane of
// any size.
//
// The lines of such a pane: every block, except an empty last one.
int lineCountOfBlocks(int blockCount, bool lastBlockEmpty);
// What appending a line adds around it: a line break before it when the
// pane's last line is unfinished (its last block not empty), and one after
// it when that line was finished or the appended line is empty.
struct AppendBreaks
{
    bool before;
    bool after;
};
AppendBreaks appendBreaks(bool lastBlockEmpty, bool lineEmpty);

// How a pane shows a CR or LF unit that belongs to an appended line (a reply
// holding a lone CR): as the unit's picture, "␍" (U+240D) for CR and "␊"
// (U+240A) for LF, since a text control would take the unit itself as a line
// break (or show nothing).  The line stays one line, and the pane reads the
// picture back, and saves it, as the unit it stands for.  A picture in text
// that is set or typed is no unit and stands for itself.
inline constexpr char16_t CarriageReturnPicture = u'\u240D';
inline constexpr char16_t LineFeedPicture = u'\u240A';
// The picture of `unit` (CR or LF); any other unit is its own.
char16_t pictureOf(char16_t unit);
// The unit `picture` stands for; a unit that is no picture stands for itself.
char16_t unitOfPicture(char16_t picture);

// The line rules on a plain string, for panes that keep their text as one.
// `inLine` lists in ascending order the offsets of the CR and LF units that
// belong to an appended line; every other CR LF, CR and LF ends a line.
namespace panetext {
// The length of `text` once every line break in it is CR LF.
std::size_t crLfLength(std::u16string_view text);
// `text` with every line break (CR LF, a lone CR, a lone LF) as CR LF.
std::u16string withCrLf(std::u16string_view text);
int lineCount(std::u16string_view text, std::span<const std::size_t> inLine = {});
std::u16string line(std::u16string_view text, int index, std::span<const std::size_t> inLine = {});
// Appends `line` by the append rule; the offsets of its CR and LF units are
// added to `inLine`.
void appendLine(std::u16string& text, std::u16string_view line, std::vector<std::size_t>& inLine);
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
    // A pane holding `text` as if it had been set.
    explicit MemoryPane(std::u16string_view text) : m_text(text) {}
    // A pane holding `text` in which the CR and LF units at the offsets
    // `inLine` (ascending) belong to appended lines.
    MemoryPane(std::u16string text, std::vector<std::size_t> inLine)
        : m_text(std::move(text)), m_inLine(std::move(inLine))
    {}

    int lineCount() const override;
    std::u16string line(int index) const override;
    void appendLine(std::u16string_view line) override;
    void clear() override;
    std::u16string text() const override { return m_text; }
    void setText(std::u16string_view text) override;
    // The offsets of the CR and LF units that belong to appended lines.
    const std::vector<std::size_t>& inLineBreaks() const { return m_inLine; }

private:
    const std::vector<std::size_t>& lineStarts() const;

    std::u16string m_text;
    // Offsets of the CR and LF units of appended lines in m_text, ascending.
    std::vector<std::size_t> m_inLine;
    // Offset of each line's first unit in m_text; valid while m_indexed.
    mutable std::vector<std::size_t> m_lineStarts;
    mutable bool m_indexed = false;
};

} // namespace quorlink::transfer
