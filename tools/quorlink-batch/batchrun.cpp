#include "batchrun.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "portlisting.h"
#include "stopsignals.h"

#include "serial/baudrates.h"
#include "serial/seriallink.h"
#include "serial/waitinterrupt.h"
#include "settings/applysettings.h"
#include "transfer/textfile.h"
#include "transfer/transferrun.h"
#include "version.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace quorlink::batch {
namespace {

using Clock = std::chrono::steady_clock;

// Reports an open failure without a window.
class ConsolePortView : public serial::OpenFailureView
{
public:
    void showOpenFailure() override { failed = true; }
    bool failed = false;
};

class Progress
{
public:
    explicit Progress(int total)
        : m_total(total), m_tty(isatty(STDERR_FILENO) == 1),
          m_sharesTerminal(m_tty && isatty(STDOUT_FILENO) == 1)
    {}

    void update(int line, int replies, int unanswered, bool force = false)
    {
        const auto now = Clock::now();
        if (!force && now - m_last < std::chrono::milliseconds(m_tty ? 100 : 1000))
            return;
        m_last = now;
        const std::string counts = messages::progress(line, m_total, replies, unanswered);
        if (m_tty) {
            constexpr int Width = 30;
            const int filled = m_total > 0 ? line * Width / m_total : Width;
            const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                                    std::string(static_cast<std::size_t>(Width - filled), ' ') +
                                    "] " + counts;
            writeStandardError("\r" + bar);
            m_drawn = bar.size();
        } else if (force) {
            writeStandardError(counts + "\n");
        }
    }
    void finish(int line, int replies, int unanswered)
    {
        update(line, replies, unanswered, true);
        if (m_tty)
            writeStandardError("\n");
        m_drawn = 0;
    }
    // Before a reply goes to standard output on the same terminal: the bar
    // has no line end, so it makes room, and is drawn anew at the next update.
    void makeRoomForOutput()
    {
        if (!m_sharesTerminal || m_drawn == 0)
            return;
        writeStandardError("\r" + std::string(m_drawn, ' ') + "\r");
        m_drawn = 0;
        m_last = {};
    }

private:
    int m_total;
    bool m_tty;
    bool m_sharesTerminal;
    std::size_t m_drawn = 0; // characters of the bar on the terminal's line
    Clock::time_point m_last{};
};

// Where the replies go: standard output, flushed, as soon as the next
// request has gone out (or the run has ended), so that a long run can be
// watched or piped on and a stopped one loses nothing; or a file saved once
// at the end, all or nothing, as the window saves its pane.  Written while
// the device works on the next request, a reply's write costs a fast
// device's exchange nothing; written before it, every exchange would wait
// for it.  On a slow line they go before a request that is long on the
// wire (BatchEvents::lineSending).
class ReplyOutput
{
public:
    ReplyOutput(const Options& options, const transfer::CodePage& codePage, Progress& progress)
        : m_codePage(codePage), m_progress(progress)
    {
        if (options.output && *options.output != "-")
            m_file = *options.output;
    }

    // `text` has CR LF line ends, as a pane has.
    void add(std::u16string_view text)
    {
        if (m_file)
            m_kept += text;
        else if (!m_failed)
            m_pending += text;
    }
    // Writes to standard output what was added since the last time.
    void flush()
    {
        if (m_pending.empty())
            return;
        m_progress.makeRoomForOutput();
        try {
            writeStandardOutput(m_pending, m_codePage);
        } catch (const std::exception&) {
            m_failed = true;
        }
        m_pending.clear();
    }
    // Standard output could not be written (a reader that went away, a full
    // disk): the run stops, nobody gets its replies.
    bool failed() const { return m_failed; }
    // Saves the file, if there is one; throws as saveResultFile does.
    void save() const
    {
        if (m_file)
            transfer::saveResultFile(*m_file, m_kept, m_codePage);
    }

private:
    const transfer::CodePage& m_codePage;
    Progress& m_progress;
    std::optional<std::string> m_file;
    std::u16string m_kept;
    std::u16string m_pending; // for standard output, not yet written
    bool m_failed = false;
};

// What the run reports, turned into output rows, timings and the progress
// line.
class BatchEvents : public transfer::RunEvents
{
public:
    BatchEvents(const transfer::Pane& source, serial::SerialLink& link, ReplyOutput& output,
                const Options& options)
        : m_source(source), m_link(link), m_output(output), m_transcript(options.transcript),
          m_timing(options.timing)
    {}

