#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
//
// All members may be called from any thread.  The slave starts in raw mode.
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
    void replyWith(std::string reply); // "<reply>\r\n" to every line
    void echo();                       // "<line>\r\n"
    void silent();                     // never answers
    void respond(Responder responder); // anything else
    // Delay before each answer is written.
    void setDelay(std::chrono::milliseconds delay);
    // Pause between the separate writes of one answer, so that each of them
    // reaches the reader on its own (0: written back to back).
    void setWriteGap(std::chrono::milliseconds gap);
    // Writes raw bytes now, unasked.  Queued: returns at once, also when the
    // bytes do not fit into the pty until the other end reads.
    void send(const std::string& bytes);
    // Waits until everything answered or sent so far has been written to
    // the master, or `timeout` passed.
    bool waitUntilWritten(std::chrono::milliseconds timeout) const;

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
    struct Outgoing
    {
        std::string bytes;
        std::chrono::steady_clock::time_point due;
    };

    void run();
    void stopThread();
    void wake() const;
    void handleInput(const char* data, std::size_t size);
    // Writes what is due; returns when the next write is due (or max()).
    std::chrono::steady_clock::time_point writeDue(bool& blocked);

    int m_master = -1;
    int m_slave = -1;
    int m_wakePipe[2] = {-1, -1};
    std::string m_path;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Responder m_responder;
    std::chrono::milliseconds m_delay{0};
    std::chrono::milliseconds m_writeGap{0};
    std::string m_received;
    std::string m_lineBuffer; // device thread only
    std::vector<std::string> m_lines;
    std::deque<Outgoing> m_outgoing;
    std::thread m_thread;
    bool m_stop = false;
};

} // namespace quorlink::testing
