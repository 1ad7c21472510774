// Port set-up: what OpenPort leaves behind, and every way it fails.

#include "linkfixture.h"
#include "serial/baudrates.h"
#include "serial/linespeed_linux.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quorlink::serial::testing {
namespace {

termios settingsOf(SerialLink& link)
{
    termios tio{};
    EXPECT_EQ(::tcgetattr(static_cast<int>(link.hCom().nativeHandle()), &tio), 0);
    return tio;
}

class OpenPortSettings : public LinkTest
{
protected:
    // Leaves the terminal in the state a previous program may have left.
    void dirtyTerminal()
    {
        const int fd = ::open(device.path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        tio.c_iflag |=
            IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
        tio.c_oflag |= OPOST | ONLCR;
        tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        tio.c_cflag |= CSTOPB | CRTSCTS;
        tio.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 5;
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
        ::close(fd);
    }
};

TEST_F(OpenPortSettings, shouldLeaveRaw8N1WithoutFlowControlOrProcessing)
{
    dirtyTerminal();
    openPort(19200);
    const termios tio = settingsOf(link);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(tio.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                             IXOFF | IXANY),
              0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

// The speed stays on the port after it closes.  The next program that reads
// it with the classic calls (stty, Wine) finds the Bnnn code of a speed that
// has one; the others stay exact.
TEST_F(OpenPortSettings, shouldSetEachOfTheSeventeenSpeedsExactly)
{
    const std::map<std::uint32_t, speed_t> classic = {
        {300, B300},     {600, B600},     {1200, B1200},    {1800, B1800},
        {2400, B2400},   {4800, B4800},   {9600, B9600},    {19200, B19200},
        {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const std::uint32_t baud :
         {300u, 600u, 900u, 1200u, 1800u, 2400u, 3600u, 4800u, 7200u, 9600u, 14400u, 19200u, 28800u,
          38400u, 57600u, 76800u, 115200u}) {
        SCOPED_TRACE(baud);
        openPort(baud);
        const auto speeds = linespeed::readSpeeds(static_cast<int>(link.hCom().nativeHandle()));
        ASSERT_TRUE(speeds.has_value());
        EXPECT_EQ(speeds->output, baud);
        EXPECT_EQ(speeds->input, baud);
        EXPECT_EQ(link.hCom().baudRate(), baud);
        link.ClosePort();

        const int next = ::open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(next, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(next, &tio), 0);
        if (classic.count(baud) != 0) {
            EXPECT_EQ(cfgetospeed(&tio), classic.at(baud));
            EXPECT_EQ(cfgetispeed(&tio), classic.at(baud));
        } else {
            EXPECT_EQ(linespeed::readSpeeds(next)->output, baud);
            EXPECT_EQ(linespeed::readSpeeds(next)->input, baud);
        }
        ::close(next);
    }
    EXPECT_EQ(BaudRates.size(), 17u);
}

TEST_F(OpenPortSettings, shouldPassNulAndFfBytesThroughUnchangedBothWays)
{
    dirtyTerminal();
    openPort();
    device.echo();
    const std::string bytes("\0\xff\xff\0\r\x7f\x03\x1a", 8);
    EXPECT_EQ(exchange(bytes + "\r\n"), bytes);
}

TEST_F(OpenPortSettings, shouldDiscardInputThatArrivedBeforeOpen)
{
    openPort();
    link.ClosePort();
    device.send("STALE\r\nOLD");
    ASSERT_TRUE(device.waitUntilWritten(1s));
    std::this_thread::sleep_for(10ms);
    openPort();
    EXPECT_EQ(exchange("X\r\n"), "OK");
}

TEST_F(OpenPortSettings, shouldDropHeldRepliesWhenReopened)
{
    openPort();
    device.respond([](const std::string&) { return std::vector<std::string>{"A\r\nB\r\n"}; });
    EXPECT_EQ(exchange("X\r\n"), "A");
    openPort(); // the open port is closed and opened again
    device.replyWith("FRESH");
    EXPECT_EQ(exchange("Y\r\n"), "FRESH");
}

TEST_F(OpenPortSettings, shouldHoldAUucpLockFileWhileOpen)
{
    if (::access("/var/lock", W_OK) != 0)
        GTEST_SKIP() << "/var/lock is not writable here";
    // /dev/pts/7 is locked as LCK..pts_7, with the process id in ten columns.
    const std::filesystem::path lock = "/var/lock/LCK..pts_" + device.path().substr(9);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    openPort();
    std::ifstream in(lock);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(content, expected);
    link.ClosePort();
    EXPECT_FALSE(std::filesystem::exists(lock));
}

// ---------------------------------------------------------------------------

class OpenPortFailure : public LinkTest
{
protected:
    // Opens COM3 first so that each failure can be seen to close it.
    void SetUp() override { openPort(); }

    void expectFailedOpen(std::int32_t portNumber, std::uint32_t baud)
    {
        EXPECT_FALSE(link.OpenPort(portNumber, baud));
        EXPECT_EQ(view.failureBoxes, 1);
        EXPECT_FALSE(link.isOpen());
        EXPECT_EQ(link.hCom().nativeHandle(), -1);
        EXPECT_FALSE(send("X\r\n"));
    }
};

TEST_F(OpenPortFailure, shouldFailForPortZero)
{
    expectFailedOpen(0, 9600);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::DeviceNotFound);
}

TEST_F(OpenPortFailure, shouldFailForNegativePort)
{
    expectFailedOpen(-2, 9600);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::DeviceNotFound);
}

TEST_F(OpenPortFailure, shouldFailForSpeedOutsideTable)
{
    expectFailedOpen(Port, 0);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::UnsupportedSetting);
    EXPECT_EQ(link.hCom().error().step, OpenStep::SettingSpeed);
}

TEST_F(OpenPortFailure, shouldFailForMissingDevice)
{
    link.portTable().setDevice(5, "/dev/quorlink-no-such-port");
    expectFailedOpen(5, 9600);
    const PortError& error = link.hCom().error();
    EXPECT_EQ(error.kind, PortErrorKind::DeviceNotFound);
    EXPECT_EQ(error.step, OpenStep::Opening);
    EXPECT_EQ(error.systemError, ENOENT);
    EXPECT_EQ(link.hCom().errorString(), "No such file or directory");

    // The next open that succeeds forgets the failure.
    openPort();
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::NoError);
    EXPECT_EQ(link.hCom().errorString(), "");
}

