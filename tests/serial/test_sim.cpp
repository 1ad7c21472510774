// quorlink-sim driven through the serial link, as the demo and the
// benchmark use it.

#include "linkfixture.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quorlink::serial::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One quorlink-sim process with its own work folder.
class SimProcess
{
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        m_dir = fs::temp_directory_path() / ("quorlink-sim-test-" + std::to_string(::getpid()) +
                                             "-" + std::to_string(++s_count));
        fs::create_directories(m_dir);
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("pipe");
        args.insert(args.begin(), QUORLINK_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int err =
            ::posix_spawn(&m_pid, QUORLINK_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (err != 0) {
            ::close(out[0]);
            throw std::runtime_error("cannot start quorlink-sim");
        }
        // The first line is the device path.
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            m_path += c;
        ::close(out[0]);
    }

    ~SimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        fs::remove_all(m_dir);
    }

    // Asks the device to end, as Ctrl+C does; returns its exit status.
    int stop(int signal = SIGTERM)
    {
        ::kill(m_pid, signal);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    const std::string& path() const { return m_path; }
    fs::path file(const char* name) const { return m_dir / name; }

private:
    static inline int s_count = 0;
    pid_t m_pid = -1;
    fs::path m_dir;
    std::string m_path;
};

fs::path writeTable(const fs::path& file)
{
    std::ofstream(file, std::ios::binary) << "*IDN?\tBRINDOVA,QL-100\r\n"
                                          << "MEAS?\t+4.99E+00\n"
                                          << "not an entry\n";
    return file;
}

class SimDevice : public ::testing::Test
{
protected:
    bool open(const std::string& device)
    {
        link.portTable().setDevice(1, device);
        return link.OpenPort(1, 115200);
    }

    std::string exchange(std::string_view request, std::int32_t timeoutMs = 300)
    {
        std::string line(request);
        line += "\r\n";
        EXPECT_TRUE(
            link.SendBytes(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
        std::string reply;
        link.ReadReply(reply, timeoutMs);
        return reply;
    }

    RecordingView view;
    SerialLink link{view};
};

TEST_F(SimDevice, shouldAnswerFromTableThroughLinkAndLogRequests)
{
    const fs::path dir = fs::temp_directory_path();
    SimProcess sim({"--table", writeTable(dir / ("ql-table-" + std::to_string(::getpid()))),
                    "--default", "ERR", "--log", "/dev/null"});
    fs::remove(dir / ("ql-table-" + std::to_string(::getpid())));
    ASSERT_TRUE(open(sim.path())) << link.hCom().errorString();
    EXPECT_EQ(exchange("*IDN?"), "BRINDOVA,QL-100");
    EXPECT_EQ(exchange("MEAS?"), "+4.99E+00");
    EXPECT_EQ(exchange("unknown"), "ERR");
    EXPECT_EQ(sim.stop(SIGINT), 0);
}

TEST_F(SimDevice, shouldStaySilentForRequestMissingFromTableWithoutDefault)
{
    SimProcess sim({"--echo"});
    ASSERT_TRUE(open(sim.path()));
    EXPECT_EQ(exchange("ping"), "ping");
    SimProcess table({"--table", "/dev/null"});
    ASSERT_TRUE(open(table.path()));
    EXPECT_EQ(exchange("ping", 50), "");
}

TEST_F(SimDevice, shouldLinkLogAndCleanUpOnTerminate)
{
    const fs::path dir = fs::temp_directory_path() / ("ql-sim-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        SimProcess sim({"--link", (dir / "ttyQL0").string(), "--log", (dir / "device.log").string(),
                        "--delay", "30", "--reply", "Hotovo"});
        ASSERT_TRUE(fs::is_symlink(dir / "ttyQL0"));
        ASSERT_TRUE(open((dir / "ttyQL0").string()));
        EXPECT_EQ(exchange("A", 10), ""); // the delay outlasts this time-out
        EXPECT_EQ(exchange("B", 200), "Hotovo");
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "ttyQL0")));
        std::ifstream logFile(dir / "device.log");
        const std::string log((std::istreambuf_iterator<char>(logFile)), {});
        EXPECT_EQ(log, "A\nB\n");
    }
    fs::remove_all(dir);
}

TEST_F(SimDevice, shouldFreeThePortOfAClientThatDiedWithoutClosingIt)
{
    SimProcess sim({"--reply", "OK"});
    // A client that takes the port as the serial link does and is killed
    // before it can close it: the exclusive-use mark stays behind.
    const pid_t client = ::fork();
    if (client == 0) {
        SerialPort port;
        if (!port.open(sim.path(), 9600))
            ::_exit(1);
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(client, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    const auto deadline = Clock::now() + std::chrono::seconds(3);
    bool opened = false;
    while (!(opened = open(sim.path())) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(opened);
    EXPECT_EQ(exchange("AT"), "OK");
}

TEST_F(SimDevice, shouldWriteTimingStatsAtExit)
{
    const fs::path statsFile =
        fs::temp_directory_path() / ("ql-stats-" + std::to_string(::getpid()));
    std::map<std::string, double> stats;
    {
        SimProcess sim({"--stats", statsFile.string()});
        ASSERT_TRUE(open(sim.path()));
        for (const char* request : {"A", "B", "C"})
            EXPECT_EQ(exchange(request), "OK");
        EXPECT_EQ(sim.stop(), 0);
        std::ifstream in(statsFile);
        std::string key;
        double value = 0;
        while (in >> key >> value)
            stats[key] = value;
    }
    fs::remove(statsFile);
    // Three requests, and a turnaround before each but the first.
    EXPECT_EQ(stats["requests"], 3);
    EXPECT_EQ(stats["turnarounds"], 2);
    EXPECT_GT(stats["span_us"], 0);
    EXPECT_GT(stats["rate_per_s"], 0);
    EXPECT_GT(stats["turnaround_median_us"], 0);
    EXPECT_GE(stats["turnaround_p99_us"], stats["turnaround_median_us"]);
    EXPECT_GE(stats["turnaround_p999_us"], stats["turnaround_p99_us"]);
    EXPECT_GE(stats["turnaround_max_us"], stats["turnaround_p999_us"]);
    EXPECT_GE(stats["turnaround_max_us"], stats["turnaround_mean_us"]);
    EXPECT_GT(stats["turnaround_mean_us"], 0);
    // An exchange holds a turnaround and the device's own answer.
    EXPECT_GE(stats["exchange_max_us"], stats["turnaround_max_us"]);
    EXPECT_EQ(stats.count("busy_percent"), 1u);

    SimProcess unwritable({"--stats", "/nonexistent-dir/stats.txt"});
    EXPECT_TRUE(unwritable.path().empty()); // refused before the device exists
    EXPECT_EQ(unwritable.stop(), 1);
}

TEST_F(SimDevice, shouldKeepUpWithThousandsOfExchangesPerSecond)
{
    SimProcess sim({});
    ASSERT_TRUE(open(sim.path()));
    constexpr int Exchanges = 5000;
    const auto start = Clock::now();
    int replies = 0;
    for (int i = 0; i < Exchanges; ++i)
        replies += exchange("MEAS:VOLT:DC?") == "OK";
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%d exchanges in %.3f s: %.0f exchanges/s\n", Exchanges, seconds,
                Exchanges / seconds);
    EXPECT_EQ(replies, Exchanges);
    EXPECT_LT(seconds, 5.0);
}

} // namespace
} // namespace quorlink::serial::testing
