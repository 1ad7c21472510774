// quorlink-sim: a serial device simulated on a pseudo-terminal.
//
// Opens a pty, prints the path of its slave end (the "serial port" a program
// opens) and answers every line it receives, ended by CR LF, as the options
// say.  Single-threaded; reads and writes in large chunks and answers at
// once unless a delay is asked for, so it keeps up with tens of thousands
// of lines per second.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* Usage =
    "Usage: quorlink-sim [OPTION]...\n"
    "Simulate a serial device on a pseudo-terminal.  Prints the path of the\n"
    "device, then answers every line received (ended by CR LF) with one reply\n"
    "line (ended by CR LF) until interrupted.\n"
    "\n"
    "  --reply TEXT    answer every line with TEXT (default: OK)\n"
    "  --echo          answer every line with the line itself\n"
    "  --table FILE    answer from FILE, lines of the form request<TAB>reply;\n"
    "                  requests not in the table get no answer, or --default\n"
    "  --default TEXT  answer for requests that are not in the table\n"
    "  --silent        never answer\n"
    "  --delay MS      wait MS milliseconds before each answer\n"
    "  --link PATH     also make PATH a symbolic link to the device\n"
    "  --log FILE      write every line received to FILE\n"
    "  --stats FILE    on exit, write timing figures to FILE: requests received,\n"
    "                  microseconds from the first to the last request byte, and\n"
    "                  the turnaround (from writing a reply's LF to reading the\n"
    "                  next request's first byte): mean, median, 99th and 99.9th\n"
    "                  percentile and the longest; and the longest exchange\n"
    "                  (from one request's first byte to the next one's)\n"
    "  --help          show this text\n";

enum class Mode { Reply, Echo, Table, Silent };

struct Options
{
    Mode mode = Mode::Reply;
    std::string reply = "OK";
    std::string tableFile;
    std::optional<std::string> tableDefault;
    std::chrono::milliseconds delay{0};
    std::string linkPath;
    std::string logFile;
    std::string statsFile;
};

[[noreturn]] void usageError(const std::string& message)
{
    std::cerr << "quorlink-sim: " << message << "\n" << Usage;
    std::exit(2);
}

Options parseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help") {
            std::cout << Usage;
            std::exit(0);
        } else if (arg == "--reply") {
            options.mode = Mode::Reply;
            options.reply = value();
        } else if (arg == "--echo") {
            options.mode = Mode::Echo;
        } else if (arg == "--table") {
            options.mode = Mode::Table;
            options.tableFile = value();
        } else if (arg == "--default") {
            options.tableDefault = value();
        } else if (arg == "--silent") {
            options.mode = Mode::Silent;
        } else if (arg == "--delay") {
            const std::string text = value();
            char* end = nullptr;
            const long ms = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || ms < 0 || ms > 3'600'000)
                usageError("--delay needs a number of milliseconds (0 to 3600000)");
            options.delay = std::chrono::milliseconds(ms);
        } else if (arg == "--link") {
            options.linkPath = value();
        } else if (arg == "--log") {
            options.logFile = value();
        } else if (arg == "--stats") {
            options.statsFile = value();
        } else {
            usageError("unknown option " + std::string(arg));
        }
    }
    return options;
}

// request<TAB>reply per line; CR LF or LF line ends; lines without a TAB are
// not entries.  The first entry for a request counts.
bool loadTable(const std::string& path, std::unordered_map<std::string, std::string>& table)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        table.emplace(line.substr(0, tab), line.substr(tab + 1));
    }
    return true;
}

// Timing seen from the device's side of the line, on the monotonic clock:
// what a client costs per exchange, without the client's own clock.
class Stats
{
public:
    // A write that emptied the output, which always ends with a reply's LF.
    void replyWritten(Clock::time_point at) { m_replyEnd = at; }

    // A read of `size` request bytes.
    void bytesRead(Clock::time_point at)
    {
        if (!m_first) {
            m_first = at;
            m_cpuAtFirst = cpuTime();
        }
        m_last = at;
        if (m_replyEnd) {
            m_turnarounds.push_back(at - *m_replyEnd);
            m_replyEnd.reset();
            // The first read after a reply starts the next request.
            if (m_requestStart)
                m_longestExchange = std::max(m_longestExchange, at - *m_requestStart);
            m_requestStart = at;
        } else if (!m_requestStart) {
            m_requestStart = at;
        }
    }

    void lineReceived() { ++m_requests; }

