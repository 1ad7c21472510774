// The SerialPort of Linux: a terminal device opened non-blocking, waited on
// with ppoll() against steady-clock deadlines.

#include "baudrates.h"
#include "serialport_p.h"

#include "linespeed_linux.h"
#include "portlocks_linux.h"
#include "porttable.h"
#include "waitinterrupt.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quorlink::serial {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Write time-out: 100 ms plus 5 ms per byte, and never less than 100 ms
// plus the bytes' own time on the line: below 2400 Bd one character takes
// longer than 5 ms (33.3 ms at 300 Bd).
constexpr auto WriteTimeoutBase = 100ms;
constexpr auto WriteTimeoutPerByte = 5ms;

// A port whose clock cannot come closer than this to the speed asked for is
// refused: a UART receiver tolerates a few per cent between both ends.
constexpr std::uint32_t SpeedTolerancePercent = 2;

// What an errno value of a failed step means to the person choosing a port.
PortErrorKind kindOf(int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortErrorKind::DeviceNotFound;
    case EACCES:
    case EPERM:
        return PortErrorKind::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return PortErrorKind::InUse;
    case ENOTTY:
        return PortErrorKind::NotASerialPort;
    case EIO:
        return PortErrorKind::NotResponding;
    case EINVAL:
        return PortErrorKind::UnsupportedSetting;
    default:
        return PortErrorKind::Other;
    }
}

PortError failure(OpenStep step, int err)
{
    return PortError{kindOf(err), step, err};
}

PortError inUseBy(OpenStep step, const portlocks::Holder& holder)
{
    return PortError{PortErrorKind::InUse, step, EBUSY, holder};
}

