#include "transfer/codepage.h"

#include "namedcodepage.h"

#include <gtest/gtest.h>

#include <string>

using quorlink::transfer::CodePage;

namespace {

// "Příliš žluťoučký kůň" in windows-1250.
const std::string CzechIn1250 = "\x50\xF8\xED\x6C\x69\x9A\x20\x9E\x6C\x75\x9D\x6F\x75\xE8\x6B\xFD"
                                "\x20\x6B\xF9\xF2";

TEST(CodePageNames, shouldFindCodePagesByNameInAnyCase)
{
    EXPECT_EQ(namedCodePage("windows-1250").name(), "WINDOWS-1250");
    EXPECT_FALSE(namedCodePage("windows-1250").isUtf8());
    EXPECT_EQ(namedCodePage("utf8").name(), "UTF-8");
    EXPECT_TRUE(namedCodePage("Utf-8").isUtf8());
    EXPECT_EQ(namedCodePage("iso-8859-2").name(), "ISO-8859-2");
    EXPECT_EQ(namedCodePage("CP852").name(), "CP852");
}

TEST(CodePageNames, shouldRejectNamesThatAreNoCodePage)
{
    EXPECT_FALSE(CodePage::named("windows-9999").has_value());
    EXPECT_FALSE(CodePage::named("").has_value());
    EXPECT_FALSE(CodePage::named("CP1250//TRANSLIT").has_value());
    EXPECT_FALSE(CodePage::named(std::string_view("CP1250\0x", 8)).has_value());
    // Known to the system, but CR, LF, NUL or letters are not their own
    // single bytes there.
    for (const char* name : {"UTF-16", "utf-16le", "UTF-16BE", "UTF-32", "UCS-2", "IBM037"})
        EXPECT_FALSE(CodePage::named(name).has_value()) << name;
}

TEST(CodePageSystem, shouldUseTheLocaleCharacterSetAndConvertAscii)
{
    const CodePage system = CodePage::system();
    EXPECT_FALSE(system.name().empty());
    EXPECT_EQ(system.fromUnicode(u"AT+GMR 123"), "AT+GMR 123");
    EXPECT_EQ(system.toUnicode("OK 0"), u"OK 0");
}

TEST(CodePage1250, shouldEncodeAndDecodeCzechTextByteExact)
{
    const CodePage page = namedCodePage("windows-1250");
    EXPECT_EQ(page.fromUnicode(u"Příliš žluťoučký kůň"), CzechIn1250);
    EXPECT_EQ(page.toUnicode(CzechIn1250), u"Příliš žluťoučký kůň");
    EXPECT_EQ(page.fromUnicode(u"ĚŠČŘŽÝÁÍÉÚŮĎŤŇ"),
              "\xCC\x8A\xC8\xD8\x8E\xDD\xC1\xCD\xC9\xDA\xD9\xCF\x8D\xD2");
}

TEST(CodePage1250, shouldReplaceMissingCharacterByBestFitOrQuestionMark)
{
    const CodePage page = namedCodePage("windows-1250");
    // ñ and Ā have a plain letter as their best fit; a smiley has none, and
    // an arrow's "->" is two characters where there was one.
    EXPECT_EQ(page.fromUnicode(u"mañana"), "manana");
    EXPECT_EQ(page.fromUnicode(u"Āb"), "Ab");
    EXPECT_EQ(page.fromUnicode(u"a\U0001F600b"), "a?b");
    EXPECT_EQ(page.fromUnicode(u"a→b"), "a?b");
    EXPECT_EQ(page.fromUnicode(u"\u4E2D"), "?");
}

TEST(CodePage1250, shouldTurnLoneSurrogatesIntoQuestionMarks)
{
    const CodePage page = namedCodePage("windows-1250");
    EXPECT_EQ(page.fromUnicode(std::u16string{u'a', char16_t(0xD83D), u'b'}), "a?b");
    EXPECT_EQ(page.fromUnicode(std::u16string{u'a', char16_t(0xDE00)}), "a?");
    EXPECT_EQ(page.fromUnicode(std::u16string{u'a', char16_t(0xD83D)}), "a?");
}

TEST(CodePage1250, shouldDecodeUndefinedBytesAsReplacementCharacterAndGoOn)
{
    const CodePage page = namedCodePage("windows-1250");
    EXPECT_EQ(page.toUnicode("a\x81\x98"
                             "b"),
              u"a\uFFFD\uFFFDb");
    EXPECT_EQ(page.toUnicode(std::string("\0x", 2)), std::u16string(u"\0x", 2));
}

TEST(CodePageOther, shouldReplaceEuroMissingFromLatin2)
{
    const CodePage page = namedCodePage("ISO-8859-2");
    EXPECT_EQ(page.fromUnicode(u"5 € ř"), "5 ? \xF8");
}

TEST(CodePageOther, shouldDecodeUnfinishedMultiByteSequenceWithoutFailing)
{
    const CodePage page = namedCodePage("GBK");
    EXPECT_EQ(page.fromUnicode(u"中"), "\xD6\xD0");
    EXPECT_EQ(page.toUnicode("\xD6\xD0\xD6"), u"中\uFFFD");
}

TEST(CodePageUtf8, shouldEncodeEveryCharacterSizeAndLoneSurrogatesAsQuestionMarks)
{
    const CodePage page = namedCodePage("UTF-8");
    EXPECT_EQ(page.fromUnicode(u"Ař€\U0001F600"), "A\xC5\x99\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(page.fromUnicode(std::u16string{u'x', char16_t(0xD800), u'y'}), "x?y");
    EXPECT_EQ(page.fromUnicode(std::u16string{char16_t(0xDC00), char16_t(0xD800)}), "??");
    EXPECT_EQ(page.fromUnicode(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageUtf8, shouldDecodeWellFormedTextExactly)
{
    const CodePage page = namedCodePage("UTF-8");
    EXPECT_EQ(page.toUnicode("Příliš žluťoučký kůň \xF0\x9F\x98\x80 \xEF\xBF\xBF"),
              u"Příliš žluťoučký kůň \U0001F600 \uFFFF");
}

TEST(CodePageUtf8, shouldReplaceEachIllFormedPartAndGoOn)
{
    const CodePage page = namedCodePage("UTF-8");
    EXPECT_EQ(page.toUnicode("a\xFF"
                             "b"),
              u"a\uFFFDb");
    EXPECT_EQ(page.toUnicode("a\xC5"), u"a\uFFFD");
    EXPECT_EQ(page.toUnicode("\xE2\x82x"), u"\uFFFDx");
    EXPECT_EQ(page.toUnicode("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong
    EXPECT_EQ(page.toUnicode("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(page.toUnicode("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(page.toUnicode("\x80\xC5\x99"), u"\uFFFDř");
    EXPECT_EQ(page.toUnicode("\xC5\xC5\x99"), u"\uFFFDř");
}

TEST(CodePageCopies, shouldConvertIndependentlyThroughSharedConverter)
{
    CodePage first = namedCodePage("windows-1250");
    CodePage second = first;
    EXPECT_EQ(second.fromUnicode(u"kůň"), "k\xF9\xF2");
    CodePage third = std::move(first);
    EXPECT_EQ(third.toUnicode("\xF9"), u"ů");
    second = namedCodePage("UTF-8");
    EXPECT_EQ(second.name(), "UTF-8");
    EXPECT_EQ(third.name(), "WINDOWS-1250");
}

} // namespace
