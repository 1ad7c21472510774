#pragma once

#include <cstdint>

namespace quorlink::settings {

// The COM ports the port dialog offers: COM1 to COM16, so a list position p
// stands for port number p + 1.
inline constexpr std::int32_t ComPortCount = 16;

} // namespace quorlink::settings
