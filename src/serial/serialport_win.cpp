// The SerialPort of Windows: a COM device opened for synchronous I/O, whose
// read time-outs make every ReadFile return after about 1 ms with whatever has
// arrived, so that a read polls against a GetTickCount64() deadline.

#include "serialport_p.h"

#include "porttable.h"
#include "waitinterrupt.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <windows.h>

namespace quorlink::serial {

namespace {

// Port time-outs, all in milliseconds.  A read returns after at most about
// 1 ms with the bytes that have arrived (possibly none); interval and
// per-byte read time-outs are off (0).  A write of n bytes may take at most
// 100 + 5 * n ms, and never less than 100 ms plus its own time on the line:
// below 2400 Bd a character takes longer than 5 ms (33.3 ms at 300 Bd).
constexpr DWORD ReadIntervalTimeoutMs = 0;
constexpr DWORD ReadTotalTimeoutMultiplierMs = 0;
constexpr DWORD ReadTotalTimeoutConstantMs = 1;
constexpr DWORD WriteTotalTimeoutMultiplierMs = 5;
constexpr DWORD WriteTotalTimeoutConstantMs = 100;

// What a system error code of a failed step means to the person choosing a
// port.  Windows refuses a COM port that another program has open with
// "access denied": the port is opened with no sharing.
PortErrorKind kindOf(OpenStep step, DWORD err)
{
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return PortErrorKind::DeviceNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return PortErrorKind::InUse;
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
        return PortErrorKind::NotResponding;
    default:
        // A device that opens but has no time-outs or line state of its own.
        if (step == OpenStep::ReadingTimeouts || step == OpenStep::ReadingLineSettings)
            return PortErrorKind::NotASerialPort;
        return PortErrorKind::Other;
    }
}

PortError failure(OpenStep step, DWORD err)
{
    return PortError{kindOf(step, err), step, static_cast<int>(err)};
}

// Milliseconds per byte of a write at `baud`: at least the time one
// character (start, 8 data, stop bit) takes on the line.
DWORD writeMultiplierMs(std::uint32_t baud)
{
    const DWORD lineTime = static_cast<DWORD>((10'000 + baud - 1) / baud);
    return std::max(WriteTotalTimeoutMultiplierMs, lineTime);
}

void setPortTimeouts(COMMTIMEOUTS& timeouts, std::uint32_t baud)
{
    timeouts.ReadIntervalTimeout = ReadIntervalTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = ReadTotalTimeoutMultiplierMs;
    timeouts.ReadTotalTimeoutConstant = ReadTotalTimeoutConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = writeMultiplierMs(baud);
    timeouts.WriteTotalTimeoutConstant = WriteTotalTimeoutConstantMs;
}

// 8 data bits, no parity, 1 stop bit, binary, no hardware or software flow
// control, NUL bytes received, DTR off and RTS raised by the driver only while
// bytes are being sent.  Fields not named keep what the driver reported.
void setLineSettings(DCB& dcb, std::uint32_t baud)
{
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.fAbortOnError = 0;
    dcb.XonLim = 5;
    dcb.XoffLim = 255;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x00;
    dcb.XoffChar = static_cast<char>(0xFF);
    dcb.ErrorChar = static_cast<char>(0xFE);
    dcb.EofChar = 0x00;
    dcb.EvtChar = 0x00;
}

// The deadline `timeout` from now on the 64-bit millisecond clock, which does
// not wrap in the life of a machine.  A negative time-out counts as 0.
ULONGLONG deadlineAfter(std::chrono::milliseconds timeout)
{
    const ULONGLONG now = GetTickCount64();
    const auto ms =
        static_cast<ULONGLONG>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
    // Saturates instead of wrapping for a time-out too long to mean anything.
    return ms > ~ULONGLONG{0} - now ? ~ULONGLONG{0} : now + ms;
}

} // namespace

std::string PortTable::defaultDevicePath(std::int32_t portNumber)
{
    return "\\\\.\\COM" + std::to_string(portNumber);
}

bool PortTable::isPresent(const std::string& devicePath)
{
    std::error_code ec;
    return !devicePath.empty() && std::filesystem::exists(devicePath, ec);
}

std::optional<bool> PortTable::presence(const std::string&)
{
    return std::nullopt;
}

struct NativePort
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The port's state as last read: filled at open, refreshed by each
    // usability test.
    DCB dcb{};
};

SerialPortPrivate::SerialPortPrivate() = default;
SerialPortPrivate::~SerialPortPrivate() = default;

std::optional<PortError> SerialPortPrivate::openNative(const std::string& device,
                                                       std::uint32_t baud)
{
    // Exclusive (share mode 0), synchronous I/O.
    const HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failure(OpenStep::Opening, GetLastError());
    // A device that opens but is not a serial port is released at once, so
    // that no half-open handle keeps it busy.
    native = std::make_unique<NativePort>();
    native->handle = handle;

    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(handle, &timeouts))
        return failure(OpenStep::ReadingTimeouts, GetLastError());
    setPortTimeouts(timeouts, baud);
    // Not examined: a driver that refuses keeps its own time-outs.
    SetCommTimeouts(handle, &timeouts);

