// libFuzzer target: any pane text, lone CR, LF, NUL and surrogates included,
// saved as a result file.  The file holds what the code page conversion gives
// (UTF-8 behind its mark, checked against a plain encoder; any other code
// page character by character), as many lines as the pane, and reads back
// as the pane's lines up to its first NUL.
//
// Input layout: bits 0..2 of byte 0 pick the code page; the rest is the
// pane's text, two bytes (little-endian) for each UTF-16 unit.

#include "fuzztext.h"
#include "transfer/pane.h"
#include "transfer/textfile.h"

using namespace quorlink::transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const CodePage& codePage = fuzztext::codePageAt(size > 0 ? data[0] & 7 : 0);
    std::u16string text;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        text += static_cast<char16_t>(data[i] | data[i + 1] << 8);

    std::string expected;
    if (codePage.isUtf8()) {
        expected = "\xEF\xBB\xBF" + fuzztext::utf8Of(text);
    } else {
        const bool singleByte = codePage.name() == "WINDOWS-1250" || codePage.name() == "CP852";
        for (const std::u16string_view character : fuzztext::characters(text)) {
            const std::string bytes = codePage.fromUnicode(character);
            // A line end and NUL stay what they are, and no other character
            // becomes one of them: the file has the pane's lines.
            if (character == u"\r" || character == u"\n" ||
                character == std::u16string_view(u"\0", 1))
                FUZZ_CHECK(bytes.size() == 1 && bytes[0] == static_cast<char>(character[0]));
            else
                FUZZ_CHECK(!bytes.empty() &&
                           bytes.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
            FUZZ_CHECK(!singleByte || bytes.size() == 1);
            expected += bytes;
        }
    }

    const std::filesystem::path file = fuzztext::scratchFile("result.txt");
    saveResultFile(file, text, codePage);
    const std::string saved = fuzztext::readFile(file);
    FUZZ_CHECK(saved == expected);
    FUZZ_CHECK(encodeResultText(text, codePage) == saved);

    const std::vector<std::u16string> lines = fuzztext::lines(text);
    FUZZ_CHECK(static_cast<std::size_t>(MemoryPane(text).lineCount()) == lines.size());
    FUZZ_CHECK(fuzztext::lineCountOfBytes(
                   std::string_view(saved).substr(codePage.isUtf8() ? 3 : 0)) == lines.size());

    // Loaded as a source file it gives the lines before the first NUL.
    if (!codePage.isUtf8() && fuzztext::beginsWithMark(saved))
        return 0;
    const std::vector<std::u16string> before =
        fuzztext::lines(std::u16string_view(text).substr(0, text.find(u'\0')));
    const std::vector<std::u16string> again = fuzztext::lines(loadSourceFile(file, codePage));
    FUZZ_CHECK(again.size() == before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        FUZZ_CHECK(again[i] == fuzztext::lineReadBack(before[i], codePage));
    return 0;
}
