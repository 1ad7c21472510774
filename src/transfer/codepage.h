#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorlink::transfer {

class CodePageConverter;

// The 8-bit encoding of the wire and of the source and result files.
//
// On Windows the system's ANSI code page; elsewhere the locale's character
// set (UTF-8 on most Linux systems) unless a code page such as windows-1250
// is named.  Text the code page cannot hold becomes its best-fit character
// where it has one, else "?".  Bytes that are not valid in the code page
// never fail a conversion.
//
// The details follow the platform's own conversions, so that a file reads
// the same in Quorlink as in the system's other programs: with iconv an
// invalid byte becomes U+FFFD and the best fit is iconv's transliteration;
// on Windows (MultiByteToWideChar and WideCharToMultiByte without flags) an
// undefined byte becomes the code page's own mapping (a C1 control in 1250),
// an unfinished double-byte character "?", and the best fit is Windows' own
// table ("›" for "→", "??" for a character outside the BMP).
class CodePage
{
public:
    // The system's code page.
    static CodePage system();
    // A code page by name ("windows-1250", "UTF-8", "ISO-8859-2", "CP852"),
    // or nothing when the platform does not know it.
    static std::optional<CodePage> named(std::string_view name);

    CodePage(const CodePage&);
    CodePage& operator=(const CodePage&);
    CodePage(CodePage&&) noexcept;
    CodePage& operator=(CodePage&&) noexcept;
    ~CodePage();

    // The canonical name, e.g. "UTF-8" or "WINDOWS-1250".
    std::string name() const;
    bool isUtf8() const;

    std::string fromUnicode(std::u16string_view text) const;
    std::u16string toUnicode(std::string_view bytes) const;

private:
    explicit CodePage(std::shared_ptr<CodePageConverter> converter);
    std::shared_ptr<CodePageConverter> m_converter;
};

} // namespace quorlink::transfer
