// How ReadReply cuts replies out of what a device sends over a real pty.

#include "linkfixture.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>
#include <unistd.h>

namespace quorlink::serial::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> oneBytePerWrite(std::string_view bytes)
{
    std::vector<std::string> parts;
    for (const char c : bytes)
        parts.emplace_back(1, c);
    return parts;
}

class ReadReplyFraming : public LinkTest
{
protected:
    void SetUp() override { openPort(); }
};

TEST_F(ReadReplyFraming, shouldAssembleReplyDeliveredOneBytePerWrite)
{
    device.setWriteGap(3ms);
    device.respond([](const std::string&) { return oneBytePerWrite("OK\r\n"); });
    std::string reply;
    ASSERT_TRUE(send("X\r\n"));
    EXPECT_EQ(link.ReadReply(reply, 200), 2u);
    EXPECT_EQ(reply, "OK");
}

TEST_F(ReadReplyFraming, shouldRecogniseCrAndLfArrivingInSeparateWrites)
{
    device.setWriteGap(20ms);
    device.respond([](const std::string&) { return std::vector<std::string>{"ABC\r", "\n"}; });
    EXPECT_EQ(exchange("X\r\n"), "ABC");
}

TEST_F(ReadReplyFraming, shouldReturnZeroForReplyOfOnlyCrLf)
{
    device.replyWith("");
    std::string reply = "stale";
    ASSERT_TRUE(send("X\r\n"));
    EXPECT_EQ(link.ReadReply(reply, 200), 0u);
    EXPECT_EQ(reply, "");
    // The empty reply was consumed: the next exchange gets its own.
    device.replyWith("NEXT");
    EXPECT_EQ(exchange("Y\r\n"), "NEXT");
}

TEST_F(ReadReplyFraming, shouldKeepLoneCrAndLoneLfAsReplyData)
{
    device.respond([](const std::string&) {
        return std::vector<std::string>{std::string("A\rB\nC\n\rD\r\n")};
    });
    EXPECT_EQ(exchange("X\r\n"), "A\rB\nC\n\rD");
}

TEST_F(ReadReplyFraming, shouldKeepSecondReplyOfOneWriteForNextCall)
{
    device.respond([](const std::string&) { return std::vector<std::string>{"FIRST\r\nSEC"}; });
    EXPECT_EQ(exchange("X\r\n"), "FIRST");
    device.send("OND\r\n");
    std::string reply;
    EXPECT_EQ(link.ReadReply(reply, 200), 6u);
    EXPECT_EQ(reply, "SECOND");
}

TEST_F(ReadReplyFraming, shouldReturnHeldReplyAtOnceWithoutWaiting)
{
    device.respond([](const std::string&) { return std::vector<std::string>{"A\r\nB\r\n"}; });
    EXPECT_EQ(exchange("X\r\n"), "A");
    std::string reply;
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadReply(reply, 1000), 1u);
    EXPECT_LT(Clock::now() - start, 50ms);
    EXPECT_EQ(reply, "B");
}

TEST_F(ReadReplyFraming, shouldReadLateReplyAtNextExchange)
{
    device.setDelay(60ms);
    device.echo();
    std::string reply;
    ASSERT_TRUE(send("one\r\n"));
    EXPECT_EQ(link.ReadReply(reply, 5), 0u);
    ASSERT_TRUE(device.waitUntilWritten(1s));
    ASSERT_TRUE(send("two\r\n"));
    EXPECT_EQ(link.ReadReply(reply, 500), 3u);
    EXPECT_EQ(reply, "one");
    EXPECT_EQ(link.ReadReply(reply, 500), 3u);
    EXPECT_EQ(reply, "two");
}

TEST_F(ReadReplyFraming, shouldReturnAtOnceWithoutReadingWhenTimeoutIsZero)
{
    ASSERT_TRUE(send("X\r\n"));
    ASSERT_TRUE(device.waitUntilWritten(1s));
    std::this_thread::sleep_for(20ms);
    std::string reply;
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadReply(reply, 0), 0u);
    EXPECT_EQ(link.ReadReply(reply, -5), 0u);
    EXPECT_LT(Clock::now() - start, 20ms);
    // Nothing was taken from the port: the answer is still there.
    EXPECT_EQ(link.ReadReply(reply, 200), 2u);
    EXPECT_EQ(reply, "OK");
}

TEST_F(ReadReplyFraming, shouldDropPartialReplyWhenSilenceOutlastsTimeout)
{
    device.silent();
    device.send("PART");
    ASSERT_TRUE(device.waitUntilWritten(1s));
    std::string reply;
    EXPECT_EQ(link.ReadReply(reply, 50), 0u);
    device.send("WHOLE\r\n");
    EXPECT_EQ(link.ReadReply(reply, 200), 5u);
    EXPECT_EQ(reply, "WHOLE");
}

