#pragma once

#include "porttable.h"
#include "replyframer.h"
#include "serialport.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorlink::serial {

// Where the serial link reports a port that cannot be opened.  The main
// window shows its message box ("Nelze otevrit COM"); tests and the
// command-line program record it.  Why the open failed is the port's
// error().
class OpenFailureView
{
public:
    virtual ~OpenFailureView() = default;
    // An open failed: shows the open-failure box and waits until it is
    // dismissed.
    virtual void showOpenFailure() = 0;
};

// The port of the process (hCom) with its operations: open by COM number,
// send one request, collect one reply.
class SerialLink
{
public:
    // Largest request, CR LF included; longer sends are cut to this.
    static constexpr std::size_t MaxRequestBytes = 1024;

    explicit SerialLink(OpenFailureView& view);

    PortTable& portTable() { return m_portTable; }
    const PortTable& portTable() const { return m_portTable; }

    // hCom: the open port, if any.
    SerialPort& hCom() { return m_port; }
    bool isOpen() const { return m_port.isOpen(); }

    // Closes the open port, then opens COM `portNumber` at `baud` and drops
    // input that arrived before.  `baud` 0 stands for a speed index outside
    // the table and fails like a port that cannot be opened.  On failure the
    // view shows the open-failure box and no port is open.
    bool OpenPort(std::int32_t portNumber, std::uint32_t baud);

    // Closes the port ("Konec"); nothing happens when none is open.
    void ClosePort();

    // Sends at most MaxRequestBytes of `data`.  Returns false, having sent
    // nothing, when the port is not usable; otherwise true once the bytes
    // were handed to the port, whatever it did with them.
    bool SendBytes(const std::uint8_t* data, std::size_t count);

    // Collects one reply: the bytes before the first CR LF.  Every received
    // byte restarts the silence window of `timeoutMs` milliseconds; when it
    // passes first, the partial reply is dropped and 0 is returned.
    // `timeoutMs` <= 0 returns 0 at once without reading.  Returns the
    // reply's length in bytes (0 for no reply, and for an empty reply).
    // On a port whose waits are cut short (SerialPort::cutWaitsShort) a lost
    // device or the interrupt ends the wait at once, also returning 0.
    std::size_t ReadReply(std::string& reply, std::int32_t timeoutMs);

private:
    OpenFailureView& m_view;
    PortTable m_portTable;
    SerialPort m_port;
    ReplyFramer m_framer;
};

} // namespace quorlink::serial
