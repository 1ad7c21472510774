// What SendBytes puts on the line, and when it refuses.

#include "linkfixture.h"

#include <fcntl.h>
#include <pty.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace quorlink::serial::testing {
namespace {

using Clock = std::chrono::steady_clock;

class SendBytesRequests : public LinkTest
{
protected:
    void SetUp() override
    {
        device.silent();
        openPort();
    }
};

TEST_F(SendBytesRequests, shouldSendRequestByteExact)
{
    std::string request("MEAS:VOLT?\r\n", 12);
    request += std::string("\0\xff\x9a\r\x11\x13\n", 7); // raw bytes, no translation
    ASSERT_TRUE(send(request));
    ASSERT_TRUE(device.waitForBytes(request.size(), 1s));
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(device.received(), request);
}

TEST_F(SendBytesRequests, shouldCutLongRequestToFirst1024Bytes)
{
    std::string request;
    for (int i = 0; i < 1030; ++i)
        request += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(send(request));
    ASSERT_TRUE(device.waitForBytes(1024, 1s));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(device.received(), request.substr(0, 1024));
}

TEST_F(SendBytesRequests, shouldAcceptEmptyRequestAndSendNothing)
{
    EXPECT_TRUE(link.SendBytes(nullptr, 0));
    EXPECT_TRUE(send(""));
    ASSERT_TRUE(send("Z"));
    ASSERT_TRUE(device.waitForBytes(1, 1s));
    EXPECT_EQ(device.received(), "Z");
}

TEST_F(SendBytesRequests, shouldRefuseWithoutOpenPort)
{
    link.ClosePort();
    EXPECT_FALSE(send("X\r\n"));
    EXPECT_FALSE(device.waitForBytes(1, 50ms));
}

TEST_F(SendBytesRequests, shouldRefuseAtOnceWhenDeviceHasGone)
{
    device.closeMaster();
    const auto start = Clock::now();
    EXPECT_FALSE(send("X\r\n"));
    EXPECT_FALSE(link.hCom().isUsable());
    EXPECT_LT(Clock::now() - start, 50ms);
    EXPECT_TRUE(link.isOpen()); // still held until the next OpenPort
}

TEST_F(SendBytesRequests, shouldWaitOutReplyTimeoutQuietlyWhenDeviceHasGone)
{
    device.closeMaster();
    std::string reply;
    const auto start = Clock::now();
    EXPECT_EQ(link.ReadReply(reply, 80), 0u);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 80ms);
    EXPECT_LT(waited, 200ms);
}

// A pseudo-terminal whose master end the test holds: `name` is the device.
class SerialPortWrite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
    }
    void TearDown() override
    {
        for (const int fd : {master, slave}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    int master = -1;
    int slave = -1;
    char name[128] = {};
};

TEST_F(SerialPortWrite, shouldStopWriteAtWriteTimeoutWhenOutputCannotLeave)
{
    // A pty whose master nobody reads: once its buffers are full, a write
    // of 10 bytes ends after 100 ms + 5 ms per byte with what fitted.
    SerialPort port;
    ASSERT_TRUE(port.open(name, 115200)) << port.errorString();
    const std::uint8_t chunk[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    Clock::duration cutShort{};
    std::size_t written = 10;
    for (int i = 0; i < 100000 && written == 10; ++i) {
        const auto start = Clock::now();
        written = port.write(chunk, sizeof chunk);
        cutShort = Clock::now() - start;
    }
    EXPECT_LT(written, 10u);
    EXPECT_GE(cutShort, 150ms);
    EXPECT_LT(cutShort, 400ms);
    port.close();
}

// A send finds a device that has gone by its write alone: only a hang-up
// counts, never a device that merely takes nothing for a while.
TEST_F(SerialPortWrite, shouldRefuseASendOnlyWhenTheDeviceHasGone)
{
    SerialPort port;
    ASSERT_TRUE(port.open(name, 115200)) << port.errorString();
    const std::uint8_t request[] = {'A', '\r', '\n'};
    // Nobody reads: the buffers fill, and a send that fits nothing more is
    // still a send to a device that is there.
    while (port.write(request, 1) == 1) {
    }
    EXPECT_TRUE(port.send(request, sizeof request));
    EXPECT_TRUE(port.isUsable());
    // Gone: refused at once, nothing sent, and the port says so from now on.
    ::close(std::exchange(master, -1));
    const auto start = Clock::now();
    EXPECT_FALSE(port.send(request, sizeof request));
    EXPECT_LT(Clock::now() - start, 50ms);
    EXPECT_FALSE(port.isUsable());
    EXPECT_FALSE(port.send(request, sizeof request));
    EXPECT_FALSE(port.send(request, 0));
    port.close();
}

TEST_F(SerialPortWrite, shouldGiveALongRequestItsTimeOnTheLineAtLowSpeed)
{
    // At 300 Bd 40 bytes need 1.33 s on the line, far more than 100 ms + 5 ms
    // per byte.  A pty whose buffers are full stands for the slow line: its
    // reader takes everything after 600 ms, and the write must still be
    // going on then.  At 9600 Bd the same write gives up after 300 ms.
    const std::uint8_t request[40] = {};
    for (const auto& [baud, whole] : {std::pair{300u, true}, std::pair{9600u, false}}) {
        SCOPED_TRACE(baud);
        SerialPort port;
        ASSERT_TRUE(port.open(name, baud)) << port.errorString();
        while (port.write(request, 1) == 1) {
        }
        std::thread reader([&] {
            std::this_thread::sleep_for(600ms);
            std::uint8_t sink[4096];
            while (::read(master, sink, sizeof sink) == static_cast<ssize_t>(sizeof sink)) {
            }
        });
        const auto start = Clock::now();
        const std::size_t written = port.write(request, sizeof request);
        const auto took = Clock::now() - start;
        reader.join();
        if (whole) {
            EXPECT_EQ(written, sizeof request);
            EXPECT_GE(took, 550ms);
        } else {
            EXPECT_LT(written, sizeof request);
            EXPECT_LT(took, 550ms);
        }
        port.close();
        // Whatever is left belongs to this round.
        std::uint8_t sink[4096];
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        while (::read(master, sink, sizeof sink) > 0) {
        }
        ::fcntl(master, F_SETFL, 0);
    }
}

} // namespace
} // namespace quorlink::serial::testing
