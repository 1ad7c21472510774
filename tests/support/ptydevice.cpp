#include "ptydevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace quorlink::testing {

using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string("PtyDevice: ") + what + ": " + std::strerror(errno));
}

} // namespace

PtyDevice::PtyDevice()
{
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    if (::openpty(&m_master, &m_slave, nullptr, &raw, nullptr) != 0)
        fail("openpty");
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0 ||
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0 ||
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(m_slave, F_SETFD, FD_CLOEXEC) != 0 ||
        ::pipe2(m_wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        const int err = errno;
        ::close(m_master);
        ::close(m_slave);
        errno = err;
        fail("set-up");
    }
    m_path = name;
    replyWith("OK");
    m_thread = std::thread([this] { run(); });
}

PtyDevice::~PtyDevice()
{
    stopThread();
    for (int* fd : {&m_master, &m_slave, &m_wakePipe[0], &m_wakePipe[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PtyDevice::stopThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
}

void PtyDevice::wake() const
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &c, 1);
}

void PtyDevice::replyWith(std::string reply)
{
    respond([reply = std::move(reply)](const std::string&) {
        return std::vector<std::string>{reply + "\r\n"};
    });
}

void PtyDevice::echo()
{
    respond([](const std::string& line) { return std::vector<std::string>{line + "\r\n"}; });
}

void PtyDevice::silent()
{
    respond([](const std::string&) { return std::vector<std::string>{}; });
}

void PtyDevice::respond(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void PtyDevice::setDelay(std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_mutex);
    m_delay = delay;
}

void PtyDevice::setWriteGap(std::chrono::milliseconds gap)
{
    std::lock_guard lock(m_mutex);
    m_writeGap = gap;
}

void PtyDevice::send(const std::string& bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_outgoing.push_back({bytes, Clock::now()});
    }
    wake();
}

bool PtyDevice::waitUntilWritten(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_outgoing.empty(); });
}

std::string PtyDevice::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::string> PtyDevice::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool PtyDevice::waitForBytes(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_received.size() >= count; });
}

void PtyDevice::clearReceived()
{
    std::lock_guard lock(m_mutex);
    m_received.clear();
    m_lines.clear();
}

void PtyDevice::closeMaster()
{
    stopThread();
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    std::lock_guard lock(m_mutex);
    m_outgoing.clear();
    m_changed.notify_all();
}

void PtyDevice::handleInput(const char* data, std::size_t size)
{
    const std::size_t scanFrom = m_lineBuffer.empty() ? 0 : m_lineBuffer.size() - 1;
    m_lineBuffer.append(data, size);
    std::vector<std::string> complete;
    std::size_t start = 0;
    for (std::size_t pos = std::max(scanFrom, start);
         (pos = m_lineBuffer.find("\r\n", pos)) != std::string::npos;) {
        complete.push_back(m_lineBuffer.substr(start, pos - start));
        start = pos + 2;
        pos = start;
    }
    m_lineBuffer.erase(0, start);

    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        m_received.append(data, size);
        m_lines.insert(m_lines.end(), complete.begin(), complete.end());
        responder = m_responder;
    }
    m_changed.notify_all();
    if (complete.empty() || !responder)
        return;

    // The responder is test code: it runs without the lock held.
    std::vector<std::vector<std::string>> answers;
    for (const std::string& line : complete)
        answers.push_back(responder(line));

    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    for (auto& parts : answers) {
        auto due = now + m_delay;
        for (auto& part : parts) {
            m_outgoing.push_back({std::move(part), due});
            due += m_writeGap;
        }
    }
}

Clock::time_point PtyDevice::writeDue(bool& blocked)
{
    blocked = false;
    for (;;) {
        Outgoing* front = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_outgoing.empty()) {
                m_changed.notify_all();
                return Clock::time_point::max();
            }
            if (m_outgoing.front().due > Clock::now())
                return m_outgoing.front().due;
            // Only this thread removes entries, so the front stays valid.
            front = &m_outgoing.front();
        }
        const ssize_t n = ::write(m_master, front->bytes.data(), front->bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            blocked = true;
            return Clock::now();
        }
        std::lock_guard lock(m_mutex);
        if (n < 0 || static_cast<std::size_t>(n) == front->bytes.size())
            m_outgoing.pop_front();
        else
            front->bytes.erase(0, static_cast<std::size_t>(n));
    }
}

void PtyDevice::run()
{
    std::vector<char> buffer(65536);
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
        }
        bool blocked = false;
        const auto next = writeDue(blocked);
        int timeoutMs = -1;
        if (!blocked && next != Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
            timeoutMs = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
        }
        pollfd fds[2] = {{m_master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(m_wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
            if (n > 0) {
                handleInput(buffer.data(), static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                // No slave left open (cannot happen while ours is): stop
                // polling a descriptor that stays ready.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
}

} // namespace quorlink::testing
