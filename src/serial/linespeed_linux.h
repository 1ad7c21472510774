#pragma once

// Exact line speeds on Linux through termios2 and BOTHER.
//
// Kept apart from the rest of the port code because <asm/termbits.h>, which
// declares termios2, clashes with the <termios.h> of the C library.

#include <cstdint>
#include <optional>

namespace quorlink::serial::linespeed {

// Sets the input and the output speed of the terminal `fd` to exactly `baud`:
// with its Bnnn code where it has one (9600 ...), with BOTHER where it has
// none (900, 3600, 7200 ...).  Every other setting of the terminal is left as
// it is.  Returns 0, or the errno value of the failing call.
int setExactSpeed(int fd, std::uint32_t baud);

struct Speeds
{
    std::uint32_t input = 0;  // baud
    std::uint32_t output = 0; // baud
};

// The speed nearest to `baud` that a UART whose base clock is `baudBase`
// (its input clock / 16, in baud, as TIOCGSERIAL reports it) can make: the
// base divided by a whole number.  Rounded to whole baud.
std::uint32_t nearestDividedSpeed(std::uint32_t baudBase, std::uint32_t baud);

// Reads the speeds of the terminal `fd` back as the kernel holds them
// (TCGETS2), or nothing when the descriptor is not a terminal.
std::optional<Speeds> readSpeeds(int fd);

} // namespace quorlink::serial::linespeed
