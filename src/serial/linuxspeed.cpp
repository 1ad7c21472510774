#include "linuxspeed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace quorlink::serial::linuxspeed {

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

std::optional<Speeds> readSpeeds(int fd)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    return Speeds{tio.c_ispeed, tio.c_ospeed};
}

} // namespace quorlink::serial::linuxspeed
