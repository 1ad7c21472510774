// The file calls of the source and result files on POSIX systems.

#include "textfile_p.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quorlink::transfer::fileio {

int openForReading(const std::filesystem::path& path, bool waitForWriter)
{
    // Without waiting, a fifo nobody writes to reads as empty instead of
    // hanging the window in open(); read() then waits as usual.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (waitForWriter ? 0 : O_NONBLOCK));
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && !waitForWriter) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}
int createExclusive(const std::filesystem::path& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}
long long readSome(int fd, char* buffer, std::size_t size)
{
    long long n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}
long long writeSome(int fd, const char* data, std::size_t size)
{
    long long n;
    do {
        n = ::write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}
bool isDirectory(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}
int standardInput()
{
    return STDIN_FILENO;
}
bool isDevice(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
}
bool isDevice(const std::filesystem::path& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
}
bool isTerminal(int fd)
{
    return ::isatty(fd) == 1;
}
bool flushToDisk(int fd)
{
    return ::fsync(fd) == 0;
}
int closeFile(int fd)
{
    return ::close(fd);
}
int processId()
{
    return static_cast<int>(::getpid());
}
namespace {

// The process's umask.  Linux shows it in /proc; elsewhere it is read by
// setting it and back, which a file made by another thread just then would
// notice.
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

} // namespace

void setFinalAttributes(const std::filesystem::path& replaced, int fd)
{
    struct stat st;
    if (::stat(replaced.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Only root may give a file away; a group of this user's is kept
        // all the same.  The mode comes last: a change of owner clears the
        // set-id bits.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        // As a file created in place would have it.
        ::fchmod(fd, 0666 & ~currentUmask());
    }
}
bool mayFollowLink(const std::filesystem::path& link)
{
    // The rule of the kernel's fs.protected_symlinks, for every sticky
    // folder: a link there may have been put by anyone.
    struct stat own;
    struct stat folder;
    const std::filesystem::path parent = link.has_parent_path() ? link.parent_path() : ".";
    if (::lstat(link.c_str(), &own) != 0 || ::stat(parent.c_str(), &folder) != 0)
        return true; // reading the link then says what is wrong
    if ((folder.st_mode & S_ISVTX) == 0)
        return true;
    return own.st_uid == ::geteuid() || own.st_uid == folder.st_uid;
}
// An existing file opened to be overwritten where it is; 0 bytes long then.
// The open itself never waits: a fifo without a reader fails with ENXIO
// instead of hanging the window, and a terminal does not wait for its
// carrier nor become the controlling one. The writes then block as usual.
int openInPlace(const std::filesystem::path& path)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
bool mayWrite(const std::filesystem::path& path)
{
    return ::access(path.c_str(), W_OK) == 0;
}
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}
int lastError()
{
    return errno;
}
std::string errorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}
int isADirectoryError()
{
    return EISDIR;
}
int fileExistsError()
{
    return EEXIST;
}
int tooManyLinksError()
{
    return ELOOP;
}
// A folder where no new file may be made, while a file in it may be written.
bool isFolderRefusal(int error)
{
    return error == EACCES || error == EROFS;
}
// Makes a rename durable; a failure here no longer loses data.
void syncFolder(const std::filesystem::path& folder)
{
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
// Holds SIGPIPE back in this thread while a fifo or socket is written, so
// that a reader that went away fails the write (EPIPE) instead of ending the
// whole program.  A SIGPIPE raised meanwhile is taken off again.
struct PipeSignalGuard::Held
{
    sigset_t previous;
    bool wasPending = false;
};

PipeSignalGuard::PipeSignalGuard() : m_held(std::make_unique<Held>())
{
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_held->wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &m_held->previous);
}

PipeSignalGuard::~PipeSignalGuard()
{
    sigset_t pending;
    sigpending(&pending);
    if (!m_held->wasPending && sigismember(&pending, SIGPIPE) == 1) {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        const timespec now{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &m_held->previous, nullptr);
}

} // namespace quorlink::transfer::fileio
