#pragma once

#include <csignal>
#include <sys/resource.h>

namespace quorlink::testing {

// While it lives, no file of this process can grow past `bytes`: a write
// beyond it fails with EFBIG, as a full disk fails one with ENOSPC.  Unlike
// permission bits it holds for root as well, so the tests that need a refused
// write also pass when the suite runs as root.  SIGXFSZ, which would end the
// process at the first refused write, is ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit is in force.
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = SIG_DFL;
    bool m_active = false;
};

} // namespace quorlink::testing
