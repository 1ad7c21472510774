#include "batchrun.h"
#include "stopsignals.h"

#include "serial/baudrates.h"
#include "serial/seriallink.h"
#include "settings/settingsstore.h"
#include "transfer/textfile.h"
#include "transfer/transferrun.h"
#include "version.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>
#include <unistd.h>

namespace quorlink::batch {
namespace {

constexpr const char* Usage =
    "Usage: quorlink-batch [OPTION]... SOURCE\n"
    "Send every line of SOURCE (- for standard input) to a serial device with CR LF\n"
    "and write each reply line, as the Quorlink window does.\n"
    "\n"
    "  --port COMn|DEVICE  port number (resolved as in the window) or device path\n"
    "  --baud N            speed in baud, one of 300 600 900 1200 1800 2400 3600\n"
    "                      4800 7200 9600 14400 19200 28800 38400 57600 76800 115200\n"
    "  --timeout MS        reply time-out: silence in milliseconds after which a\n"
    "                      reply is given up (0: no waiting at all)\n"
    "  --eof, --no-eof     send (or do not send) the end-of-file bytes 0x00 CR LF\n"
    "                      after the last line\n"
    "  --codepage NAME     code page of the wire and of the files (e.g. windows-1250)\n"
    "  --output FILE       write the replies to FILE (replaced atomically) instead of\n"
    "                      standard output\n"
    "  --transcript        write one line per request instead: number, request and\n"
    "                      reply (or - when none came), tab separated\n"
    "  --list-ports        list COM1 to COM16 with their devices, and serial devices\n"
    "                      that no COM number reaches yet\n"
    "  --help, --version\n"
    "\n"
    "Options left out are taken from the settings file of the Quorlink window.\n"
    "Exit status: 0 every line answered, 1 some lines unanswered, 2 port, file or\n"
    "usage error (also a port lost during the run), 130 stopped by Ctrl+C (the\n"
    "current exchange finishes; Ctrl+C again ends the program at once).\n";

// The mark written in a transcript for a line that got no reply.
constexpr std::u16string_view NoReplyMark = u"-";

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);
// Set before the handler is installed: a progress bar on a terminal has no
// line end yet, so the handler's message starts a new line.
bool g_stderrIsTerminal = false;

// The first Ctrl+C (or SIGTERM) stops the run as Esc does, after the current
// exchange, which may wait out a long time-out; a second one ends the
// program at once by the signal's default action.  Only async-signal-safe
// calls here.
extern "C" void onInterrupt(int)
{
    const int savedErrno = errno;
    restoreDefaultStop();
    if (!g_interrupted.exchange(true)) {
        static const char Message[] = "\nquorlink-batch: stopping after the current exchange; "
                                      "Ctrl+C again ends the program now\n";
        const std::size_t skip = g_stderrIsTerminal ? 0 : 1;
        [[maybe_unused]] const auto written =
            ::write(STDERR_FILENO, Message + skip, sizeof Message - 1 - skip);
    }
    errno = savedErrno;
}

// Reports an open failure without a window.
class ConsolePortView : public serial::PortStateView
{
public:
    void showOpenFailure() override { failed = true; }
    void showPortState(std::u16string_view, bool) override {}
    bool failed = false;
};

class NullPanels : public transfer::StatusPanels
{
public:
    void setPanelText(int index, std::u16string_view text) override
    {
        // Panel 1 shows the number of the line being sent.
        if (index == 1 && onLine) {
            int number = 0;
            for (char16_t c : text)
                number = number * 10 + (c - u'0');
            onLine(number);
        }
    }
    std::u16string panelText(int) const override { return {}; }
    std::function<void(int)> onLine;
};

// The received pane of a batch run: keeps each reply with the number of the
// request it answered.
class ReplyPane : public transfer::MemoryPane
{
public:
    void appendLine(std::u16string_view line) override
    {
        transfer::MemoryPane::appendLine(line);
        if (currentLine > 0 && static_cast<std::size_t>(currentLine) <= replies.size())
            replies[static_cast<std::size_t>(currentLine - 1)] = std::u16string(line);
        ++count;
    }
    int count = 0;
    int currentLine = 0;
    std::vector<std::optional<std::u16string>> replies;
};

class Progress
{
public:
    explicit Progress(int total) : m_total(total), m_tty(isatty(STDERR_FILENO) == 1) {}

