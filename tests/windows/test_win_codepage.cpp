// Text through the Windows code pages.

#include "transfer/codepage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

using quorlink::transfer::CodePage;

const char16_t* const Czech = u"Příliš žluťoučký kůň úpěl ďábelské ódy";
const char* const CzechIn1250 = "P\xF8\xEDli\x9A \x9Elu\x9Do"
                                "u\xE8k\xFD k\xF9\xF2 \xFAp\xECl "
                                "\xEF\xE1"
                                "belsk\xE9 \xF3"
                                "dy";

TEST(CodePage, shouldCarryCzechTextThroughWindows1250)
{
    const auto codePage = CodePage::named("windows-1250");
    ASSERT_TRUE(codePage.has_value());
    EXPECT_EQ(codePage->name(), "WINDOWS-1250");
    EXPECT_FALSE(codePage->isUtf8());
    EXPECT_EQ(codePage->fromUnicode(Czech), CzechIn1250);
    EXPECT_EQ(codePage->toUnicode(CzechIn1250), Czech);
    EXPECT_EQ(codePage->toUnicode("\x8A\x8E\x9A\x9E\x80"), u"ŠŽšž€");
}

// The system's conversions without flags: best fit, else "?"; every byte
// of a single-byte code page stands for one character.
TEST(CodePage, shouldConvertLikeTheSystemWithoutFlags)
{
    const auto codePage = CodePage::named("windows-1250");
    ASSERT_TRUE(codePage.has_value());
    EXPECT_EQ(codePage->fromUnicode(u"mañana Āb"), "manana Ab");
    EXPECT_EQ(codePage->fromUnicode(u"a\u4E2Db"), "a?b");
    // Each half of a pair outside the BMP is one "?".
    EXPECT_EQ(codePage->fromUnicode(u"a\U0001F600b"), "a??b");
    // Bytes the code page leaves undefined are C1 controls, both ways, so
    // they survive a round trip.
    EXPECT_EQ(codePage->toUnicode("a\x81\x98"
                                  "b"),
              u"a\u0081\u0098b");
    EXPECT_EQ(codePage->fromUnicode(u"a\u0081\u0098b"), "a\x81\x98"
                                                        "b");
    EXPECT_EQ(codePage->toUnicode(""), u"");
    EXPECT_EQ(codePage->fromUnicode(u""), "");

    // A double-byte code page known by its usual name.
    const auto gbk = CodePage::named("GBK");
    ASSERT_TRUE(gbk.has_value());
    EXPECT_EQ(gbk->fromUnicode(u"中"), "\xD6\xD0");
    EXPECT_EQ(gbk->toUnicode("\xD6\xD0\xD6"), u"中?");
}

TEST(CodePage, shouldKnowCodePagesByTheirUsualNames)
{
    EXPECT_EQ(CodePage::named("CP852")->toUnicode("\xA7"), u"ž");
    EXPECT_EQ(CodePage::named("ISO-8859-2")->toUnicode("\xB9"), u"š");
    EXPECT_TRUE(CodePage::named("utf-8")->isUtf8());
    EXPECT_EQ(CodePage::named("UTF-8")->toUnicode("\xC5\x99"), u"ř");
    EXPECT_FALSE(CodePage::named("no-such-code-page").has_value());
    EXPECT_FALSE(CodePage::named("").has_value());
}

TEST(CodePage, shouldUseTheSystemsAnsiCodePage)
{
    const CodePage system = CodePage::system();
    // scripts/test-windows sets the prefix's ANSI code page and names it here.
    if (const char* expected = std::getenv("QUORLINK_EXPECT_ACP")) {
        EXPECT_EQ(std::to_string(GetACP()), expected);
        EXPECT_EQ(system.name(), std::string("WINDOWS-") + expected);
    }
    if (GetACP() == 1250) {
        EXPECT_EQ(system.fromUnicode(Czech), CzechIn1250);
        EXPECT_EQ(system.toUnicode(CzechIn1250), Czech);
    }
}

} // namespace
