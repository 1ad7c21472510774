#include "memopane.h"

#include "transfer/textfile.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorlink::win32 {

namespace {

constexpr UINT_PTR PasteSubclass = 1;

const wchar_t* wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The copy's text as the control shows it.
std::u16string shownText(const transfer::MemoryPane& copy)
{
    std::u16string text = copy.text();
    for (const std::size_t at : copy.inLineBreaks())
        text[at] = transfer::pictureOf(text[at]);
    return text;
}

// `text` with its line breaks as CR LF, without a copy when it has no other.
std::u16string crLfText(std::u16string_view text)
{
    if (transfer::panetext::crLfLength(text) == text.size())
        return std::u16string(text);
    return transfer::panetext::withCrLf(text);
}

} // namespace

const std::size_t EditPane::Capacity = transfer::MaxSourceChars;

void EditPane::create(HWND parent, int id, HFONT font)
{
    const DWORD style = WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL;
    m_hwnd = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The default limit for typing is 32767 characters.
    SendMessageW(m_hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(Capacity), 0);
    SetWindowSubclass(m_hwnd, &EditPane::controlProc, PasteSubclass, 0);
}

// Pasted text gets CR LF for each of its line breaks, as text that is set
// does: the control would show a lone CR or LF as no break at all.
LRESULT CALLBACK EditPane::controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR)
{
    if (message == WM_PASTE && IsClipboardFormatAvailable(CF_UNICODETEXT) && OpenClipboard(hwnd)) {
        std::u16string text;
        if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* units = static_cast<const char16_t*>(GlobalLock(data))) {
                text = units;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
        if (transfer::panetext::crLfLength(text) != text.size()) {
            // As one undo step, as a paste is.
            const std::u16string crLf = transfer::panetext::withCrLf(text);
            SendMessageW(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide(crLf)));
            return 0;
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &EditPane::controlProc, PasteSubclass);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool EditPane::controlChanged()
{
    if (m_changing)
        return false;
    if (m_copy.inLineBreaks().empty())
        m_stale = true;
    else
        followEdit();
    return true;
}

std::u16string EditPane::controlText() const
{
    const int length = GetWindowTextLengthW(m_hwnd);
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(
        m_hwnd, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()))));
    return text;
}

void EditPane::noteEnd(const std::u16string& text) const
{
    m_length = text.size();
    m_last = text.empty() ? u'\0' : text.back();
    const std::vector<std::size_t>& inLine = m_copy.inLineBreaks();
    m_lastInLine = !text.empty() && !inLine.empty() && inLine.back() == text.size() - 1;
}

const transfer::MemoryPane& EditPane::copy() const
{
    if (m_stale) {
        // No pictures: the control's text is the copy's.
        const std::u16string text = controlText();
        m_copy.setText(text);
        noteEnd(text);
        m_stale = false;
    }
    return m_copy;
}

void EditPane::followEdit()
{
    const std::u16string before = shownText(m_copy);
    std::u16string after = controlText();
    // The edit changed one stretch of the text, which ends where the caret
    // is after it (typing, a paste, a deletion).  The text after the caret is
    // matched first: a unit typed beside one just like it (a picture beside
    // a reply's) is the one before the caret.
    DWORD selStart = 0;
    DWORD selEnd = 0;
    SendMessageW(m_hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    const std::size_t shorter = std::min(before.size(), after.size());
    const std::size_t suffixLimit =
        std::min(shorter, after.size() - std::min<std::size_t>(selEnd, after.size()));
    std::size_t sameEnd = 0;
    while (sameEnd < suffixLimit &&
           before[before.size() - 1 - sameEnd] == after[after.size() - 1 - sameEnd])
        ++sameEnd;
    std::size_t same = 0;
    while (same < std::min<std::size_t>(shorter - sameEnd, selStart) && before[same] == after[same])
        ++same;

    // The pictures before and after that stretch stay pictures; those in it
    // went with what the operator replaced.
    std::vector<std::size_t> pictures;
    for (const std::size_t at : m_copy.inLineBreaks()) {
        if (at < same)
            pictures.push_back(at);
        else if (at >= before.size() - sameEnd)
            pictures.push_back(at - before.size() + after.size());
    }
    for (const std::size_t at : pictures)
        after[at] = transfer::unitOfPicture(after[at]);
    m_copy = transfer::MemoryPane(after, std::move(pictures));
    noteEnd(after);
}

void EditPane::checkCapacity(std::size_t units) const
{
    if (units > Capacity)
        throw std::runtime_error(transfer::MemoCapacityError);
}

int EditPane::lineCount() const
{
    if (!m_stale)
        return m_copy.lineCount();
    // The control's own count, kept as it edits: its lines end at CR LF
    // alone, as the pane's do, but an empty last line is no line here.
    const auto count = static_cast<int>(SendMessageW(m_hwnd, EM_GETLINECOUNT, 0, 0));
    const LRESULT lastStart = SendMessageW(m_hwnd, EM_LINEINDEX, count - 1, 0);
    const bool lastEmpty = SendMessageW(m_hwnd, EM_LINELENGTH, lastStart, 0) == 0;
    return lastEmpty ? count - 1 : count;
}

std::u16string EditPane::line(int index) const
{
    return copy().line(index);
}

void EditPane::appendLine(std::u16string_view line)
{
    copy();
    // What appending adds depends only on whether the text is empty or ends
    // with a line break: the rule runs on the last unit alone, and on
    // whether that one belongs to an appended line.
    std::u16string tail;
    std::vector<std::size_t> inLine;
    if (m_length > 0) {
        tail.push_back(m_last);
        if (m_lastInLine)
            inLine.push_back(0);
    }
    const std::size_t before = tail.size();
    transfer::panetext::appendLine(tail, line, inLine);
    std::u16string added = tail.substr(before);
    checkCapacity(m_length + added.size());
    for (const std::size_t at : inLine) {
        if (at >= before)
            added[at - before] = transfer::pictureOf(added[at - before]);
    }

    m_changing = true;
    const auto end = static_cast<WPARAM>(m_length);
    SendMessageW(m_hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(m_hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide(added)));
    m_changing = false;
    m_copy.appendLine(line);
    m_length += added.size();
    if (!added.empty()) {
        m_last = tail.back();
        m_lastInLine = !inLine.empty() && inLine.back() == tail.size() - 1;
    }
}

void EditPane::clear()
{
    setText(u"");
}

std::u16string EditPane::text() const
{
    return copy().text();
}

void EditPane::setText(std::u16string_view text)
{
    const std::u16string crLf = crLfText(text);
    checkCapacity(crLf.size());
    m_changing = true;
    SetWindowTextW(m_hwnd, wide(crLf));
    m_changing = false;
    m_copy.setText(crLf);
    noteEnd(crLf);
    m_stale = false;
}

} // namespace quorlink::win32
