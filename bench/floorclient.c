/* The floor of the benchmark: the least a client can do per exchange on a
 * pseudo-terminal.  It writes each line with CR LF, then polls and reads
 * until the reply's CR LF, and nothing else: no framing beyond that, no
 * text conversion, no user interface.
 *
 * Usage: floorclient DEVICE SOURCE  -- prints the number of replies. */
#define _DEFAULT_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: floorclient DEVICE SOURCE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    FILE* source = fopen(argv[2], "rb");
    if (fd < 0 || !source) {
        perror("open");
        return 2;
    }
    struct termios t;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIFLUSH);

    char line[1100];
    char buffer[4096];
    long replies = 0;
    while (fgets(line, sizeof line - 2, source)) {
        size_t n = strcspn(line, "\r\n");
        line[n++] = '\r';
        line[n++] = '\n';
        if (write(fd, line, n) != (ssize_t)n)
            return 3;
        char previous = 0;
        int done = 0;
        while (!done) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                return 4;
            ssize_t got = read(fd, buffer, sizeof buffer);
            for (ssize_t i = 0; i < got; ++i) {
                if (previous == '\r' && buffer[i] == '\n')
                    done = 1;
                previous = buffer[i];
            }
        }
        ++replies;
    }
    printf("%ld\n", replies);
    return 0;
}
