// The reply framing on its own: boundaries that a pty cannot hit on cue.

#include "serial/replyframer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace quorlink::serial {
namespace {

void feed(ReplyFramer& framer, std::string_view bytes)
{
    framer.append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> takeAll(ReplyFramer& framer)
{
    std::vector<std::string> replies;
    while (auto reply = framer.takeReply())
        replies.push_back(*reply);
    return replies;
}

TEST(ReplyFramerSplitting, shouldFindCrLfSplitAcrossAppends)
{
    ReplyFramer framer;
    feed(framer, "AB\r");
    EXPECT_EQ(framer.takeReply(), std::nullopt);
    feed(framer, "\nC");
    EXPECT_EQ(framer.takeReply(), "AB");
    EXPECT_EQ(framer.pending(), "C");
}

TEST(ReplyFramerSplitting, shouldNotPairLfWithCrOfPreviousReply)
{
    ReplyFramer framer;
    feed(framer, "A\r\n\nB\r\r\n");
    EXPECT_EQ(takeAll(framer), (std::vector<std::string>{"A", "\nB\r"}));
    EXPECT_EQ(framer.pendingBytes(), 0u);
}

TEST(ReplyFramerSplitting, shouldGiveManySmallRepliesInOrderFromOneAppend)
{
    ReplyFramer framer;
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 5000; ++i) {
        expected.push_back(std::to_string(i));
        bytes += expected.back() + "\r\n";
    }
    feed(framer, bytes + "tail");
    EXPECT_EQ(takeAll(framer), expected);
    EXPECT_EQ(framer.pending(), "tail");
}

TEST(ReplyFramerSplitting, shouldDropEverythingOnClear)
{
    ReplyFramer framer;
    feed(framer, "A\r\nB\r\nhalf");
    framer.clear();
    EXPECT_EQ(framer.takeReply(), std::nullopt);
    EXPECT_EQ(framer.pendingBytes(), 0u);
    feed(framer, "\r\n");
    EXPECT_EQ(framer.takeReply(), "");
}

TEST(ReplyFramerGuard, shouldAcceptLongestReplyThatEndsWithCrLf)
{
    ReplyFramer framer;
    feed(framer, std::string(65534, 'a') + "\r\nz");
    EXPECT_EQ(framer.takeReply(), std::string(65534, 'a'));
    EXPECT_EQ(framer.pending(), "z");
}

TEST(ReplyFramerGuard, shouldCutReplyWithoutCrLfAt65536Bytes)
{
    ReplyFramer framer;
    feed(framer, std::string(65535, 'b'));
    EXPECT_EQ(framer.takeReply(), std::nullopt);
    feed(framer, "cd");
    EXPECT_EQ(framer.takeReply(), std::string(65535, 'b') + "c");
    EXPECT_EQ(framer.pending(), "d");
}

TEST(ReplyFramerGuard, shouldCutBeforeCrLfThatWouldEndBeyondGuard)
{
    // 65535 bytes and CR fill the guard; the LF after them is the first byte
    // of the next reply.
    ReplyFramer framer;
    feed(framer, std::string(65535, 'e') + "\r\nX\r\n");
    EXPECT_EQ(framer.takeReply(), std::string(65535, 'e') + "\r");
    EXPECT_EQ(framer.takeReply(), "\nX");
}

} // namespace
} // namespace quorlink::serial
