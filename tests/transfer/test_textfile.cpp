#include "transfer/textfile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

using namespace quorlink::transfer;
namespace fs = std::filesystem;

namespace {

CodePage cp1250()
{
    return *CodePage::named("windows-1250");
}
CodePage utf8()
{
    return *CodePage::named("UTF-8");
}

class TextFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorlink-textfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path file(const std::string& name) const { return m_dir / name; }

    void write(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::string errorOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "(no error)";
    }

    fs::path m_dir;
};

} // namespace

TEST(SourceText, shouldPickEncodingFromByteOrderMarkAndDropTheMark)
{
    EXPECT_EQ(decodeSourceText("\xEF\xBB\xBF"
                               "P\xC5\x99\xC3\xAD"
                               "kaz",
                               cp1250()),
              u"Příkaz");
    EXPECT_EQ(decodeSourceText(std::string("\xFF\xFEP\0\x59\x01x\0", 8), cp1250()), u"Přx");
    EXPECT_EQ(decodeSourceText(std::string("\xFE\xFF\0P\x01\x59\0x", 8), cp1250()), u"Přx");
}

TEST(SourceText, shouldReadBytesWithoutMarkInTheCodePage)
{
    // windows-1250: 0xF8 ř, 0x9E ž, 0xE1 á.
    EXPECT_EQ(decodeSourceText("\xF8\x9E\xE1", cp1250()), u"řžá");
    EXPECT_EQ(decodeSourceText("\xC5\x99", utf8()), u"ř");
}

TEST(SourceText, shouldEndEveryLineWithCrLfWhateverTheFileUsed)
{
    EXPECT_EQ(decodeSourceText("a\r\nb\nc\rd", cp1250()), u"a\r\nb\r\nc\r\nd");
    // LF followed by CR is two line ends.
    EXPECT_EQ(decodeSourceText("a\n\rb\r\r\n", cp1250()), u"a\r\n\r\nb\r\n\r\n");
    EXPECT_EQ(decodeSourceText(std::string("\xFF\xFE"
                                           "a\0\n\0b\0\r\0",
                                           10),
                               cp1250()),
              u"a\r\nb\r\n");
}

TEST(SourceText, shouldEndTheTextAtTheFirstNul)
{
    EXPECT_EQ(decodeSourceText(std::string("ab\r\nc\0d\r\ne", 10), cp1250()), u"ab\r\nc");
    EXPECT_EQ(decodeSourceText(std::string("\xFE\xFF\0a\0\0\0b", 8), cp1250()), u"a");
    EXPECT_EQ(decodeSourceText(std::string("\0abc", 4), cp1250()), u"");
}

TEST_F(TextFileTest, shouldLoadWholeFileWithMixedLineEnds)
{
    write(file("src.txt"), "AT\r\nATI\nAT+X\r\xF8");
    EXPECT_EQ(loadSourceFile(file("src.txt"), cp1250()), u"AT\r\nATI\r\nAT+X\r\nř");
}

TEST_F(TextFileTest, shouldNameFullPathAndSystemReasonWhenSourceCannotBeOpened)
{
    const fs::path missing = file("chybí.txt");
    EXPECT_EQ(errorOf([&] { loadSourceFile(missing, cp1250()); }),
              "Cannot open file \"" + missing.string() + "\". No such file or directory");

    // A relative name is shown with the folder it was looked up in.
    const fs::path previous = fs::current_path();
    fs::current_path(m_dir);
    const std::string relative = errorOf([&] { loadSourceFile("nic.txt", cp1250()); });
    fs::current_path(previous);
    EXPECT_EQ(relative, "Cannot open file \"" + (m_dir / "nic.txt").string() +
                            "\". No such file or directory");

    EXPECT_EQ(errorOf([&] { loadSourceFile(m_dir, cp1250()); }),
              "Cannot open file \"" + m_dir.string() + "\". Is a directory");
}

TEST_F(TextFileTest, shouldRefuseTextAbovePaneCapacity)
{
    // Lone CRs double when they become CR LF: just over 64 Mi units.
    write(file("big.txt"), std::string(MaxSourceChars / 2 + 1, '\r'));
    EXPECT_EQ(errorOf([&] { loadSourceFile(file("big.txt"), cp1250()); }),
              "Text exceeds memo capacity");
}

TEST_F(TextFileTest, shouldWriteCodePageBytesWithoutMark)
{
    saveResultFile(file("out.txt"), u"Zařízení\r\nOK\r\n", cp1250());
    EXPECT_EQ(read(file("out.txt")), "Za\xF8\xED"
                                     "zen\xED\r\nOK\r\n");
}

TEST_F(TextFileTest, shouldStartUtf8ResultWithMark)
{
    saveResultFile(file("out.txt"), u"ř\r\n", utf8());
    EXPECT_EQ(read(file("out.txt")), "\xEF\xBB\xBF\xC5\x99\r\n");
    saveResultFile(file("empty.txt"), u"", cp1250());
    EXPECT_EQ(read(file("empty.txt")), "");
}

TEST_F(TextFileTest, shouldReplaceExistingFileAndLeaveNoTemporaryFile)
{
    write(file("out.txt"), "old content that is longer than the new one");
    saveResultFile(file("out.txt"), u"new\r\n", cp1250());
    EXPECT_EQ(read(file("out.txt")), "new\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator{}), 1);
}

TEST_F(TextFileTest, shouldKeepOldFileWhenWritingFailsPartWay)
{
    write(file("out.txt"), "previous result\r\n");
    // A file size limit makes writes fail as a full disk would.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error =
        errorOf([&] { saveResultFile(file("out.txt"), std::u16string(100000, u'x'), cp1250()); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(error, "Stream write error");
    EXPECT_EQ(read(file("out.txt")), "previous result\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator{}), 1);
}

TEST_F(TextFileTest, shouldNameFullPathWhenResultCannotBeCreated)
{
    const fs::path target = m_dir / "není" / "out.txt";
    EXPECT_EQ(errorOf([&] { saveResultFile(target, u"x", cp1250()); }),
              "Cannot create file \"" + target.string() + "\". No such file or directory");
    // A folder of that name cannot be replaced by the result.
    fs::create_directory(file("složka"));
    EXPECT_EQ(errorOf([&] {
                  saveResultFile(file("složka"), u"x", cp1250());
              }).rfind("Cannot create file \"" + file("složka").string() + "\". ", 0),
              0u);
}
