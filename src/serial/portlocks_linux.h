#pragma once

// How programs on Linux show that a serial port is theirs, beyond flock() and
// TIOCEXCL: UUCP lock files, and simply having the device open.
//
// Kept apart from the port code proper: none of it touches the line.

#include "serialport.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>

namespace quorlink::serial::portlocks {

// A process that holds a port, for the error that refuses the open.
using Holder = PortHolder;

// Where UUCP lock files live on Linux (the FHS place).
inline constexpr const char* LockDirectory = "/var/lock";

// A UUCP lock file, "LCK..<name>" with the holder's process id as ten
// decimal digits and a line end, as uucp, pppd, minicom and lockdev write it.
// The name is the device's real path without "/dev/", slashes turned into
// underscores (/dev/ttyUSB0: LCK..ttyUSB0, /dev/pts/3: LCK..pts_3).
class LockFile
{
public:
    LockFile() = default;
    ~LockFile() { release(); }
    LockFile(LockFile&& other) noexcept
        : m_path(std::move(other.m_path)), m_device(other.m_device), m_inode(other.m_inode)
    {
        other.m_path.clear();
    }
    LockFile& operator=(LockFile&& other) noexcept
    {
        if (this != &other) {
            release();
            m_path = std::move(other.m_path);
            m_device = other.m_device;
            m_inode = other.m_inode;
            other.m_path.clear();
        }
        return *this;
    }

    // Takes the lock of `device` in `directory`.  Returns the holder when a
    // live process holds it already, this one included when another LockFile
    // of it holds the lock.  A lock left by a process that has ended, or one
    // naming this process that no LockFile of it holds (an earlier program
    // that had the same process id), is removed and taken over; of several
    // programs taking over one stale lock at once exactly one gets it.  When
    // no lock can be written (no such directory, no permission) the port is
    // used without one: nothing is returned and held() stays false.
    std::optional<Holder> acquire(const std::string& device,
                                  const std::string& directory = LockDirectory);

    // Removes the lock file, when it is still the one this object created.
    void release();

    bool held() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path; // the lock file this object created, empty when none
    dev_t m_device = 0; // and its identity, to tell it from a later file
    ino_t m_inode = 0;  // of the same name
};

namespace testing {
// Called while a stale lock is about to be removed, after it was judged
// stale; lets a test hold one program there while another one takes over.
extern void (*beforeStaleLockRemoved)();
} // namespace testing

// The file name of the lock of `device` ("LCK..ttyUSB0"), from its real path.
std::string lockFileName(const std::string& device);

// Another process that has the terminal `fd` refers to open, found through
// /proc/<pid>/fd of every process whose descriptors this one may read.  For a
// pseudo-terminal, the process that holds its master side is the device, not
// a competitor, and is not reported.
std::optional<Holder> findOtherHolder(int fd);

} // namespace quorlink::serial::portlocks
