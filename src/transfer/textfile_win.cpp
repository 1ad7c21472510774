// The file calls of the source and result files on Windows.

#include "textfile_p.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>

namespace quorlink::transfer::fileio {

// A fifo here is a named pipe, whose open never waits for its writer.
int openForReading(const std::filesystem::path& path, bool)
{
    int fd = -1;
    // Others may read the file while it is loaded, not write it.
    if (_wsopen_s(&fd, path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYWR, 0) != 0)
        return -1;
    return fd;
}
int createExclusive(const std::filesystem::path& path)
{
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_BINARY | _O_CREAT | _O_EXCL, _SH_DENYRW,
                  _S_IREAD | _S_IWRITE) != 0)
        return -1;
    return fd;
}
long long readSome(int fd, char* buffer, std::size_t size)
{
    return _read(fd, buffer, static_cast<unsigned>(size));
}
long long writeSome(int fd, const char* data, std::size_t size)
{
    return _write(fd, data, static_cast<unsigned>(size));
}
bool isDirectory(int fd)
{
    struct _stat64 st;
    return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}
int standardInput()
{
    // In text mode a 0x1A byte ends the input and CR LF byte pairs inside
    // UTF-16 characters are changed; the decoder takes every line end as it is.
    _setmode(0, _O_BINARY);
    return 0;
}
bool isDevice(int fd)
{
    struct _stat64 st;
    return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFCHR) != 0;
}
bool isDevice(const std::filesystem::path& path)
{
    struct _stat64 st;
    return _wstat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFCHR) != 0;
}
bool isTerminal(int fd)
{
    return _isatty(fd) != 0;
}
bool flushToDisk(int fd)
{
    return _commit(fd) == 0;
}
int closeFile(int fd)
{
    return _close(fd);
}
int processId()
{
    return _getpid();
}
void setFinalAttributes(const std::filesystem::path&, int) {}
bool mayFollowLink(const std::filesystem::path&)
{
    return true;
}
// An existing file opened to be overwritten where it is; 0 bytes long then.
int openInPlace(const std::filesystem::path& path)
{
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_BINARY | _O_TRUNC, _SH_DENYRW, 0) != 0)
        return -1;
    return fd;
}
bool mayWrite(const std::filesystem::path& path)
{
    return _waccess(path.c_str(), 2) == 0;
}
// A folder where no new file may be made, while a file in it may be written.
bool isFolderRefusal(int error)
{
    return error == EACCES;
}
void syncFolder(const std::filesystem::path&) {}
// Writing to a pipe whose reader has gone raises no signal here.
struct PipeSignalGuard::Held
{};
PipeSignalGuard::PipeSignalGuard() = default;
PipeSignalGuard::~PipeSignalGuard() = default;

} // namespace quorlink::transfer::fileio