    bool write(const std::string& path)
    {
        std::FILE* out = std::fopen(path.c_str(), "w");
        if (!out)
            return false;
        const double span = m_first ? micros(*m_last - *m_first) : 0.0;
        std::fprintf(out, "requests %llu\n", static_cast<unsigned long long>(m_requests));
        std::fprintf(out, "span_us %.1f\n", span);
        // Requests per second over the span: n requests have n - 1 gaps.
        std::fprintf(out, "rate_per_s %.1f\n",
                     span > 0 && m_requests > 1 ? (m_requests - 1) * 1e6 / span : 0.0);
        std::fprintf(out, "turnarounds %zu\n", m_turnarounds.size());
        std::fprintf(out, "turnaround_mean_us %.1f\n", mean());
        std::fprintf(out, "turnaround_median_us %.1f\n", perMille(500));
        std::fprintf(out, "turnaround_p99_us %.1f\n", perMille(990));
        std::fprintf(out, "turnaround_p999_us %.1f\n", perMille(999));
        std::fprintf(out, "turnaround_max_us %.1f\n", perMille(1000));
        std::fprintf(out, "exchange_max_us %.1f\n", micros(m_longestExchange));
        // The device's own CPU time from the first request on, as a share of
        // the span: near 100 % would make the device the bottleneck.
        const double cpu = m_first ? micros(cpuTime() - m_cpuAtFirst) : 0.0;
        std::fprintf(out, "cpu_us %.1f\n", cpu);
        std::fprintf(out, "busy_percent %.1f\n", span > 0 ? 100.0 * cpu / span : 0.0);
        return std::fclose(out) == 0;
    }

private:
    static double micros(Clock::duration d)
    {
        return std::chrono::duration<double, std::micro>(d).count();
    }

    static Clock::duration cpuTime()
    {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }

    double mean() const
    {
        if (m_turnarounds.empty())
            return 0.0;
        Clock::duration sum{};
        for (const Clock::duration d : m_turnarounds)
            sum += d;
        return micros(sum) / static_cast<double>(m_turnarounds.size());
    }

    // The turnaround below which `pm` per mille of them lie (nearest rank),
    // in microseconds; 0 with no samples.
    double perMille(int pm)
    {
        if (m_turnarounds.empty())
            return 0.0;
        const std::size_t rank = (m_turnarounds.size() * static_cast<std::size_t>(pm) + 999) / 1000;
        const auto nth =
            m_turnarounds.begin() + static_cast<std::ptrdiff_t>(rank > 0 ? rank - 1 : 0);
        std::nth_element(m_turnarounds.begin(), nth, m_turnarounds.end());
        return micros(*nth);
    }

    std::optional<Clock::time_point> m_first;
    std::optional<Clock::time_point> m_last;
    std::optional<Clock::time_point> m_replyEnd;
    std::optional<Clock::time_point> m_requestStart;
    Clock::duration m_longestExchange{};
    Clock::duration m_cpuAtFirst{};
    std::uint64_t m_requests = 0;
    std::vector<Clock::duration> m_turnarounds;
};

class Device
{
public:
    Device(const Options& options, std::unordered_map<std::string, std::string> table,
           std::FILE* log, Stats* stats)
        : m_options(options), m_table(std::move(table)), m_log(log), m_stats(stats)
    {}

    // Splits received bytes into lines and queues their answers.
    void receive(const char* data, std::size_t size)
    {
        const auto now = Clock::now();
        std::size_t start = 0;
        std::size_t scan = 0;
        // A CR at the end of the previous chunk may pair with an LF here.
        if (!m_partial.empty() && m_partial.back() == '\r' && size > 0 && data[0] == '\n') {
            m_partial.pop_back();
            lineReceived(m_partial, now);
            m_partial.clear();
            start = scan = 1;
        }
        while (scan < size) {
            const void* hit = std::memchr(data + scan, '\n', size - scan);
            if (!hit)
                break;
            const std::size_t lf = static_cast<const char*>(hit) - data;
            scan = lf + 1;
            if (lf == 0 || data[lf - 1] != '\r' || lf - 1 < start)
                continue;
            if (m_partial.empty()) {
                lineReceived(std::string_view(data + start, lf - 1 - start), now);
            } else {
                m_partial.append(data + start, lf - 1 - start);
                lineReceived(m_partial, now);
                m_partial.clear();
            }
            start = lf + 1;
        }
        m_partial.append(data + start, size - start);
    }

    // Moves answers whose delay has passed to the output; returns when the
    // next one is due.
    std::optional<Clock::time_point> releaseDue(Clock::time_point now)
    {
        while (!m_delayed.empty() && m_delayed.front().first <= now) {
            m_output += m_delayed.front().second;
            m_delayed.pop_front();
        }
        if (m_delayed.empty())
            return std::nullopt;
        return m_delayed.front().first;
    }