    void runStarted() override {}
    void lineSending(int line) override
    {
        current = line;
        // On a slow line the request is long on the wire (22 bytes at 300 Bd
        // take 0.73 s) and the replies so far would wait for it: they are
        // written before it.  On a fast one they wait for the next request.
        if (wireTime(line) > SlowRequest)
            m_output.flush();
        // The request's first byte goes out next.
        m_sentAt = Clock::now();
    }
    void replyCollected(int line, std::u16string_view reply, int replyCount) override
    {
        count = replyCount;
        exchangeEnded(line, &reply);
    }
    void noReply(int line) override
    {
        // A device that went away ended the wait, not its silence.
        if (!m_link.hCom().isUsable())
            lostDuring = line;
        exchangeEnded(line, nullptr);
    }
    void sendFailed(int line) override { lostDuring = line; }
    void stopped(int) override {}
    void finished() override {}

    // The exchanges that got a reply, by their time in tenths of a
    // millisecond, and the line of the slowest.
    std::string timingSummary() const
    {
        if (m_replyTimes.empty())
            return messages::timingSummary(0, 0, 0, 0);
        std::vector<long long> sorted;
        for (const auto& [tenths, line] : m_replyTimes)
            sorted.push_back(tenths);
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        const long long median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        const auto slowest = std::max_element(m_replyTimes.begin(), m_replyTimes.end());
        return messages::timingSummary(static_cast<int>(n), median, slowest->first,
                                       slowest->second);
    }

    int current = 0;    // the line being sent, from 1
    int count = 0;      // replies so far
    int lostDuring = 0; // the line during which the port was lost, or 0

private:
    static constexpr std::chrono::microseconds SlowRequest{10'000};

    // The time line `line`'s request with its CR LF takes on the wire; a
    // code page of more than one byte a character makes it a little longer.
    std::chrono::microseconds wireTime(int line) const
    {
        const auto characters = static_cast<long long>(m_source.line(line - 1).size() + 2);
        return serial::characterTime(m_link.hCom().baudRate()) * characters;
    }

    void exchangeEnded(int line, const std::u16string_view* reply)
    {
        const auto took =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_sentAt);
        const long long tenths = (took.count() + 50) / 100;
        // Kept for the summary of --timing only: a long run without it
        // keeps nothing per line.
        if (reply && m_timing)
            m_replyTimes.emplace_back(tenths, line);
        if (m_transcript) {
            m_output.add(transcriptRow(line, m_source.line(line - 1), reply,
                                       m_timing ? std::optional(tenths) : std::nullopt));
        } else if (reply) {
            m_output.add(*reply);
            m_output.add(u"\r\n");
        }
    }

    const transfer::Pane& m_source;
    serial::SerialLink& m_link;
    ReplyOutput& m_output;
    bool m_transcript;
    bool m_timing;
    Clock::time_point m_sentAt{};
    std::vector<std::pair<long long, int>> m_replyTimes;
};

// The received pane of a command-line run: the replies go to the output as
// they come (or are kept there for the output file), so the pane keeps none
// of them, and a run of any length holds no more than its source.
class PassedOnPane : public transfer::Pane
{
public:
    int lineCount() const override { return 0; }
    std::u16string line(int) const override { return {}; }
    void appendLine(std::u16string_view) override {}
    void clear() override {}
    std::u16string text() const override { return {}; }
    void setText(std::u16string_view) override {}
};

class BatchHost : public transfer::RunHost
{
public:
    BatchHost(serial::SerialLink& link, transfer::CodePage codePage, std::int32_t timeOut, bool eof,
              ReplyOutput& output, const Options& options)
        : events(source, link, output, options), m_link(link), m_output(output),
          m_codePage(std::move(codePage)), m_timeOut(timeOut), m_eof(eof)
    {}

    transfer::Pane& sourcePane() override { return source; }
    transfer::Pane& receivedPane() override { return received; }
    transfer::RunEvents& runEvents() override { return events; }
    serial::SerialLink& serialLink() override { return m_link; }
    const transfer::CodePage& codePage() const override { return m_codePage; }
    std::int32_t timeOut() const override { return m_timeOut; }
    bool sendEndOfFile() const override { return m_eof; }
    // Besides Ctrl+C, which stops as Esc does, a stop at once, a lost port
    // and output that nobody takes end the run after the current line (for
    // output, the line during which that showed).
    bool stopRequested() const override
    {
        return m_stop || hardStop() != StopCause::None || events.lostDuring > 0 ||
               m_output.failed();
    }
    void setStopRequested(bool stop) override { m_stop = stop; }
    void processMessages() override
    {
        if (gentleStopRequested())
            m_stop = true;
    }
    // The replies and the progress are written while the device works on
    // the request that has just gone out.
    void awaitingReply() override
    {
        m_output.flush();
        if (onAwaitingReply)
            onAwaitingReply();
    }

