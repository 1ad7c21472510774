#include "linespeed_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cmath>
#include <sys/ioctl.h>

namespace quorlink::serial::linespeed {

int setExactSpeed(int fd, std::uint32_t baud)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    // BOTHER takes the speed from c_ospeed/c_ispeed instead of a Bnnn code;
    // the input speed is given explicitly too, so that it cannot stay at an
    // older value held in CIBAUD.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    if (::ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    return 0;
}

std::uint32_t nearestDividedSpeed(std::uint32_t baudBase, std::uint32_t baud)
{
    if (baud == 0 || baud >= baudBase)
        return baudBase;
    // The two divisors around base / baud; the one whose speed is closer.
    const std::uint32_t below = baudBase / baud;
    const double faster = static_cast<double>(baudBase) / below;
    const double slower = static_cast<double>(baudBase) / (below + 1);
    const double best = faster - baud <= baud - slower ? faster : slower;
    return static_cast<std::uint32_t>(std::lround(best));
}

std::optional<Speeds> readSpeeds(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    return Speeds{tio.c_ispeed, tio.c_ospeed};
}

} // namespace quorlink::serial::linespeed