    void update(int line, int replies, int unanswered, bool force = false)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_last < std::chrono::milliseconds(m_tty ? 100 : 1000))
            return;
        m_last = now;
        if (m_tty) {
            constexpr int Width = 30;
            const int filled = m_total > 0 ? line * Width / m_total : Width;
            std::fprintf(stderr, "\r[%s%s] line %d of %d, %d replies, %d without reply",
                         std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(Width - filled), ' ').c_str(), line,
                         m_total, replies, unanswered);
        } else if (force) {
            std::fprintf(stderr, "line %d of %d, %d replies, %d without reply\n", line, m_total,
                         replies, unanswered);
        }
        std::fflush(stderr);
    }
    void finish(int line, int replies, int unanswered)
    {
        update(line, replies, unanswered, true);
        if (m_tty)
            std::fputc('\n', stderr);
    }

private:
    int m_total;
    bool m_tty;
    std::chrono::steady_clock::time_point m_last{};
};

class BatchHost : public transfer::RunHost
{
public:
    BatchHost(serial::SerialLink& link, transfer::CodePage codePage, std::int32_t timeOut, bool eof)
        : m_link(link), m_codePage(std::move(codePage)), m_timeOut(timeOut), m_eof(eof)
    {}

    transfer::Pane& sourcePane() override { return source; }
    transfer::Pane& receivedPane() override { return received; }
    transfer::StatusPanels& statusPanels() override { return panels; }
    serial::SerialLink& serialLink() override { return m_link; }
    const transfer::CodePage& codePage() const override { return m_codePage; }
    std::int32_t timeOut() const override { return m_timeOut; }
    bool sendEndOfFile() const override { return m_eof; }
    bool stopRequested() const override { return m_stop; }
    void setStopRequested(bool stop) override { m_stop = stop; }
    void processMessages() override
    {
        if (g_interrupted.load())
            m_stop = true;
        if (onPump)
            onPump();
    }

    transfer::MemoryPane source;
    ReplyPane received;
    NullPanels panels;
    std::function<void()> onPump;

private:
    serial::SerialLink& m_link;
    transfer::CodePage m_codePage;
    std::int32_t m_timeOut;
    bool m_eof;
    bool m_stop = false;
};

bool parseInt(const std::string& text, long long& value)
{
    if (text.empty())
        return false;
    std::size_t used = 0;
    try {
        value = std::stoll(text, &used, 10);
    } catch (...) {
        return false;
    }
    return used == text.size();
}

// "COM3" or "com3" gives 3.
std::optional<std::int32_t> comNumber(const std::string& text)
{
    if (text.size() < 4)
        return std::nullopt;
    std::string prefix = text.substr(0, 3);
    std::transform(prefix.begin(), prefix.end(), prefix.begin(), ::toupper);
    long long n = 0;
    if (prefix != "COM" || !parseInt(text.substr(3), n) || n < 1 || n > 255)
        return std::nullopt;
    return static_cast<std::int32_t>(n);
}

