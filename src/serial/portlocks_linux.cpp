#include "portlocks_linux.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlink::serial::portlocks {

namespace {

// A lock file that holds no process id yet may be half written by a program
// that just created it; one this old was left behind unfinished.
constexpr std::time_t UnfinishedLockAgeSeconds = 10;

struct DirCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

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

// The process id written in a lock file: ten decimal digits (the usual form)
// or, from old programs, four bytes in the machine's order.
std::optional<pid_t> readLockPid(int fd)
{
    char buffer[64];
    ssize_t n = 0;
    do
        n = ::read(fd, buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    if (n == 4) {
        std::int32_t binary = 0;
        std::memcpy(&binary, buffer, sizeof binary);
        if (binary > 0)
            return static_cast<pid_t>(binary);
    }
    if (n <= 0)
        return std::nullopt;
    return parsePid(std::string_view(buffer, static_cast<std::size_t>(n)));
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

enum class LockState { Free, Held, StaleKept };

// Looks at the lock file `path`: free (none, or a stale one now removed),
// held by a live process, or stale but impossible to remove.
LockState inspect(const std::string& path, Holder& holder)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        // ENOENT: nobody holds it.  A lock we may not even read is someone
        // else's, and we cannot tell whether it is live: respect it.
        if (errno == ENOENT)
            return LockState::Free;
        holder = Holder{};
        return LockState::Held;
    }
    const std::optional<pid_t> pid = readLockPid(fd);
    struct stat info
    {};
    const bool haveInfo = ::fstat(fd, &info) == 0;
    ::close(fd);

    if (pid) {
        if (*pid == ::getpid() || isAlive(*pid)) {
            holder = Holder{*pid, programName(*pid)};
            return LockState::Held;
        }
    } else if (haveInfo && std::time(nullptr) - info.st_mtime < UnfinishedLockAgeSeconds) {
        holder = Holder{};
        return LockState::Held;
    }
    // Left by a process that has ended (or never finished writing it).
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        return LockState::Free;
    return LockState::StaleKept;
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
    const std::string path = directory + "/" + lockFileName(device);
    char content[16];
    const int length =
        std::snprintf(content, sizeof content, "%10ld\n", static_cast<long>(::getpid()));

    // Creating with O_EXCL is the atomic step; a competitor that slips in
    // between our look and our create is seen on the next round.
    for (int round = 0; round < 3; ++round) {
        Holder holder;
        switch (inspect(path, holder)) {
        case LockState::Held:
            return holder;
        case LockState::StaleKept:
            return std::nullopt; // nobody holds it, but we cannot take it over
        case LockState::Free:
            break;
        }
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return std::nullopt; // no lock directory, or not ours to write
        }
        // Readable by all whatever the umask, as other programs expect.
        ::fchmod(fd, 0644);
        const bool written = ::write(fd, content, static_cast<std::size_t>(length)) == length;
        ::close(fd);
        if (!written) {
            ::unlink(path.c_str());
            return std::nullopt;
        }
        m_path = path;
        return std::nullopt;
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
    // Only our own: a lock that is no longer ours was taken over by someone
    // who thought ours stale, and is theirs now.
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        const std::optional<pid_t> pid = readLockPid(fd);
        ::close(fd);
        if (pid == ::getpid())
            ::unlink(m_path.c_str());
    }
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
