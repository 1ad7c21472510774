#pragma once

// Internal to the source and result files: the platform's file calls,
// reduced to what the two files need, one source file per platform
// (textfile_unix.cpp, textfile_win.cpp).  Not for use outside src/transfer.

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
// Creates a new file that did not exist.
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
// A replaced file keeps its permission bits where the platform has them.
void copyMode(const std::filesystem::path& from, int toFd);
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

} // namespace quorlink::transfer::fileio
