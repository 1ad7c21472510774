// Code pages on POSIX systems, through the C library's iconv.

#include "codepage_p.h"
#include "utf16.h"

#include <bit>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <mutex>

namespace quorlink::transfer {

namespace {

// The panes' text as iconv names it: UTF-16 in this machine's byte order,
// without a byte order mark.
const char* const Utf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

const iconv_t NoDescriptor = reinterpret_cast<iconv_t>(-1);
const std::size_t IconvFailed = static_cast<std::size_t>(-1);

// The locale whose transliteration tables pick best-fit characters.  The C
// library takes them from the calling thread's LC_CTYPE; the plain "C" locale
// has almost none (it would turn "ñ" into "?"), so C.UTF-8 is used where the
// system has it, which also keeps the result independent of the user's
// locale.  Created once and kept for the life of the process.
locale_t translitLocale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return locale;
}

class IconvConverter : public CodePageConverter
{
public:
    IconvConverter(std::string name, iconv_t encoder, iconv_t decoder)
        : CodePageConverter(std::move(name), false), m_encoder(encoder), m_decoder(decoder)
    {}

    ~IconvConverter() override
    {
        iconv_close(m_encoder);
        iconv_close(m_decoder);
        if (m_translit != NoDescriptor)
            iconv_close(m_translit);
    }

    std::string encode(std::u16string_view text) override;
    std::u16string decode(std::string_view bytes) override;

private:
    char bestFit(std::u16string_view character);

    // The descriptors keep shift state between calls, so copies of one code
    // page that share this converter take turns.
    std::mutex m_mutex;
    iconv_t m_encoder;
    iconv_t m_decoder;
    iconv_t m_translit = NoDescriptor; // opened when first needed
    bool m_translitTried = false;
};

std::string IconvConverter::encode(std::u16string_view text)
{
    std::lock_guard lock(m_mutex);
    std::string out;
    out.reserve(text.size());
    iconv(m_encoder, nullptr, nullptr, nullptr, nullptr);

    char buffer[1024];
    // iconv's input parameter is not const-qualified, but it only reads it.
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t inLeft = text.size() * sizeof(char16_t);
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(m_encoder, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result != IconvFailed || error == E2BIG)
            continue;
        // The character at `in` cannot be converted (EILSEQ), or it is the
        // first half of a pair that the text ends with (EINVAL).
        const std::size_t at = text.size() - inLeft / sizeof(char16_t);
        std::size_t units = 1;
        if (isHighSurrogate(text[at]) && at + 1 < text.size() && isLowSurrogate(text[at + 1]))
            units = 2;
        out.push_back(error == EILSEQ ? bestFit(text.substr(at, units)) : '?');
        in += units * sizeof(char16_t);
        inLeft -= units * sizeof(char16_t);
    }
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(m_encoder, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    return out;
}

char IconvConverter::bestFit(std::u16string_view character)
{
    if (!m_translitTried) {
        m_translitTried = true;
        const std::string target = name() + "//TRANSLIT";
        m_translit = iconv_open(target.c_str(), Utf16Name);
    }
    if (m_translit == NoDescriptor)
        return '?';

    const locale_t locale = translitLocale();
    const locale_t previous = locale ? uselocale(locale) : locale_t(nullptr);
    iconv(m_translit, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(character.data()));
    std::size_t inLeft = character.size() * sizeof(char16_t);
    char buffer[16];
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(m_translit, &in, &inLeft, &outPtr, &outLeft);
    if (result != IconvFailed)
        iconv(m_translit, nullptr, nullptr, &outPtr, &outLeft);
    if (locale)
        uselocale(previous);

    // Only a single character stands in for one; "EUR" for "€" or "->" for
    // "→" would change the length of fields the device counts.
    if (result == IconvFailed || inLeft != 0 || outPtr - buffer != 1 || buffer[0] == '?')
        return '?';
    return buffer[0];
}

std::u16string IconvConverter::decode(std::string_view bytes)
{
    std::lock_guard lock(m_mutex);
    std::u16string out;
    out.reserve(bytes.size());
    iconv(m_decoder, nullptr, nullptr, nullptr, nullptr);

    char16_t buffer[512];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(m_decoder, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(outPtr - reinterpret_cast<char*>(buffer)) /
                               sizeof(char16_t));
        if (result != IconvFailed || error == E2BIG)
            continue;
        // A byte that starts no valid sequence (EILSEQ) or an unfinished
        // sequence at the end (EINVAL): mark it and go on after the byte.
        out.push_back(u'\uFFFD');
        ++in;
        --inLeft;
    }
    char* outPtr = reinterpret_cast<char*>(buffer);
    std::size_t outLeft = sizeof buffer;
    iconv(m_decoder, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - reinterpret_cast<char*>(buffer)) /
                           sizeof(char16_t));
    return out;
}

} // namespace

std::shared_ptr<CodePageConverter> makeNamedConverter(std::string_view name)
{
    if (utf8::isUtf8Name(name))
        return std::make_shared<CodePageConverter>("UTF-8", true);
    // An empty name would make iconv take the locale's character set, and a
    // "//" suffix would change how it converts; neither names a code page.
    if (name.empty() || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return nullptr;

    std::string canonical = upperAscii(name);
    const iconv_t encoder = iconv_open(canonical.c_str(), Utf16Name);
    if (encoder == NoDescriptor)
        return nullptr;
    const iconv_t decoder = iconv_open(Utf16Name, canonical.c_str());
    if (decoder == NoDescriptor) {
        iconv_close(encoder);
        return nullptr;
    }
    return std::make_shared<IconvConverter>(std::move(canonical), encoder, decoder);
}

// The locale's character set.  A program that has not chosen a locale runs in
// "C", whose character set says nothing about the user's; the environment's
// locale (LANG, LC_ALL, LC_CTYPE) is adopted then.  A locale the program set
// itself is left as it is.  In the "C" locale proper (nothing in the
// environment) the character set is ASCII ("ANSI_X3.4-1968") and is used as
// such.
std::shared_ptr<CodePageConverter> makeSystemConverter()
{
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    if (current == nullptr || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)
        std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr && *codeset != '\0') {
        if (std::shared_ptr<CodePageConverter> converter = makeNamedConverter(codeset))
            return converter;
    }
    return std::make_shared<CodePageConverter>("UTF-8", true);
}

} // namespace quorlink::transfer