// The group that may read and write `device` while this process may not,
// by name (by number when it has none); empty when joining the device's
// group would not help: the group may not use it either, or this process
// is already in it and is refused for another reason.  A user added to the
// group is in it only from the next login on.
std::string groupThatMayUse(const std::string& device)
{
    struct stat info
    {};
    if (::stat(device.c_str(), &info) != 0 ||
        (info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    if (info.st_gid == ::getegid())
        return {};
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    if (std::find(groups.begin(), groups.end(), info.st_gid) != groups.end())
        return {};
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(info.st_gid);
}

// Ptys and some adapters have no modem lines; that is not an error.
bool isMissingFeature(int err)
{
    return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP;
}

timespec toTimespec(Clock::duration d)
{
    if (d < Clock::duration::zero())
        d = Clock::duration::zero();
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(d);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(d - secs);
    return timespec{static_cast<time_t>(secs.count()), static_cast<long>(nanos.count())};
}

// What ended a wait on the device.
enum class Wake { Ready, TimedOut, Interrupted, Failed };

// Waits until `fd` reports one of `events` (its revents in `revents`), the
// interrupt is triggered or `deadline` passes.  A negative `fd` waits for the
// interrupt alone.  A signal that arrives meanwhile does not end the wait,
// unless it triggered the interrupt; past the deadline this only looks.
Wake waitFor(int fd, short events, const WaitInterrupt* interrupt, Clock::time_point deadline,
             short& revents)
{
    const int interruptFd = interrupt ? interrupt->pollDescriptor() : -1;
    for (;;) {
        if (interrupt && interrupt->triggered())
            return Wake::Interrupted;
        pollfd p[2] = {{fd, events, 0}, {interruptFd, POLLIN, 0}};
        const timespec wait = toTimespec(deadline - Clock::now());
        const int r = ::ppoll(p, 2, &wait, nullptr);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return Wake::Failed;
        if (p[1].revents != 0 && interrupt)
            return Wake::Interrupted;
        revents = p[0].revents;
        return r == 0 ? Wake::TimedOut : Wake::Ready;
    }
}

// Raw bytes both ways, 8N1, receiver on, modem status and flow control off,
// reads that return at once with whatever has arrived.
void makeRaw(termios& tio)
{
    tio.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                               ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &=
        ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | TOSTOP);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // HUPCL: the modem lines drop when the port is finally closed.
    tio.c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

} // namespace

std::string PortTable::defaultDevicePath(std::int32_t portNumber)
{
    return "/dev/ttyS" + std::to_string(static_cast<std::int64_t>(portNumber) - 1);
}

struct NativePort
{
    int fd = -1;
    // One character on the line (start, 8 data, stop bit).
    std::chrono::microseconds charTime{0};
    bool exclusive = false;     // TIOCEXCL set by this open
    bool modemLines = false;    // DTR and RTS can be switched
    bool kernelRs485 = false;   // the driver raises RTS around each send
    serial_rs485 savedRs485{};  // the RS-485 set-up found at open, put back at close
    bool lowLatencySet = false; // ASYNC_LOW_LATENCY set by this open, cleared at close
    int clearedSpeedFlag = 0;   // a setserial spd_* flag cleared by this open, put back at close
    bool hungUp = false;        // the device went away while open
    bool inputSeen = false;     // inputArrives() saw input that no read has taken yet
    // Whether the device is a pseudo-terminal: asked at the first write.
    enum class Kind { Unknown, Pty, Line } kind = Kind::Unknown;
    portlocks::LockFile lockFile;

    // ---- The steps of an open, in their order.  Each one returns the
    // failure that ends the open, or nothing.

    // Honours a UUCP lock file of the port and holds our own.  Comes before
    // the device is opened: an open already disturbs the line (below).
    std::optional<PortError> takeLockFile(const std::string& device)
    {
        // Only devices get a lock; anything else fails to open as it is.
        struct stat info
        {};
        if (::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
            return std::nullopt;
        if (const auto holder = lockFile.acquire(device))
            return inUseBy(OpenStep::Locking, *holder);
        return std::nullopt;
    }

    // Opening a terminal raises DTR and RTS for as long as it takes to
    // lower them again (lowerModemLines), when the driver sets a speed.
    std::optional<PortError> openDevice(const std::string& device)
    {
        fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            PortError error = failure(OpenStep::Opening, errno);
            if (error.kind == PortErrorKind::PermissionDenied)
                error.deviceGroup = groupThatMayUse(device);
            return error;
        }
        return std::nullopt;
    }

    // The advisory lock keeps out other programs that lock (and a second
    // Quorlink); TIOCEXCL keeps out those that do not and open later.
    std::optional<PortError> claimExclusiveUse()
    {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return failure(OpenStep::Locking, errno);
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0)
            return failure(OpenStep::ReadingLineSettings, errno);
        // TIOCEXCL does not keep out root; a terminal already marked
        // exclusive is held by another program whatever our privileges.
        int held = 0;
        if (::ioctl(fd, TIOCGEXCL, &held) == 0 && held)
            return failure(OpenStep::ClaimingExclusiveUse, EBUSY);
        if (::ioctl(fd, TIOCEXCL) != 0)
            return failure(OpenStep::ClaimingExclusiveUse, errno);
        exclusive = true;
        return std::nullopt;
    }

    // A program that opened the port earlier without any lock (a plain
    // `cat /dev/ttyUSB0`) would go on reading our replies.
    std::optional<PortError> refuseOtherHolders() const
    {
        if (const auto holder = portlocks::findOtherHolder(fd))
            return inUseBy(OpenStep::ClaimingExclusiveUse, *holder);
        return std::nullopt;
    }

    // A UART divides a base clock by a whole number: a speed between two
    // divisors comes out as one of its neighbours (76800 Bd on a PC's
    // 115200 Bd base runs at 57600 Bd), while the driver still reports the
    // speed asked for.  Drivers that report no base clock (most USB
    // adapters, pseudo-terminals) are trusted.
    std::optional<PortError> checkSpeedPossible(std::uint32_t wanted) const
    {
        serial_struct info{};
        if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.baud_base <= 0)
            return std::nullopt;
        const std::uint32_t real =
            linespeed::nearestDividedSpeed(static_cast<std::uint32_t>(info.baud_base), wanted);
        const std::uint64_t off = real > wanted ? real - wanted : wanted - real;
        if (off * 100 <= std::uint64_t{SpeedTolerancePercent} * wanted)
            return std::nullopt;
        return PortError{
            PortErrorKind::SpeedNotPossible, OpenStep::SettingSpeed, EINVAL, {}, wanted, real};
    }

    // setserial's spd_hi, spd_vhi, spd_shi, spd_warp and spd_cust make the
    // driver run at another speed whenever 38400 Bd is asked for (57600,
    // 115200, 230400, 460800 Bd or the custom divisor's speed), a relic of
    // programs that knew no higher speed.  For a run at 38400 Bd the flag is
    // cleared while the port is open and put back at close; a driver that
    // keeps it refuses the open, naming the speed the port would run at.
    std::optional<PortError> clearLegacySpeedFlag(std::uint32_t wanted)
    {
        serial_struct info{};
        if (wanted != 38400 || ::ioctl(fd, TIOCGSERIAL, &info) != 0 ||
            (info.flags & ASYNC_SPD_MASK) == 0)
            return std::nullopt;
        serial_struct cleared = info;
        cleared.flags &= ~ASYNC_SPD_MASK;
        if (::ioctl(fd, TIOCSSERIAL, &cleared) == 0 && ::ioctl(fd, TIOCGSERIAL, &cleared) == 0 &&
            (cleared.flags & ASYNC_SPD_MASK) == 0) {
            clearedSpeedFlag = info.flags & ASYNC_SPD_MASK;
            return std::nullopt;
        }
        return PortError{PortErrorKind::SpeedNotPossible,
                         OpenStep::SettingSpeed,
                         EINVAL,
                         {},
                         wanted,
                         legacySpeed(info)};
    }

    // The speed a request for 38400 Bd runs at under the spd_* flag of `info`.
    static std::uint32_t legacySpeed(const serial_struct& info)
    {
        switch (info.flags & ASYNC_SPD_MASK) {
        case ASYNC_SPD_HI:
            return 57600;
        case ASYNC_SPD_VHI:
            return 115200;
        case ASYNC_SPD_SHI:
            return 230400;
        case ASYNC_SPD_WARP:
            return 460800;
        case ASYNC_SPD_CUST:
            if (info.custom_divisor > 0 && info.baud_base > 0)
                return static_cast<std::uint32_t>(info.baud_base / info.custom_divisor);
            return 38400;
        default:
            return 38400;
        }
    }

    std::optional<PortError> applyLineSettings(std::uint32_t wanted)
    {
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0)
            return failure(OpenStep::ReadingLineSettings, errno);
        makeRaw(tio);
        if (::tcsetattr(fd, TCSANOW, &tio) != 0)
            return failure(OpenStep::ApplyingLineSettings, errno);
        if (const int err = linespeed::setExactSpeed(fd, wanted))
            return failure(OpenStep::SettingSpeed, err);
        // tcsetattr() succeeds when any part of the request was applied.
        termios applied{};
        if (::tcgetattr(fd, &applied) != 0)
            return failure(OpenStep::ReadingLineSettings, errno);
        constexpr tcflag_t framing = CSIZE | PARENB | CSTOPB | CRTSCTS;
        if ((applied.c_cflag & framing) != (tio.c_cflag & framing) || (applied.c_lflag & ICANON) ||
            (applied.c_iflag & (IXON | IXOFF)))
            return failure(OpenStep::ApplyingLineSettings, EINVAL);
        return std::nullopt;
    }

    // DTR stays off; RTS goes up only while a request is sent, by the
    // driver where it offers RS-485 mode, else by write().
    std::optional<PortError> lowerModemLines()
    {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd, TIOCMBIC, &lines) == 0)
            modemLines = true;
        else if (!isMissingFeature(errno))
            return failure(OpenStep::SwitchingModemLines, errno);
        if (modemLines)
            enableKernelRs485();
        return std::nullopt;
    }

    // USB adapters hold received bytes up to their latency timer (16 ms by
    // default on FTDI chips) before passing them on; with the low-latency
    // flag the driver sets the shortest timer.  Drivers that refuse keep
    // their timing.
    void requestLowLatency()
    {
        serial_struct info{};
        if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY))
            return;
        info.flags |= ASYNC_LOW_LATENCY;
        lowLatencySet = ::ioctl(fd, TIOCSSERIAL, &info) == 0;
    }

    std::optional<PortError> discardOldInput() const
    {
        if (::tcflush(fd, TCIFLUSH) != 0)
            return failure(OpenStep::DiscardingInput, errno);
        return std::nullopt;
    }

    // ---- Undoing them

    // Puts back what the open changed on the device and closes it.
    void release()
    {
        if (fd >= 0) {
            restoreLatency();
            restoreLegacySpeedFlag();
            restoreRs485();
            // The exclusive flag belongs to the terminal, not to this
            // descriptor; it would outlive the close while anyone else
            // holds the device open.
            if (exclusive)
                ::ioctl(fd, TIOCNXCL);
            ::close(fd);
            fd = -1;
        }
        lockFile.release();
    }

    void restoreLatency()
    {
        serial_struct info{};
        if (lowLatencySet && ::ioctl(fd, TIOCGSERIAL, &info) == 0) {
            info.flags &= ~ASYNC_LOW_LATENCY;
            ::ioctl(fd, TIOCSSERIAL, &info);
        }
        lowLatencySet = false;
    }

    void restoreLegacySpeedFlag()
    {
        serial_struct info{};
        if (clearedSpeedFlag != 0 && ::ioctl(fd, TIOCGSERIAL, &info) == 0) {
            info.flags = (info.flags & ~ASYNC_SPD_MASK) | clearedSpeedFlag;
            ::ioctl(fd, TIOCSSERIAL, &info);
        }
        clearedSpeedFlag = 0;
    }

    // ---- Line exchange

    void setRts(bool on) const
    {
        int bits = TIOCM_RTS;
        ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
    }

    void enableKernelRs485()
    {
        serial_rs485 current{};
        if (::ioctl(fd, TIOCGRS485, &current) != 0)
            return;
        serial_rs485 wanted = current;
        wanted.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        wanted.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
        if (::ioctl(fd, TIOCSRS485, &wanted) != 0)
            return;
        // The driver reports back what it really applied.
        constexpr __u32 needed = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        savedRs485 = current;
        kernelRs485 = true;
        if ((wanted.flags & needed) != needed || (wanted.flags & SER_RS485_RTS_AFTER_SEND)) {
            restoreRs485();
        }
    }

    void restoreRs485()
    {
        if (kernelRs485)
            ::ioctl(fd, TIOCSRS485, &savedRs485);
        kernelRs485 = false;
    }

    // A pseudo-terminal hands written bytes straight to the other end: it
    // keeps no output queue to wait for.
    bool isPty()
    {
        if (kind == Kind::Unknown) {
            struct stat info
            {};
            // Unix98 pty slaves have the majors 136 to 143.
            const bool pty = ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) &&
                             major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
            kind = pty ? Kind::Pty : Kind::Line;
        }
        return kind == Kind::Pty;
    }

    // The longest a write of `count` bytes may take.
    Clock::duration writeTimeout(std::size_t count) const
    {
        const Clock::duration perByte = std::max<Clock::duration>(WriteTimeoutPerByte, charTime);
        return WriteTimeoutBase + perByte * count;
    }

    // Waits until the output has left the line, at most until `deadline` or
    // until `interrupt` is triggered.  Output still queued then is discarded:
    // the write was cut short, and a close would otherwise wait for it.
    // Returns the number of bytes discarded.
    std::size_t drainUntil(Clock::time_point deadline, const WaitInterrupt* interrupt) const
    {
        for (;;) {
            int queued = 0;
            if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
                return 0;
            if (queued <= 0) {
                // Only the UART's own FIFO can be left; no flow control is on,
                // so this ends within a few character times.  The drivers wait
                // here until the transmitter is empty (16550: its shift
                // register; FTDI adapters: asked over USB), so the last stop
                // bit has left when this returns.
                ::tcdrain(fd);
                return 0;
            }
            const auto now = Clock::now();
            if (now >= deadline || (interrupt && interrupt->triggered())) {
                ::tcflush(fd, TCOFLUSH);
                return static_cast<std::size_t>(queued);
            }
            // Sleep for the time the queue needs to leave, at least 1 ms.
            const Clock::duration expected = std::max<Clock::duration>(charTime * queued, 1ms);
            short ignored = 0;
            waitFor(-1, 0, interrupt, std::min<Clock::time_point>(now + expected, deadline),
                    ignored);
        }
    }
};

