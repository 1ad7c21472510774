#include "transfer/transferrun.h"

#include "ptydevice.h"
#include "serial/seriallink.h"

#include "namedcodepage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using quorlink::serial::OpenFailureView;
using quorlink::serial::SerialLink;
using quorlink::testing::PtyDevice;
using quorlink::transfer::CodePage;
using quorlink::transfer::encodeRequest;
using quorlink::transfer::MemoryPane;
using quorlink::transfer::Pane;
using quorlink::transfer::RunEvents;
using quorlink::transfer::RunHost;
using quorlink::transfer::RunOutcome;
using quorlink::transfer::runTransfer;

namespace {

class RecordingView : public OpenFailureView
{
public:
    void showOpenFailure() override { calls.push_back(u"open failure"); }
    std::vector<std::u16string> calls;
};

// What a run reported: the line being sent and the replies so far as they
// stand, every line number and reply count reported, and the run's start,
// its lines without a reply or send, and its end, in order.
class RecordingEvents : public RunEvents
{
public:
    void runStarted() override
    {
        line = 0;
        replies = 0;
        log.push_back("started");
    }
    void lineSending(int number) override
    {
        line = number;
        sending.push_back(number);
    }
    void replyCollected(int, std::u16string_view, int replyCount) override
    {
        replies = replyCount;
        counts.push_back(replyCount);
    }
    void noReply(int number) override { log.push_back("no reply " + std::to_string(number)); }
    void sendFailed(int number) override { log.push_back("not sent " + std::to_string(number)); }
    void stopped(int number) override { log.push_back("stopped after " + std::to_string(number)); }
    void finished() override { log.push_back("finished"); }

    int line = 0;
    int replies = 0;
    std::vector<int> sending;
    std::vector<int> counts;
    std::vector<std::string> log;
};

// A host without a window: its pump runs what a test scripts for the n-th
// call (counting from 1 over the host's life, nested runs included).
class ScriptedHost : public RunHost
{
public:
    ScriptedHost() : link(view), page(namedCodePage("UTF-8")) {}

    Pane& sourcePane() override { return *source; }
    Pane& receivedPane() override { return *received; }
    RunEvents& runEvents() override { return events; }
    SerialLink& serialLink() override { return link; }
    const CodePage& codePage() const override { return page; }
    std::int32_t timeOut() const override { return timeOutMs; }
    bool sendEndOfFile() const override { return endOfFile; }
    bool stopRequested() const override { return stop; }
    void setStopRequested(bool value) override { stop = value; }
    void processMessages() override
    {
        ++pumpCalls;
        auto it = script.find(pumpCalls);
        if (it != script.end())
            it->second();
    }

    MemoryPane sourceStore;
    MemoryPane receivedStore;
    Pane* source = &sourceStore;
    Pane* received = &receivedStore;
    RecordingEvents events;
    RecordingView view;
    SerialLink link;
    CodePage page;
    std::int32_t timeOutMs = 1000;
    bool endOfFile = false;
    bool stop = false;
    int pumpCalls = 0;
    std::map<int, std::function<void()>> script;
};

class TransferRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.link.portTable().setDevice(1, device.path());
        ASSERT_TRUE(host.link.OpenPort(1, 9600));
        host.view.calls.clear();
    }

    // Waits until the device has had the bytes a test expects, then compares.
    void expectDeviceReceived(const std::string& expected)
    {
        device.waitForBytes(expected.size(), 2s);
        EXPECT_EQ(device.received(), expected);
    }

    // The last line sent, the run's reply count and how it ended.
    void expectProgress(int line, int replies, const std::string& end)
    {
        EXPECT_EQ(host.events.line, line);
        EXPECT_EQ(host.events.replies, replies);
        EXPECT_EQ(host.events.log.back(), end);
    }

    PtyDevice device;
    ScriptedHost host;
};

// --- The ordinary run ------------------------------------------------------

