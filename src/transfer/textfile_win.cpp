// The file calls of the source and result files on Windows, straight to the
// system so that a failure comes with the system's own error code, whose
// description the operator reads in the language of the system.

#include "textfile_p.h"

#include "serial/systemtext_win.h"

#include <algorithm>
#include <sys/stat.h>

#include <windows.h>

namespace quorlink::transfer::fileio {

namespace {

HANDLE handleOf(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

FileHandle fileOf(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? NoFile : reinterpret_cast<FileHandle>(handle);
}

// The largest piece one ReadFile or WriteFile takes.
DWORD pieceOf(std::size_t size)
{
    return static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
}

} // namespace

// A fifo here is a named pipe, whose open never waits for its writer.
FileHandle openForReading(const std::filesystem::path& path, bool)
{
    // Others may read the file while it is loaded, not write it.
    return fileOf(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}
// Read as it comes: ReadFile changes no byte, so a 0x1A byte or a CR LF pair
// inside UTF-16 characters reaches the decoder as it is.
FileHandle standardInput()
{
    return fileOf(GetStdHandle(STD_INPUT_HANDLE));
}
FileHandle createExclusive(const std::filesystem::path& path)
{
    return fileOf(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}
long long readSome(FileHandle file, char* buffer, std::size_t size)
{
    DWORD read = 0;
    if (!ReadFile(handleOf(file), buffer, pieceOf(size), &read, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1; // a pipe's writer is done
    return read;
}
long long writeSome(FileHandle file, const char* data, std::size_t size)
{
    DWORD written = 0;
    if (!WriteFile(handleOf(file), data, pieceOf(size), &written, nullptr))
        return -1;
    return written;
}
bool isDirectory(FileHandle file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(handleOf(file), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool isDevice(FileHandle file)
{
    return GetFileType(handleOf(file)) == FILE_TYPE_CHAR;
}
// Looked at without opening it: opening a serial port may raise its modem
// lines.
bool isDevice(const std::filesystem::path& path)
{
    struct _stat64 st;
    return _wstat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFCHR) != 0;
}
bool isTerminal(FileHandle file)
{
    DWORD mode = 0;
    return GetConsoleMode(handleOf(file), &mode) != FALSE;
}
bool flushToDisk(FileHandle file)
{
    return FlushFileBuffers(handleOf(file)) != FALSE;
}
int closeFile(FileHandle file)
{
    return CloseHandle(handleOf(file)) ? 0 : -1;
}
int processId()
{
    return static_cast<int>(GetCurrentProcessId());
}
void setFinalAttributes(const std::filesystem::path&, FileHandle) {}
bool mayFollowLink(const std::filesystem::path&)
{
    return true;
}
// An existing file opened to be overwritten where it is; 0 bytes long then.
// A device (NUL, a COM port) is written as it is: it has no length.
FileHandle openInPlace(const std::filesystem::path& path)
{
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK &&
        !SetEndOfFile(handle)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        SetLastError(error);
        return NoFile;
    }
    return fileOf(handle);
}
bool mayWrite(const std::filesystem::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
// A folder where no new file may be made, while a file in it may be written.
bool isFolderRefusal(int error)
{
    return error == ERROR_ACCESS_DENIED;
}
void syncFolder(const std::filesystem::path&) {}

int lastError()
{
    return static_cast<int>(GetLastError());
}
std::string errorText(int error)
{
    return serial::systemErrorText(static_cast<unsigned long>(error));
}
// Windows refuses to open a folder as a file with "access denied".
int isADirectoryError()
{
    return ERROR_ACCESS_DENIED;
}
int fileExistsError()
{
    return ERROR_FILE_EXISTS;
}
int tooManyLinksError()
{
    return ERROR_CANT_RESOLVE_FILENAME;
}

// Writing to a pipe whose reader has gone raises no signal here.
struct PipeSignalGuard::Held
{};
PipeSignalGuard::PipeSignalGuard() = default;
PipeSignalGuard::~PipeSignalGuard() = default;

} // namespace quorlink::transfer::fileio
