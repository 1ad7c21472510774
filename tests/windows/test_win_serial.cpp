// The Win32 serial port against the scripted device on COM1
// (tests/windows/comdevice.cpp).  Under Wine, COM1 is a pseudo-terminal.

#include "serial/seriallink.h"
#include "transfer/codepage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace quorlink::serial;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RecordingView : public OpenFailureView
{
public:
    void showOpenFailure() override { ++failures; }

    int failures = 0;
};

HANDLE handleOf(SerialPort& port)
{
    return reinterpret_cast<HANDLE>(port.nativeHandle());
}

std::uint64_t processCpuMs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10'000;
}

bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Com1 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(link.OpenPort(1, 9600)) << "no device on COM1: " << link.hCom().errorString();
        // Starts the device's record of received bytes afresh.
        exchange("HEX");
    }

    bool send(const std::string& bytes)
    {
        return link.SendBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }

    std::string reply(std::int32_t timeoutMs = 2000)
    {
        std::string text;
        const std::size_t length = link.ReadReply(text, timeoutMs);
        EXPECT_EQ(length, text.size());
        return text;
    }

    std::string exchange(const std::string& request, std::int32_t timeoutMs = 2000)
    {
        EXPECT_TRUE(send(request + "\r\n"));
        return reply(timeoutMs);
    }

    // What the device received since the previous call, as hex digits.
    std::string receivedHex() { return exchange("HEX"); }

    RecordingView view;
    SerialLink link{view};
};

TEST(PortNames, shouldOpenComPortsThroughTheDevicePrefix)
{
    EXPECT_EQ(PortTable::defaultDevicePath(1), "\\\\.\\COM1");
    EXPECT_EQ(PortTable::defaultDevicePath(16), "\\\\.\\COM16");
    PortTable table;
    EXPECT_EQ(table.devicePath(3), "\\\\.\\COM3");
    EXPECT_FALSE(table.devicePath(0).has_value());
}

TEST(OpenFailure, shouldFailOnUnmappedCom9AsAMissingDevice)
{
    RecordingView view;
    SerialLink link(view);
    EXPECT_FALSE(link.OpenPort(9, 9600));
    EXPECT_EQ(view.failures, 1);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link.hCom().nativeHandle(), -1);

    SerialPort port;
    EXPECT_FALSE(port.open("\\\\.\\COM9", 9600));
    EXPECT_EQ(port.error().kind, PortErrorKind::DeviceNotFound) << port.error().systemError;
    EXPECT_EQ(port.error().step, OpenStep::Opening);
    // The system's own words, without the period and line end it ends with.
    EXPECT_FALSE(port.errorString().empty());
    EXPECT_NE(port.errorString().back(), '\n');
}

TEST(OpenFailure, shouldReleaseADeviceThatIsNoSerialPort)
{
    char folder[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
    const std::string path = std::string(folder) + "quorlink-not-a-port.txt";
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    SerialPort port;
    EXPECT_FALSE(port.open(path, 9600));
    EXPECT_EQ(port.error().kind, PortErrorKind::NotASerialPort) << port.error().systemError;
    EXPECT_EQ(port.error().step, OpenStep::ReadingTimeouts);
    EXPECT_FALSE(port.isOpen());
    // Nobody holds the file any more: an exclusive open succeeds.
    const HANDLE again = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    if (again != INVALID_HANDLE_VALUE)
        CloseHandle(again);
    DeleteFileA(path.c_str());
}

TEST(OpenFailure, shouldFailForSpeedOutsideTheTableAndForPortZero)
{
    RecordingView view;
    SerialLink link(view);
    EXPECT_FALSE(link.OpenPort(1, 0));
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::UnsupportedSetting);
    EXPECT_FALSE(link.OpenPort(0, 9600));
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::DeviceNotFound)
        << link.hCom().error().systemError;
    EXPECT_EQ(view.failures, 2);
    EXPECT_FALSE(link.isOpen());
}

TEST(OpenFailure, shouldNotSendOrReadOnAClosedPort)
{
    RecordingView view;
    SerialLink link(view);
    const std::uint8_t bytes[] = {'P', 'I', 'N', 'G', '\r', '\n'};
    EXPECT_FALSE(link.SendBytes(bytes, sizeof bytes));

    SerialPort port;
    EXPECT_FALSE(port.isUsable());
    EXPECT_EQ(port.write(bytes, sizeof bytes), 0u);
    std::uint8_t buffer[16];
    const auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, 100ms), 0u);
    EXPECT_GE(Clock::now() - start, 80ms);
}