std::string readStandardInput()
{
    std::string bytes{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    return bytes;
}

int listPorts(const serial::PortTable& table)
{
    namespace fs = std::filesystem;
    std::set<std::string> reached;
    std::error_code ec;
    std::printf("Port   Device                                   Present\n");
    for (std::int32_t n = 1; n <= 16; ++n) {
        const std::string device = table.devicePath(n).value_or("");
        const bool present = serial::PortTable::isPresent(device);
        if (present)
            reached.insert(fs::weakly_canonical(device, ec).string());
        std::printf("COM%-3d %-40s %s\n", n, device.c_str(), present ? "yes" : "no");
    }

    std::vector<std::string> found;
    const auto addMatching = [&](const fs::path& dir, const std::string& prefix) {
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && serial::PortTable::isPresent(entry.path().string()))
                found.push_back(entry.path().string());
        }
    };
    addMatching("/dev/serial/by-id", "");
    addMatching("/dev", "ttyUSB");
    addMatching("/dev", "ttyACM");
    addMatching("/dev", "ttyS");
    std::sort(found.begin(), found.end());

    std::int32_t nextFree = 1;
    const auto freeNumber = [&]() {
        while (nextFree <= 16) {
            const std::int32_t n = nextFree++;
            const std::string device = table.devicePath(n).value_or("");
            if (table.entries().count(n) == 0 && !serial::PortTable::isPresent(device))
                return n;
        }
        return std::int32_t{0};
    };

    std::set<std::string> listed;
    bool header = false;
    for (const auto& device : found) {
        const std::string canonical = fs::weakly_canonical(device, ec).string();
        if (reached.count(canonical) != 0 || !listed.insert(canonical).second)
            continue;
        if (!header) {
            std::printf("\nSerial devices that no COM number reaches yet, with the [Ports] line "
                        "that would map each:\n");
            header = true;
        }
        const std::int32_t n = freeNumber();
        if (n != 0)
            std::printf("%-40s COM%d=%s\n", device.c_str(), n, device.c_str());
        else
            std::printf("%-40s (no free COM number)\n", device.c_str());
    }
    if (!header)
        std::printf("\nNo other serial devices found.\n");
    return 0;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "quorlink-batch: %s\n", message.c_str());
    return ExitError;
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    Options options;
    bool haveSource = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string name = arg;
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            }
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (value)
                return value;
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        long long number = 0;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--list-ports") {
            options.listPorts = true;
        } else if (name == "--eof") {
            options.eof = true;
            options.noEof = false;
        } else if (name == "--no-eof") {
            options.noEof = true;
            options.eof = false;
        } else if (name == "--transcript") {
            options.transcript = true;
        } else if (name == "--port") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            options.port = *v;
        } else if (name == "--baud") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            const auto& rates = serial::BaudRates;
            // Checked before the cast, so that no number wraps onto a speed.
            if (!parseInt(*v, number) || number < 1 ||
                number > std::numeric_limits<std::uint32_t>::max() ||
                std::find(rates.begin(), rates.end(), static_cast<std::uint32_t>(number)) ==
                    rates.end()) {
                error = "unsupported speed '" + *v + "'";
                return std::nullopt;
            }
            options.baud = static_cast<std::uint32_t>(number);
        } else if (name == "--timeout") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            if (!parseInt(*v, number) || number < 0 || number > 3600000) {
                error = "time-out '" + *v + "' is not a number of milliseconds";
                return std::nullopt;
            }
            options.timeoutMs = static_cast<std::int32_t>(number);
        } else if (name == "--codepage") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            options.codePage = *v;
        } else if (name == "--output" || name == "-o") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            options.output = *v;
        } else if (arg == "-" || arg.empty() || arg[0] != '-') {
            if (haveSource) {
                error = "more than one SOURCE given";
                return std::nullopt;
            }
            options.source = arg;
            haveSource = true;
        } else {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
    }
    if (!haveSource && !options.help && !options.version && !options.listPorts) {
        error = "no SOURCE given";
        return std::nullopt;
    }
    return options;
}

