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
//   TTY            the line settings as this end of the line sees them (the
//                  pseudo-terminal's), in the words of stty: speed, csN,
//                  [-]parenb [-]cstopb [-]crtscts [-]ixon [-]ixoff [-]icrnl
//                  [-]opost [-]icanon [-]echo
//   DIRTY          "dirty", and 200 ms later the line left as a careless
//                  program may leave it: 7 bits, parity, 2 stop bits,
//                  hardware and XON/XOFF flow control, CR to NL, output
//                  processing, canonical mode with echo
//   RAW            "raw", the line raw again as when the device started
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
    bool dirty = false; // then leave the line dirty
};

std::string speedText(speed_t speed)
{
    static const std::pair<speed_t, const char*> speeds[] = {
        {B300, "300"},     {B600, "600"},     {B1200, "1200"},    {B1800, "1800"},
        {B2400, "2400"},   {B4800, "4800"},   {B9600, "9600"},    {B19200, "19200"},
        {B38400, "38400"}, {B57600, "57600"}, {B115200, "115200"}};
    for (const auto& [code, text] : speeds) {
        if (code == speed)
            return text;
    }
    return "other";
}

// The line settings of `fd` in the words of stty.
std::string describeLine(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return "tcgetattr failed";
    std::string text = speedText(cfgetospeed(&tio));
    const tcflag_t size = tio.c_cflag & CSIZE;
    text += size == CS8 ? " cs8" : size == CS7 ? " cs7" : size == CS6 ? " cs6" : " cs5";
    const auto flag = [&text](const char* name, bool on) {
        text += on ? " " : " -";
        text += name;
    };
    flag("parenb", tio.c_cflag & PARENB);
    flag("cstopb", tio.c_cflag & CSTOPB);
    flag("crtscts", tio.c_cflag & CRTSCTS);
    flag("ixon", tio.c_iflag & IXON);
    flag("ixoff", tio.c_iflag & IXOFF);
    flag("icrnl", tio.c_iflag & ICRNL);
    flag("opost", tio.c_oflag & OPOST);
    flag("icanon", tio.c_lflag & ICANON);
    flag("echo", tio.c_lflag & ECHO);
    return text;
}

void makeRaw(int fd)
{
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
}

void dirtyLine(int fd)
{
    termios tio{};
    tcgetattr(fd, &tio);
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF | ICRNL;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tcsetattr(fd, TCSANOW, &tio);
}

class Device
{
public:
    Device(std::FILE* log, int line) : m_log(log), m_line(line) {}

    void received(const char* data, std::size_t size)
    {
        if (m_log) {
            std::fwrite(data, 1, size, m_log);
            std::fflush(m_log);
        }
        for (std::size_t i = 0; i < size; ++i) {
            m_sinceHex.push_back(data[i]);
            m_received.push_back(data[i]);
            if (m_received.size() >= 2 &&
                m_received.compare(m_received.size() - 2, 2, "\r\n") == 0) {
                m_received.resize(m_received.size() - 2);
                answer(m_received);
                m_received.clear();
            }
        }
    }

    std::deque<Outgoing>& outgoing() { return m_outgoing; }

private:
    void queue(std::string bytes, milliseconds delay = milliseconds(0), bool dirty = false)
    {
        // Answers go out in the order they were asked for; a delay counts
        // from the previous piece.
        Clock::time_point start = Clock::now();
        if (!m_outgoing.empty() && m_outgoing.back().due > start)
            start = m_outgoing.back().due;
        m_outgoing.push_back({std::move(bytes), start + delay, dirty});
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
        } else if (line == "TTY") {
            queue(describeLine(m_line) + "\r\n");
        } else if (line == "DIRTY") {
            queue("dirty\r\n");
            queue("", milliseconds(200), true);
        } else if (line == "RAW") {
            makeRaw(m_line);
            queue("raw\r\n");
        } else {
            queue("?\r\n");
        }
    }

    std::FILE* m_log;
    int m_line; // this end's view of the line: the pseudo-terminal
    std::string m_received;
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
    makeRaw(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("%s\n", name);
    std::fflush(stdout);

    Device device(log, slave);
    std::string pending; // due bytes the pty did not take yet
    char buffer[4096];
    for (;;) {
        auto& outgoing = device.outgoing();
        const auto now = Clock::now();
        while (!outgoing.empty() && outgoing.front().due <= now) {
            pending += outgoing.front().bytes;
            if (outgoing.front().dirty)
                dirtyLine(slave);
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