SerialPortPrivate::SerialPortPrivate() = default;
SerialPortPrivate::~SerialPortPrivate() = default;

std::optional<PortError> SerialPortPrivate::openNative(const std::string& device,
                                                       std::uint32_t baud)
{
    // The lock file comes first and is undone with the rest.
    native = std::make_unique<NativePort>();
    NativePort& port = *native;
    std::optional<PortError> failed = port.takeLockFile(device);
    if (!failed)
        failed = port.openDevice(device);
    if (!failed)
        failed = port.claimExclusiveUse();
    if (!failed)
        failed = port.refuseOtherHolders();
    if (!failed)
        failed = port.checkSpeedPossible(baud);
    if (!failed)
        failed = port.clearLegacySpeedFlag(baud);
    if (!failed)
        failed = port.applyLineSettings(baud);
    if (!failed)
        failed = port.lowerModemLines();
    if (!failed) {
        port.requestLowLatency();
        failed = port.discardOldInput();
    }
    if (!failed)
        port.charTime = characterTime(baud);
    return failed;
}

void SerialPortPrivate::closeNative()
{
    native->release();
    native.reset();
}

std::uint32_t SerialPortPrivate::appliedBaud(std::uint32_t requested)
{
    // The speed was set exactly, and a port that cannot make it refused.
    return requested;
}

