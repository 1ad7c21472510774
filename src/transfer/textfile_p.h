#pragma once

// Internal to the source and result files: the platform's file calls,
// reduced to what the two files need, one source file per platform
// (textfile_unix.cpp, textfile_win.cpp).  Not for use outside src/transfer
// and its tests.

#include <cstddef>
#include <filesystem>
#include <memory>

namespace quorlink::transfer::fileio {

// Each returns a descriptor, or -1 with errno set.
// Opens for reading; others may read the file meanwhile, not write it.  A
// fifo without a writer opens at once (and reads as empty) unless
// `waitForWriter` is set; then the open waits for one, as `cat` does.
int openForReading(const std::filesystem::path& path, bool waitForWriter);
// Standard input, set to pass every byte as it is.
int standardInput();
// Creates a new file that did not exist, readable and writable by this user
// alone.
int createExclusive(const std::filesystem::path& path);
// An existing file opened to be overwritten where it is; 0 bytes long then.
// The open itself never waits (a fifo without a reader fails at once).
int openInPlace(const std::filesystem::path& path);

// Bytes read or written, or -1 with errno set; interrupted calls are retried.
long long readSome(int fd, char* buffer, std::size_t size);
long long writeSome(int fd, const char* data, std::size_t size);
bool isDirectory(int fd);
// A character or block device (a terminal, /dev/zero, a serial port).
bool isDevice(int fd);
bool isDevice(const std::filesystem::path& path);
bool isTerminal(int fd);
bool flushToDisk(int fd);
int closeFile(int fd);
int processId();
// Gives the temporary file `fd` the attributes of the file `replaced` it is
// about to replace (permission bits, and owner and group as far as this user
// may give them), or those of a new file when there is none.
void setFinalAttributes(const std::filesystem::path& replaced, int fd);
// Whether the symbolic link `link` may be followed: not when it sits in a
// shared (sticky) folder and belongs neither to this user nor to the folder's
// owner.
bool mayFollowLink(const std::filesystem::path& link);
bool mayWrite(const std::filesystem::path& path);
// A folder where no new file may be made, while a file in it may be written.
bool isFolderRefusal(int error);
// Makes a rename durable where the platform needs it; a failure here no
// longer loses data.
void syncFolder(const std::filesystem::path& folder);

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
extern void (*temporaryFileCreated)(int fd);
} // namespace testing

} // namespace quorlink::transfer::fileio
