// The driver tier's stand-in for setserial, which busybox lacks (built static
// by scripts/test-drivers, run in the guest):
//
//   serialflags DEVICE [spd_hi|spd_normal]
//
// sets the port's spd_* flag when one is named, then prints the flag it has:
// spd_hi, spd_normal, or the flag bits in hex.

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

int main(int argc, char** argv)
{
    serial_struct info{};
    const int fd = argc > 1 ? open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK) : -1;
    if (fd < 0 || ioctl(fd, TIOCGSERIAL, &info) != 0) {
        std::perror("serialflags");
        return 1;
    }
    const unsigned others = static_cast<unsigned>(info.flags) & ~ASYNC_SPD_MASK;
    if (argc > 2) {
        info.flags =
            static_cast<int>(others | (std::strcmp(argv[2], "spd_hi") == 0 ? ASYNC_SPD_HI : 0));
        if (ioctl(fd, TIOCSSERIAL, &info) != 0 || ioctl(fd, TIOCGSERIAL, &info) != 0) {
            std::perror("serialflags");
            return 1;
        }
    }
    const unsigned speed = static_cast<unsigned>(info.flags) & ASYNC_SPD_MASK;
    if (speed == ASYNC_SPD_HI || speed == 0)
        std::printf("%s\n", speed ? "spd_hi" : "spd_normal");
    else
        std::printf("0x%x\n", speed);
    return 0;
}