TEST_F(TransferRun, shouldCollectOneReplyPerLineWhenDeviceAnswersEveryLine)
{
    device.echo();
    host.sourceStore.setText(u"první\r\ndruhý\r\ntřetí");

    const RunOutcome outcome = runTransfer(host);

    expectProgress(3, 3, "finished");
    EXPECT_EQ(host.receivedStore.text(), u"první\r\ndruhý\r\ntřetí\r\n");
    expectDeviceReceived("první\r\ndruhý\r\ntřetí\r\n");
    EXPECT_EQ(host.events.sending, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(host.events.log, (std::vector<std::string>{"started", "finished"}));
    EXPECT_EQ(host.pumpCalls, 3);
    EXPECT_EQ(outcome.linesSent, 3);
    EXPECT_EQ(outcome.replies, 3);
    EXPECT_EQ(outcome.unanswered, 0);
    EXPECT_FALSE(outcome.stopped);
    EXPECT_TRUE(host.view.calls.empty());
}

TEST_F(TransferRun, shouldAppendRepliesAfterTextAlreadyInReceivedPane)
{
    device.replyWith("OK");
    host.sourceStore.setText(u"a\r\nb\r\n");
    host.receivedStore.setText(u"z minula");

    runTransfer(host);

    // Text typed without a final line break is ended first; the replies then
    // stay unfinished, each ended by the next one.
    EXPECT_EQ(host.receivedStore.text(), u"z minula\r\nOK\r\nOK");
}

TEST_F(TransferRun, shouldReportSilentDeviceAndStillFinish)
{
    device.silent();
    host.timeOutMs = 30;
    host.sourceStore.setText(u"a\r\nb\r\n");

    const RunOutcome outcome = runTransfer(host);

    expectProgress(2, 0, "finished");
    EXPECT_EQ(host.events.log,
              (std::vector<std::string>{"started", "no reply 1", "no reply 2", "finished"}));
    EXPECT_EQ(host.receivedStore.text(), u"");
    EXPECT_EQ(outcome.unanswered, 2);
    EXPECT_EQ(host.pumpCalls, 2);
    expectDeviceReceived("a\r\nb\r\n");
}

TEST_F(TransferRun, shouldSendNothingButEndOfFileBytesForEmptyPane)
{
    host.endOfFile = true;
    const RunOutcome outcome = runTransfer(host);

    expectProgress(0, 0, "finished");
    EXPECT_EQ(outcome.linesSent, 0);
    EXPECT_EQ(host.pumpCalls, 0);
    expectDeviceReceived(std::string("\0\r\n", 3));
}

TEST_F(TransferRun, shouldSendEndOfFileBytesAfterNormalEndOnlyWhenOptionIsOn)
{
    device.replyWith("OK");
    host.sourceStore.setText(u"a");
    runTransfer(host);
    host.endOfFile = true;
    runTransfer(host);

    expectDeviceReceived(std::string("a\r\na\r\n\0\r\n", 9));
}

TEST_F(TransferRun, shouldClearStaleStopRequestAtStart)
{
    device.replyWith("OK");
    host.stop = true;
    host.sourceStore.setText(u"a\r\nb");

    const RunOutcome outcome = runTransfer(host);

    EXPECT_FALSE(outcome.stopped);
    expectProgress(2, 2, "finished");
}

// --- Stopping --------------------------------------------------------------

TEST_F(TransferRun, shouldStopAfterThirdExchangeWhenEscPressedDuringIt)
{
    device.echo();
    host.endOfFile = true;
    host.sourceStore.setText(u"1\r\n2\r\n3\r\n4\r\n5\r\n");
    host.script[3] = [&] { host.setStopRequested(true); };

    const RunOutcome outcome = runTransfer(host);

    expectProgress(3, 3, "stopped after 3");
    EXPECT_EQ(host.receivedStore.text(), u"1\r\n2\r\n3\r\n");
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.linesSent, 3);
    expectDeviceReceived("1\r\n2\r\n3\r\n");
    // No end-of-file bytes follow, however long one waits.
    EXPECT_FALSE(device.waitForBytes(10, 100ms));
}

// --- Line and reply contents -----------------------------------------------

TEST_F(TransferRun, shouldSendEmptyLinesAsCrLfAloneAndCountCrLfReplyAsNoReply)
{
    device.echo();
    host.sourceStore.setText(u"a\r\n\r\nb");

    const RunOutcome outcome = runTransfer(host);

    expectDeviceReceived("a\r\n\r\nb\r\n");
    // The empty line's echo is CR LF alone: no reply.
    EXPECT_EQ(host.receivedStore.text(), u"a\r\nb\r\n");
    EXPECT_EQ(host.events.counts, (std::vector<int>{1, 2}));
    EXPECT_EQ(host.events.log, (std::vector<std::string>{"started", "no reply 2", "finished"}));
    EXPECT_EQ(outcome.replies, 2);
    EXPECT_EQ(outcome.unanswered, 1);
}

TEST_F(TransferRun, shouldEndReplyAtItsFirstZeroByte)
{
    device.respond([](const std::string& line) -> std::vector<std::string> {
        if (line == "a")
            return {std::string("ab\0cd\r\n", 7)};
        return {std::string("\0xy\r\n", 5)};
    });
    host.sourceStore.setText(u"a\r\nb");

    const RunOutcome outcome = runTransfer(host);

    // A reply that starts with 0 is still a reply, of no text.
    EXPECT_EQ(host.receivedStore.text(), u"ab\r\n\r\n");
    EXPECT_EQ(outcome.replies, 2);
    expectProgress(2, 2, "finished");
}

