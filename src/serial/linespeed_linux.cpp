#include "linespeed_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cmath>
#include <sys/ioctl.h>

namespace quorlink::serial::linespeed {

namespace {

struct SpeedCode
{
    std::uint32_t baud;
    tcflag_t code;
};

constexpr SpeedCode ClassicCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The Bnnn code of `baud`, or BOTHER for a speed that has none.
tcflag_t speedCode(std::uint32_t baud)
{
    for (const SpeedCode& entry : ClassicCodes) {
        if (entry.baud == baud)
            return entry.code;
    }
    return BOTHER;
}

} // namespace

int setExactSpeed(int fd, std::uint32_t baud)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    // A speed with a Bnnn code is set with that code: the settings stay on
    // the port after it closes, and a program that reads them with the
    // classic calls (stty, tcgetattr, Wine's serial driver) sees 9600 Bd
    // where BOTHER would read as no speed at all.  Only the others take
    // BOTHER, with the speed in c_ospeed/c_ispeed.  The input speed is given
    // explicitly too, so that it cannot stay at an older value in CIBAUD.
    const tcflag_t code = speedCode(baud);
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= code | (code << IBSHIFT);
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
