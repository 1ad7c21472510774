#include "batchrun.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "portlisting.h"
#include "stopsignals.h"

#include "serial/seriallink.h"
#include "settings/applysettings.h"
#include "transfer/textfile.h"
#include "transfer/transferrun.h"
#include "version.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <iterator>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace quorlink::batch {
namespace {

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
        const char* const message = messages::Stopping;
        const std::size_t skip = g_stderrIsTerminal ? 0 : 1;
        [[maybe_unused]] const auto written =
            ::write(STDERR_FILENO, message + skip, sizeof messages::Stopping - 1 - skip);
    }
    errno = savedErrno;
}

// Reports an open failure without a window.
class ConsolePortView : public serial::OpenFailureView
{
public:
    void showOpenFailure() override { failed = true; }
    bool failed = false;
};

// What the run reports, kept for the transcript and the progress line.
class BatchEvents : public transfer::RunEvents
{
public:
    void runStarted() override {}
    void lineSending(int line) override { current = line; }
    void replyCollected(int line, std::u16string_view reply, int replyCount) override
    {
        if (line > 0 && static_cast<std::size_t>(line) <= replies.size())
            replies[static_cast<std::size_t>(line - 1)] = std::u16string(reply);
        count = replyCount;
    }
    void noReply(int) override {}
    void sendFailed(int) override {}
    void stopped(int) override {}
    void finished() override {}

    int current = 0; // the line being sent, from 1
    int count = 0;   // replies so far
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
        const std::string counts = messages::progress(line, m_total, replies, unanswered);
        if (m_tty) {
            constexpr int Width = 30;
            const int filled = m_total > 0 ? line * Width / m_total : Width;
            std::fprintf(
                stderr, "\r[%s%s] %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                std::string(static_cast<std::size_t>(Width - filled), ' ').c_str(), counts.c_str());
        } else if (force) {
            std::fprintf(stderr, "%s\n", counts.c_str());
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
    transfer::RunEvents& runEvents() override { return events; }
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
    transfer::MemoryPane received;
    BatchEvents events;
    std::function<void()> onPump;

private:
    serial::SerialLink& m_link;
    transfer::CodePage m_codePage;
    std::int32_t m_timeOut;
    bool m_eof;
    bool m_stop = false;
};

std::string readStandardInput()
{
#ifdef _WIN32
    // In text mode a 0x1A byte ends the input and CR LF byte pairs inside
    // UTF-16 characters are changed; the decoder takes every line end as it is.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    std::string bytes{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    return bytes;
}

int fail(std::string_view message)
{
    std::fputs(messages::error(message).c_str(), stderr);
    return ExitError;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!parsed) {
        std::fputs(messages::usageError(error).c_str(), stderr);
        return ExitError;
    }
    const Options& options = *parsed;
    if (options.help) {
        std::fputs(messages::Usage, stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(messages::version(QUORLINK_VERSION).c_str(), stdout);
        return 0;
    }

    ConsolePortView view;
    serial::SerialLink link(view);
    settings::AppliedSettings applied;
    try {
        applied = settings::applyStoredSettings(*settings::createUserSettingsStore(),
                                                link.portTable(), options.codePage);
    } catch (const std::exception& e) {
        return fail(messages::cannotReadSettings(e.what()));
    }
    const settings::StoredSettings& stored = applied.stored;

    if (options.listPorts)
        return listPorts(link.portTable(), stored.port.ComPortIndex);

    const std::optional<transfer::CodePage>& codePage = applied.codePage;
    if (!codePage)
        return fail(messages::unknownCodePage(applied.codePageName));

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
    std::string portLabel = serial::comName(portNumber);
    if (options.port) {
        if (const auto n = serial::parseComName(*options.port)) {
            portNumber = *n;
            portLabel = *options.port;
        } else {
            portNumber = 1;
            link.portTable().setDevice(portNumber, *options.port);
            portLabel = *options.port;
        }
    }
    const std::uint32_t baud = options.baud.value_or(applied.baudRate.value_or(0));
    if (baud == 0)
        return fail(messages::NoSpeedStored);
    if (portNumber < 1)
        return fail(messages::NoPortStored);
    reachListedPort(link.portTable(), portNumber, stored.port.ComPortIndex);
    if (!link.OpenPort(portNumber, baud)) {
        const std::string device = link.portTable().devicePath(portNumber).value_or("");
        return fail(messages::cannotOpenPort(portLabel, device, link.hCom().error(),
                                             link.hCom().errorString()));
    }

    const std::int32_t timeOut = options.timeoutMs.value_or(stored.port.TimeOut);
    const bool eof = options.noEof ? false : (options.eof || stored.sendEndFile.value_or(false));
    BatchHost host(link, *codePage, timeOut, eof);
    host.source.setText(sourceText);
    const int total = host.source.lineCount();
    host.events.replies.resize(static_cast<std::size_t>(total));

    Progress progress(total);
    const int& line = host.events.current;
    transfer::RunOutcome outcome;
    host.onPump = [&] { progress.update(line, host.events.count, line - host.events.count); };

    g_stderrIsTerminal = isatty(STDERR_FILENO) == 1;
    installStopHandler(onInterrupt);
    outcome = transfer::runTransfer(host);
    link.ClosePort();
    progress.finish(line, outcome.replies, line - outcome.replies);

    // The replies, or the transcript.
    const std::u16string result = options.transcript
                                      ? transcriptText(host.source, host.events.replies, line)
                                      : host.received.text();
    try {
        if (options.output)
            transfer::saveResultFile(*options.output, result, *codePage);
        else
            writeStandardOutput(result, *codePage);
    } catch (const std::exception& e) {
        return fail(e.what());
    }

    if (outcome.stopped)
        return ExitStopped;
    // A send fails only when the port has gone; the lines after it were
    // never sent.
    if (outcome.linesSent < total)
        return fail(messages::portLost(outcome.linesSent, total));
    return outcome.replies == total && outcome.linesSent == total ? ExitAllAnswered
                                                                  : ExitSomeUnanswered;
}

} // namespace quorlink::batch
