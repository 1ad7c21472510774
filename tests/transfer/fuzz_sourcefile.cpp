// libFuzzer target: any bytes loaded as a source file.  The loaded text has
// CR LF line ends only, as many lines as a plain count of the decoded text
// gives, and no more units than the capacity (a larger text is refused, a
// smaller one never); saved as a result file in windows-1250 and in UTF-8 it
// loads back as the same lines.
//
// Input layout: bits 0..2 of byte 0 pick the code page of a file without a
// byte order mark.  With bit 3 set, byte 1 is the capacity in units, so that
// the limit is within reach; else with bits 4 and 5 set, a run of "x" bytes
// about as long as a pane line (twice as long with bit 6: as many UTF-16
// units) goes into the file at byte 2's share of its length, so that lines
// reach the pane's cut.  The rest is the file.

#include "fuzztext.h"
#include "transfer/pane.h"
#include "transfer/textfile.h"

#include <algorithm>
#include <stdexcept>

using namespace quorlink::transfer;

namespace {

// The decoding written out plainly: the mark picks the encoding and goes, the
// text ends at the first NUL, a last odd byte of UTF-16 is U+FFFD.
std::u16string referenceDecoding(std::string_view bytes, const CodePage& codePage)
{
    const bool little = bytes.starts_with("\xFF\xFE");
    if (little || bytes.starts_with("\xFE\xFF")) {
        std::u16string units(bytes.size() / 2, u'\0');
        char16_t* o = units.data();
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 2;
        const auto* const end = p + (bytes.size() - 2);
        for (; end - p >= 2; p += 2) {
            const auto unit = static_cast<char16_t>(little ? p[0] | p[1] << 8 : p[0] << 8 | p[1]);
            if (unit == 0)
                break;
            *o++ = unit;
        }
        if (end - p == 1)
            *o++ = u'\uFFFD';
        units.resize(static_cast<std::size_t>(o - units.data()));
        return units;
    }
    const bool utf8 = bytes.starts_with("\xEF\xBB\xBF");
    if (utf8)
        bytes.remove_prefix(3);
    bytes = bytes.substr(0, bytes.find('\0'));
    return (utf8 ? fuzztext::codePageAt(1) : codePage).toUnicode(bytes);
}

// The lines of a text put back together with CR LF after each; the last one
// has it only when the text ended with a line end.
std::u16string withCrLf(const std::vector<std::u16string>& lines, bool endsWithLineEnd)
{
    std::u16string out;
    for (const std::u16string& line : lines) {
        out += line;
        out += u"\r\n";
    }
    if (!lines.empty() && !endsWithLineEnd)
        out.resize(out.size() - 2);
    return out;
}

// Every CR is followed by LF and every LF follows a CR.
void checkCrLfOnly(std::u16string_view text)
{
    const char16_t* const begin = text.data();
    const char16_t* const end = begin + text.size();
    for (const char16_t* p = begin; p != end; ++p) {
        if (*p == u'\r')
            FUZZ_CHECK(p + 1 != end && p[1] == u'\n');
        if (*p == u'\n')
            FUZZ_CHECK(p != begin && p[-1] == u'\r');
    }
}

// The pane counts the lines of the decoded text and gives each without its
// line end, cut to its first MaxLineChars units (one less where the cut
// would split a surrogate pair).
void checkPaneLines(std::u16string_view text, const std::vector<std::u16string>& lines)
{
    const MemoryPane pane(text);
    FUZZ_CHECK(static_cast<std::size_t>(pane.lineCount()) == lines.size());
    FUZZ_CHECK(static_cast<std::size_t>(panetext::lineCount(text)) == lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::u16string line = pane.line(static_cast<int>(i));
        FUZZ_CHECK(line.find_first_of(u"\r\n") == std::u16string::npos);
        const std::u16string& whole = lines[i];
        std::size_t length = std::min(whole.size(), Pane::MaxLineChars);
        if (whole.size() > Pane::MaxLineChars && fuzztext::isHigh(whole[length - 1]) &&
            fuzztext::isLow(whole[length]))
            --length;
        FUZZ_CHECK(line == whole.substr(0, length));
    }
    FUZZ_CHECK(pane.line(static_cast<int>(lines.size())).empty());
}

// Saves `text` as a result file in `codePage` and loads it back.
void checkRoundTrip(std::u16string_view text, const std::vector<std::u16string>& lines,
                    const CodePage& codePage)
{
    const std::filesystem::path file = fuzztext::scratchFile("result.txt");
    saveResultFile(file, text, codePage);
    if (!codePage.isUtf8() && fuzztext::beginsWithMark(fuzztext::readFile(file)))
        return;
    const std::vector<std::u16string> again = fuzztext::lines(loadSourceFile(file, codePage));
    FUZZ_CHECK(again.size() == lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        FUZZ_CHECK(again[i] == fuzztext::lineReadBack(lines[i], codePage));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A short input is a file of nothing, with the header bytes it lacks 0.
    std::uint8_t header[3] = {};
    const std::size_t headerSize = std::min(size, sizeof header);
    std::copy(data, data + headerSize, header);
    const std::uint8_t options = header[0];
    const CodePage& codePage = fuzztext::codePageAt(options & 7);
    const bool smallCapacity = (options & 8) != 0;
    const std::size_t capacity = smallCapacity ? header[1] : MaxSourceChars;
    std::string file(reinterpret_cast<const char*>(data + headerSize), size - headerSize);
    if (!smallCapacity && (options & 48) == 48) {
        const std::size_t run =
            (Pane::MaxLineChars - 16 + header[1] % 32) * ((options & 64) ? 2 : 1);
        file.insert(file.size() * header[2] / 255, run, 'x');
    }
    const std::string_view bytes(file);

    const std::u16string decoded = referenceDecoding(bytes, codePage);
    const std::vector<std::u16string> lines = fuzztext::lines(decoded);
    const std::u16string expected =
        withCrLf(lines, !decoded.empty() && (decoded.back() == u'\r' || decoded.back() == u'\n'));

    const std::filesystem::path path = fuzztext::scratchFile("source.txt");
    fuzztext::writeFile(path, bytes);
    std::u16string loaded;
    try {
        loaded = loadSourceFile(path, codePage, capacity);
    } catch (const std::runtime_error& error) {
        FUZZ_CHECK(std::string_view(error.what()) == "Text exceeds memo capacity");
        FUZZ_CHECK(expected.size() > capacity);
        return 0;
    }
    FUZZ_CHECK(loaded.size() <= capacity);
    FUZZ_CHECK(loaded == expected);
    FUZZ_CHECK(decodeSourceText(bytes, codePage) == loaded);

    checkCrLfOnly(loaded);
    checkPaneLines(loaded, lines);

    checkRoundTrip(loaded, lines, fuzztext::codePageAt(0));
    checkRoundTrip(loaded, lines, fuzztext::codePageAt(1));
    return 0;
}