    // Writes as much output as the pty takes; false when the pty is gone.
    bool flushOutput(int master)
    {
        while (m_outputStart < m_output.size()) {
            const ssize_t n =
                ::write(master, m_output.data() + m_outputStart, m_output.size() - m_outputStart);
            if (n > 0) {
                m_outputStart += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n < 0 && errno != EAGAIN)
                    return false;
                break;
            }
        }
        if (m_outputStart == m_output.size()) {
            if (m_stats && !m_output.empty())
                m_stats->replyWritten(Clock::now());
            m_output.clear();
            m_outputStart = 0;
        } else if (m_outputStart > (1u << 20)) {
            m_output.erase(0, m_outputStart);
            m_outputStart = 0;
        }
        return true;
    }

    std::size_t outputPending() const { return m_output.size() - m_outputStart; }
    bool logDirty() const { return m_logDirty; }
    void flushLog()
    {
        if (m_log)
            std::fflush(m_log);
        m_logDirty = false;
    }

private:
    void lineReceived(std::string_view line, Clock::time_point now)
    {
        if (m_stats)
            m_stats->lineReceived();
        if (m_log) {
            std::fwrite(line.data(), 1, line.size(), m_log);
            std::fputc('\n', m_log);
            m_logDirty = true;
        }
        const std::string* answer = nullptr;
        std::string echoed;
        switch (m_options.mode) {
        case Mode::Reply:
            answer = &m_options.reply;
            break;
        case Mode::Echo:
            echoed.assign(line);
            answer = &echoed;
            break;
        case Mode::Table:
            if (const auto it = m_table.find(std::string(line)); it != m_table.end())
                answer = &it->second;
            else if (m_options.tableDefault)
                answer = &*m_options.tableDefault;
            break;
        case Mode::Silent:
            break;
        }
        if (!answer)
            return;
        if (m_options.delay.count() == 0) {
            m_output += *answer;
            m_output += "\r\n";
        } else {
            m_delayed.emplace_back(now + m_options.delay, *answer + "\r\n");
        }
    }

    const Options& m_options;
    std::unordered_map<std::string, std::string> m_table;
    std::FILE* m_log;
    Stats* m_stats;
    bool m_logDirty = false;
    std::string m_partial; // the start of a line not yet ended
    std::string m_output;
    std::size_t m_outputStart = 0;
    std::deque<std::pair<Clock::time_point, std::string>> m_delayed;
};

} // namespace

// A client that dies without closing the port (killed, crashed) leaves the
// terminal marked for exclusive use, and our own slave descriptor keeps that
// mark alive: every later open would be refused until a restart. A live
// client holds its flock on the port for as long as it has it open, so a
// mark with nobody holding the lock is abandoned and is cleared here.
namespace {
void releaseAbandonedPort(int slave)
{
    int exclusive = 0;
    if (::ioctl(slave, TIOCGEXCL, &exclusive) != 0 || exclusive == 0)
        return;
    if (::flock(slave, LOCK_EX | LOCK_NB) != 0)
        return; // still in use
    ::ioctl(slave, TIOCNXCL);
    ::flock(slave, LOCK_UN);
}

// Says why the simulator cannot go on, with the system's reason.
bool cannot(const std::string& what)
{
    std::cerr << "quorlink-sim: " << what << ": " << std::strerror(errno) << "\n";
    return false;
}

// The log file, opened for writing; nullptr when none is asked for.
bool openLog(const Options& options, std::FILE*& log)
{
    log = nullptr;
    if (options.logFile.empty())
        return true;
    log = std::fopen(options.logFile.c_str(), "wb");
    if (!log)
        return cannot("cannot write " + options.logFile);
    std::setvbuf(log, nullptr, _IOFBF, 1 << 16);
    return true;
}

// The stats file is written at exit; a path that cannot be written is
// refused now, not after the run.
bool checkStatsFile(const Options& options)
{
    if (options.statsFile.empty())
        return true;
    std::FILE* probe = std::fopen(options.statsFile.c_str(), "w");
    if (!probe)
        return cannot("cannot write " + options.statsFile);
    std::fclose(probe);
    return true;
}

// SIGINT, SIGTERM and SIGHUP end the loop through a signalfd, so they are
// never handled in the middle of a write.  -1 when that is not possible.
int stopSignalDescriptor()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    return ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

// The device's end of a raw pseudo-terminal, non-blocking, and the program
// under test's end, whose name goes in `slaveName`.  The simulator keeps the
// slave open itself so that the pty lives on while the program under test
// closes and reopens the port.
bool openPseudoTerminal(int& master, int& slave, std::string& slaveName)
{
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
        return cannot("cannot open a pseudo-terminal");
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0) {
        std::cerr << "quorlink-sim: no name for the pseudo-terminal\n";
        return false;
    }
    slaveName = name;
    return true;
}