    DCB& dcb = native->dcb;
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
        return failure(OpenStep::ReadingLineSettings, GetLastError());
    setLineSettings(dcb, baud);
    // Not examined either: a driver that rejects part of the state (Wine
    // refuses RTS_CONTROL_TOGGLE) leaves the port usable with what it kept.
    SetCommState(handle, &dcb);

    PurgeComm(handle, PURGE_RXCLEAR);
    return std::nullopt;
}

void SerialPortPrivate::closeNative()
{
    CloseHandle(native->handle);
    native.reset();
}

std::uint32_t SerialPortPrivate::appliedBaud(std::uint32_t requested)
{
    // What the driver really kept, when it says.
    if (GetCommState(native->handle, &native->dcb) && native->dcb.BaudRate != 0)
        return native->dcb.BaudRate;
    return requested;
}

bool SerialPortPrivate::isUsable()
{
    // A removed adapter (or a pty whose other end closed) fails this.
    return GetCommState(native->handle, &native->dcb);
}

std::size_t SerialPortPrivate::write(const std::uint8_t* data, std::size_t count)
{
    // One synchronous write; the port's write time-out bounds it and a write
    // cut short is not retried.
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(count, MAXDWORD));
    DWORD written = 0;
    WriteFile(native->handle, data, size, &written, nullptr);
    return written;
}

bool SerialPortPrivate::send(const std::uint8_t* data, std::size_t count)
{
    // A write to a removed adapter is not reliably refused: ask first.
    if (!isUsable())
        return false;
    write(data, count);
    return true;
}

std::size_t SerialPortPrivate::read(std::uint8_t* dest, std::size_t capacity,
                                    std::chrono::milliseconds timeout)
{
    const ULONGLONG deadline = deadlineAfter(timeout);
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
    // At least one read, also with a 0 ms time-out: it takes what is there.
    for (;;) {
        DWORD got = 0;
        const BOOL ok = ReadFile(native->handle, dest, size, &got, nullptr);
        if (got > 0)
            return got;
        // Cut short: a trigger, or a failing read of a device that has gone.
        if (interrupt && (interrupt->triggered() || (!ok && !isUsable())))
            return 0;
        if (GetTickCount64() >= deadline)
            return 0;
        // A failing read (the device went away) returns at once: never spin
        // on it.
        if (!ok)
            Sleep(1);
    }
}

void SerialPortPrivate::purgeInput()
{
    PurgeComm(native->handle, PURGE_RXCLEAR);
}

bool SerialPortPrivate::inputArrives(std::chrono::microseconds within)
{
    // Waiting on the handle needs overlapped I/O, which the port does not
    // use, and Sleep(1) may sleep a whole 15.6 ms tick: the driver's input
    // count is asked again, giving the processor away in between, until
    // something has arrived or the (short) wait is over.
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(native->handle, &errors, &status))
            return false;
        if (status.cbInQue > 0)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        SwitchToThread();
    }
}

std::intptr_t SerialPortPrivate::nativeHandle() const
{
    return reinterpret_cast<std::intptr_t>(native->handle);
}

int SerialPortPrivate::invalidArgument()
{
    return ERROR_INVALID_PARAMETER;
}

std::string SerialPortPrivate::systemErrorText(int code)
{
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&message), 0, nullptr);
    std::string text;
    if (length > 0 && message != nullptr) {
        text.assign(message, length);
        // The system's texts end with a period and CR LF.
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                                 text.back() == '.'))
            text.pop_back();
    }
    if (message != nullptr)
        LocalFree(message);
    return text;
}

} // namespace quorlink::serial