    transfer::MemoryPane source;
    PassedOnPane received;
    BatchEvents events;
    std::function<void()> onAwaitingReply;

private:
    serial::SerialLink& m_link;
    ReplyOutput& m_output;
    transfer::CodePage m_codePage;
    std::int32_t m_timeOut;
    bool m_eof;
    bool m_stop = false;
};

int fail(std::string_view message)
{
    writeStandardError(messages::error(message));
    return ExitError;
}

// Everything after the command line.  The port is closed by the link's
// destructor also when an exception leaves.
int runWith(const Options& options)
{
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

    // The source, decoded as the window loads a file, within the same limit.
    std::u16string sourceText;
    try {
        if (options.source == "-")
            sourceText = transfer::loadStandardInput(*codePage);
        else
            sourceText =
                transfer::loadSourceFile(options.source, *codePage, transfer::MaxSourceChars,
                                         transfer::FifoSource::WaitForWriter);
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

    const std::int32_t timeOut = options.timeoutMs.value_or(stored.port.TimeOut);
    const bool eof = options.noEof ? false : (options.eof || stored.sendEndFile.value_or(false));
    const int total = transfer::panetext::lineCount(sourceText);
    if (total == 0)
        return fail(messages::emptySource(options.source));

    // From here on a stop request closes the port and writes the replies
    // before the program ends; a wait on the port ends at once when asked.
    serial::WaitInterrupt interrupt;
    link.hCom().cutWaitsShort(interrupt);
    // A progress bar on a terminal has no line end yet: the note of the
    // first Ctrl+C then starts a new line.
    const unsigned skip = isatty(STDERR_FILENO) == 1 ? 0 : 1;
    installStopHandlers(interrupt, messages::Stopping + skip,
                        static_cast<unsigned>(sizeof messages::Stopping - 1 - skip));

    if (!link.OpenPort(portNumber, baud)) {
        const std::string device = link.portTable().devicePath(portNumber).value_or("");
        return fail(messages::cannotOpenPort(portLabel, device, link.hCom().error(),
                                             link.hCom().errorString()));
    }

    Progress progress(total);
    ReplyOutput output(options, *codePage, progress);
    BatchHost host(link, *codePage, timeOut, eof, output, options);
    host.source.setText(sourceText);
    sourceText = std::u16string();
    const BatchEvents& events = host.events;
    host.onAwaitingReply = [&] {
        // The exchanges that are over: the current one has only begun.
        const int done = events.current - 1;
        progress.update(done, events.count, done - events.count);
    };

    std::optional<std::string> runFailure;
    if (!gentleStopRequested() && hardStop() == StopCause::None) {
        try {
            transfer::runTransfer(host);
        } catch (const std::exception& e) {
            runFailure = e.what();
        }
    }
    // The last replies: no request came after them.
    output.flush();
    // Puts back what the open changed on the device and removes the lock
    // file, whatever ended the run.
    link.ClosePort();
    const int line = events.current;
    progress.finish(line, events.count, line - events.count);
    if (options.timing)
        writeStandardError(events.timingSummary() + "\n");

    try {
        output.save();
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    if (output.failed())
        return fail(messages::StreamWriteError);
    if (runFailure)
        return fail(*runFailure);
    if (const StopCause cause = hardStop(); cause != StopCause::None) {
        fail(messages::stoppedBy(cause, line, total));
        return exitStatusFor(cause);
    }
    if (events.lostDuring > 0)
        return fail(messages::portLost(events.lostDuring, total));
    if (gentleStopRequested())
        return ExitStopped;
    return events.count == total ? ExitAllAnswered : ExitSomeUnanswered;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!parsed) {
        writeStandardError(messages::usageError(error));
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
    // Nothing leaves without the port closed (by the link's destructor on
    // the way out) and a line that says why.
    try {
        return runWith(options);
    } catch (const std::exception& e) {
        return fail(e.what());
    } catch (...) {
        return fail(messages::UnexpectedFailure);
    }
}

} // namespace quorlink::batch
