// A scripted serial device on a pseudo-terminal, built for Linux and mapped to
// COM1 of a Wine prefix, so that the Windows tests talk to a device that
// answers the way they ask it to.
//
//   comdevice [--log FILE]
//
// Prints the slave end (e.g. /dev/pts/7) on a line of its own and serves
// until it is killed.  Every request is a line ended by CR LF; the device
// answers:
//   PING           "PONG"
//   HEX            the bytes received since the previous HEX (this request
//                  not included), as upper-case hex digits
//   ECHO:<text>    <text>, byte for byte
//   SPLIT          "AB" CR, then 60 ms later LF
//   TWO            "first" CR LF "second" CR LF in one write
//   LONE           "a" CR "b" LF "c"
//   EMPTY          nothing but CR LF
//   BIN            00 FF FE 11 13 1A 7F 80
//   LONG:<n>       n bytes "L"
//   DRIP:<n>:<ms>  n bytes "d", one every <ms> milliseconds, CR LF after
//                  another <ms>
//   LATE:<ms>      "late", <ms> milliseconds after the request
//   PART           "partial" without CR LF
//   SILENT         nothing at all (a device that does not answer)
//   anything else  "?"
// and ends each answer with CR LF unless said otherwise.  With --log every
// byte received is appended to FILE.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Outgoing
{
    std::string bytes;
    Clock::time_point due;
};

class Device
{
public:
    explicit Device(std::FILE* log) : m_log(log) {}

    void received(const char* data, std::size_t size)
    {
        if (m_log) {
            std::fwrite(data, 1, size, m_log);
            std::fflush(m_log);
        }
        for (std::size_t i = 0; i < size; ++i) {
            m_sinceHex.push_back(data[i]);
            m_line.push_back(data[i]);
            if (m_line.size() >= 2 && m_line.compare(m_line.size() - 2, 2, "\r\n") == 0) {
                m_line.resize(m_line.size() - 2);
                answer(m_line);
                m_line.clear();
            }
        }
    }

    std::deque<Outgoing>& outgoing() { return m_outgoing; }

private:
    void queue(std::string bytes, milliseconds delay = milliseconds(0))
    {
        // Answers go out in the order they were asked for; a delay counts
        // from the previous piece.
        Clock::time_point start = Clock::now();
        if (!m_outgoing.empty() && m_outgoing.back().due > start)
            start = m_outgoing.back().due;
        m_outgoing.push_back({std::move(bytes), start + delay});
    }

    static long number(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

    void answer(const std::string& line)
    {
        if (line == "PING") {
            queue("PONG\r\n");
        } else if (line == "HEX") {
            const std::string request = m_sinceHex.substr(0, m_sinceHex.size() - 5);
            std::string hex;
            static const char digits[] = "0123456789ABCDEF";
            for (unsigned char c : request) {
                hex.push_back(digits[c >> 4]);
                hex.push_back(digits[c & 15]);
            }
            m_sinceHex.clear();
            queue(hex + "\r\n");
        } else if (line.rfind("ECHO:", 0) == 0) {
            queue(line.substr(5) + "\r\n");
        } else if (line == "SPLIT") {
            queue("AB\r");
            queue("\n", milliseconds(60));
        } else if (line == "TWO") {
            queue("first\r\nsecond\r\n");
        } else if (line == "LONE") {
            queue("a\rb\nc\r\n");
        } else if (line == "EMPTY") {
            queue("\r\n");
        } else if (line == "BIN") {
            queue(std::string("\x00\xFF\xFE\x11\x13\x1A\x7F\x80\r\n", 10));
        } else if (line.rfind("LONG:", 0) == 0) {
            queue(std::string(static_cast<std::size_t>(number(line.substr(5))), 'L') + "\r\n");
        } else if (line.rfind("DRIP:", 0) == 0) {
            const std::size_t colon = line.find(':', 5);
            const long count = number(line.substr(5));
            const milliseconds gap(colon == std::string::npos ? 0 : number(line.substr(colon + 1)));
            for (long i = 0; i < count; ++i)
                queue("d", gap);
            queue("\r\n", gap);
        } else if (line.rfind("LATE:", 0) == 0) {
            queue("late\r\n", milliseconds(number(line.substr(5))));
        } else if (line == "PART") {
            queue("partial");
        } else if (line == "SILENT") {
            // No answer: the program's reply time-out runs out.
        } else {
            queue("?\r\n");
        }
    }

    std::FILE* m_log;
    std::string m_line;
    std::string m_sinceHex;
    std::deque<Outgoing> m_outgoing;
};

} // namespace

int main(int argc, char** argv)
{
    std::FILE* log = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "--log") == 0) {
        log = std::fopen(argv[2], "ab");
        if (!log) {
            std::perror(argv[2]);
            return 1;
        }
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--log FILE]\n", argv[0]);
        return 2;
    }

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    // Raw both ways from the start; the slave stays open here as well, so
    // the master sees no hangup while the program closes and reopens the
    // port.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("%s\n", name);
    std::fflush(stdout);

    Device device(log);
    std::string pending; // due bytes the pty did not take yet
    char buffer[4096];
    for (;;) {
        auto& outgoing = device.outgoing();
        const auto now = Clock::now();
        while (!outgoing.empty() && outgoing.front().due <= now) {
            pending += outgoing.front().bytes;
            outgoing.pop_front();
        }
        while (!pending.empty()) {
            const ssize_t n = write(master, pending.data(), pending.size());
            if (n <= 0)
                break;
            pending.erase(0, static_cast<std::size_t>(n));
        }

        int wait = -1;
        if (!pending.empty()) {
            wait = 5; // the other end has not read yet: retry soon
        } else if (!outgoing.empty()) {
            const auto left = std::chrono::ceil<milliseconds>(outgoing.front().due - now);
            wait = static_cast<int>(std::max<milliseconds::rep>(left.count(), 0));
        }
        pollfd p{master, POLLIN, 0};
        const int r = poll(&p, 1, wait);
        if (r < 0 && errno != EINTR)
            return 1;
        if (r > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                device.received(buffer, static_cast<std::size_t>(n));
        }
    }
}
