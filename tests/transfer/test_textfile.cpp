#include "transfer/textfile.h"
#include "transfer/textfile_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quorlink::transfer;
namespace fs = std::filesystem;

namespace {
// While not 0, allocations larger than this fail, as in a process that has
// run out of memory.
std::atomic<std::size_t> failAllocationsAbove{0};
} // namespace

void* operator new(std::size_t size)
{
    const std::size_t limit = failAllocationsAbove.load();
    if (limit != 0 && size > limit)
        throw std::bad_alloc();
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

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

    std::size_t entries(const fs::path& folder) const
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator{}));
    }

    // Saves "NEW\r\n" to each target in a child process that runs as an
    // ordinary user (nobody when the tests run as root, whom no permission
    // stops), and gives "saved" or the error text for each.
    std::vector<std::string> saveAsOrdinaryUser(const std::vector<fs::path>& targets)
    {
        int channel[2];
        if (pipe(channel) != 0)
            return {};
        const pid_t child = fork();
        if (child == 0) {
            close(channel[0]);
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(1);
            std::string results;
            for (const fs::path& target : targets) {
                const std::string error =
                    errorOf([&] { saveResultFile(target, u"NEW\r\n", cp1250()); });
                results += (error == "(no error)" ? "saved" : error) + "\n";
            }
            const bool sent = ::write(channel[1], results.data(), results.size()) ==
                              static_cast<ssize_t>(results.size());
            _exit(sent ? 0 : 1);
        }
        close(channel[1]);
        std::string all;
        char buffer[4096];
        for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
            all.append(buffer, static_cast<std::size_t>(n));
        close(channel[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::vector<std::string> results;
        std::istringstream lines(all);
        for (std::string line; std::getline(lines, line);)
            results.push_back(line);
        return results;
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

    // A fifo nobody writes to is empty, at once.
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(loadSourceFile(file("fifo"), cp1250()), u"");

    // A device is no text: /dev/zero would give NULs without end, a
    // terminal what is typed for as long as it is typed.
    EXPECT_EQ(errorOf([&] { loadSourceFile("/dev/zero", cp1250()); }),
              "Cannot open file \"/dev/zero\". Is a device");
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

TEST_F(TextFileTest, shouldWriteTheFileBehindASymbolicLinkAndKeepTheLink)
{
    write(file("real.txt"), "old\r\n");
    fs::create_symlink("real.txt", file("link.txt"));
    fs::create_directory(file("sub"));
    fs::create_symlink("../link.txt", file("sub") / "chain.txt");
    fs::create_symlink("made.txt", file("dangling.txt"));

    saveResultFile(file("link.txt"), u"první\r\n", cp1250());
    EXPECT_TRUE(fs::is_symlink(file("link.txt")));
    EXPECT_EQ(read(file("real.txt")), "prvn\xED\r\n");

    saveResultFile(file("sub") / "chain.txt", u"druhý\r\n", cp1250());
    EXPECT_TRUE(fs::is_symlink(file("sub") / "chain.txt"));
    EXPECT_EQ(read(file("real.txt")), "druh\xFD\r\n");

    // A link to a file that is not there would make it where the link's
    // maker chose: refused, and nothing made.
    EXPECT_EQ(errorOf([&] { saveResultFile(file("dangling.txt"), u"nový\r\n", cp1250()); }),
              "Cannot create file \"" + file("dangling.txt").string() +
                  "\". It is a symbolic link to a file that does not exist.");
    EXPECT_TRUE(fs::is_symlink(file("dangling.txt")));
    EXPECT_FALSE(fs::exists(file("made.txt")));

    // real, link, sub, dangling: no temporary file left.
    EXPECT_EQ(entries(m_dir), 4u);
    EXPECT_EQ(entries(file("sub")), 1u);
}

TEST_F(TextFileTest, shouldWriteDevicesAndFifosWhereTheyAre)
{
    // The test holds the reading end, so that the save never waits for one.
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    int reader = open(file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    saveResultFile(file("fifo"), u"řádek\r\n", cp1250());
    char buffer[64];
    const ssize_t got = ::read(reader, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0))),
              "\xF8\xE1\x64\x65k\r\n");
    EXPECT_TRUE(fs::is_fifo(file("fifo")));

    // A reader that goes away once the pipe is full fails the save; the
    // program goes on.
    std::thread quitter([&] {
        int queued = 0;
        for (int i = 0; i < 500 && queued < 4096; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ioctl(reader, FIONREAD, &queued);
        }
        close(reader);
    });
    const std::string error =
        errorOf([&] { saveResultFile(file("fifo"), std::u16string(1 << 20, u'x'), cp1250()); });
    quitter.join();
    EXPECT_EQ(error, "Stream write error");
    EXPECT_TRUE(fs::is_fifo(file("fifo")));
    // With no reader at all the save fails at once instead of waiting for one.
    EXPECT_EQ(errorOf([&] { saveResultFile(file("fifo"), u"x\r\n", cp1250()); }),
              "Cannot create file \"" + file("fifo").string() + "\". No such device or address");

    // A private null device (as root), reached directly and through a link.
    if (mknod(file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        fs::create_symlink("null", file("to-null"));
        saveResultFile(file("null"), u"x\r\n", cp1250());
        saveResultFile(file("to-null"), u"y\r\n", cp1250());
        EXPECT_TRUE(fs::is_character_file(file("null")));
        EXPECT_TRUE(fs::is_symlink(file("to-null")));
        EXPECT_EQ(entries(m_dir), 3u);
    } else {
        EXPECT_EQ(entries(m_dir), 1u);
    }
}

TEST_F(TextFileTest, shouldSaveUnderTheLongestNameTheSystemAllows)
{
    const fs::path target = file(std::string(255, 'n'));
    write(target, "old\r\n");
    saveResultFile(target, u"nové\r\n", cp1250());
    EXPECT_EQ(read(target), "nov\xE9\r\n");
    EXPECT_EQ(entries(m_dir), 1u);
}

TEST_F(TextFileTest, shouldRefuseFileThatMayNotBeWrittenAndWriteInPlaceInClosedFolder)
{
    fs::permissions(m_dir, fs::perms::all);
    write(file("readonly.txt"), "keep\r\n");
    fs::permissions(file("readonly.txt"),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const fs::path closed = file("closed");
    fs::create_directory(closed);
    write(closed / "open.txt", "old content that is longer\r\n");
    fs::permissions(closed / "open.txt", fs::perms::all);
    fs::permissions(closed, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);

    const std::vector<std::string> results =
        saveAsOrdinaryUser({file("readonly.txt"), closed / "open.txt", closed / "new.txt"});
    fs::permissions(closed, fs::perms::all);

    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0],
              "Cannot create file \"" + file("readonly.txt").string() + "\". Permission denied");
    EXPECT_EQ(read(file("readonly.txt")), "keep\r\n");
    EXPECT_EQ(fs::status(file("readonly.txt")).permissions(),
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    EXPECT_EQ(results[1], "saved");
    EXPECT_EQ(read(closed / "open.txt"), "NEW\r\n");
    EXPECT_EQ(results[2],
              "Cannot create file \"" + (closed / "new.txt").string() + "\". Permission denied");
    EXPECT_EQ(entries(m_dir), 2u);
    EXPECT_EQ(entries(closed), 1u);
}

TEST_F(TextFileTest, shouldCloseTheSourceFileWhenLoadingFailsPartWay)
{
    write(file("big.txt"), std::string(std::size_t{4} << 20, 'x'));
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    const auto before = openFiles();
    failAllocationsAbove = std::size_t{1} << 20;
    EXPECT_THROW(loadSourceFile(file("big.txt"), cp1250()), std::bad_alloc);
    failAllocationsAbove = 0;
    EXPECT_EQ(openFiles(), before);
}

// In a sticky folder such as /tmp anyone may put a link under any name: only
// the user's own links and those of the folder's owner are followed.
TEST_F(TextFileTest, shouldRefuseAnotherUsersLinkInASharedFolder)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give links to other users";
    const fs::path shared = file("shared");
    fs::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    // A third user's file, and a link to it that someone else put there.
    write(file("victim.txt"), "theirs\r\n");
    ASSERT_EQ(chown(file("victim.txt").c_str(), 65533, 65533), 0);
    fs::create_symlink(file("victim.txt"), shared / "out.txt");
    ASSERT_EQ(lchown((shared / "out.txt").c_str(), 65534, 65534), 0);

    EXPECT_EQ(errorOf([&] { saveResultFile(shared / "out.txt", u"ours\r\n", cp1250()); }),
              "Cannot create file \"" + (shared / "out.txt").string() +
                  "\". It is another user's symbolic link in a shared folder.");
    EXPECT_EQ(read(file("victim.txt")), "theirs\r\n");
    EXPECT_EQ(entries(shared), 1u);

    // In a sticky folder of the link's owner it is followed; the file it
    // leads to keeps its owner.
    ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
    saveResultFile(shared / "out.txt", u"ours\r\n", cp1250());
    EXPECT_EQ(read(file("victim.txt")), "ours\r\n");
    struct stat after;
    ASSERT_EQ(stat(file("victim.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, 65533u);
    EXPECT_EQ(after.st_gid, 65533u);
}

// The temporary file is private while it is written; the result then gets
// the mode of the file it replaces, or a new file's mode.
TEST_F(TextFileTest, shouldWriteThePrivateTemporaryFileAndGiveItTheFinalMode)
{
    write(file("old.txt"), "old\r\n");
    fs::permissions(file("old.txt"), fs::perms(0604));
    static std::vector<unsigned> modesAtCreation;
    fileio::testing::temporaryFileCreated = [](int fd) {
        struct stat st;
        modesAtCreation.push_back(fstat(fd, &st) == 0 ? st.st_mode & 07777 : 07777);
    };
    const mode_t previousMask = umask(027);
    saveResultFile(file("new.txt"), u"new\r\n", cp1250());
    saveResultFile(file("old.txt"), u"replaced\r\n", cp1250());
    umask(previousMask);
    fileio::testing::temporaryFileCreated = nullptr;

    EXPECT_EQ(modesAtCreation, (std::vector<unsigned>{0600, 0600}));
    EXPECT_EQ(fs::status(file("new.txt")).permissions(), fs::perms(0640));
    EXPECT_EQ(fs::status(file("old.txt")).permissions(), fs::perms(0604));
    EXPECT_EQ(read(file("old.txt")), "replaced\r\n");
}