TEST_F(Com1, shouldReportTheOpenPort)
{
    EXPECT_EQ(view.failures, 0);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::NoError);
    EXPECT_TRUE(link.hCom().isUsable());
    EXPECT_EQ(link.hCom().baudRate(), 9600u);
}

TEST_F(Com1, shouldInstallPollingTimeouts)
{
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(handleOf(link.hCom()), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 1u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 5u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);

    // Below 2400 Bd a byte needs more than 5 ms on the line (33.3 ms at 300).
    for (const auto& [baud, perByte] : {std::pair{300u, 34u}, {1800u, 6u}, {2400u, 5u}}) {
        ASSERT_TRUE(link.OpenPort(1, baud));
        ASSERT_TRUE(GetCommTimeouts(handleOf(link.hCom()), &timeouts));
        EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, perByte) << baud;
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
    }
}

TEST_F(Com1, shouldApplySpeedAndFraming)
{
    ASSERT_TRUE(link.OpenPort(1, 19200));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(handleOf(link.hCom()), &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);

    // Windows takes RTS_CONTROL_TOGGLE; Wine refuses it with exactly this
    // error, and the port works on (the exchanges below).
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    SetLastError(0);
    const BOOL applied = SetCommState(handleOf(link.hCom()), &dcb);
    if (!applied) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
        return;
    }
    ASSERT_TRUE(GetCommState(handleOf(link.hCom()), &dcb));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
}

// The line settings the device sees after a careless program left the line
// with 7 bits, parity, hardware and XON/XOFF flow control and processing.
// Disabled: under Wine, SetCommState refuses RTS_CONTROL_TOGGLE before it
// gets to the flow control, so crtscts, ixon and ixoff stay on.
TEST_F(Com1, DISABLED_shouldClearWhatAnotherProgramLeftOnTheLine)
{
    EXPECT_EQ(exchange("DIRTY"), "dirty");
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(link.OpenPort(1, 9600));
    const std::string line = exchange("TTY");
    EXPECT_EQ(exchange("RAW"), "raw");
    EXPECT_EQ(line, "9600 cs8 -parenb -cstopb -crtscts -ixon -ixoff -icrnl -opost -icanon -echo");
}

TEST_F(Com1, shouldHoldThePortExclusivelyUntilClosed)
{
    SerialPort second;
    // Wine does not apply share modes to serial devices; Windows refuses a
    // second open of a port opened with share mode 0.
    if (!runningUnderWine()) {
        EXPECT_FALSE(second.open("\\\\.\\COM1", 9600));
        EXPECT_EQ(second.error().kind, PortErrorKind::InUse);
    }
    link.ClosePort();
    EXPECT_TRUE(second.open("\\\\.\\COM1", 9600)) << second.errorString();
}

TEST_F(Com1, shouldDropInputThatArrivedBeforeTheOpen)
{
    ASSERT_TRUE(send("ECHO:stale\r\n"));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(link.OpenPort(1, 9600));
    EXPECT_EQ(exchange("PING"), "PONG");
}

TEST_F(Com1, shouldSendRequestBytesExactly)
{
    const std::string request("A\x00\x11\x13\xFF\x8A\xE8 \r-\n", 11);
    EXPECT_EQ(exchange(request), "?");
    EXPECT_EQ(receivedHex(), "41001113FF8AE8200D2D0A0D0A");
}

TEST_F(Com1, shouldCutRequestsAt1024Bytes)
{
    std::string request(1028, 'x');
    request += "\r\n";
    ASSERT_TRUE(send(request));
    // The cut request lost its CR LF; this one ends its line.
    EXPECT_EQ(exchange(""), "?");
    std::string expected;
    for (int i = 0; i < 1024; ++i)
        expected += "78";
    expected += "0D0A";
    EXPECT_EQ(receivedHex(), expected);
}

TEST_F(Com1, shouldSendTrailerAndEmptyWritesAsGiven)
{
    EXPECT_TRUE(link.SendBytes(nullptr, 0));
    EXPECT_EQ(exchange(std::string(1, '\0')), "?");
    EXPECT_EQ(receivedHex(), "000D0A");
}

