#include "inputwait.h"

namespace quorlink::app {

// A communications handle cannot be waited on for input without overlapped
// I/O, which the port does not use: the window shows its frame before every
// wait instead.
bool inputArrives(std::intptr_t, std::chrono::microseconds)
{
    return false;
}

} // namespace quorlink::app
