#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace quorlink::serial {

// The speeds a port can be set to, in baud.  The port dialog lists them in
// this order, so a list position is an index into this table.
inline constexpr std::array<std::uint32_t, 17> BaudRates{
    300,  600,   900,   1200,  1800,  2400,  3600,  4800,   7200,
    9600, 14400, 19200, 28800, 38400, 57600, 76800, 115200,
};

// The speed at `index`, or nothing when the index is outside the table (a
// stored value out of range, or -1 from a dialog confirmed without a speed).
inline std::optional<std::uint32_t> baudRateAt(std::int32_t index)
{
    if (index < 0 || index >= static_cast<std::int32_t>(BaudRates.size()))
        return std::nullopt;
    return BaudRates[static_cast<std::size_t>(index)];
}

// The time one character (start bit, 8 data bits, stop bit) takes on the
// line at `baud`, rounded up; none at a speed of 0.
inline constexpr std::chrono::microseconds characterTime(std::uint32_t baud)
{
    if (baud == 0)
        return std::chrono::microseconds{0};
    return std::chrono::microseconds{(10'000'000 + baud - 1) / baud};
}

} // namespace quorlink::serial
