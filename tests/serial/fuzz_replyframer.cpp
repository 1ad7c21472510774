// libFuzzer target: the reply framing never loses, invents or reorders a
// byte, whatever the bytes and however they are cut into reads.
//
// Input layout: byte 0 selects the mode (bits 0 and 1 set: a long run of one
// byte is put into the payload, so that replies reach the 65,536-byte
// guard), bytes 1..8 seed the chunking, the rest is the payload.  Replies are checked against a
// byte-by-byte model and, re-joined with their CR LF (none after a reply cut by the guard), plus
// the bytes still held, must give back the payload.

#include "serial/replyframer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using quorlink::serial::ReplyFramer;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The framing rule stated byte by byte: a reply ends at the first CR LF, or
// when it holds MaxReplyBytes bytes without one.  Kept out of the coverage
// feedback: it is the yardstick, and per-byte tracing would make it the
// slowest part of every run.
__attribute__((no_sanitize("coverage"))) std::vector<std::string>
modelReplies(const std::string& input, std::string& leftover)
{
    std::vector<std::string> replies;
    const char* const bytes = input.data();
    const char* start = bytes;
    const char* const end = bytes + input.size();
    for (const char* p = bytes; p != end; ++p) {
        const std::size_t n = static_cast<std::size_t>(p - start) + 1; // bytes of this reply
        if (n >= 2 && p[-1] == '\r' && p[0] == '\n') {
            replies.emplace_back(start, n - 2);
            start = p + 1;
        } else if (n == ReplyFramer::MaxReplyBytes) {
            replies.emplace_back(start, n);
            start = p + 1;
        }
    }
    leftover.assign(start, end);
    return replies;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9)
        return 0;
    const std::uint8_t mode = data[0];
    std::uint64_t seed = 0;
    std::memcpy(&seed, data + 1, sizeof seed);
    std::string input(reinterpret_cast<const char*>(data + 9), size - 9);
    if ((mode & 3) == 3) {
        // A long run of one byte somewhere in the payload, so that replies
        // reach the guard and its boundaries meet CR and LF in every order.
        const std::size_t length =
            (mode & 4) ? ReplyFramer::MaxReplyBytes - 4 + seed % 8 : 1 + seed % 70000;
        const char filler = static_cast<char>((mode & 8) ? 'x' : mode >> 4);
        input.insert(static_cast<std::size_t>(seed % (input.size() + 1)), length, filler);
    }
    std::string expectedLeftover;
    const std::vector<std::string> expected = modelReplies(input, expectedLeftover);

    ReplyFramer framer;
    std::vector<std::string> replies;
    std::size_t pos = 0;
    while (pos < input.size()) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        // Mostly short reads, now and then a large one.
        const std::size_t limit = (seed >> 60) == 0 ? 70000 : 1 + ((seed >> 33) % 64);
        const std::size_t chunk =
            std::min<std::size_t>(1 + (seed >> 40) % limit, input.size() - pos);
        framer.append(reinterpret_cast<const std::uint8_t*>(input.data() + pos), chunk);
        pos += chunk;
        // Sometimes take every reply at once, sometimes only one per read.
        while (auto reply = framer.takeReply()) {
            replies.push_back(std::move(*reply));
            if (seed & 1)
                break;
        }
    }
    while (auto reply = framer.takeReply())
        replies.push_back(std::move(*reply));

    check(replies == expected);
    check(framer.pending() == expectedLeftover);
    check(framer.pendingBytes() == expectedLeftover.size());

    std::string joined;
    for (const std::string& reply : replies) {
        check(reply.size() <= ReplyFramer::MaxReplyBytes);
        joined += reply;
        if (reply.size() < ReplyFramer::MaxReplyBytes)
            joined += "\r\n";
    }
    joined += framer.pending();
    check(joined == input);
    return 0;
}
