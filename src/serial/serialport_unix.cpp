// The SerialPort of POSIX systems (Linux): a terminal device opened
// non-blocking, waited on with ppoll() against steady-clock deadlines.

#include "serialport.h"

#include "linuxspeed.h"
#include "porttable.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace quorlink::serial {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Write time-out: 100 ms plus 5 ms per byte.
constexpr auto WriteTimeoutBase = 100ms;
constexpr auto WriteTimeoutPerByte = 5ms;

// The one place that turns a failed step and its errno into the text of
// errorString().
std::string describeFailure(const std::string& device, const char* step, int err)
{
    const char* meaning = nullptr;
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        meaning = "no such device";
        break;
    case EACCES:
    case EPERM:
        meaning = "no permission to use the device";
        break;
    case EBUSY:
    case EWOULDBLOCK:
        meaning = "the port is in use by another program";
        break;
    case ENOTTY:
        meaning = "not a serial port";
        break;
    case EIO:
        meaning = "the device does not respond or was removed";
        break;
    case EINVAL:
        meaning = "setting not supported by the device";
        break;
    default:
        break;
    }
    std::string text = device.empty() ? std::string("(no device)") : device;
    text += ": ";
    text += step;
    text += " failed: ";
    if (meaning) {
        text += meaning;
        text += " (";
        text += std::strerror(err);
        text += ')';
    } else {
        text += std::strerror(err);
    }
    return text;
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

std::string PortTable::describeDevice(const std::string& devicePath)
{
    struct stat info
    {};
    const bool exists = !devicePath.empty() && ::stat(devicePath.c_str(), &info) == 0;
    return devicePath + (exists ? " (existuje)" : " (neexistuje)");
}

class SerialPortPrivate
{
public:
    int fd = -1;
    std::uint32_t baud = 0;
    // One character on the line (start, 8 data, stop bit).
    std::chrono::microseconds charTime{0};
    bool modemLines = false;   // DTR and RTS can be switched
    bool kernelRs485 = false;  // the driver raises RTS around each send
    serial_rs485 savedRs485{}; // the RS-485 set-up found at open, put back at close
    bool hungUp = false;       // the device went away while open
    // Whether the device is a pseudo-terminal: asked at the first write.
    enum class Kind { Unknown, Pty, Line } kind = Kind::Unknown;
    std::string error;

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

    // Waits until the output has left the line, at most until `deadline`.
    // Output still queued then is discarded: the write was cut short by its
    // time-out.  Returns the number of bytes discarded.
    std::size_t drainUntil(Clock::time_point deadline) const
    {
        for (;;) {
            int queued = 0;
            if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
                return 0;
            if (queued <= 0) {
                // Only the UART's own FIFO can be left; no flow control is on,
                // so this ends within a few character times.
                ::tcdrain(fd);
                return 0;
            }
            const auto now = Clock::now();
            if (now >= deadline) {
                ::tcflush(fd, TCOFLUSH);
                return static_cast<std::size_t>(queued);
            }
            // Sleep for the time the queue needs to leave, at least 1 ms.
            const Clock::duration expected = std::max<Clock::duration>(charTime * queued, 1ms);
            std::this_thread::sleep_for(std::min<Clock::duration>(expected, deadline - now));
        }
    }
};

SerialPort::SerialPort() : d(std::make_unique<SerialPortPrivate>()) {}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open(const std::string& device, std::uint32_t baud)
{
    close();
    d->error.clear();
    if (baud == 0) {
        d->error = describeFailure(device, "setting the speed", EINVAL);
        return false;
    }

    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        d->error = describeFailure(device, "open", errno);
        return false;
    }
    d->fd = fd;
    bool claimed = false; // TIOCEXCL set by this open
    // Every failure below closes the descriptor again: no half-open port.
    const auto fail = [&](const char* step, int err) {
        d->error = describeFailure(device, step, err);
        d->restoreRs485();
        if (claimed)
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        const std::string error = std::move(d->error);
        *d = SerialPortPrivate{};
        d->error = error;
        return false;
    };

    // The advisory lock keeps out other programs that lock (and a second
    // Quorlink); TIOCEXCL keeps out those that do not.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail("locking", errno);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return fail("reading the line settings", errno);
    // TIOCEXCL does not keep out root; a terminal already marked exclusive
    // is held by another program whatever our privileges.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        return fail("claiming exclusive use", EBUSY);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail("claiming exclusive use", errno);
    claimed = true;

    makeRaw(tio);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail("applying the line settings", errno);
    if (const int err = linuxspeed::setExactSpeed(fd, baud))
        return fail("setting the speed", err);
    // tcsetattr() succeeds when any part of the request was applied.
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0)
        return fail("reading the line settings", errno);
    constexpr tcflag_t framing = CSIZE | PARENB | CSTOPB | CRTSCTS;
    if ((applied.c_cflag & framing) != (tio.c_cflag & framing) || (applied.c_lflag & ICANON) ||
        (applied.c_iflag & (IXON | IXOFF)))
        return fail("applying the line settings", EINVAL);

    // The kernel raises DTR and RTS on open; both stay off, RTS goes up
    // only while a request is sent.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIC, &lines) == 0)
        d->modemLines = true;
    else if (!isMissingFeature(errno))
        return fail("switching DTR and RTS off", errno);
    if (d->modemLines)
        d->enableKernelRs485();

    if (::tcflush(fd, TCIFLUSH) != 0)
        return fail("discarding old input", errno);

    d->baud = baud;
    d->charTime = std::chrono::microseconds((10'000'000 + baud - 1) / baud);
    return true;
}

