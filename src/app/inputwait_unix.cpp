#include "inputwait.h"

#include <cerrno>
#include <poll.h>

namespace quorlink::app {

bool inputArrives(std::intptr_t handle, std::chrono::microseconds within)
{
    if (handle < 0)
        return false;
    pollfd port{static_cast<int>(handle), POLLIN, 0};
    // poll() counts in milliseconds; ppoll() takes the finer time.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(within);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>((within - seconds).count() * 1000)};
    int ready = 0;
    do {
        ready = ppoll(&port, 1, &timeout, nullptr);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (port.revents & POLLIN);
}

} // namespace quorlink::app
