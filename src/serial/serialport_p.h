#pragma once

// Internal to SerialPort: what every platform keeps of a port, and the
// operations each platform provides in its own file (serialport_linux.cpp,
// serialport_win.cpp).  Not for use outside src/serial.

#include "serialport.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorlink::serial {

// The platform's own state of an open device: the file descriptor and what
// the open changed on it, or the HANDLE.  Defined by each platform file.
struct NativePort;
class WaitInterrupt;

class SerialPortPrivate
{
public:
    // Defined by the platform, where NativePort is complete.
    SerialPortPrivate();
    ~SerialPortPrivate();

    // ---- Kept alike on every platform (serialport.cpp)

    bool isOpen() const { return native != nullptr; }
    // Puts back what an open changed on the device (also an open that failed
    // part-way), closes it and forgets it; the last error stays.
    void release();

    std::unique_ptr<NativePort> native; // null while closed
    std::uint32_t baud = 0;             // the speed last applied, 0 while closed
    PortError error;                    // why the last open failed
    // Set by cutWaitsShort: read() and write() end their waits when it is
    // triggered or the device has gone.  Kept across opens.
    const WaitInterrupt* interrupt = nullptr;

    // ---- The platform part.  Apart from openNative, each is called only
    // while the port is open.

    // Opens `device` for exclusive use, applies the line settings at `baud`
    // (not 0) and discards old input.  Sets `native` as soon as there is
    // something to undo, so that release() undoes what was done when a later
    // step fails.  Returns the failure, or nothing once the port is ready.
    std::optional<PortError> openNative(const std::string& device, std::uint32_t baud);
    // Undoes openNative, also one that failed part-way, and resets `native`.
    void closeNative();
    // The speed the port runs at after a successful open at `requested`.
    std::uint32_t appliedBaud(std::uint32_t requested);
    bool isUsable();
    std::size_t write(const std::uint8_t* data, std::size_t count);
    // write() of `count` (> 0) bytes when the device is still there; false,
    // nothing written, when it has gone.
    bool send(const std::uint8_t* data, std::size_t count);
    std::size_t read(std::uint8_t* dest, std::size_t capacity, std::chrono::milliseconds timeout);
    void purgeInput();
    bool inputArrives(std::chrono::microseconds within);
    std::intptr_t nativeHandle() const;

    // The system's code for an argument out of range, which a speed of 0 is.
    static int invalidArgument();
    // The system's own words for an error code.
    static std::string systemErrorText(int code);
};

} // namespace quorlink::serial
