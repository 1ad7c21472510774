#pragma once

#include "codepage.h"
#include "pane.h"

#include <cstdint>
#include <string_view>

namespace quorlink::serial {
class SerialLink;
}

namespace quorlink::transfer {

// Status bar panels, addressed by index: 0 source line count, 1 number of
// the line being sent, 2 replies in this run, 3 message line.
class StatusPanels
{
public:
    virtual ~StatusPanels() = default;
    virtual void setPanelText(int index, std::u16string_view text) = 0;
    virtual std::u16string panelText(int index) const = 0;
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
    virtual StatusPanels& statusPanels() = 0;
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
// appends each reply to the received pane, reports in panels 1 to 3, stops
// when StopRequested is set after a line, and sends EndOfFileBytes at a
// normal end when the option is on.
RunOutcome runTransfer(RunHost& host);

// A source line as request bytes: the line in the code page followed by
// CR LF, cut at a character boundary so that the whole request stays within
// `maxBytes`.
std::string encodeRequest(const CodePage& codePage, std::u16string_view line, std::size_t maxBytes);

} // namespace quorlink::transfer
