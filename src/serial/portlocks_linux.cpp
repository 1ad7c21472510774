#include "portlocks_linux.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorlink::serial::portlocks {

namespace testing {
void (*beforeStaleLockRemoved)() = nullptr;
} // namespace testing

namespace {

using namespace std::chrono_literals;

// A lock file that holds no process id yet may be half written by a program
// that just created it; one this old was left behind unfinished.
constexpr std::time_t UnfinishedLockAgeSeconds = 10;

// How long to wait for another program that is taking over the same stale
// lock at this moment; that takes microseconds, unless it hangs.
constexpr auto TakeOverWait = 2s;

// Looks before placing our lock; a competitor that slips in between is seen
// on the next round.
constexpr int AcquireRounds = 5;

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// Closes the descriptor on every way out.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The lock files the LockFiles of this process hold.  A lock that names this
// process and is not among them was left by an earlier program that had the
// same process id (one that exec'd this one, or one long gone), and is stale.
class HeldLocks
{
public:
    void add(dev_t device, ino_t inode)
    {
        const std::lock_guard lock(m_mutex);
        m_files.emplace(device, inode);
    }
    void remove(dev_t device, ino_t inode)
    {
        const std::lock_guard lock(m_mutex);
        m_files.erase({device, inode});
    }
    bool contains(const struct stat& info)
    {
        const std::lock_guard lock(m_mutex);
        return m_files.count({info.st_dev, info.st_ino}) != 0;
    }

private:
    std::mutex m_mutex;
    std::set<std::pair<dev_t, ino_t>> m_files;
};

HeldLocks& heldLocks()
{
    static HeldLocks locks;
    return locks;
}

std::optional<pid_t> parsePid(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (ec != std::errc() || end != text.data() + text.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

// Digits, blanks and line ends only: a process id written out as text.
bool isPidText(std::string_view bytes)
{
    return bytes.find_first_not_of("0123456789 \t\n") == std::string_view::npos;
}

// The process id written in a lock file: decimal text (ten digits and a line
// end as usual, but "350\n" is a lock too), or, from old programs, four bytes
// in the machine's order.  Four bytes are binary only when they are not text:
// a binary process id always has a 0 byte, since ids stay below 2^22.
std::optional<pid_t> readLockPid(int fd)
{
    char buffer[64];
    ssize_t n = 0;
    do
        n = ::pread(fd, buffer, sizeof buffer, 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return std::nullopt;
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (n == 4 && !isPidText(bytes)) {
        std::int32_t binary = 0;
        std::memcpy(&binary, buffer, sizeof binary);
        if (binary > 0)
            return static_cast<pid_t>(binary);
    }
    return parsePid(bytes);
}

std::string programName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool isAlive(pid_t pid)
{
    // EPERM: it exists but belongs to someone else.
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Waits while another program takes the same stale lock over.  Programs that
// take a stale lock over hold flock() on it meanwhile, so that the next one
// reads the file only once the first has removed it.  Where flock() is not to
// be had at all (some network file systems), the lock is looked at without.
bool waitForOtherTakeOver(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + TakeOverWait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

enum class LockState {
    Free,      // none, or a stale one now removed
    Held,      // by a live process
    StaleKept, // stale, but it may not be removed
    Replaced,  // another file took its name meanwhile: look again
};

// Looks at the lock file `path` and removes it when it is stale.
LockState inspect(const std::string& path, Holder& holder)
{
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) {
        // ENOENT: nobody holds it.  A lock we may not even read is someone
        // else's, and we cannot tell whether it is live: respect it.
        if (errno == ENOENT)
            return LockState::Free;
        holder = Holder{};
        return LockState::Held;
    }
    if (!waitForOtherTakeOver(fd.get())) {
        holder = Holder{};
        return LockState::Held;
    }
    const std::optional<pid_t> pid = readLockPid(fd.get());
    struct stat info
    {};
    if (::fstat(fd.get(), &info) != 0) {
        holder = Holder{}; // nothing to tell it from another file by: respected
        return LockState::Held;
    }
    if (pid) {
        const bool live = *pid == ::getpid() ? heldLocks().contains(info) : isAlive(*pid);
        if (live) {
            holder = Holder{*pid, programName(*pid)};
            return LockState::Held;
        }
    } else if (std::time(nullptr) - info.st_mtime < UnfinishedLockAgeSeconds) {
        holder = Holder{};
        return LockState::Held;
    }
    // Left by a process that has ended (or never finished writing it).  It
    // is removed only while its name still leads to the file judged: a
    // program that took it over meanwhile has put its own file there.
    struct stat current
    {};
    if (::lstat(path.c_str(), &current) != 0)
        return errno == ENOENT ? LockState::Free : LockState::Replaced;
    if (!sameFile(current, info))
        return LockState::Replaced;
    if (testing::beforeStaleLockRemoved)
        testing::beforeStaleLockRemoved();
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        return LockState::Free;
    return LockState::StaleKept;
}

// Writes our lock into the new file `fd`, readable by all whatever the
// umask, as other programs expect, and tells which file it is.
bool writeLock(int fd, std::string_view content, struct stat& own)
{
    ::fchmod(fd, 0644);
    return ::fstat(fd, &own) == 0 &&
           ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
}

enum class Placing {
    Placed, // the lock is ours
    Beaten, // another program's lock came first
    Failed, // no lock can be written here
};

// Puts our lock at `path`, when no lock is there.  It is written whole under
// a name of its own and then linked to the lock's name, which fails when
// another program's lock came first: of several programs exactly one gets
// the lock, and none reads ours half written.  Where the file system has no
// hard links, the lock is created in place.  It is in the record of held
// locks before anyone can see it: another LockFile of this process would
// take it for stale otherwise.
Placing placeLock(const std::string& directory, const std::string& name, std::string_view content,
                  struct stat& own)
{
    const std::string path = directory + "/" + name;
    const std::string temporary =
        directory + "/.quorlink-" + std::to_string(::getpid()) + "-" + name;
    ::unlink(temporary.c_str()); // left behind by an earlier program with our id
    {
        const Descriptor fd(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            return Placing::Failed;
        if (!writeLock(fd.get(), content, own)) {
            ::unlink(temporary.c_str());
            return Placing::Failed;
        }
    }
    heldLocks().add(own.st_dev, own.st_ino);
    const int linked = ::link(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
    ::unlink(temporary.c_str());
    if (linked == 0)
        return Placing::Placed;
    heldLocks().remove(own.st_dev, own.st_ino);
    if (linked == EEXIST)
        return Placing::Beaten;
    if (linked != EPERM && linked != EOPNOTSUPP && linked != EMLINK)
        return Placing::Failed;

    const Descriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return errno == EEXIST ? Placing::Beaten : Placing::Failed;
    if (::fstat(fd.get(), &own) == 0)
        heldLocks().add(own.st_dev, own.st_ino);
    if (!writeLock(fd.get(), content, own)) {
        ::unlink(path.c_str());
        heldLocks().remove(own.st_dev, own.st_ino);
        return Placing::Failed;
    }
    return Placing::Placed;
}

} // namespace

std::string lockFileName(const std::string& device)
{
    std::string path = device;
    if (char* real = ::realpath(device.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    constexpr std::string_view devPrefix = "/dev/";
    if (path.rfind(devPrefix, 0) == 0)
        path.erase(0, devPrefix.size());
    for (char& c : path) {
        if (c == '/')
            c = '_';
    }
    return "LCK.." + path;
}

std::optional<Holder> LockFile::acquire(const std::string& device, const std::string& directory)
{
    release();
    const std::string name = lockFileName(device);
    const std::string path = directory + "/" + name;
    char content[16];
    const int length =
        std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(::getpid()));

    for (int round = 0; round < AcquireRounds; ++round) {
        Holder holder;
        switch (inspect(path, holder)) {
        case LockState::Held:
            return holder;
        case LockState::StaleKept:
            return std::nullopt; // nobody holds it, but we cannot take it over
        case LockState::Replaced:
            continue;
        case LockState::Free:
            break;
        }
        struct stat own
        {};
        switch (placeLock(directory, name,
                          std::string_view(content, static_cast<std::size_t>(length)), own)) {
        case Placing::Placed:
            m_path = path;
            m_device = own.st_dev;
            m_inode = own.st_ino;
            return std::nullopt;
        case Placing::Beaten:
            continue;
        case Placing::Failed:
            return std::nullopt; // no lock directory, or not ours to write
        }
    }
    Holder holder;
    if (inspect(path, holder) == LockState::Held)
        return holder;
    return std::nullopt;
}

void LockFile::release()
{
    if (m_path.empty())
        return;
    // Only our own file: a lock of this name that is another file, or names
    // another process, was taken over by someone who thought ours stale.
    const Descriptor fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info
    {};
    if (fd.get() >= 0 && ::fstat(fd.get(), &info) == 0 && info.st_dev == m_device &&
        info.st_ino == m_inode && readLockPid(fd.get()) == ::getpid())
        ::unlink(m_path.c_str());
    heldLocks().remove(m_device, m_inode);
    m_path.clear();
}

namespace {

// The pseudo-terminal number of `fd` (/dev/pts/<n>), or -1.
int ptyNumber(int fd)
{
    char name[64];
    if (::ttyname_r(fd, name, sizeof name) != 0)
        return -1;
    constexpr std::string_view prefix = "/dev/pts/";
    const std::string_view text(name);
    if (text.rfind(prefix, 0) != 0)
        return -1;
    int number = -1;
    const auto [end, ec] =
        std::from_chars(text.data() + prefix.size(), text.data() + text.size(), number);
    return ec == std::errc() && end == text.data() + text.size() ? number : -1;
}

std::string linkTarget(int dirFd, const char* name)
{
    char target[256];
    const ssize_t n = ::readlinkat(dirFd, name, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Whether process `pid` holds the master side of pseudo-terminal `number`
// (its /proc fdinfo names the terminal's index).
bool holdsPtyMaster(const std::string& procDir, int number)
{
    Dir fds(::opendir((procDir + "/fd").c_str()));
    if (!fds)
        return false;
    const std::string wanted = "tty-index:\t" + std::to_string(number);
    while (const dirent* entry = ::readdir(fds.get())) {
        const std::string target = linkTarget(::dirfd(fds.get()), entry->d_name);
        if (target != "/dev/ptmx" && target != "/dev/pts/ptmx")
            continue;
        std::ifstream info(procDir + "/fdinfo/" + entry->d_name);
        for (std::string line; std::getline(info, line);) {
            if (line == wanted)
                return true;
        }
    }
    return false;
}

} // namespace

std::optional<Holder> findOtherHolder(int fd)
{
    struct stat own
    {};
    if (::fstat(fd, &own) != 0 || !S_ISCHR(own.st_mode))
        return std::nullopt;
    const int pty = ptyNumber(fd);
    const pid_t self = ::getpid();

    Dir proc(::opendir("/proc"));
    if (!proc)
        return std::nullopt;
    while (const dirent* process = ::readdir(proc.get())) {
        const auto pid = parsePid(process->d_name);
        if (!pid || *pid == self)
            continue;
        const std::string procDir = std::string("/proc/") + process->d_name;
        Dir fds(::opendir((procDir + "/fd").c_str()));
        if (!fds)
            continue; // gone, or not ours to look into
        bool holds = false;
        while (const dirent* entry = ::readdir(fds.get())) {
            // Only device nodes are looked at: following a descriptor to a
            // file on a network file system could hang on a dead server.
            if (linkTarget(::dirfd(fds.get()), entry->d_name).rfind("/dev/", 0) != 0)
                continue;
            struct stat info
            {};
            if (::fstatat(::dirfd(fds.get()), entry->d_name, &info, 0) == 0 &&
                S_ISCHR(info.st_mode) && info.st_rdev == own.st_rdev) {
                holds = true;
                break;
            }
        }
        if (!holds || (pty >= 0 && holdsPtyMaster(procDir, pty)))
            continue;
        return Holder{*pid, programName(*pid)};
    }
    return std::nullopt;
}

} // namespace quorlink::serial::portlocks
