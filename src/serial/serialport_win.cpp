// The SerialPort of Windows: a COM device opened for synchronous I/O, whose
// read time-outs make every ReadFile return after about 1 ms with whatever has
// arrived, so that a read polls against a GetTickCount64() deadline.

#include "baudrates.h"
#include "serialport_p.h"

#include "commcalls_win.h"
#include "porttable.h"
#include "systemtext_win.h"
#include "waitinterrupt.h"

#include <algorithm>
#include <chrono>

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
        if (step == OpenStep::ApplyingTimeouts || step == OpenStep::ApplyingLineSettings)
            return PortErrorKind::UnsupportedSetting;
        return PortErrorKind::Other;
    }
}

PortError failure(OpenStep step, DWORD err)
{
    return PortError{kindOf(step, err), step, static_cast<int>(err)};
}

// The driver took the settings without an error but reports `setting` other
// than it was asked to be.
PortError notKept(OpenStep step, PortSetting setting, std::uint32_t baud)
{
    PortError error{PortErrorKind::UnsupportedSetting, step};
    error.wantedBaud = baud;
    error.refused = setting;
    return error;
}

// Milliseconds per byte of a write at `baud`: at least the time one
// character (start, 8 data, stop bit) takes on the line.
DWORD writeMultiplierMs(std::uint32_t baud)
{
    const auto lineTime = static_cast<DWORD>(
        std::chrono::ceil<std::chrono::milliseconds>(characterTime(baud)).count());
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

bool sameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b)
{
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
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

// The first setting of `applied` that the driver's report `kept` shows it did
// not keep.  DTR and RTS are compared only on a port that has modem lines:
// Wine reports both as raised on a pseudo-terminal, which has neither.
PortSetting settingNotKept(const DCB& applied, const DCB& kept, bool modemLines)
{
    if (kept.BaudRate != applied.BaudRate)
        return PortSetting::Speed;
    if (kept.ByteSize != 8)
        return PortSetting::DataBits;
    if (kept.Parity != NOPARITY)
        return PortSetting::Parity;
    if (kept.StopBits != ONESTOPBIT)
        return PortSetting::StopBits;
    if (kept.fOutxCtsFlow || kept.fOutxDsrFlow || kept.fOutX || kept.fInX ||
        kept.fDtrControl == DTR_CONTROL_HANDSHAKE || kept.fRtsControl == RTS_CONTROL_HANDSHAKE)
        return PortSetting::FlowControl;
    if (modemLines && kept.fDtrControl != DTR_CONTROL_DISABLE)
        return PortSetting::Dtr;
    if (modemLines && kept.fRtsControl != applied.fRtsControl)
        return PortSetting::Rts;
    return PortSetting::None;
}

// Waits `duration`, giving the processor away meanwhile.  Sleep alone may
// sleep a whole 15.6 ms tick longer than asked, which would hold RTS up while
// the device already answers.
void pause(std::chrono::microseconds duration)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + duration;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        if (left > std::chrono::milliseconds(16))
            Sleep(static_cast<DWORD>(left.count() - 16));
        else
            SwitchToThread();
    }
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

CommCalls CommCalls::system()
{
    return {&::CreateFileA,    &::CloseHandle,  &::GetCommTimeouts,    &::SetCommTimeouts,
            &::GetCommState,   &::SetCommState, &::GetCommModemStatus, &::EscapeCommFunction,
            &::ClearCommError, &::PurgeComm,    &::ReadFile,           &::WriteFile};
}

CommCalls& commCalls()
{
    static CommCalls calls = CommCalls::system();
    return calls;
}

struct NativePort
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The port's state as last read: filled at open, refreshed by each
    // usability test.
    DCB dcb{};
    // The driver does not switch RTS around each send, so write() does.
    bool switchesRts = false;
    std::uint32_t baud = 0;
    // One character (start, 8 data and stop bit) on the line.
    std::chrono::microseconds charTime{};

    std::optional<PortError> applyTimeouts(const CommCalls& api, std::uint32_t baud);
    std::optional<PortError> applyLineSettings(const CommCalls& api, std::uint32_t baud);
    DWORD drainUntil(const CommCalls& api, ULONGLONG deadline, DWORD written) const;
};

// The time-outs, read back: a driver that keeps its own would leave reads
// waiting or writes unbounded.
std::optional<PortError> NativePort::applyTimeouts(const CommCalls& api, std::uint32_t baud)
{
    COMMTIMEOUTS timeouts{};
    if (!api.getCommTimeouts(handle, &timeouts))
        return failure(OpenStep::ReadingTimeouts, GetLastError());
    setPortTimeouts(timeouts, baud);
    if (!api.setCommTimeouts(handle, &timeouts))
        return failure(OpenStep::ApplyingTimeouts, GetLastError());
    COMMTIMEOUTS kept{};
    if (!api.getCommTimeouts(handle, &kept))
        return failure(OpenStep::ReadingTimeouts, GetLastError());
    if (!sameTimeouts(kept, timeouts))
        return notKept(OpenStep::ApplyingTimeouts, PortSetting::Timeouts, baud);
    return std::nullopt;
}