TEST_F(TransferRun, shouldCollectLateReplyAsAnswerToNextLine)
{
    device.silent();
    host.timeOutMs = 50;
    host.sourceStore.setText(u"první\r\ndruhý");
    // The answer to the first line comes after its time-out passed.
    host.script[1] = [&] { device.send("pozdě\r\n"); };

    const RunOutcome outcome = runTransfer(host);

    EXPECT_EQ(host.receivedStore.text(), u"pozdě\r\n");
    EXPECT_EQ(host.events.log, (std::vector<std::string>{"started", "no reply 1", "finished"}));
    EXPECT_EQ(outcome.replies, 1);
    expectProgress(2, 1, "finished");
}

TEST_F(TransferRun, shouldSendCzechTextInWindows1250ByteExact)
{
    device.echo();
    host.page = namedCodePage("windows-1250");
    host.sourceStore.setText(u"Příliš žluťoučký kůň\r\n");

    runTransfer(host);

    expectDeviceReceived("\x50\xF8\xED\x6C\x69\x9A\x20\x9E\x6C\x75\x9D\x6F\x75\xE8\x6B\xFD"
                         "\x20\x6B\xF9\xF2\r\n");
    EXPECT_EQ(host.receivedStore.text(), u"Příliš žluťoučký kůň\r\n");
}

TEST_F(TransferRun, shouldSendBestFitOrQuestionMarkForCharactersTheCodePageLacks)
{
    device.replyWith("\x81ok");
    host.page = namedCodePage("windows-1250");
    host.sourceStore.setText(u"mañana \U0001F600 →");

    runTransfer(host);

    expectDeviceReceived("manana ? ?\r\n");
    EXPECT_EQ(host.receivedStore.text(), u"\uFFFDok\r\n");
}

TEST_F(TransferRun, shouldCutLongLineToOneRequestEndingWithCrLf)
{
    device.replyWith("OK");
    host.sourceStore.setText(std::u16string(2000, u'x') + u"\r\n" + u"a" +
                             std::u16string(2000, u'ř'));

    runTransfer(host);

    expectDeviceReceived(std::string(1022, 'x') + "\r\n" + "a" + [] {
        std::string twoByte;
        for (int i = 0; i < 510; ++i)
            twoByte += "ř";
        return twoByte;
    }() + "\r\n");
    EXPECT_EQ(host.receivedStore.text(), u"OK\r\nOK\r\n");
}

// --- Commands run by the pump mid-run --------------------------------------

TEST_F(TransferRun, shouldRunNestedRunCompletelyBeforeResuming)
{
    device.echo();
    host.sourceStore.setText(u"a\r\nb\r\nc");
    host.script[2] = [&] { runTransfer(host); };

    const RunOutcome outcome = runTransfer(host);

    expectDeviceReceived("a\r\nb\r\na\r\nb\r\nc\r\nc\r\n");
    EXPECT_EQ(host.receivedStore.text(), u"a\r\nb\r\na\r\nb\r\nc\r\nc\r\n");
    EXPECT_EQ(outcome.replies, 3);
    expectProgress(3, 3, "finished");
}

TEST_F(TransferRun, shouldStopOuterRunTooWhenEscStopsNestedRun)
{
    device.echo();
    host.sourceStore.setText(u"a\r\nb\r\nc");
    // Pump call 1 is the outer run's first exchange; the nested run's
    // exchanges are calls 2 and 3.
    host.script[1] = [&] { runTransfer(host); };
    host.script[3] = [&] { host.setStopRequested(true); };

    const RunOutcome outcome = runTransfer(host);

    expectDeviceReceived("a\r\na\r\nb\r\n");
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.linesSent, 1);
    expectProgress(2, 2, "stopped after 1");
}

TEST_F(TransferRun, shouldSendCrLfAloneForLinesPastEndOfClearedSourcePane)
{
    device.replyWith("OK");
    host.sourceStore.setText(u"a\r\nb\r\nc");
    host.script[1] = [&] { host.sourcePane().clear(); };

    runTransfer(host);

    expectDeviceReceived("a\r\n\r\n\r\n");
    expectProgress(3, 3, "finished");
}

TEST_F(TransferRun, shouldGoOnWithNextLineNumberOfReplacedSourcePaneBoundedByOldCount)
{
    device.replyWith("OK");
    host.sourceStore.setText(u"a\r\nb\r\nc");
    MemoryPane opened(u"w\r\nx\r\ny\r\nz");
    host.script[1] = [&] { host.source = &opened; };

    runTransfer(host);

    expectDeviceReceived("a\r\nx\r\ny\r\n");
}

