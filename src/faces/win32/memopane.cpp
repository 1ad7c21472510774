#include "memopane.h"

#include "text.h"
#include "transfer/textfile.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quorlink::win32 {

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
}

bool EditPane::controlChanged()
{
    if (m_changing)
        return false;
    m_stale = true;
    return true;
}

const transfer::MemoryPane& EditPane::copy() const
{
    if (m_stale) {
        const int length = GetWindowTextLengthW(m_hwnd);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextW(m_hwnd, text.data(), static_cast<int>(text.size()))));
        m_copy.setText(fromWide(text));
        m_length = text.size();
        m_last = text.empty() ? u'\0' : static_cast<char16_t>(text.back());
        m_lastInLine = false;
        m_stale = false;
    }
    return m_copy;
}

void EditPane::checkCapacity(std::size_t units) const
{
    if (units > Capacity)
        throw std::runtime_error(transfer::MemoCapacityError);
}

int EditPane::lineCount() const
{
    return copy().lineCount();
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
    const std::u16string added = tail.substr(before);
    checkCapacity(m_length + added.size());

    m_changing = true;
    const auto end = static_cast<WPARAM>(m_length);
    SendMessageW(m_hwnd, EM_SETSEL, end, static_cast<LPARAM>(end));
    const std::wstring wide = toWide(added);
    SendMessageW(m_hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    m_changing = false;
    m_copy.appendLine(line);
    m_length += added.size();
    if (!added.empty()) {
        m_last = added.back();
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
    checkCapacity(text.size());
    m_changing = true;
    SetWindowTextW(m_hwnd, toWide(text).c_str());
    m_changing = false;
    m_copy.setText(text);
    m_length = text.size();
    m_last = text.empty() ? u'\0' : text.back();
    m_lastInLine = false;
    m_stale = false;
}

} // namespace quorlink::win32