void SerialPort::close()
{
    if (d->fd < 0)
        return;
    d->restoreRs485();
    // The exclusive flag belongs to the terminal, not to this descriptor; it
    // would outlive the close while anyone else holds the device open.
    ::ioctl(d->fd, TIOCNXCL);
    ::close(d->fd);
    const std::string error = std::move(d->error);
    *d = SerialPortPrivate{};
    d->error = error;
}

bool SerialPort::isOpen() const
{
    return d->fd >= 0;
}

bool SerialPort::isUsable()
{
    if (d->fd < 0 || d->hungUp)
        return false;
    // A hung-up terminal (pulled adapter, pty whose master closed) answers
    // every ioctl with EIO.
    termios tio{};
    if (::tcgetattr(d->fd, &tio) != 0) {
        d->hungUp = true;
        return false;
    }
    return true;
}

std::size_t SerialPort::write(const std::uint8_t* data, std::size_t count)
{
    if (d->fd < 0 || d->hungUp || count == 0)
        return 0;
    const auto deadline = Clock::now() + WriteTimeoutBase + WriteTimeoutPerByte * count;
    const bool toggleRts = d->modemLines && !d->kernelRs485;
    if (toggleRts)
        d->setRts(true);

    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(d->fd, data + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            break;
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        pollfd p{d->fd, POLLOUT, 0};
        const timespec wait = toTimespec(deadline - now);
        const int r = ::ppoll(&p, 1, &wait, nullptr);
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
    }

    // The write is over once the bytes have left, as with a synchronous
    // write on other systems: the reply time-out then starts after the
    // request went out, and the port never closes on pending output.
    if (!d->isPty())
        done -= std::min(done, d->drainUntil(deadline));
    if (toggleRts) {
        // The last character's stop bit leaves the shift register.
        std::this_thread::sleep_for(d->charTime);
        d->setRts(false);
    }
    return done;
}

std::size_t SerialPort::read(std::uint8_t* dest, std::size_t capacity,
                             std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    const auto waitOut = [&] {
        std::this_thread::sleep_until(deadline);
        return std::size_t{0};
    };
    if (d->fd < 0 || d->hungUp || capacity == 0)
        return waitOut();

    // With VMIN = VTIME = 0 a read of an empty terminal returns 0 at once,
    // so 0 means "nothing yet"; a hangup shows up in poll() or as EIO.  A
    // reply is seldom there before it is waited for: poll() comes first, so
    // an exchange costs one poll() and one read().
    bool wokeEmpty = false;
    for (;;) {
        if (wokeEmpty) {
            // Reported readable, yet nothing to read: never spin on that.
            const auto now = Clock::now();
            if (now >= deadline)
                return 0;
            std::this_thread::sleep_for(std::min<Clock::duration>(1ms, deadline - now));
            wokeEmpty = false;
        }
        pollfd p{d->fd, POLLIN, 0};
        // Past the deadline this only looks whether something is there.
        const timespec wait = toTimespec(deadline - Clock::now());
        const int r = ::ppoll(&p, 1, &wait, nullptr);
        if (r == 0)
            return 0;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            d->hungUp = true;
            return waitOut();
        }
        const ssize_t n = ::read(d->fd, dest, capacity);
        if (n > 0)
            return static_cast<std::size_t>(n);
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Bytes that arrived before the hangup were delivered above.
            d->hungUp = true;
            return waitOut();
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            d->hungUp = true;
            return waitOut();
        }
        wokeEmpty = true;
    }
}

void SerialPort::purgeInput()
{
    if (d->fd >= 0)
        ::tcflush(d->fd, TCIFLUSH);
}

std::uint32_t SerialPort::baudRate() const
{
    return d->baud;
}

std::string SerialPort::errorString() const
{
    return d->error;
}

std::intptr_t SerialPort::nativeHandle() const
{
    return d->fd;
}

} // namespace quorlink::serial