int main(int argc, char** argv)
{
    std::string error;
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!parsed) {
        std::fprintf(stderr, "quorlink-batch: %s\nTry 'quorlink-batch --help'.\n", error.c_str());
        return ExitError;
    }
    const Options& options = *parsed;
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("quorlink-batch %s\n", QUORLINK_VERSION);
        return 0;
    }

    settings::StoredSettings stored;
    try {
        stored = settings::createUserSettingsStore()->LoadSettings();
    } catch (const std::exception& e) {
        return fail(std::string("cannot read the settings: ") + e.what());
    }

    ConsolePortView view;
    serial::SerialLink link(view);
    for (const auto& [number, device] : stored.ports)
        link.portTable().setDevice(number, device);

    if (options.listPorts)
        return listPorts(link.portTable());

    const std::string codePageName = options.codePage.value_or(stored.codePage);
    std::optional<transfer::CodePage> codePage = codePageName.empty()
                                                     ? transfer::CodePage::system()
                                                     : transfer::CodePage::named(codePageName);
    if (!codePage)
        return fail("unknown code page '" + codePageName + "'");

    // The source, decoded as the window loads a file.
    std::u16string sourceText;
    try {
        if (options.source == "-")
            sourceText = transfer::decodeSourceText(readStandardInput(), *codePage);
        else
            sourceText = transfer::loadSourceFile(options.source, *codePage);
    } catch (const std::exception& e) {
        return fail(e.what());
    }

    // The port: a COM number resolves as in the window, a path is used as is.
    std::int32_t portNumber = stored.port.ComPortIndex;
    std::string portLabel = "COM" + std::to_string(portNumber);
    if (options.port) {
        if (const auto n = comNumber(*options.port)) {
            portNumber = *n;
            portLabel = *options.port;
        } else {
            portNumber = 1;
            link.portTable().setDevice(portNumber, *options.port);
            portLabel = *options.port;
        }
    }
    const std::uint32_t baud =
        options.baud.value_or(serial::baudRateAt(stored.port.BaudRateIndex).value_or(0));
    if (baud == 0)
        return fail("no valid speed stored; give one with --baud");
    if (portNumber < 1)
        return fail("no port stored; give one with --port");
    if (!link.OpenPort(portNumber, baud)) {
        const std::string device = link.portTable().devicePath(portNumber).value_or("");
        return fail("cannot open " + portLabel + " (" + device + "): " + link.hCom().errorString());
    }

    const std::int32_t timeOut = options.timeoutMs.value_or(stored.port.TimeOut);
    const bool eof = options.noEof ? false : (options.eof || stored.sendEndFile.value_or(false));
    BatchHost host(link, *codePage, timeOut, eof);
    host.source.setText(sourceText);
    const int total = host.source.lineCount();
    host.received.replies.resize(static_cast<std::size_t>(total));

    Progress progress(total);
    int line = 0;
    host.panels.onLine = [&](int number) {
        line = number;
        host.received.currentLine = line;
    };
    transfer::RunOutcome outcome;
    host.onPump = [&] { progress.update(line, host.received.count, line - host.received.count); };

    g_stderrIsTerminal = isatty(STDERR_FILENO) == 1;
    installStopHandler(onInterrupt);
    outcome = transfer::runTransfer(host);
    link.ClosePort();
    progress.finish(line, outcome.replies, line - outcome.replies);

    // The replies, or the transcript.
    std::u16string result;
    if (options.transcript) {
        for (int i = 0; i < line && i < total; ++i) {
            const std::string number = std::to_string(i + 1);
            std::u16string row(number.begin(), number.end());
            row += u'\t';
            row += host.source.line(i);
            row += u'\t';
            const auto& reply = host.received.replies[static_cast<std::size_t>(i)];
            if (reply)
                row += *reply;
            else
                row += NoReplyMark;
            row += u"\r\n";
            result += row;
        }
    } else {
        result = host.received.text();
    }

    try {
        if (options.output) {
            transfer::saveResultFile(*options.output, result, *codePage);
        } else {
            std::string bytes = codePage->fromUnicode(result);
            // Standard output gets the line ends of this system.
            std::string out;
            out.reserve(bytes.size());
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                    continue;
                out += bytes[i];
            }
            // A reader that went away (a closed pipe) fails the write
            // instead of ending the program unreported.
            ignoreBrokenPipe();
            const std::size_t written = std::fwrite(out.data(), 1, out.size(), stdout);
            if (written != out.size() || std::fflush(stdout) != 0 || std::ferror(stdout))
                throw std::runtime_error("Stream write error");
        }
    } catch (const std::exception& e) {
        return fail(e.what());
    }

    if (outcome.stopped)
        return ExitStopped;
    // A send fails only when the port has gone; the lines after it were
    // never sent.
    if (outcome.linesSent < total) {
        return fail(outcome.linesSent == 0
                        ? "port lost before line 1"
                        : "port lost after line " + std::to_string(outcome.linesSent) + " of " +
                              std::to_string(total));
    }
    return outcome.replies == total && outcome.linesSent == total ? ExitAllAnswered
                                                                  : ExitSomeUnanswered;
}

} // namespace quorlink::batch
