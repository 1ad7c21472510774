// Text through the Windows code pages, and the files' error texts in the
// system's words.

#include "transfer/codepage.h"
#include "transfer/textfile.h"
#include "transfer/utf16.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
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

// FormatMessageW's own text for `code`, without its period and line end.
std::u16string systemText(DWORD code)
{
    wchar_t text[512] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, static_cast<DWORD>(std::size(text)), nullptr);
    std::u16string result(reinterpret_cast<const char16_t*>(text), length);
    while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n' ||
                               result.back() == u' ' || result.back() == u'.'))
        result.pop_back();
    return result;
}

std::u16string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return quorlink::transfer::fromUtf8(e.what());
    }
    return u"(no error)";
}

// A file that cannot be read or written: the full path (a Czech name too)
// and the system's description of the Win32 error in the user's language,
// as FormatMessageW gives it, never the C run-time's English words.
TEST(FileErrors, shouldDescribeTheErrorInTheSystemsOwnWords)
{
    namespace fs = std::filesystem;
    using namespace quorlink::transfer;
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const std::u16string folder = fs::path(temp).u16string() + u"quorlink-errors";
    fs::create_directories(fs::path(folder));
    const CodePage codePage = CodePage::system();

    ASSERT_FALSE(systemText(ERROR_FILE_NOT_FOUND).empty());
    const std::u16string missing = folder + u"\\chybí soubor.txt";
    EXPECT_EQ(errorOf([&] { loadSourceFile(fs::path(missing), codePage); }),
              u"Cannot open file \"" + missing + u"\". " + systemText(ERROR_FILE_NOT_FOUND));

    // Held open for writing by another program.
    const std::u16string held = folder + u"\\held.txt";
    const HANDLE other =
        CreateFileW(reinterpret_cast<const wchar_t*>(held.c_str()), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(errorOf([&] { loadSourceFile(fs::path(held), codePage); }),
              u"Cannot open file \"" + held + u"\". " + systemText(ERROR_SHARING_VIOLATION));
    CloseHandle(other);

    // A read-only result file stays as it was.
    const std::u16string readOnly = folder + u"\\read-only.txt";
    saveResultFile(fs::path(readOnly), u"old\r\n", codePage);
    ASSERT_TRUE(SetFileAttributesW(reinterpret_cast<const wchar_t*>(readOnly.c_str()),
                                   FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(errorOf([&] { saveResultFile(fs::path(readOnly), u"new\r\n", codePage); }),
              u"Cannot create file \"" + readOnly + u"\". " + systemText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(loadSourceFile(fs::path(readOnly), codePage), u"old\r\n");
    SetFileAttributesW(reinterpret_cast<const wchar_t*>(readOnly.c_str()), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(fs::path(folder));
}

} // namespace
