#pragma once

// Internal to the source and result files: the platform's file calls,
// reduced to what the two files need, one source file per platform
// (textfile_unix.cpp, textfile_win.cpp).  Not for use outside src/transfer
// and its tests.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace quorlink::transfer::fileio {

// An open file: a descriptor, or on Windows the value of a HANDLE.
#ifdef _WIN32
using FileHandle = std::intptr_t;
#else
using FileHandle = int;
#endif
inline constexpr FileHandle NoFile = -1;

// Each open returns a file, or NoFile with lastError() set.
// Opens for reading; others may read the file meanwhile, not write it.  A
// fifo without a writer opens at once (and reads as empty) unless
// `waitForWriter` is set; then the open waits for one, as `cat` does.
FileHandle openForReading(const std::filesystem::path& path, bool waitForWriter);
// Standard input, set to pass every byte as it is.
FileHandle standardInput();
// Creates a new file that did not exist, readable and writable by this user
// alone.
FileHandle createExclusive(const std::filesystem::path& path);
// An existing file opened to be overwritten where it is; 0 bytes long then.
// The open itself never waits (a fifo without a reader fails at once).
FileHandle openInPlace(const std::filesystem::path& path);

// Bytes read or written, or -1 with lastError() set; interrupted calls are
// retried.
long long readSome(FileHandle file, char* buffer, std::size_t size);
long long writeSome(FileHandle file, const char* data, std::size_t size);
bool isDirectory(FileHandle file);
// A character or block device (a terminal, /dev/zero, a serial port).
bool isDevice(FileHandle file);
bool isDevice(const std::filesystem::path& path);
bool isTerminal(FileHandle file);
bool flushToDisk(FileHandle file);
// 0, or -1 with lastError() set.
int closeFile(FileHandle file);
int processId();
// Gives the temporary file `file` the attributes of the file `replaced` it
// is about to replace (permission bits, and owner and group as far as this
// user may give them), or those of a new file when there is none.
void setFinalAttributes(const std::filesystem::path& replaced, FileHandle file);
// Whether the symbolic link `link` may be followed: not when it sits in a
// shared (sticky) folder and belongs neither to this user nor to the folder's
// owner.
bool mayFollowLink(const std::filesystem::path& link);
// Whether `path` may be written; false with lastError() set when not.
bool mayWrite(const std::filesystem::path& path);
// Puts `from` in the place of `to` in one step; false with lastError() set.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);
// A folder where no new file may be made, while a file in it may be written.
bool isFolderRefusal(int error);
// Makes a rename durable where the platform needs it; a failure here no
// longer loses data.
void syncFolder(const std::filesystem::path& folder);

// The system's code of the last failed call above: errno, on Windows
// GetLastError()'s code.
int lastError();
// The system's description of such a code, in the user's language where the
// system has one, as UTF-8.
std::string errorText(int error);
// The codes of what the files find wrong themselves.
int isADirectoryError(); // a folder where a file was asked for
int fileExistsError();   // a new file's name is taken
int tooManyLinksError(); // links that lead on and on

// While it lives, a write to a pipe whose reader has gone fails (EPIPE)
// instead of ending the whole program.
class PipeSignalGuard
{
public:
    PipeSignalGuard();
    ~PipeSignalGuard();
    PipeSignalGuard(const PipeSignalGuard&) = delete;
    PipeSignalGuard& operator=(const PipeSignalGuard&) = delete;

private:
    struct Held;
    std::unique_ptr<Held> m_held;
};

namespace testing {
// Called with each temporary result file as soon as it exists, for tests
// that look at it then; nothing outside tests sets it.
extern void (*temporaryFileCreated)(FileHandle file);
} // namespace testing

} // namespace quorlink::transfer::fileio
