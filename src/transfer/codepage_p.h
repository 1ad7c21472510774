#pragma once

// Internal to the code page: the converter a CodePage shares among its copies,
// and the platform functions that make one.  Not for use outside
// src/transfer.

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace quorlink::transfer {

// One code page's conversions.  UTF-8 is converted by codepage.cpp itself;
// every other code page by the platform part, which keeps whatever
// descriptors it needs for the converter's lifetime.
class CodePageConverter
{
public:
    CodePageConverter(std::string name, bool utf8) : m_name(std::move(name)), m_utf8(utf8) {}
    virtual ~CodePageConverter() = default;
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    const std::string& name() const { return m_name; }
    bool isUtf8() const { return m_utf8; }

    // Only called for code pages other than UTF-8.  Neither fails: a
    // character the code page lacks becomes its best-fit byte or "?", a byte
    // sequence that is not valid becomes U+FFFD.
    virtual std::string encode(std::u16string_view text) { return std::string(text.size(), '?'); }
    virtual std::u16string decode(std::string_view bytes)
    {
        return std::u16string(bytes.size(), u'\uFFFD');
    }

private:
    std::string m_name;
    bool m_utf8;
};

// Implemented once per platform (codepage_unix.cpp, codepage_win.cpp).
std::shared_ptr<CodePageConverter> makeSystemConverter();
std::shared_ptr<CodePageConverter> makeNamedConverter(std::string_view name);

// "windows-1250" -> "WINDOWS-1250": code page names compare without regard
// to ASCII letter case, whatever the locale.
std::string upperAscii(std::string_view text);

// UTF-8 without any platform help.  A lone surrogate becomes "?"; a byte that
// does not belong to a well-formed sequence becomes U+FFFD, one U+FFFD for
// each maximal ill-formed part, and decoding goes on after it.
namespace utf8 {
std::string encode(std::u16string_view text);
std::u16string decode(std::string_view bytes);
bool isUtf8Name(std::string_view name);
} // namespace utf8

} // namespace quorlink::transfer
