#include "pane.h"
#include "utf16.h"

#include <algorithm>
#include <limits>

namespace quorlink::transfer {

namespace {

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';

bool isBreakUnit(char16_t c)
{
    return c == CR || c == LF;
}

bool belongsToLine(std::span<const std::size_t> inLine, std::size_t pos)
{
    return std::binary_search(inLine.begin(), inLine.end(), pos);
}

// The offset of the line break that ends the line starting at `start`, or
// the end of the text; no further than `limit`.
std::size_t lineEnd(std::u16string_view text, std::span<const std::size_t> inLine,
                    std::size_t start, std::size_t limit = std::u16string_view::npos)
{
    const std::size_t stop = std::min(text.size(), limit);
    auto kept = std::lower_bound(inLine.begin(), inLine.end(), start);
    for (std::size_t pos = start; pos < stop; ++pos) {
        if (!isBreakUnit(text[pos]))
            continue;
        while (kept != inLine.end() && *kept < pos)
            ++kept;
        if (kept == inLine.end() || *kept != pos)
            return pos;
    }
    return stop;
}

// Offset just past the line break at `pos`: CR LF, a lone CR or a lone LF.
std::size_t skipBreak(std::u16string_view text, std::span<const std::size_t> inLine,
                      std::size_t pos)
{
    if (text[pos] == CR && pos + 1 < text.size() && text[pos + 1] == LF &&
        !belongsToLine(inLine, pos + 1))
        return pos + 2;
    return pos + 1;
}

// The line that starts at `start`, cut as a reading cuts it.  Only the units
// that are returned (and one more) are looked at, so a very long line costs
// no more than a short one.
std::u16string lineFrom(std::u16string_view text, std::span<const std::size_t> inLine,
                        std::size_t start)
{
    const std::size_t end = lineEnd(text, inLine, start, start + Pane::MaxLineChars + 1);
    const std::u16string_view line = text.substr(start, end - start);
    return std::u16string(line.substr(0, keptLineLength(line)));
}

bool endsWithBreak(std::u16string_view text, std::span<const std::size_t> inLine)
{
    return !text.empty() && isBreakUnit(text.back()) && !belongsToLine(inLine, text.size() - 1);
}

void collectLineStarts(std::u16string_view text, std::span<const std::size_t> inLine,
                       std::vector<std::size_t>& starts)
{
    starts.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        starts.push_back(pos);
        pos = lineEnd(text, inLine, pos);
        if (pos < text.size())
            pos = skipBreak(text, inLine, pos);
    }
}

int clampCount(std::size_t count)
{
    return static_cast<int>(
        std::min<std::size_t>(count, static_cast<std::size_t>(std::numeric_limits<int>::max())));
}

} // namespace

int lineCountOfBlocks(int blockCount, bool lastBlockEmpty)
{
    return lastBlockEmpty ? blockCount - 1 : blockCount;
}

AppendBreaks appendBreaks(bool lastBlockEmpty, bool lineEmpty)
{
    // An unfinished last line is ended first.  The appended line then stays
    // unfinished itself, unless it is empty, which would otherwise not show
    // as a line at all.
    return {!lastBlockEmpty, lastBlockEmpty || lineEmpty};
}

char16_t pictureOf(char16_t unit)
{
    return unit == CR ? CarriageReturnPicture : unit == LF ? LineFeedPicture : unit;
}

char16_t unitOfPicture(char16_t picture)
{
    return picture == CarriageReturnPicture ? CR : picture == LineFeedPicture ? LF : picture;
}

namespace panetext {

std::size_t crLfLength(std::u16string_view text)
{
    std::size_t length = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A lone CR or a lone LF grows by one unit; CR LF stays as it is.
        const bool loneCr = text[i] == CR && (i + 1 == text.size() || text[i + 1] != LF);
        const bool loneLf = text[i] == LF && (i == 0 || text[i - 1] != CR);
        if (loneCr || loneLf)
            ++length;
    }
    return length;
}

std::u16string withCrLf(std::u16string_view text)
{
    std::u16string out(crLfLength(text), u'\0');
    std::size_t o = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isBreakUnit(c)) {
            out[o++] = CR;
            out[o++] = LF;
            if (c == CR && i + 1 < text.size() && text[i + 1] == LF)
                ++i;
        } else {
            out[o++] = c;
        }
    }
    return out;
}

int lineCount(std::u16string_view text, std::span<const std::size_t> inLine)
{
    std::size_t breaks = 0;
    for (std::size_t pos = lineEnd(text, inLine, 0); pos < text.size();
         pos = lineEnd(text, inLine, skipBreak(text, inLine, pos)))
        ++breaks;
    return lineCountOfBlocks(clampCount(breaks + 1), text.empty() || endsWithBreak(text, inLine));
}

std::u16string line(std::u16string_view text, int index, std::span<const std::size_t> inLine)
{
    if (index < 0)
        return {};
    std::size_t pos = 0;
    for (int i = 0; i < index; ++i) {
        pos = lineEnd(text, inLine, pos);
        if (pos == text.size())
            return {};
        pos = skipBreak(text, inLine, pos);
    }
    if (pos == text.size())
        return {};
    return lineFrom(text, inLine, pos);
}

void appendLine(std::u16string& text, std::u16string_view line, std::vector<std::size_t>& inLine)
{
    const AppendBreaks breaks =
        appendBreaks(text.empty() || endsWithBreak(text, inLine), line.empty());
    if (breaks.before)
        text.append(u"\r\n");
    const std::size_t at = text.size();
    text.append(line);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isBreakUnit(line[i]))
            inLine.push_back(at + i);
    }
    if (breaks.after)
        text.append(u"\r\n");
}

} // namespace panetext

const std::vector<std::size_t>& MemoryPane::lineStarts() const
{
    if (!m_indexed) {
        collectLineStarts(m_text, m_inLine, m_lineStarts);
        m_indexed = true;
    }
    return m_lineStarts;
}

int MemoryPane::lineCount() const
{
    return clampCount(lineStarts().size());
}

std::u16string MemoryPane::line(int index) const
{
    const std::vector<std::size_t>& starts = lineStarts();
    if (index < 0 || static_cast<std::size_t>(index) >= starts.size())
        return {};
    return lineFrom(m_text, m_inLine, starts[static_cast<std::size_t>(index)]);
}

void MemoryPane::appendLine(std::u16string_view line)
{
    panetext::appendLine(m_text, line, m_inLine);
    m_indexed = false;
}

void MemoryPane::clear()
{
    m_text.clear();
    m_inLine.clear();
    m_indexed = false;
}

void MemoryPane::setText(std::u16string_view text)
{
    m_text = text;
    m_inLine.clear();
    m_indexed = false;
}

std::size_t keptLineLength(std::u16string_view line)
{
    if (line.size() <= Pane::MaxLineChars)
        return line.size();
    // A cut that would keep the first half of a surrogate pair keeps neither
    // half: a lone half is no character and would go out as "?".  A half
    // that has no partner is cut like any other unit.
    std::size_t kept = Pane::MaxLineChars;
    if (isHighSurrogate(line[kept - 1]) && isLowSurrogate(line[kept]))
        --kept;
    return kept;
}

} // namespace quorlink::transfer
