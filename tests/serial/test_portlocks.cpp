// UUCP lock files of the ports: which locks are live, and taking over the
// stale ones, alone and against another program doing the same.

#include "serial/portlocks_linux.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quorlink::serial::portlocks {
namespace {

namespace fs = std::filesystem;

// The device is never opened: only its lock file's name is needed.
constexpr char Device[] = "/dev/ttyQL7";

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

    // A lock file left with `content`, written `ageSeconds` ago.
    void leaveLock(const std::string& content, int ageSeconds = 0)
    {
        std::ofstream(m_lock, std::ios::binary) << content;
        const timespec when[2] = {{std::time(nullptr) - ageSeconds, 0},
                                  {std::time(nullptr) - ageSeconds, 0}};
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
    // The id of a process that has ended.
    static pid_t endedProcess()
    {
        const pid_t child = fork();
        if (child == 0)
            _exit(0);
        waitpid(child, nullptr, 0);
        return child;
    }
    // "held by <pid>", "taken" or "free" (used without a lock).
    std::string acquire(LockFile& lock) const
    {
        const auto holder = lock.acquire(Device, m_dir.string());
        if (holder)
            return "held by " + std::to_string(holder->pid);
        return lock.held() ? "taken" : "free";
    }

    fs::path m_dir;
    fs::path m_lock;
};

TEST_F(PortLockTest, shouldReadTheProcessIdAsTextFirstAndBinaryOnlyFromFourOtherBytes)
{
    // Process 1 lives as long as the system: its lock, in every form, holds.
    const char binaryOne[4] = {1, 0, 0, 0};
    for (const std::string& live :
         {std::string("  1\n"), std::string("001\n"), std::string("         1\n"), std::string("1"),
          std::string(binaryOne, 4)}) {
        SCOPED_TRACE(::testing::PrintToString(live));
        leaveLock(live, 3600);
        LockFile lock;
        EXPECT_EQ(acquire(lock), "held by 1");
        EXPECT_EQ(lockContent(), live);
    }

    // A lock being written just now is respected, one left unfinished long
    // ago is stale, and so are those of ended processes.
    const pid_t ended = endedProcess();
    std::string binaryEnded(4, '\0');
    std::memcpy(binaryEnded.data(), &ended, 4);
    const std::vector<std::pair<std::string, int>> cases = {
        {"", 0},     {"", 3600},          {"junk\n", 0},   {"junk\n", 3600},
        {"abcd", 0}, {pidText(ended), 0}, {binaryEnded, 0}};
    const std::vector<std::string> expected = {"held by 0", "taken", "held by 0", "taken",
                                               "taken",     "taken", "taken"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(::testing::PrintToString(cases[i].first) + " " +
                     std::to_string(cases[i].second) + " s old");
        leaveLock(cases[i].first, cases[i].second);
        LockFile lock;
        EXPECT_EQ(acquire(lock), expected[i]);
        if (lock.held()) {
            EXPECT_EQ(lockContent(), pidText(getpid()));
        }
        lock.release();
    }
}

TEST_F(PortLockTest, shouldTakeOverALockWithOurProcessIdThatNoLockFileOfOursHolds)
{
    // Left by an earlier program that had this process id (before an exec).
    leaveLock(pidText(getpid()));
    LockFile first;
    EXPECT_EQ(acquire(first), "taken");

    // One this process holds is live, to the process itself as well.
    LockFile second;
    EXPECT_EQ(acquire(second), "held by " + std::to_string(getpid()));
    second.release();
    EXPECT_TRUE(fs::exists(m_lock));
    first.release();
    EXPECT_FALSE(fs::exists(m_lock));
}

// A process that tries to take the lock, tells the outcome and releases it
// when told to.
class Contender
{
public:
    explicit Contender(const std::function<std::string(LockFile&)>& attempt)
    {
        int told[2];
        int release[2];
        if (pipe(told) != 0 || pipe(release) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            LockFile lock;
            const std::string outcome = attempt(lock) + "\n";
            char byte;
            const bool ok = ::write(told[1], outcome.data(), outcome.size()) ==
                                static_cast<ssize_t>(outcome.size()) &&
                            ::read(release[0], &byte, 1) == 1;
            lock.release();
            _exit(ok ? 0 : 1);
        }
        close(told[1]);
        close(release[0]);
        m_told = told[0];
        m_release = release[1];
    }
    ~Contender()
    {
        close(m_told);
        close(m_release);
    }

    pid_t pid() const { return m_pid; }
    std::string outcome()
    {
        std::string line;
        char c;
        while (::read(m_told, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    // Lets it release the lock and end; whether it ended well.
    bool finish()
    {
        int status = 0;
        return ::write(m_release, "x", 1) == 1 && waitpid(m_pid, &status, 0) == m_pid &&
               WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t m_pid = -1;
    int m_told = -1;
    int m_release = -1;
};

// Two programs find the same stale lock; the first is held up between judging
// it stale and removing it, the second comes meanwhile.  Exactly one gets the
// lock, and the other's release leaves it alone.
TEST_F(PortLockTest, shouldLetExactlyOneOfTwoProgramsTakeOverAStaleLock)
{
    leaveLock(pidText(endedProcess()));
    Contender first([&](LockFile& lock) {
        testing::beforeStaleLockRemoved = [] { usleep(400'000); };
        return acquire(lock);
    });
    usleep(100'000);
    Contender second([&](LockFile& lock) { return acquire(lock); });
    const std::string outcomes[2] = {first.outcome(), second.outcome()};

    const std::string content = lockContent();
    Contender* owner = content == pidText(first.pid())    ? &first
                       : content == pidText(second.pid()) ? &second
                                                          : nullptr;
    ASSERT_NE(owner, nullptr) << content;
    Contender& other = owner == &first ? second : first;
    const std::string heldByOwner = "held by " + std::to_string(owner->pid());
    EXPECT_EQ(outcomes[0], owner == &first ? "taken" : heldByOwner);
    EXPECT_EQ(outcomes[1], owner == &second ? "taken" : heldByOwner);

    EXPECT_TRUE(other.finish());
    EXPECT_EQ(lockContent(), pidText(owner->pid()));
    EXPECT_TRUE(owner->finish());
    EXPECT_FALSE(fs::exists(m_lock));
}

} // namespace
} // namespace quorlink::serial::portlocks