bool SerialPortPrivate::isUsable()
{
    NativePort& port = *native;
    if (port.hungUp)
        return false;
    // A hung-up terminal (pulled adapter, pty whose master closed) answers
    // every ioctl with EIO.
    termios tio{};
    if (::tcgetattr(port.fd, &tio) != 0) {
        port.hungUp = true;
        return false;
    }
    return true;
}

namespace {

// Writes `count` bytes within the write time-out.  `refused` tells a write
// that the device turned down before it took a byte: a hung-up terminal
// (pulled adapter, pty whose master closed) fails every write with EIO.
std::size_t writeOut(NativePort& port, const WaitInterrupt* interrupt, const std::uint8_t* data,
                     std::size_t count, bool& refused)
{
    const auto deadline = Clock::now() + port.writeTimeout(count);
    const bool toggleRts = port.modemLines && !port.kernelRs485;
    if (toggleRts)
        port.setRts(true);

    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(port.fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            refused = done == 0;
            break;
        }
        if (Clock::now() >= deadline)
            break;
        short revents = 0;
        const Wake wake = waitFor(port.fd, POLLOUT, interrupt, deadline, revents);
        if (wake == Wake::Failed || wake == Wake::Interrupted)
            break;
        if (wake == Wake::Ready && (revents & (POLLERR | POLLHUP | POLLNVAL))) {
            refused = done == 0;
            break;
        }
    }

