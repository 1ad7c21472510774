#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorlink::serial {

class SerialPortPrivate;
class WaitInterrupt;

// Why an open failed, as the platform told it.  Each kind covers the system
// error codes that mean the same to the person choosing a port.
enum class PortErrorKind {
    NoError,
    DeviceNotFound,     // no such device (ENOENT, ENODEV, ENXIO; Windows: file not found)
    PermissionDenied,   // no permission to use the device (EACCES, EPERM)
    InUse,              // another program holds the port: see PortError::holder
    NotASerialPort,     // a device or file that takes no line settings (ENOTTY)
    NotResponding,      // the device does not respond or was removed (EIO)
    UnsupportedSetting, // the device refuses a line setting (EINVAL)
    SpeedNotPossible,   // the port's clock cannot come close to the speed asked for
    Other,              // some other system error: see PortError::systemError
};

// The step of an open that failed, in the order the steps are taken.  A
// platform takes only some of them.
enum class OpenStep {
    None,
    Locking,              // a lock file or lock held by another program (Linux)
    Opening,              // opening the device
    ClaimingExclusiveUse, // keeping out other programs (Linux)
    ReadingTimeouts,      // the port's time-outs (Windows)
    ApplyingTimeouts,     // (Windows)
    ReadingLineSettings,
    SettingSpeed,
    ApplyingLineSettings,
    SwitchingModemLines, // DTR and RTS off (Linux)
    DiscardingInput,
};

// A line setting that a driver may refuse, named in the error.
enum class PortSetting {
    None,
    Speed,
    DataBits,
    Parity,
    StopBits,
    FlowControl,
    Dtr,
    Rts,
    Timeouts,
};

// A process that holds a port.
struct PortHolder
{
    std::int64_t pid = 0; // 0: not known (a lock file still being written)
    std::string program;  // its name, when it can be read
};

// What made open() fail, with the facts a message about it needs.
struct PortError
{
    PortErrorKind kind = PortErrorKind::NoError;
    OpenStep step = OpenStep::None;
    // The errno value or GetLastError() code behind it; 0 for none.
    int systemError = 0;
    // InUse: the process known to hold the port, when it could be found.
    std::optional<PortHolder> holder = {};
    // SpeedNotPossible: the speed asked for and the nearest the port makes.
    // UnsupportedSetting: also the speed asked for.
    std::uint32_t wantedBaud = 0;
    std::uint32_t nearestBaud = 0;
    // UnsupportedSetting: the setting the driver did not keep, where the
    // port read its settings back after applying them (Windows); None when
    // the driver refused the settings as a whole.
    PortSetting refused = PortSetting::None;
    // PermissionDenied: the group whose members may use the device, when
    // this process is not one of them ("dialout"); empty when joining no
    // group would help (Linux only).
    std::string deviceGroup = {};
};

// One open serial device with the fixed line settings the line exchange
// relies on: 8 data bits, no parity, 1 stop bit, raw bytes both ways (NUL and
// 0xFF received unchanged), no hardware or software flow control, DTR off and
// RTS raised only while sending.  At most one device is open per object.
//
// What every platform does alike is in serialport.cpp; the platform's part
// is in one source file per platform (serialport_linux.cpp,
// serialport_win.cpp) behind SerialPortPrivate (serialport_p.h).  Nothing
// here throws on a serial failure: results are booleans and counts, and
// error() says why the last open failed.
class SerialPort
{
public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `device` for exclusive read-write access, applies the line
    // settings at `baud` and discards input that arrived before.  A device
    // that is missing, held by another program, or not a serial port fails.
    // An open port is closed first, so a failed open leaves no port open.
    bool open(const std::string& device, std::uint32_t baud);
    void close();
    bool isOpen() const;

    // Whether the port can still be used for a send: false when closed, or
    // when the device went away (a pulled USB adapter, a pty whose other end
    // has closed).
    bool isUsable();

    // Writes up to `count` bytes within the write time-out of
    // 100 ms + 5 ms per byte, raising RTS only while the bytes go out.
    // Returns the number of bytes written; a write cut short by the time-out
    // is not retried.
    std::size_t write(const std::uint8_t* data, std::size_t count);
    // A send: isUsable() and then write(), in one step where the platform's
    // write itself tells a device that has gone (Linux: the write of a
    // hung-up terminal fails before taking a byte), so that a request costs
    // no system call of its own beyond the write.  False, with nothing
    // written, when the port is closed or the device has gone.
    bool send(const std::uint8_t* data, std::size_t count);

    // Waits at most `timeout` for input (0 ms: do not wait, only take what is
    // already there) and reads up to `capacity` bytes.  Returns the number of
    // bytes read, 0 when none arrived in time.  On a closed port or a device
    // that went away it waits out the time-out without spinning and returns
    // 0, unless its waits are cut short.
    std::size_t read(std::uint8_t* dest, std::size_t capacity, std::chrono::milliseconds timeout);

    // For a program that must not sit out a wait that can no longer end
    // well (the command-line program; the window keeps every wait's length):
    // from now on, also across opens, read() returns at once when the
    // device has gone, and read() and write() end their waits at once when
    // `interrupt` is triggered.  On Windows a write is one system call
    // bounded by its time-out and is not cut short.  `interrupt` must
    // outlive the port's use.
    void cutWaitsShort(const WaitInterrupt& interrupt);

    // With waits cut short: whether they now end at once, because the
    // interrupt was triggered or the port is not usable.  Always false
    // without cutWaitsShort.
    bool waitsEnded();

    // Drops everything received and not yet read.
    void purgeInput();

    // The line speed last applied, in baud (0 while closed).
    std::uint32_t baudRate() const;

    // Why the last open() failed (kind NoError after one that succeeded).
    const PortError& error() const;

    // The system's own words for the error code of error(), for
    // diagnostics; empty when the last open succeeded.
    std::string errorString() const;

    // Whether input arrives within `within` (0: is some there already), without
    // taking it.  False on a closed port.  Meant for short waits: Windows asks
    // the driver's input count over and over until then.
    bool inputArrives(std::chrono::microseconds within);

    // The platform handle (file descriptor or HANDLE value); -1 while closed.
    std::intptr_t nativeHandle() const;

private:
    std::unique_ptr<SerialPortPrivate> d;
};

} // namespace quorlink::serial