TEST_F(ReadReplyFraming, shouldRestartSilenceWindowWithEveryByte)
{
    // 12 bytes 10 ms apart take 110 ms; the time-out is 100 ms.
    device.setWriteGap(10ms);
    device.respond([](const std::string&) { return oneBytePerWrite("SLOW-REPLY\r\n"); });
    std::string reply;
    ASSERT_TRUE(send("X\r\n"));
    EXPECT_EQ(link.ReadReply(reply, 100), 10u);
    EXPECT_EQ(reply, "SLOW-REPLY");
}

TEST_F(ReadReplyFraming, shouldEndEndlessReplyAtGuardAndKeepTheRest)
{
    device.silent();
    device.send(std::string(70000, 'x'));
    std::string reply;
    EXPECT_EQ(link.ReadReply(reply, 500), 65536u);
    EXPECT_EQ(reply, std::string(65536, 'x'));
    device.send("END\r\n");
    EXPECT_EQ(link.ReadReply(reply, 500), 70000u - 65536u + 3u);
    EXPECT_EQ(reply, std::string(70000 - 65536, 'x') + "END");
}

TEST_F(ReadReplyFraming, shouldKeepNulAndFfBytesOfReply)
{
    const std::string bytes("\0A\xff\0\x11\x13", 6);
    device.respond([&](const std::string&) { return std::vector<std::string>{bytes + "\r\n"}; });
    EXPECT_EQ(exchange("X\r\n"), bytes);
}

TEST_F(ReadReplyFraming, shouldSeeReplyWellWithinAMillisecondOfItsLf)
{
    // The reply is written straight into the master by another thread; the
    // delay runs from that write to ReadReply's return.
    device.silent();
    std::vector<Clock::duration> delays;
    for (int i = 0; i < 50; ++i) {
        std::atomic<Clock::time_point> written{};
        std::thread writer([&] {
            std::this_thread::sleep_for(2ms);
            written = Clock::now();
            ASSERT_EQ(::write(device.masterFd(), "R\r\n", 3), 3);
        });
        std::string reply;
        const std::size_t length = link.ReadReply(reply, 500);
        const auto returned = Clock::now();
        writer.join();
        ASSERT_EQ(length, 1u);
        delays.push_back(returned - written.load());
    }
    std::sort(delays.begin(), delays.end());
    const auto us = [](Clock::duration d) {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    };
    std::printf("reply latency: median %lld us, 90%% %lld us, max %lld us\n",
                static_cast<long long>(us(delays[25])), static_cast<long long>(us(delays[45])),
                static_cast<long long>(us(delays.back())));
    EXPECT_LT(delays[25], 1ms);
}

// What the window looks at before a wait: whether a reply is coming, without
// taking any of it; the reply then reads whole, however it arrives.
TEST_F(ReadReplyFraming, shouldTellArrivingInputWithoutTakingIt)
{
    device.silent();
    EXPECT_FALSE(link.hCom().inputArrives(0us));
    const auto start = Clock::now();
    EXPECT_FALSE(link.hCom().inputArrives(2000us));
    EXPECT_GE(Clock::now() - start, 2ms);

    std::thread writer([&] {
        std::this_thread::sleep_for(5ms);
        ASSERT_EQ(::write(device.masterFd(), "AB", 2), 2);
    });
    EXPECT_TRUE(link.hCom().inputArrives(2s));
    writer.join();
    EXPECT_TRUE(link.hCom().inputArrives(0us)); // still there
    ASSERT_EQ(::write(device.masterFd(), "C\r\n", 3), 3);
    std::string reply;
    EXPECT_EQ(link.ReadReply(reply, 200), 3u);
    EXPECT_EQ(reply, "ABC");
    // Seen, then gone before the read: the read waits as usual.
    ASSERT_EQ(::write(device.masterFd(), "X", 1), 1);
    EXPECT_TRUE(link.hCom().inputArrives(1s));
    link.hCom().purgeInput();
    EXPECT_EQ(link.ReadReply(reply, 50), 0u);
}

TEST_F(ReadReplyFraming, shouldUseNearlyNoCpuWhileDeviceIsSilent)
{
    // The thread's CPU clock counts exactly what this thread ran;
    // getrusage() splits it by tick samples and jumps by whole ticks.
    const auto cpuNow = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    device.silent();
    std::string reply;
    const auto cpuBefore = cpuNow();
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadReply(reply, 300), 0u);
    const auto waited = Clock::now() - start;
    const auto cpu = std::chrono::duration_cast<std::chrono::microseconds>(cpuNow() - cpuBefore);
    std::printf("cpu time over a 300 ms silence: %lld us\n", static_cast<long long>(cpu.count()));
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 400ms);
    EXPECT_LT(cpu, 3ms);
}

TEST_F(ReadReplyFraming, shouldWaitOutTimeoutWithoutPortOpen)
{
    link.ClosePort();
    std::string reply;
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadReply(reply, 30), 0u);
    EXPECT_GE(Clock::now() - start, 30ms);
}

} // namespace
} // namespace quorlink::serial::testing