    // The write is over once the bytes have left, as with a synchronous
    // write on other systems: the reply time-out then starts after the
    // request went out, and the port never closes on pending output.
    if (!refused && !port.isPty())
        done -= std::min(done, port.drainUntil(deadline, interrupt));
    // At once: a device that answers straight away must find the bus free.
    if (toggleRts)
        port.setRts(false);
    return done;
}

} // namespace

std::size_t SerialPortPrivate::write(const std::uint8_t* data, std::size_t count)
{
    NativePort& port = *native;
    if (port.hungUp)
        return 0;
    bool refused = false;
    const std::size_t done = writeOut(port, interrupt, data, count, refused);
    // Only a terminal that has hung up stays refused: the test marks it so.
    if (refused)
        isUsable();
    return done;
}

bool SerialPortPrivate::send(const std::uint8_t* data, std::size_t count)
{
    // The write is the usability test: asking the terminal first would
    // cost every request a system call.
    return write(data, count) > 0 || !native->hungUp;
}

std::size_t SerialPortPrivate::read(std::uint8_t* dest, std::size_t capacity,
                                    std::chrono::milliseconds timeout)
{
    NativePort& port = *native;
    const auto deadline = Clock::now() + timeout;
    // A device that has gone brings nothing more.  Without an interrupt the
    // wait still lasts its time, without spinning; with one it ends now.
    const auto gone = [&] {
        port.hungUp = true;
        if (!interrupt)
            std::this_thread::sleep_until(deadline);
        return std::size_t{0};
    };
    if (port.hungUp)
        return gone();
    // Just seen arriving (the window looks before it waits): taken without
    // waiting for it a second time.
    if (std::exchange(port.inputSeen, false)) {
        const ssize_t n = ::read(port.fd, dest, capacity);
        if (n > 0)
            return static_cast<std::size_t>(n);
    }

    // With VMIN = VTIME = 0 a read of an empty terminal returns 0 at once,
    // so 0 means "nothing yet"; a hangup shows up in poll() or as EIO.  A
    // reply is seldom there before it is waited for: poll() comes first, so
    // an exchange costs one poll() and one read().
    bool wokeEmpty = false;
    short revents = 0;
    for (;;) {
        if (wokeEmpty) {
            // Reported readable, yet nothing to read: never spin on that.
            const auto now = Clock::now();
            if (now >= deadline)
                return 0;
            if (waitFor(-1, 0, interrupt, std::min<Clock::time_point>(now + 1ms, deadline),
                        revents) == Wake::Interrupted)
                return 0;
            wokeEmpty = false;
        }
        const Wake wake = waitFor(port.fd, POLLIN, interrupt, deadline, revents);
        if (wake == Wake::TimedOut || wake == Wake::Interrupted)
            return 0;
        if (wake == Wake::Failed)
            return gone();
        const ssize_t n = ::read(port.fd, dest, capacity);
        if (n > 0)
            return static_cast<std::size_t>(n);
        // Bytes that arrived before the hangup were delivered above.
        if (revents & (POLLHUP | POLLERR | POLLNVAL))
            return gone();
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return gone();
        wokeEmpty = true;
    }
}

void SerialPortPrivate::purgeInput()
{
    ::tcflush(native->fd, TCIFLUSH);
}

bool SerialPortPrivate::inputArrives(std::chrono::microseconds within)
{
    pollfd port{native->fd, POLLIN, 0};
    // poll() counts in milliseconds; ppoll() takes the finer time.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(within);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>((within - seconds).count() * 1000)};
    int ready = 0;
    do {
        ready = ::ppoll(&port, 1, &timeout, nullptr);
    } while (ready < 0 && errno == EINTR);
    native->inputSeen = ready > 0 && (port.revents & POLLIN);
    return native->inputSeen;
}

std::intptr_t SerialPortPrivate::nativeHandle() const
{
    return native->fd;
}

int SerialPortPrivate::invalidArgument()
{
    return EINVAL;
}

std::string SerialPortPrivate::systemErrorText(int code)
{
    return std::strerror(code);
}

} // namespace quorlink::serial