TEST_F(OpenPortFailure, shouldFailForDevNull)
{
    link.portTable().setDevice(5, "/dev/null");
    expectFailedOpen(5, 9600);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::NotASerialPort);
}

TEST_F(OpenPortFailure, shouldFailForRegularFile)
{
    const auto file = std::filesystem::temp_directory_path() /
                      ("quorlink-not-a-port-" + std::to_string(::getpid()));
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    link.portTable().setDevice(5, file.string());
    expectFailedOpen(5, 9600);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::NotASerialPort);
    std::filesystem::remove(file);
}

TEST_F(OpenPortFailure, shouldFailForPortHeldByAnotherProgram)
{
    RecordingView otherView;
    SerialLink other(otherView);
    other.portTable().setDevice(Port, device.path());
    EXPECT_FALSE(other.OpenPort(Port, 9600));
    EXPECT_EQ(otherView.failureBoxes, 1);
    // Our own lock file names this process; without one, the lock on the
    // open device keeps the second open out.
    const PortError& error = other.hCom().error();
    EXPECT_EQ(error.kind, PortErrorKind::InUse);
    EXPECT_EQ(error.step, OpenStep::Locking);
    if (::access("/var/lock", W_OK) == 0) {
        ASSERT_TRUE(error.holder.has_value());
        EXPECT_EQ(error.holder->pid, ::getpid());
        EXPECT_EQ(error.holder->program, "test_serial");
    }
    // Released by the holder, the port opens.
    link.ClosePort();
    EXPECT_TRUE(other.OpenPort(Port, 9600)) << other.hCom().errorString();
}

TEST_F(OpenPortFailure, shouldFailForPortHeldExclusiveByProgramWithoutLock)
{
    link.ClosePort();
    const int holder = ::open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    expectFailedOpen(Port, 9600);
    EXPECT_EQ(link.hCom().error().kind, PortErrorKind::InUse);
    // The failed attempt leaves the holder's claim alone.
    int exclusive = 0;
    ASSERT_EQ(::ioctl(holder, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    ::close(holder);
}

// ---------------------------------------------------------------------------

TEST(PortTableLookup, shouldMapComNumberToTtySDevice)
{
    PortTable table;
    EXPECT_EQ(table.devicePath(1), "/dev/ttyS0");
    EXPECT_EQ(table.devicePath(16), "/dev/ttyS15");
    EXPECT_EQ(table.devicePath(0), std::nullopt);
    EXPECT_EQ(table.devicePath(-1), std::nullopt);
}

TEST(PortTableLookup, shouldPreferEntryAndFallBackWhenItIsRemoved)
{
    PortTable table;
    table.setDevice(3, "/dev/ttyUSB0");
    EXPECT_EQ(table.devicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(table.devicePath(4), "/dev/ttyS3");
    table.setDevice(3, "");
    EXPECT_EQ(table.devicePath(3), "/dev/ttyS2");
    table.setDevice(0, "/dev/ttyUSB1"); // port 0 never names a device
    EXPECT_EQ(table.devicePath(0), std::nullopt);
}

// ---------------------------------------------------------------------------
// Ptys have no modem lines.  With QUORLINK_TEST_PORT naming a real serial
// port (e.g. /dev/ttyS0) that nothing is attached to, the lines are checked
// there; nothing is written to it.

TEST(RealPortModemLines, shouldLeaveDtrAndRtsOffAndSpeedExact)
{
    const char* device = std::getenv("QUORLINK_TEST_PORT");
    if (!device || !*device)
        GTEST_SKIP() << "set QUORLINK_TEST_PORT to a free serial port to run this";
    SerialPort port;
    ASSERT_TRUE(port.open(device, 7200)) << port.errorString();
    int lines = 0;
    ASSERT_EQ(::ioctl(static_cast<int>(port.nativeHandle()), TIOCMGET, &lines), 0);
    EXPECT_EQ(lines & TIOCM_DTR, 0);
    EXPECT_EQ(lines & TIOCM_RTS, 0);
    const auto speeds = linespeed::readSpeeds(static_cast<int>(port.nativeHandle()));
    ASSERT_TRUE(speeds.has_value());
    EXPECT_EQ(speeds->output, 7200u);
}

} // namespace
} // namespace quorlink::serial::testing
