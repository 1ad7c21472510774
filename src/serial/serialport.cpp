// What a serial port does alike on every platform: the open's bookkeeping,
// the closed port's answers and what is remembered of the last open.  The
// platform's part is SerialPortPrivate's in serialport_<platform>.cpp.

#include "serialport_p.h"
#include "waitinterrupt.h"

#include <thread>

namespace quorlink::serial {

void SerialPortPrivate::release()
{
    if (native)
        closeNative();
    baud = 0;
}

SerialPort::SerialPort() : d(std::make_unique<SerialPortPrivate>()) {}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open(const std::string& device, std::uint32_t baud)
{
    close();
    d->error = PortError{};
    std::optional<PortError> failed;
    if (baud == 0) {
        failed = PortError{PortErrorKind::UnsupportedSetting, OpenStep::SettingSpeed,
                           SerialPortPrivate::invalidArgument()};
    } else {
        failed = d->openNative(device, baud);
    }
    // Every failure undoes what the steps before it did: no half-open port.
    if (failed) {
        d->error = *failed;
        d->release();
        return false;
    }
    d->baud = d->appliedBaud(baud);
    return true;
}

void SerialPort::close()
{
    if (d->isOpen())
        d->release();
}

bool SerialPort::isOpen() const
{
    return d->isOpen();
}

bool SerialPort::isUsable()
{
    return d->isOpen() && d->isUsable();
}

std::size_t SerialPort::write(const std::uint8_t* data, std::size_t count)
{
    if (!d->isOpen() || count == 0)
        return 0;
    return d->write(data, count);
}

bool SerialPort::send(const std::uint8_t* data, std::size_t count)
{
    if (!d->isOpen())
        return false;
    // Nothing to write tells nothing of the device: ask it.
    if (count == 0)
        return d->isUsable();
    return d->send(data, count);
}

std::size_t SerialPort::read(std::uint8_t* dest, std::size_t capacity,
                             std::chrono::milliseconds timeout)
{
    if (!d->isOpen() || capacity == 0) {
        // A caller that polls a closed port must not spin.
        if (!d->interrupt)
            std::this_thread::sleep_for(timeout);
        return 0;
    }
    return d->read(dest, capacity, timeout);
}

void SerialPort::cutWaitsShort(const WaitInterrupt& interrupt)
{
    d->interrupt = &interrupt;
}

bool SerialPort::waitsEnded()
{
    return d->interrupt && (d->interrupt->triggered() || !isUsable());
}

void SerialPort::purgeInput()
{
    if (d->isOpen())
        d->purgeInput();
}

std::uint32_t SerialPort::baudRate() const
{
    return d->baud;
}

const PortError& SerialPort::error() const
{
    return d->error;
}

std::string SerialPort::errorString() const
{
    if (d->error.kind == PortErrorKind::NoError)
        return {};
    return SerialPortPrivate::systemErrorText(d->error.systemError);
}

bool SerialPort::inputArrives(std::chrono::microseconds within)
{
    return d->isOpen() && d->inputArrives(within);
}

std::intptr_t SerialPort::nativeHandle() const
{
    return d->isOpen() ? d->nativeHandle() : -1;
}

} // namespace quorlink::serial
