// UUCP lock files: which locks are live, and taking over stale ones, alone
// and against another program doing the same.

#include "serial/portlocks_linux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorlink::serial::portlocks {
namespace {

namespace fs = std::filesystem;

class PortLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorlink-locks-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_lock = m_dir / "LCK..ttyQL7";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // A lock of /dev/ttyQL7 (never opened) holding `content`, `age` s old.
    void leaveLock(const std::string& content, int age = 0)
    {
        std::ofstream(m_lock, std::ios::binary) << content;
        const timespec when[2] = {{std::time(nullptr) - age, 0}, {std::time(nullptr) - age, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, m_lock.c_str(), when, 0), 0);
    }
    std::string lockContent() const
    {
        std::ifstream in(m_lock, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static std::string pidText(pid_t pid)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
        return text;
    }
    static pid_t endedProcess()
    {
        const pid_t child = fork();
        if (child == 0)
            _exit(0);
        waitpid(child, nullptr, 0);
        return child;
    }
    // "held by <pid>", or "taken".
    std::string acquire(LockFile& lock) const
    {
        const auto holder = lock.acquire("/dev/ttyQL7", m_dir.string());
        return holder ? "held by " + std::to_string(holder->pid) : lock.held() ? "taken" : "free";
    }

    fs::path m_dir;
    fs::path m_lock;
};

TEST_F(PortLockTest, shouldReadTheProcessIdAsTextFirstAndBinaryOnlyFromFourOtherBytes)
{
    const pid_t ended = endedProcess();
    std::string binaryEnded(4, '\0');
    std::memcpy(binaryEnded.data(), &ended, 4);
    // Process 1 lives as long as the system.  Without a process id, a lock
    // may be being written (young) or was left unfinished (old).
    const struct
    {
        std::string content;
        int age;
        const char* expected;
    } cases[] = {{"  1\n", 0, "held by 1"},
                 {"001\n", 0, "held by 1"},
                 {"         1\n", 0, "held by 1"},
                 {std::string("\1\0\0\0", 4), 0, "held by 1"},
                 {pidText(ended), 0, "taken"},
                 {binaryEnded, 0, "taken"},
                 {"", 0, "held by 0"},
                 {"", 3600, "taken"},
                 {"junk\n", 0, "held by 0"},
                 {"junk\n", 3600, "taken"},
                 {"abcd", 0, "taken"}};
    for (const auto& lock : cases) {
        SCOPED_TRACE(::testing::PrintToString(lock.content));
        leaveLock(lock.content, lock.age);
        LockFile file;
        EXPECT_EQ(acquire(file), lock.expected);
        EXPECT_EQ(lockContent(), file.held() ? pidText(getpid()) : lock.content);
    }
}

TEST_F(PortLockTest, shouldTakeOverALockWithOurProcessIdThatNoLockFileOfOursHolds)
{
    leaveLock(pidText(getpid())); // an earlier program with this id, before an exec
    LockFile first;
    LockFile second;
    EXPECT_EQ(acquire(first), "taken");
    EXPECT_EQ(acquire(second), "held by " + std::to_string(getpid()));
    second.release();
    EXPECT_TRUE(fs::exists(m_lock));
    first.release();
    EXPECT_FALSE(fs::exists(m_lock));
}

// Two programs find one stale lock; the first is held up between judging it
// stale and removing it, the second comes meanwhile.  Exactly one gets it.
TEST_F(PortLockTest, shouldLetExactlyOneOfTwoProgramsTakeOverAStaleLock)
{
    leaveLock(pidText(endedProcess()));
    int told[2];
    int done[2];
    ASSERT_EQ(pipe(told), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t contenders[2];
    for (int i = 0; i < 2; ++i) {
        contenders[i] = fork();
        if (contenders[i] != 0)
            continue;
        if (i == 0)
            testing::beforeStaleLockRemoved = [] { usleep(400'000); };
        else
            usleep(100'000);
        LockFile lock;
        const std::string outcome = acquire(lock) + "\n";
        char byte;
        close(done[1]);
        const bool ok = ::write(told[1], outcome.data(), outcome.size()) > 0 &&
                        ::read(done[0], &byte, 1) == 0; // until the test is done looking
        lock.release();
        _exit(ok ? 0 : 1);
    }
    close(told[1]);
    std::string outcomes;
    char buffer[64];
    for (ssize_t n; std::count(outcomes.begin(), outcomes.end(), '\n') < 2 &&
                    (n = ::read(told[0], buffer, sizeof buffer)) > 0;)
        outcomes.append(buffer, static_cast<std::size_t>(n));

    const std::string content = lockContent();
    const pid_t owner = content == pidText(contenders[0]) ? contenders[0] : contenders[1];
    EXPECT_EQ(content, pidText(owner));
    const std::string taken = "taken\n";
    const std::string lost = "held by " + std::to_string(owner) + "\n";
    EXPECT_TRUE(outcomes == taken + lost || outcomes == lost + taken) << outcomes;
    close(done[1]);
    for (const pid_t contender : contenders) {
        int status = 0;
        waitpid(contender, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_FALSE(fs::exists(m_lock));
    close(told[0]);
    close(done[0]);
}

} // namespace
} // namespace quorlink::serial::portlocks