TEST_F(TransferRun, shouldAppendLaterRepliesToClearedReceivedPane)
{
    device.echo();
    host.sourceStore.setText(u"a\r\nb\r\nc");
    host.script[2] = [&] { host.receivedPane().clear(); };

    runTransfer(host);

    EXPECT_EQ(host.receivedStore.text(), u"c\r\n");
    expectProgress(3, 3, "finished");
}

TEST_F(TransferRun, shouldRaceToEndWithoutBlockingWhenPortClosedMidRun)
{
    device.echo();
    host.endOfFile = true;
    host.timeOutMs = 2000;
    std::u16string lines;
    for (int i = 0; i < 50; ++i)
        lines += u"radek\r\n";
    host.sourceStore.setText(lines);
    host.script[2] = [&] { host.serialLink().ClosePort(); };

    const auto start = std::chrono::steady_clock::now();
    const RunOutcome outcome = runTransfer(host);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_LT(elapsed, 500ms);
    expectProgress(50, 2, "finished");
    EXPECT_EQ(outcome.linesSent, 2);
    EXPECT_EQ(host.pumpCalls, 2);
    EXPECT_FALSE(outcome.stopped);
    expectDeviceReceived("radek\r\nradek\r\n");
    EXPECT_FALSE(device.waitForBytes(15, 100ms));
}

TEST_F(TransferRun, shouldGoOnOnReopenedPortUnderRunningTransfer)
{
    device.echo();
    host.sourceStore.setText(u"a\r\nb\r\nc");
    host.script[1] = [&] {
        host.serialLink().ClosePort();
        host.serialLink().OpenPort(1, 19200);
    };

    const RunOutcome outcome = runTransfer(host);

    EXPECT_EQ(outcome.replies, 3);
    expectDeviceReceived("a\r\nb\r\nc\r\n");
}

TEST_F(TransferRun, shouldReadEndOfFileOptionAtTheEndOfTheRun)
{
    device.replyWith("OK");
    host.sourceStore.setText(u"a\r\nb");
    host.script[1] = [&] { host.endOfFile = true; };
    host.script[4] = [&] { host.endOfFile = false; };

    runTransfer(host);
    host.endOfFile = true;
    runTransfer(host);

    expectDeviceReceived(std::string("a\r\nb\r\n\0\r\na\r\nb\r\n", 15));
    EXPECT_FALSE(device.waitForBytes(16, 100ms));
}

// --- Requests --------------------------------------------------------------

TEST(EncodeRequest, shouldEndEveryRequestWithCrLf)
{
    const CodePage utf8 = namedCodePage("UTF-8");
    EXPECT_EQ(encodeRequest(utf8, u"", 1024), "\r\n");
    EXPECT_EQ(encodeRequest(utf8, u"AT", 1024), "AT\r\n");
    EXPECT_EQ(encodeRequest(utf8, std::u16string(1022, u'x'), 1024),
              std::string(1022, 'x') + "\r\n");
}

TEST(EncodeRequest, shouldCutSingleByteCodePageLineToMaxBytes)
{
    const CodePage cp1250 = namedCodePage("windows-1250");
    EXPECT_EQ(encodeRequest(cp1250, std::u16string(2000, u'š'), 1024),
              std::string(1022, '\x9A') + "\r\n");
    EXPECT_EQ(encodeRequest(cp1250, std::u16string(1023, u'x'), 1024),
              std::string(1022, 'x') + "\r\n");
}

TEST(EncodeRequest, shouldNeverSplitUtf8Character)
{
    const CodePage utf8 = namedCodePage("UTF-8");
    std::string expected;
    for (int i = 0; i < 255; ++i)
        expected += "\xF0\x9F\x98\x80"; // 1020 bytes; the next would need 4 more
    EXPECT_EQ(encodeRequest(utf8, u"x\U0001F600yyyy", 6), "x\r\n");
    std::u16string smileys;
    for (int i = 0; i < 300; ++i)
        smileys += u"\U0001F600";
    EXPECT_EQ(encodeRequest(utf8, smileys, 1024), expected + "\r\n");
    EXPECT_EQ(encodeRequest(utf8, u"ab€", 6), "ab\r\n");
}

TEST(EncodeRequest, shouldNeverSplitCharacterOfMultiByteCodePage)
{
    const CodePage gbk = namedCodePage("GBK");
    std::string expected = "a";
    for (int i = 0; i < 510; ++i)
        expected += "\xD6\xD0";
    EXPECT_EQ(encodeRequest(gbk, u"a" + std::u16string(600, u'中'), 1024), expected + "\r\n");
    EXPECT_EQ(encodeRequest(gbk, u"中中", 5), "\xD6\xD0\r\n");
}

} // namespace
