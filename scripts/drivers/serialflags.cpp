// The driver tier's stand-in for setserial, which busybox lacks: shows or
// sets the spd_* flag of a serial port (TIOCGSERIAL, TIOCSSERIAL).
//
//   serialflags DEVICE          prints spd_normal, spd_hi, spd_vhi, spd_shi,
//                               spd_warp or spd_cust
//   serialflags DEVICE FLAG     sets that flag, then prints it
//
// Built static by scripts/test-drivers and run in the guest.

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct Flag
{
    const char* name;
    unsigned bits;
};

constexpr Flag Flags[] = {
    {"spd_normal", 0u},         {"spd_hi", ASYNC_SPD_HI},     {"spd_vhi", ASYNC_SPD_VHI},
    {"spd_shi", ASYNC_SPD_SHI}, {"spd_warp", ASYNC_SPD_WARP}, {"spd_cust", ASYNC_SPD_CUST},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: serialflags DEVICE [spd_normal|spd_hi|...]\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    serial_struct info{};
    if (fd < 0 || ioctl(fd, TIOCGSERIAL, &info) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    if (argc == 3) {
        const Flag* wanted = nullptr;
        for (const Flag& flag : Flags) {
            if (std::strcmp(flag.name, argv[2]) == 0)
                wanted = &flag;
        }
        if (!wanted) {
            std::fprintf(stderr, "serialflags: unknown flag %s\n", argv[2]);
            return 2;
        }
        info.flags =
            static_cast<int>((static_cast<unsigned>(info.flags) & ~ASYNC_SPD_MASK) | wanted->bits);
        if (ioctl(fd, TIOCSSERIAL, &info) != 0 || ioctl(fd, TIOCGSERIAL, &info) != 0) {
            std::perror(argv[1]);
            return 1;
        }
    }
    for (const Flag& flag : Flags) {
        if ((static_cast<unsigned>(info.flags) & ASYNC_SPD_MASK) == flag.bits) {
            std::printf("%s\n", flag.name);
            break;
        }
    }
    close(fd);
    return 0;
}
