#pragma once

#include "codepage.h"
#include "pane.h"

#include <cstdint>
#include <string_view>

namespace quorlink::serial {
class SerialLink;
}

namespace quorlink::transfer {

// What a run reports as it goes, as it happens; the host shows it in its own
// words (the window in its status panels).  Lines are numbered from 1.
class RunEvents
{
public:
    virtual ~RunEvents() = default;
    virtual void runStarted() = 0;
    // Line `line` is about to be sent.
    virtual void lineSending(int line) = 0;
    // The reply to line `line` was appended to the received pane; it is the
    // run's `replyCount`th.
    virtual void replyCollected(int line, std::u16string_view reply, int replyCount) = 0;
    // Line `line` was sent and no reply came within the time-out.
    virtual void noReply(int line) = 0;
    // Line `line` could not be sent: the port is gone.  The run goes on with
    // the next line.
    virtual void sendFailed(int line) = 0;
    // The run ended on StopRequested after line `line`.
    virtual void stopped(int line) = 0;
    // The run went through every line.
    virtual void finished() = 0;
};

// Everything a run works on.  The main window implements it with its
// widgets; tests and the command-line program implement it without any.
// A run asks for each part anew every time it uses it, so a handler run by
// processMessages() may change the panes, the port or the option mid-run.
class RunHost
{
public:
    virtual ~RunHost() = default;
    virtual Pane& sourcePane() = 0;
    virtual Pane& receivedPane() = 0;
    virtual RunEvents& runEvents() = 0;
    virtual serial::SerialLink& serialLink() = 0;
    virtual const CodePage& codePage() const = 0;
    // The reply time-out in milliseconds.
    virtual std::int32_t timeOut() const = 0;
    // The end-of-file option (the check mark of "Poslat znaky konce souboru").
    virtual bool sendEndOfFile() const = 0;
    // StopRequested: set by Esc, cleared when a run starts.
    virtual bool stopRequested() const = 0;
    virtual void setStopRequested(bool stop) = 0;
    // Lets the window handle pending events (repaint, keys, menu commands).
    virtual void processMessages() = 0;
    // A request went out and its reply is about to be awaited, for up to the
    // time-out: whatever the host shows must be current now.
    virtual void awaitingReply() {}
};

// The three bytes sent after a finished run when the option is on.
inline constexpr std::string_view EndOfFileBytes{"\x00\r\n", 3};

// How a run ended, for callers that report it in their own way.
struct RunOutcome
{
    int linesSent = 0;    // lines whose send succeeded
    int replies = 0;      // ReplyCount
    int unanswered = 0;   // lines sent without a reply
    bool stopped = false; // ended by StopRequested
};

// The transfer run of "Odeslat": sends every source line with CR LF,
// appends each reply to the received pane, reports what happens to the
// host's events, stops when StopRequested is set after a line, and sends
// EndOfFileBytes at a normal end when the option is on.
RunOutcome runTransfer(RunHost& host);

// A source line as request bytes: the line in the code page followed by
// CR LF, cut at a character boundary so that the whole request stays within
// `maxBytes`.
std::string encodeRequest(const CodePage& codePage, std::u16string_view line, std::size_t maxBytes);

} // namespace quorlink::transfer
