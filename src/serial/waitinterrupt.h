#pragma once

#include <atomic>

namespace quorlink::serial {

// Ends the waits of a port from outside: a signal handler or another thread
// triggers it, and a read or write that is waiting on the device returns at
// once instead of sitting out its time-out (see SerialPort::cutWaitsShort).
// Once triggered it stays triggered.  One source file per platform: on POSIX
// systems a pipe that the port's poll() watches besides the device, on
// Windows a flag that the port's polling loop looks at.
class WaitInterrupt
{
public:
    WaitInterrupt();
    ~WaitInterrupt();
    WaitInterrupt(const WaitInterrupt&) = delete;
    WaitInterrupt& operator=(const WaitInterrupt&) = delete;

    // Async-signal-safe, and safe from any thread.
    void trigger() noexcept;
    bool triggered() const noexcept { return m_triggered.load(); }

    // POSIX: a descriptor that is readable once triggered (-1 where the pipe
    // could not be made: then only the flag tells).  -1 on Windows.
    int pollDescriptor() const noexcept { return m_readEnd; }

private:
    std::atomic<bool> m_triggered{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
    int m_readEnd = -1;
    int m_writeEnd = -1;
};

} // namespace quorlink::serial
