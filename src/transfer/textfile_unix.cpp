// The file calls of the source and result files on POSIX systems.

#include "textfile_p.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
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
    // 0666 less the umask, as a file created in place would get.
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
// A replaced file keeps its permission bits.
void copyMode(const std::filesystem::path& from, int toFd)
{
    struct stat st;
    if (::stat(from.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(toFd, st.st_mode & 07777);
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
