#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorlink::testing {

// A scripted serial device on a pseudo-terminal, running on its own thread.
//
// The program under test opens path() (the slave end) like any serial port;
// the device reads the master end, splits what it receives into lines ended
// by CR LF and answers each line as its behaviour says.  Every byte it
// receives is recorded.  The device keeps a slave descriptor of its own open,
// so the master stays readable while the program closes and reopens the port.
class PtyDevice
{
public:
    // What the device writes for one received line (without its CR LF);
    // each string is one write() on the master, in order.  Return nothing
    // to stay silent.
    using Responder = std::function<std::vector<std::string>(const std::string& line)>;

    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // The slave end, e.g. /dev/pts/7.
    const std::string& path() const { return m_path; }

    // Behaviours.  Each replaces the previous one.
    void replyWith(std::string reply);          // "<reply>\r\n" to every line
    void echo();                                // "<line>\r\n"
    void silent();                              // never answers
    void respond(Responder responder);          // anything else
    // Delay before each answer is written.
    void setDelay(std::chrono::milliseconds delay);
    // Writes raw bytes now, unasked.
    void send(const std::string& bytes);

    // Every byte received so far, and the lines (without CR LF) seen so far.
    std::string received() const;
    std::vector<std::string> lines() const;
    // Waits until at least `count` bytes were received, or `timeout` passed.
    bool waitForBytes(std::size_t count, std::chrono::milliseconds timeout) const;
    void clearReceived();

    // Closes the master end: the device is gone, as a pulled adapter.
    void closeMaster();
    int masterFd() const { return m_master; }

private:
    void run();

    int m_master = -1;
    int m_slave = -1;
    int m_wakePipe[2] = {-1, -1};
    std::string m_path;
    mutable std::mutex m_mutex;
    Responder m_responder;
    std::chrono::milliseconds m_delay{0};
    std::string m_received;
    std::string m_lineBuffer;
    std::vector<std::string> m_lines;
    std::thread m_thread;
    bool m_stop = false;
};

} // namespace quorlink::testing
