// The wait interrupt of Windows: the flag alone.  The port's reads poll the
// driver every millisecond or so and look at it each time.

#include "waitinterrupt.h"

namespace quorlink::serial {

WaitInterrupt::WaitInterrupt() = default;
WaitInterrupt::~WaitInterrupt() = default;

void WaitInterrupt::trigger() noexcept
{
    m_triggered.store(true);
}

} // namespace quorlink::serial
