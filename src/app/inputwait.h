#pragma once

#include <chrono>
#include <cstdint>

namespace quorlink::app {

// Whether input arrives on the open port `handle` (SerialPort::nativeHandle)
// within `within`, without taking it.  False when it cannot tell; the caller
// then acts as if none came.
bool inputArrives(std::intptr_t handle, std::chrono::microseconds within);

} // namespace quorlink::app
