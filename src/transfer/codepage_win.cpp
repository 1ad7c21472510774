// Code pages on Windows, through the system's own conversion functions.

#include "codepage_p.h"

#include <climits>
#include <string>

#include <windows.h>

namespace quorlink::transfer {

namespace {

constexpr UINT Utf8CodePage = 65001;

class WindowsConverter : public CodePageConverter
{
public:
    WindowsConverter(std::string name, UINT codePage)
        : CodePageConverter(std::move(name), false), m_codePage(codePage)
    {}

    // With no flags the system replaces a character the code page lacks by
    // its best-fit character, else by the code page's default character.
    std::string encode(std::u16string_view text) override
    {
        if (text.empty())
            return {};
        if (text.size() > INT_MAX / 4)
            text = text.substr(0, INT_MAX / 4);
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        const int length = static_cast<int>(text.size());
        const int size =
            WideCharToMultiByte(m_codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
        if (size <= 0)
            return std::string(text.size(), '?');
        std::string out(static_cast<std::size_t>(size), '\0');
        const int written =
            WideCharToMultiByte(m_codePage, 0, wide, length, out.data(), size, nullptr, nullptr);
        out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
        return out;
    }

    // With no flags bytes the code page does not define are still converted
    // (to the system's stand-in characters); nothing fails.
    std::u16string decode(std::string_view bytes) override
    {
        if (bytes.empty())
            return {};
        if (bytes.size() > INT_MAX / 2)
            bytes = bytes.substr(0, INT_MAX / 2);
        const int length = static_cast<int>(bytes.size());
        const int size = MultiByteToWideChar(m_codePage, 0, bytes.data(), length, nullptr, 0);
        if (size <= 0)
            return std::u16string(bytes.size(), u'\uFFFD');
        std::u16string out(static_cast<std::size_t>(size), u'\0');
        const int written = MultiByteToWideChar(m_codePage, 0, bytes.data(), length,
                                                reinterpret_cast<wchar_t*>(out.data()), size);
        out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
        return out;
    }

private:
    UINT m_codePage;
};

// The digits after `prefix` as a number, or 0 when `text` is not prefix
// followed by 1 to 5 digits.
UINT numberAfter(std::string_view text, std::string_view prefix)
{
    if (text.size() <= prefix.size() || text.size() > prefix.size() + 5 ||
        text.substr(0, prefix.size()) != prefix)
        return 0;
    UINT number = 0;
    for (char c : text.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + static_cast<UINT>(c - '0');
    }
    return number;
}

// The name a code page number is shown by, in the style of the other
// platforms: "WINDOWS-1250", "ISO-8859-2", "CP852".
std::string canonicalName(UINT codePage)
{
    if (codePage == Utf8CodePage)
        return "UTF-8";
    if (codePage >= 1250 && codePage <= 1258)
        return "WINDOWS-" + std::to_string(codePage);
    if (codePage >= 28591 && codePage <= 28605)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

// The Windows code page number for a name, or 0 for a name it does not know.
UINT codePageNumber(std::string_view name)
{
    const std::string upper = upperAscii(name);
    if (UINT n = numberAfter(upper, "WINDOWS-"))
        return n;
    if (UINT n = numberAfter(upper, "CP"))
        return n;
    if (UINT n = numberAfter(upper, "IBM"))
        return n;
    if (UINT n = numberAfter(upper, "ISO-8859-"); n >= 1 && n <= 15)
        return 28590 + n;
    if (UINT n = numberAfter(upper, "ISO8859-"); n >= 1 && n <= 15)
        return 28590 + n;
    // The usual names of code pages that are not named by their number.
    static constexpr struct
    {
        std::string_view name;
        UINT codePage;
    } aliases[] = {
        {"US-ASCII", 20127}, {"ASCII", 20127},   {"ANSI_X3.4-1968", 20127}, {"KOI8-R", 20866},
        {"KOI8-U", 21866},   {"GBK", 936},       {"GB2312", 936},           {"GB18030", 54936},
        {"BIG5", 950},       {"SHIFT_JIS", 932}, {"SHIFT-JIS", 932},        {"SJIS", 932},
        {"EUC-KR", 51949},   {"EUC-JP", 20932},  {"MACINTOSH", 10000},
    };
    for (const auto& alias : aliases) {
        if (upper == alias.name)
            return alias.codePage;
    }
    return 0;
}

std::shared_ptr<CodePageConverter> converterFor(UINT codePage)
{
    if (codePage == Utf8CodePage)
        return std::make_shared<CodePageConverter>("UTF-8", true);
    return std::make_shared<WindowsConverter>(canonicalName(codePage), codePage);
}

} // namespace

std::shared_ptr<CodePageConverter> makeNamedConverter(std::string_view name)
{
    if (utf8::isUtf8Name(name))
        return converterFor(Utf8CodePage);
    const UINT codePage = codePageNumber(name);
    if (codePage == 0 || !IsValidCodePage(codePage))
        return nullptr;
    return converterFor(codePage);
}

std::shared_ptr<CodePageConverter> makeSystemConverter()
{
    return converterFor(GetACP());
}

} // namespace quorlink::transfer