TEST_F(Com1, shouldFrameRepliesOnCrLf)
{
    EXPECT_EQ(exchange("PING"), "PONG");
    // CR at the end of one read, LF at the start of the next.
    EXPECT_EQ(exchange("SPLIT"), "AB");
    EXPECT_EQ(exchange("LONE"), "a\rb\nc");
    // Only CR LF: an empty reply, counted like no reply.
    EXPECT_EQ(exchange("EMPTY"), "");
    EXPECT_EQ(exchange("BIN"), std::string("\x00\xFF\xFE\x11\x13\x1A\x7F\x80", 8));
}

TEST_F(Com1, shouldKeepTheSecondReplyOfOneRead)
{
    EXPECT_EQ(exchange("TWO"), "first");
    EXPECT_EQ(reply(), "second");
    EXPECT_EQ(exchange("PING"), "PONG");
}

TEST_F(Com1, shouldKeepLongRepliesWholeUpToTheGuard)
{
    EXPECT_EQ(exchange("LONG:5000"), std::string(5000, 'L'));
    // 65,536 bytes end a reply without CR LF; the rest is the next one.
    EXPECT_EQ(exchange("LONG:70000"), std::string(65536, 'L'));
    EXPECT_EQ(reply(), std::string(70000 - 65536, 'L'));
}

TEST_F(Com1, shouldKeepTheReplyOpenWhileBytesKeepComing)
{
    // 20 bytes 30 ms apart take 630 ms, far beyond the 150 ms of silence
    // allowed, yet no gap is that long.
    EXPECT_EQ(exchange("DRIP:20:30", 150), std::string(20, 'd'));
}

TEST_F(Com1, shouldGiveUpAfterSilenceAndDropThePartialReply)
{
    const std::uint64_t cpuBefore = processCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(exchange("PART", 400), "");
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 380ms);
    EXPECT_LT(elapsed, 1200ms);
    // Polling with 1 ms reads waits in the driver; it does not burn a core.
    EXPECT_LT(processCpuMs() - cpuBefore, 100u);
    EXPECT_EQ(exchange("PING"), "PONG");
}

TEST_F(Com1, shouldReadAMissedReplyInTheNextExchange)
{
    EXPECT_EQ(exchange("LATE:300", 100), "");
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(reply(100), "late");
}

TEST_F(Com1, shouldReturnAtOnceForZeroTimeout)
{
    ASSERT_TRUE(send("PING\r\n"));
    const auto start = Clock::now();
    std::string text;
    EXPECT_EQ(link.ReadReply(text, 0), 0u);
    EXPECT_LT(Clock::now() - start, 50ms);
    EXPECT_EQ(reply(), "PONG");
}

TEST_F(Com1, shouldTakeWhatIsThereWithoutWaiting)
{
    ASSERT_TRUE(send("PING\r\n"));
    std::this_thread::sleep_for(200ms);
    std::uint8_t buffer[64];
    EXPECT_EQ(link.hCom().read(buffer, sizeof buffer, 0ms), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), "PONG\r\n");

    const auto start = Clock::now();
    EXPECT_EQ(link.hCom().read(buffer, sizeof buffer, 150ms), 0u);
    EXPECT_GE(Clock::now() - start, 130ms);
}

TEST_F(Com1, shouldNotSpinOnAHandleThatFails)
{
    SerialPort port;
    link.ClosePort();
    ASSERT_TRUE(port.open("\\\\.\\COM1", 9600)) << port.errorString();
    // The handle dies under the port, as when a driver goes away.
    CloseHandle(handleOf(port));
    std::uint8_t buffer[16];
    const std::uint64_t cpuBefore = processCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, 500ms), 0u);
    EXPECT_GE(Clock::now() - start, 480ms);
    // Measured under Wine: about 25 ms with the 1 ms sleep after a failed
    // read, 150 ms without it (and as much again in the Wine server).
    EXPECT_LT(processCpuMs() - cpuBefore, 100u);
    EXPECT_FALSE(port.isUsable());
}

TEST_F(Com1, shouldCarryWindows1250TextOverTheWire)
{
    const auto codePage = quorlink::transfer::CodePage::named("windows-1250");
    ASSERT_TRUE(codePage.has_value());
    const std::string bytes = codePage->fromUnicode(u"Příliš žluťoučký kůň úpěl ďábelské ódy");
    EXPECT_EQ(codePage->toUnicode(exchange("ECHO:" + bytes)),
              u"Příliš žluťoučký kůň úpěl ďábelské ódy");
    EXPECT_EQ(receivedHex(), "4543484F3A"
                             "50F8ED6C699A209E6C759D6F75E86BFD206BF9F220FA70EC6C20EFE162656C736BE9"
                             "20F36479"
                             "0D0A");
}

} // namespace