// --link: a symbolic link to the pty under a stable name.  An existing link
// is replaced; anything else of that name is left alone and refused.
bool linkDevice(const std::string& linkPath, const std::string& slaveName)
{
    if (linkPath.empty())
        return true;
    struct stat st
    {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::cerr << "quorlink-sim: " << linkPath << " exists and is not a symbolic link\n";
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(slaveName.c_str(), linkPath.c_str()) != 0)
        return cannot("cannot create " + linkPath);
    return true;
}

// Removes the --link, unless something else has replaced it since.
void unlinkDevice(const std::string& linkPath, const std::string& slaveName)
{
    if (linkPath.empty())
        return;
    char target[256] = {};
    const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == slaveName)
        ::unlink(linkPath.c_str());
}

// Answers on the pty until a stop signal comes or the pty fails.  Returns
// the exit status.
int serve(Device& device, Stats& stats, bool keepStats, int master, int slave, int signals)
{
    std::vector<char> buffer(1 << 16);
    // Output waiting beyond this stops reading until the other end catches up.
    constexpr std::size_t MaxBacklog = 4u << 20;
    constexpr auto LogIdleFlush = 200ms;
    // How soon a port abandoned by a dead client is usable again.
    constexpr auto AbandonedPortCheck = 250ms;
    auto nextAbandonedCheck = Clock::now();
    for (;;) {
        const auto now = Clock::now();
        const std::optional<Clock::time_point> nextDue = device.releaseDue(now);
        if (!device.flushOutput(master)) {
            cannot("writing to the pseudo-terminal failed");
            return 1;
        }

        int timeoutMs = -1;
        if (nextDue) {
            timeoutMs = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(*nextDue - now).count());
        }
        if (device.logDirty() && (timeoutMs < 0 || timeoutMs > LogIdleFlush.count()))
            timeoutMs = static_cast<int>(LogIdleFlush.count());
        if (now >= nextAbandonedCheck) {
            releaseAbandonedPort(slave);
            nextAbandonedCheck = now + AbandonedPortCheck;
        }
        if (timeoutMs < 0 || timeoutMs > AbandonedPortCheck.count())
            timeoutMs = static_cast<int>(AbandonedPortCheck.count());

        short masterEvents = 0;
        if (device.outputPending() < MaxBacklog)
            masterEvents |= POLLIN;
        if (device.outputPending() > 0)
            masterEvents |= POLLOUT;
        pollfd fds[2] = {{master, masterEvents, 0}, {signals, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR)
            return 1;
        if (ready == 0 && device.logDirty())
            device.flushLog(); // quiet for a while: make the log readable
        if (fds[1].revents & POLLIN)
            return 0;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(master, buffer.data(), buffer.size());
            if (n > 0 && keepStats)
                stats.bytesRead(Clock::now());
            if (n > 0)
                device.receive(buffer.data(), static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                ::poll(nullptr, 0, 10); // cannot happen while our slave is open
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = parseOptions(argc, argv);

    std::unordered_map<std::string, std::string> table;
    if (options.mode == Mode::Table && !loadTable(options.tableFile, table)) {
        cannot("cannot read " + options.tableFile);
        return 1;
    }
    std::FILE* log = nullptr;
    if (!openLog(options, log) || !checkStatsFile(options))
        return 1;
    const int signals = stopSignalDescriptor();
    if (signals < 0) {
        cannot("cannot watch for stop signals");
        return 1;
    }
    int master = -1;
    int slave = -1;
    std::string slaveName;
    if (!openPseudoTerminal(master, slave, slaveName) || !linkDevice(options.linkPath, slaveName))
        return 1;

    std::cout << slaveName << std::endl;

    const bool keepStats = !options.statsFile.empty();
    Stats stats;
    Device device(options, std::move(table), log, keepStats ? &stats : nullptr);
    int status = serve(device, stats, keepStats, master, slave, signals);

    device.flushLog();
    if (log)
        std::fclose(log);
    if (keepStats && !stats.write(options.statsFile)) {
        cannot("cannot write " + options.statsFile);
        status = 1;
    }
    unlinkDevice(options.linkPath, slaveName);
    ::close(slave);
    ::close(master);
    ::close(signals);
    return status;
}
