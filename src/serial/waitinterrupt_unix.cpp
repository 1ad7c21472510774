// The wait interrupt of POSIX systems: a pipe whose read end becomes readable
// once a byte has been written into it.  Nobody reads that byte, so every
// later poll() sees it too.

#include "waitinterrupt.h"

#include <fcntl.h>
#include <unistd.h>

namespace quorlink::serial {

WaitInterrupt::WaitInterrupt()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_readEnd = ends[0];
        m_writeEnd = ends[1];
    }
}

WaitInterrupt::~WaitInterrupt()
{
    if (m_readEnd >= 0)
        ::close(m_readEnd);
    if (m_writeEnd >= 0)
        ::close(m_writeEnd);
}

void WaitInterrupt::trigger() noexcept
{
    // The flag first: a waiter woken by the byte finds it set.
    if (m_triggered.exchange(true) || m_writeEnd < 0)
        return;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(m_writeEnd, &byte, 1);
}

} // namespace quorlink::serial