// The line settings, read back: a driver that refuses part of the state
// keeps its old speed, parity or flow control, and the port would talk to
// the device with them.
std::optional<PortError> NativePort::applyLineSettings(const CommCalls& api, std::uint32_t baud)
{
    dcb.DCBlength = sizeof dcb;
    if (!api.getCommState(handle, &dcb))
        return failure(OpenStep::ReadingLineSettings, GetLastError());
    setLineSettings(dcb, baud);
    if (!api.setCommState(handle, &dcb)) {
        // A driver that cannot raise RTS around each send itself refuses
        // the whole state for it (Wine does, and so do some USB adapters'
        // drivers).  Then RTS stays low and write() raises it.
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        if (!api.setCommState(handle, &dcb))
            return failure(OpenStep::ApplyingLineSettings, GetLastError());
        switchesRts = true;
    }
    DCB kept{};
    kept.DCBlength = sizeof kept;
    if (!api.getCommState(handle, &kept))
        return failure(OpenStep::ReadingLineSettings, GetLastError());
    // A port whose modem status cannot be read has no RTS to switch.
    DWORD modemStatus = 0;
    const bool modemLines = api.getCommModemStatus(handle, &modemStatus) != FALSE;
    switchesRts = switchesRts && modemLines;
    if (const PortSetting setting = settingNotKept(dcb, kept, modemLines);
        setting != PortSetting::None)
        return notKept(OpenStep::ApplyingLineSettings, setting, baud);
    return std::nullopt;
}

// Waits until the bytes of a write of `written` bytes have left the line, at
// most until `deadline`.  What is still queued then is discarded; returns
// how many bytes that was.
//
// First the driver's own queue: ClearCommError's count of the bytes it has
// not yet handed to the UART, asked again until it is 0.  FlushFileBuffers
// would wait without a time-out, and Wine discards the queue for it
// (tcflush) instead of waiting.  Then what the UART still holds, which no
// call reports: its transmit FIFO (16 characters on a 16550, and never more
// than was written) and the character in its shift register.  RTS held up a
// little long costs at most the first bits of a very quick reply; RTS
// lowered early would cut off the end of the request on an RS-485 line, and
// the device would not answer at all.
DWORD NativePort::drainUntil(const CommCalls& api, ULONGLONG deadline, DWORD written) const
{
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!api.clearCommError(handle, &errors, &status) || status.cbOutQue == 0)
            break;
        if (GetTickCount64() >= deadline) {
            api.purgeComm(handle, PURGE_TXCLEAR);
            return std::min(status.cbOutQue, written);
        }
        // The time the queue needs to leave, but never past the deadline.
        const auto queued = std::chrono::microseconds(charTime * status.cbOutQue);
        const auto untilDeadline = std::chrono::milliseconds(deadline - GetTickCount64());
        pause(std::min<std::chrono::microseconds>(queued, untilDeadline));
    }
    constexpr DWORD UartFifo = 16;
    pause(charTime * (std::min(written, UartFifo) + 1));
    return 0;
}

SerialPortPrivate::SerialPortPrivate() = default;
SerialPortPrivate::~SerialPortPrivate() = default;

std::optional<PortError> SerialPortPrivate::openNative(const std::string& device,
                                                       std::uint32_t baud)
{
    const CommCalls& api = commCalls();
    // Exclusive (share mode 0), synchronous I/O.
    const HANDLE handle = api.createFile(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failure(OpenStep::Opening, GetLastError());
    // A device that opens but is not a serial port is released at once, so
    // that no half-open handle keeps it busy.
    native = std::make_unique<NativePort>();
    native->handle = handle;
    native->baud = baud;
    native->charTime = characterTime(baud);

    if (auto failed = native->applyTimeouts(api, baud))
        return failed;
    if (auto failed = native->applyLineSettings(api, baud))
        return failed;
    api.purgeComm(handle, PURGE_RXCLEAR);
    return std::nullopt;
}

void SerialPortPrivate::closeNative()
{
    commCalls().closeHandle(native->handle);
    native.reset();
}

std::uint32_t SerialPortPrivate::appliedBaud(std::uint32_t requested)
{
    // What the driver really kept, when it says.
    if (commCalls().getCommState(native->handle, &native->dcb) && native->dcb.BaudRate != 0)
        return native->dcb.BaudRate;
    return requested;
}

bool SerialPortPrivate::isUsable()
{
    // A removed adapter (or a pty whose other end closed) fails this.
    return commCalls().getCommState(native->handle, &native->dcb);
}

std::size_t SerialPortPrivate::write(const std::uint8_t* data, std::size_t count)
{
    const CommCalls& api = commCalls();
    NativePort& port = *native;
    // One synchronous write; the port's write time-out bounds it and a write
    // cut short is not retried.
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(count, MAXDWORD));
    // The write's own time-out bounds the wait for the bytes to leave.
    const ULONGLONG deadline = GetTickCount64() + WriteTotalTimeoutConstantMs +
                               ULONGLONG{writeMultiplierMs(port.baud)} * size;
    if (port.switchesRts)
        api.escapeCommFunction(port.handle, SETRTS);
    DWORD written = 0;
    api.writeFile(port.handle, data, size, &written, nullptr);
    if (port.switchesRts) {
        // Lowered at once when the bytes have left: a device that answers
        // straight away must find the bus free.
        written -= port.drainUntil(api, deadline, written);
        api.escapeCommFunction(port.handle, CLRRTS);
    }
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
        const BOOL ok = commCalls().readFile(native->handle, dest, size, &got, nullptr);
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
    commCalls().purgeComm(native->handle, PURGE_RXCLEAR);
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
        if (!commCalls().clearCommError(native->handle, &errors, &status))
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
    return serial::systemErrorText(static_cast<unsigned long>(code));
}

} // namespace quorlink::serial
