#include "codepage.h"

#include "codepage_p.h"
#include "utf16.h"

#include <cstdint>

namespace quorlink::transfer {

std::string upperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

namespace utf8 {

std::string encode(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = text[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            // Half of a pair is no character; UTF-8 cannot carry it.
            out.push_back('?');
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string decode(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        // The bounds of the next continuation byte exclude overlong forms,
        // surrogates (ED A0..BF) and code points above U+10FFFF.
        int need = 0;
        char32_t c = 0;
        std::uint8_t lower = 0x80;
        std::uint8_t upper = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            c = lead & 0x0F;
            if (lead == 0xE0)
                lower = 0xA0;
            if (lead == 0xED)
                upper = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            c = lead & 0x07;
            if (lead == 0xF0)
                lower = 0x90;
            if (lead == 0xF4)
                upper = 0x8F;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                complete = false;
                break;
            }
            const auto next = static_cast<std::uint8_t>(bytes[j]);
            if (next < lower || next > upper) {
                complete = false;
                break;
            }
            lower = 0x80;
            upper = 0xBF;
            c = (c << 6) | (next & 0x3F);
        }
        // An ill-formed sequence stands for one U+FFFD; the byte that broke
        // it is not consumed and may start the next character.
        i = j;
        if (!complete) {
            out.push_back(u'\uFFFD');
        } else if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

bool isUtf8Name(std::string_view name)
{
    const std::string upper = upperAscii(name);
    return upper == "UTF-8" || upper == "UTF8";
}

} // namespace utf8

CodePage::CodePage(std::shared_ptr<CodePageConverter> converter) : m_converter(std::move(converter))
{}

CodePage CodePage::system()
{
    return CodePage(makeSystemConverter());
}

std::optional<CodePage> CodePage::named(std::string_view name)
{
    std::shared_ptr<CodePageConverter> converter = makeNamedConverter(name);
    if (!converter)
        return std::nullopt;
    // The wire and the files need a code page whose ASCII characters are
    // single bytes of the same value: the requests end in CR LF and the
    // replies at a 0 byte.  UTF-16, UTF-32 or EBCDIC are no such code page.
    if (!converter->isUtf8() &&
        (converter->encode(std::u16string_view(u"A\r\n\0", 4)) != std::string_view("A\r\n\0", 4) ||
         converter->decode("A\r\n") != u"A\r\n"))
        return std::nullopt;
    return CodePage(std::move(converter));
}

CodePage::CodePage(const CodePage&) = default;
CodePage& CodePage::operator=(const CodePage&) = default;
CodePage::CodePage(CodePage&&) noexcept = default;
CodePage& CodePage::operator=(CodePage&&) noexcept = default;
CodePage::~CodePage() = default;

// A moved-from CodePage has no converter; it behaves as UTF-8 rather than
// crash, so that every method stays safe to call.

std::string CodePage::name() const
{
    return m_converter ? m_converter->name() : std::string("UTF-8");
}

bool CodePage::isUtf8() const
{
    return !m_converter || m_converter->isUtf8();
}

std::string CodePage::fromUnicode(std::u16string_view text) const
{
    if (isUtf8())
        return utf8::encode(text);
    return m_converter->encode(text);
}

std::u16string CodePage::toUnicode(std::string_view bytes) const
{
    if (isUtf8())
        return utf8::decode(bytes);
    return m_converter->decode(bytes);
}

std::string toUtf8(std::u16string_view text)
{
    return utf8::encode(text);
}

std::u16string fromUtf8(std::string_view bytes)
{
    return utf8::decode(bytes);
}

std::u16string decimalText(long long value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace quorlink::transfer
