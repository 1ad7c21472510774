#include "ptydevice.h"
#include "refuseddevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using quorlink::testing::PtyDevice;
using quorlink::testing::RefusedDevice;

using Clock = std::chrono::steady_clock;

struct Result
{
    int status = -1; // the exit status, or 128 + the signal that ended it
    bool signalled = false;
    std::chrono::steady_clock::duration took{};
    Clock::time_point ended{};
    std::string out;
    std::string err;
    // When each piece of standard output arrived, since the start, with the
    // length of the output so far.
    std::vector<std::pair<Clock::duration, std::size_t>> outArrivals{};
    long maxRssKiB = 0; // the program's peak memory
    // When its last words on standard error came: the end of its work,
    // before what a sanitizer does at exit.
    Clock::time_point lastErr{};
};

struct Launch
{
    std::string input{};         // fed to standard input ...
    std::size_t inputRepeat = 1; // ... this many times over
    // SIGINT is sent once each of these times has passed since the start.
    std::vector<std::chrono::milliseconds> interrupts{};
    // Standard output goes to this file instead of a pipe (opened for writing).
    std::string outputFile{};
    // The pipe of standard output is closed before anything is read from it.
    bool closeOutput = false;
    // The folder the program starts in (else the test's own).
    std::string workDir{};
    // Runs on a thread of its own while the program runs.
    std::function<void(pid_t)> during{};
};

// Runs quorlink-batch with its own settings folder.
Result runBatch(const std::vector<std::string>& args, const fs::path& config,
                const Launch& launch = {})
{
    // A program that stops reading its input fails the writes into it.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    if (launch.outputFile.empty())
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, launch.outputFile.c_str(), O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    if (!launch.workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, launch.workDir.c_str());

    std::vector<std::string> storage{QUORLINK_BATCH};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStorage{"XDG_CONFIG_HOME=" + config.string(), "LANG=C.UTF-8",
                                        "LC_ALL=C.UTF-8", "HOME=" + config.string()};
    // A sanitizer build's options reach the program as they reach the test.
    if (const char* options = getenv("ASAN_OPTIONS"))
        envStorage.push_back(std::string("ASAN_OPTIONS=") + options);
    std::vector<char*> envp;
    for (auto& e : envStorage)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, QUORLINK_BATCH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    Result result;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << QUORLINK_BATCH;
        return result;
    }
    const auto start = Clock::now();
    std::thread feeder([&, fd = in[1]] {
        for (std::size_t i = 0; i < launch.inputRepeat && !launch.input.empty(); ++i) {
            std::size_t done = 0;
            while (done < launch.input.size()) {
                const ssize_t n = write(fd, launch.input.data() + done, launch.input.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            if (done < launch.input.size())
                break;
        }
        close(fd);
    });
    std::thread helper;
    if (launch.during)
        helper = std::thread(launch.during, pid);

    std::size_t interrupted = 0;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    if (launch.closeOutput) {
        close(out[0]);
        fds[0].fd = -1;
        --open;
    }
    while (open > 0) {
        poll(fds, 2, 20);
        for (auto& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(p.fd);
                p.fd = -1;
                --open;
            } else if (p.fd == out[0]) {
                result.out.append(buffer, static_cast<size_t>(n));
                result.outArrivals.emplace_back(Clock::now() - start, result.out.size());
            } else {
                result.err.append(buffer, static_cast<size_t>(n));
                result.lastErr = Clock::now();
            }
        }
        if (interrupted < launch.interrupts.size() &&
            Clock::now() - start >= launch.interrupts[interrupted]) {
            kill(pid, SIGINT);
            ++interrupted;
        }
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.ended = Clock::now();
    result.took = result.ended - start;
    result.maxRssKiB = usage.ru_maxrss;
    result.signalled = WIFSIGNALED(status);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    feeder.join();
    if (helper.joinable())
        helper.join();
    return result;
}

class BatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorlink-batch-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        fs::create_directories(m_dir / "Brindova");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void writeSettings(const std::string& ini)
    {
        std::ofstream(m_dir / "Brindova" / "Quorlink.ini") << ini;
    }
    fs::path writeSource(const std::string& bytes, const std::string& name = "source.txt")
    {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string readFile(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path m_dir;
};

// A device that answers "R:<line>", stays silent for lines starting with
// "quiet", and answers after `delay`.
void answerRequests(PtyDevice& device)
{
    device.respond([](const std::string& line) -> std::vector<std::string> {
        if (line.rfind("quiet", 0) == 0)
            return {};
        return {"R:" + line + "\r\n"};
    });
}

TEST_F(BatchTest, shouldPrintEveryReplyAndExitZeroWhenAllLinesAreAnswered)
{
    PtyDevice device;
    answerRequests(device);
    const auto source = writeSource("*IDN?\r\nMEAS?\nREAD?");

    const Result r = runBatch({"--port", device.path(), "--timeout", "300", source}, m_dir);

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "R:*IDN?\nR:MEAS?\nR:READ?\n");
    EXPECT_EQ(device.received(), "*IDN?\r\nMEAS?\r\nREAD?\r\n");
    EXPECT_NE(r.err.find("line 3 of 3, 3 replies, 0 without reply"), std::string::npos) << r.err;
}

TEST_F(BatchTest, shouldMarkUnansweredLinesInTranscriptAndExitOne)
{
    PtyDevice device;
    answerRequests(device);
    const auto source = writeSource("A\r\nquiet please\r\nB\r\n");

    const Result r =
        runBatch({"--port", device.path(), "--timeout", "50", "--transcript", source}, m_dir);

    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "1\tA\tR:A\n2\tquiet please\t-\n3\tB\tR:B\n");
}

TEST_F(BatchTest, shouldTakePortSpeedTimeOutAndEndOfFileFromTheSettingsFile)
{
    PtyDevice device;
    answerRequests(device);
    writeSettings("[General]\nComPortIndex=4\nBaudRateIndex=9\nTimeOut=300\nSendEndFile=1\n"
                  "[Ports]\nCOM4=" +
                  device.path() + "\n");
    const auto source = writeSource("X\r\n");

    const Result r = runBatch({source}, m_dir);

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "R:X\n");
    ASSERT_TRUE(device.waitForBytes(6, 1000ms));
    EXPECT_EQ(device.received(), std::string("X\r\n\x00\r\n", 6));
}

// Stored settings the command line cannot use: a code page the system does
// not know, a speed outside the table.  The options win over them.
TEST_F(BatchTest, shouldRefuseUnusableStoredSettingsUnlessTheOptionsReplaceThem)
{
    PtyDevice device;
    answerRequests(device);
    writeSettings("[General]\nCodePage=x-no-such-code-page\nBaudRateIndex=17\n"
                  "[Ports]\nCOM2=" +
                  device.path() + "\n");
    const auto source = writeSource("\x9D\r\n"); // "ť" in windows-1250

    Result r = runBatch({"--list-ports"}, m_dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(device.path()), std::string::npos) << r.out;

    r = runBatch({"--port", "COM2", source}, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: unknown code page 'x-no-such-code-page'\n");

    r = runBatch({"--port", "COM2", "--codepage", "windows-1250", source}, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: no valid speed stored; give one with --baud\n");

    r = runBatch({"--port", "COM2", "--codepage", "windows-1250", "--baud", "9600", "--timeout",
                  "300", source},
                 m_dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(device.received(), "\x9D\r\n");
    EXPECT_EQ(r.out, "R:\x9D\n");
}

TEST_F(BatchTest, shouldReadStandardInputAndWriteTheOutputFileAsTheWindowSaves)
{
    PtyDevice device;
    answerRequests(device);
    const fs::path output = m_dir / "out.txt";
    std::ofstream(output) << "old content that must go";

    const Result r = runBatch(
        {"--port", device.path(), "--codepage", "windows-1250", "--output", output.string(), "-"},
        m_dir, {.input = "k\xF9\xF2\n"});

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(output), "R:k\xF9\xF2\r\n");
}

TEST_F(BatchTest, shouldFailWithOneLineAndStatusTwoForMissingFileOrUnopenablePort)
{
    PtyDevice device;
    Result r = runBatch({"--port", device.path(), (m_dir / "missing.txt").string()}, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Cannot open file"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    r = runBatch({"--port", "/dev/null", writeSource("A\r\n")}, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot open /dev/null"), std::string::npos) << r.err;

    r = runBatch({"--baud", "1234", "x"}, m_dir);
    EXPECT_EQ(r.status, 2);
    // 2^32 + 9600 and 9600 - 2^32 would wrap onto 9600.
    r = runBatch({"--baud", "4294976896", "x"}, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: unsupported speed '4294976896'\n"
                     "Try 'quorlink-batch --help'.\n");
    r = runBatch({"--baud=-4294957696", "x"}, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: unsupported speed '-4294957696'\n"
                     "Try 'quorlink-batch --help'.\n");
}

TEST_F(BatchTest, shouldReportReplyWriteFailureOnStandardOutputWithStatusTwo)
{
    PtyDevice device;
    answerRequests(device);
    const auto source = writeSource("A\r\nB\r\n");
    const std::string ending = "quorlink-batch: Stream write error\n";

    // A full disk, and a reader that went away.
    for (const Launch& launch : {Launch{.outputFile = "/dev/full"}, Launch{.closeOutput = true}}) {
        const Result r =
            runBatch({"--port", device.path(), "--timeout", "300", source}, m_dir, launch);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_FALSE(r.signalled);
        ASSERT_GE(r.err.size(), ending.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - ending.size()), ending) << r.err;
    }
}

// The device goes while line 2 waits for its reply, an earlier line and the
// last: the wait ends with the hang-up, not with the time-out, and the run
// with it.
TEST_F(BatchTest, shouldSayDuringWhichLineThePortWasLostAndEndAtOnce)
{
    for (const std::string lines : {"A\r\nquiet\r\nC\r\nD\r\n", "A\r\nquiet\r\n"}) {
        PtyDevice device;
        answerRequests(device);
        const auto total = std::to_string(std::count(lines.begin(), lines.end(), '\n'));
        Clock::time_point closed{};
        const Launch unplug{.during = [&](pid_t) {
            device.waitForBytes(10, 5000ms);
            std::this_thread::sleep_for(100ms);
            closed = Clock::now();
            device.closeMaster();
        }};

        const Result r = runBatch(
            {"--port", device.path(), "--timeout", "5000", "--transcript", writeSource(lines)},
            m_dir, unplug);

        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "1\tA\tR:A\n2\tquiet\t-\n");
        EXPECT_NE(r.err.find("\nquorlink-batch: port lost during line 2 of " + total + "\n"),
                  std::string::npos)
            << r.err;
        EXPECT_LT(r.lastErr - closed, 100ms);
        EXPECT_EQ(device.received(), "A\r\nquiet\r\n");
    }
}

TEST_F(BatchTest, shouldStopLikeEscOnCtrlCWithoutEndOfFileBytes)
{
    PtyDevice device;
    answerRequests(device);
    device.setDelay(60ms);
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "L" + std::to_string(i) + "\r\n";

    const Result r =
        runBatch({"--port", device.path(), "--eof", "--timeout", "500", writeSource(lines)}, m_dir,
                 {.interrupts = {300ms}});

    EXPECT_EQ(r.status, 130) << r.err;
    std::this_thread::sleep_for(100ms);
    const std::string received = device.received();
    EXPECT_LT(received.size(), lines.size());
    EXPECT_EQ(received.find('\0'), std::string::npos);
    // The exchange under way when Ctrl+C came still got its reply.
    const auto replies = std::count(r.out.begin(), r.out.end(), '\n');
    EXPECT_EQ(static_cast<std::size_t>(replies), device.lines().size());
    EXPECT_NE(r.err.find("quorlink-batch: stopping after the current exchange; Ctrl+C again "
                         "ends the program now\n"),
              std::string::npos)
        << r.err;
}

// A second Ctrl+C, SIGTERM or SIGHUP while a reply is awaited for 30 s: the
// wait ends at once, the port is closed (its lock file goes), the replies so
// far are written, to standard output or the output file, and the exit
// status and the last line say what stopped the run.
TEST_F(BatchTest, shouldStopAtOnceOnASecondCtrlCTermOrHangUpKeepingEveryReply)
{
    struct Case
    {
        std::vector<int> signals;
        int status;
        std::string cause;
        bool toFile;
    };
    for (const Case& c : {Case{{SIGINT, SIGINT}, 130, "a second Ctrl+C", false},
                          Case{{SIGTERM}, 143, "SIGTERM", true},
                          Case{{SIGHUP}, 129, "SIGHUP (the terminal went away)", false}}) {
        PtyDevice device;
        answerRequests(device);
        const fs::path lock = "/var/lock/LCK..pts_" + device.path().substr(9);
        const fs::path output = m_dir / "replies.txt";
        bool lockedWhileRunning = false;
        Clock::time_point signalled{};
        const Launch launch{.during = [&](pid_t pid) {
            device.waitForBytes(std::string("A\r\nB\r\nquiet\r\n").size(), 5000ms);
            std::this_thread::sleep_for(200ms);
            lockedWhileRunning = fs::exists(lock);
            for (const int signal : c.signals) {
                signalled = Clock::now();
                kill(pid, signal);
                std::this_thread::sleep_for(50ms);
            }
        }};
        std::vector<std::string> args{"--port", device.path(), "--timeout", "30000",
                                      writeSource("A\r\nB\r\nquiet\r\nD\r\n").string()};
        if (c.toFile)
            args.insert(args.end(), {"--output", output.string()});

        const Result r = runBatch(args, m_dir, launch);

        SCOPED_TRACE(c.cause);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_FALSE(r.signalled);
        // Not the 30 s time-out; a saved file's flush to the disk may take a while.
        EXPECT_LT(r.lastErr - signalled, 1s);
        // The file as the window saves it: UTF-8 with its mark, CR LF.
        EXPECT_EQ(c.toFile ? readFile(output) : r.out,
                  c.toFile ? "\xEF\xBB\xBFR:A\r\nR:B\r\n" : "R:A\nR:B\n");
        const std::string ending =
            "\nquorlink-batch: stopped by " + c.cause + " during line 3 of 4\n";
        ASSERT_GE(r.err.size(), ending.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - ending.size()), ending) << r.err;
        if (access("/var/lock", W_OK) == 0) {
            EXPECT_TRUE(lockedWhileRunning);
            EXPECT_FALSE(fs::exists(lock));
        }
        EXPECT_EQ(device.received(), "A\r\nB\r\nquiet\r\n");
    }
}

// Each reply reaches a pipe as its exchange ends, while the run goes on;
// with --timing each transcript row carries the milliseconds from the
// request to the reply (or the time-out), and standard error the median and
// the slowest.  The options as scripts write them: bundled, with attached
// values, "-o -" for standard output and "--" before a SOURCE that looks
// like an option.
TEST_F(BatchTest, shouldWriteEachRowAsItsExchangeEndsWithItsTime)
{
    PtyDevice device;
    answerRequests(device);
    device.setDelay(200ms);
    writeSource("A\r\nquiet\r\nB\r\n", "-lines.txt");

    const Result r =
        runBatch({"-Tp", device.path(), "-t400", "--timing", "-o", "-", "--", "-lines.txt"}, m_dir,
                 {.workDir = m_dir.string()});

    EXPECT_EQ(r.status, 1) << r.err;
    // Three rows, each with its time in milliseconds: the replies after the
    // device's 200 ms, the silent line after the 400 ms time-out.
    std::istringstream rows(r.out);
    std::string row;
    const std::vector<std::pair<std::string, double>> expected{
        {"1\tA\tR:A\t", 200}, {"2\tquiet\t-\t", 400}, {"3\tB\tR:B\t", 200}};
    for (const auto& [start, ms] : expected) {
        ASSERT_TRUE(std::getline(rows, row)) << r.out;
        ASSERT_EQ(row.substr(0, start.size()), start) << row;
        const double took = std::stod(row.substr(start.size()));
        EXPECT_GE(took, ms) << row;
        EXPECT_LT(took, ms + 80) << row;
    }
    // The first row was there long before the run ended.
    ASSERT_FALSE(r.outArrivals.empty());
    EXPECT_LT(r.outArrivals.front().first, r.took - 500ms);
    EXPECT_EQ(r.outArrivals.front().second, r.out.find('\n') + 1);
    EXPECT_NE(r.err.find("\ntiming of 2 replies: median 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" ms, slowest 2"), std::string::npos) << r.err;
}

// A device is no source, nor is an empty one; a fifo's writer is waited for.
TEST_F(BatchTest, shouldRefuseDevicesAndEmptySourcesAndWaitForAFifosWriter)
{
    PtyDevice device;
    answerRequests(device);
    const std::vector<std::string> port{"--port", device.path(), "--timeout", "300"};
    const auto with = [&](const std::string& source) {
        std::vector<std::string> args = port;
        args.push_back(source);
        return args;
    };

    Result r = runBatch(with("/dev/zero"), m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: Cannot open file \"/dev/zero\". Is a device\n");
    const fs::path empty = writeSource("");
    r = runBatch(with(empty.string()), m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: SOURCE '" + empty.string() + "' is empty: nothing to send\n");
    r = runBatch(with("-"), m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: standard input is empty: nothing to send\n");
    EXPECT_EQ(device.received(), "");

    const fs::path fifo = m_dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    r = runBatch(with(fifo.string()), m_dir, {.during = [&](pid_t) {
                     std::this_thread::sleep_for(300ms);
                     std::ofstream(fifo) << "late\r\n";
                 }});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "R:late\n");
    EXPECT_GE(r.took, 300ms);
}

// 200 MiB of lines on standard input: refused as soon as they exceed the
// pane's 64 Mi characters, without reading or keeping the rest.
TEST_F(BatchTest, shouldRefuseTwoHundredMebibytesOnStandardInputQuicklyInLittleMemory)
{
    PtyDevice device;
    const std::string mebibyte = [] {
        std::string lines;
        while (lines.size() < (1 << 20))
            lines += "y\n";
        return lines;
    }();

    const Result r =
        runBatch({"--port", device.path(), "-"}, m_dir, {.input = mebibyte, .inputRepeat = 200});

    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorlink-batch: Text exceeds memo capacity\n");
    EXPECT_LT(r.took, 5s);
    EXPECT_LT(r.maxRssKiB, 200 * 1024);
    EXPECT_EQ(device.received(), "");
    std::cout << "refused 200 MiB on standard input after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(r.took).count()
              << " ms, peak memory " << r.maxRssKiB / 1024 << " MiB\n";
}

// Starts `sleep` with the port as its standard input: a program that has
// the port open without any lock, as a `cat` of the device has.
pid_t holdPortOpen(const std::string& device)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, device.c_str(), O_RDONLY | O_NOCTTY, 0);
    char sleep[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleep, seconds, nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawnp(&pid, "sleep", &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Until it has the port open.
    const std::string fd0 = "/proc/" + std::to_string(pid) + "/fd/0";
    std::error_code ec;
    for (int i = 0; i < 500 && fs::read_symlink(fd0, ec) != device; ++i)
        std::this_thread::sleep_for(2ms);
    return pid;
}

TEST_F(BatchTest, shouldRefuseAPortAnotherProgramHoldsNamingItWithStatusTwo)
{
    PtyDevice device;
    answerRequests(device);
    const std::vector<std::string> args{"--port", device.path(), "--timeout", "300",
                                        writeSource("A\r\n").string()};
    const std::string refused = "quorlink-batch: cannot open " + device.path() + " (" +
                                device.path() + "): " + device.path() + ": ";

    const pid_t holder = holdPortOpen(device.path());
    Result r = runBatch(args, m_dir);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, refused + "claiming exclusive use failed: the port is in use by sleep (pid " +
                         std::to_string(holder) + ")\n");

    // A UUCP lock file: honoured while its process lives, taken over and
    // removed after the run once it has ended.
    const fs::path lock = "/var/lock/LCK..pts_" + device.path().substr(9);
    if (access("/var/lock", W_OK) != 0)
        GTEST_SKIP() << "/var/lock is not writable here";
    std::ofstream(lock) << "     " << getpid() << "\n";
    r = runBatch(args, m_dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, refused + "locking failed: the port is in use by test_batch (pid " +
                         std::to_string(getpid()) + ")\n");
    std::ofstream(lock) << "     " << holder << "\n";
    r = runBatch(args, m_dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "R:A\n");
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_EQ(device.received(), "A\r\n");
    fs::remove(lock);
}

// The list the port dialog shows: COM1 to COM16, then the numbers [Ports]
// maps and the stored one, each with its device and whether it is there.
TEST_F(BatchTest, shouldListPortsAsThePortDialogDoes)
{
    PtyDevice device;
    writeSettings("[General]\nComPortIndex=31\n[Ports]\nCOM2=" + device.path() +
                  "\nCOM3=/dev/quorlink-no-such-device\nCOM20=/dev/null\n");

    const Result r = runBatch({"--list-ports"}, m_dir);

    EXPECT_EQ(r.status, 0) << r.err;
    const auto row = [](const std::string& port, std::string device, const std::string& present) {
        device.resize(std::max<std::size_t>(device.size(), 40), ' ');
        return port + std::string(7 - port.size(), ' ') + device + ' ' + present;
    };
    std::vector<std::string> lines;
    std::istringstream text(r.out);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 19u) << r.out;
    EXPECT_EQ(lines[0], "Port   Device                                   Present What it is");
    EXPECT_EQ(lines[2], row("COM2", device.path(), "yes"));
    EXPECT_EQ(lines[3], row("COM3", "/dev/quorlink-no-such-device", "no"));
    EXPECT_EQ(lines[16].substr(0, 19), "COM16  /dev/ttyS15 ");
    // A machine's own serial ports may follow COM16 before them.
    const auto com20 = std::find(lines.begin() + 17, lines.end(), row("COM20", "/dev/null", "yes"));
    const auto com31 =
        std::find(lines.begin() + 17, lines.end(), row("COM31", "/dev/ttyS30", "no"));
    EXPECT_NE(com20, lines.end()) << r.out;
    EXPECT_LT(com20, com31) << r.out;
}

// A device this user may not open: which group may, and how to join it.
TEST_F(BatchTest, shouldNameTheGroupThatMayUseADeviceTheUserMayNotOpen)
{
    RefusedDevice refused("ttyUSB7");
    Result r;
    {
        RefusedDevice::Refusal asAnotherUser;
        r = runBatch({"--port", refused.path(), "--baud", "9600", "-"}, m_dir, {"PING\r\n"});
    }
    EXPECT_EQ(r.status, 2);
    const std::string device = refused.path();
    std::string expected = "quorlink-batch: cannot open " + device + " (" + device +
                           "): " + device +
                           ": open failed: no permission to use the device (Permission denied)";
    if (!refused.group().empty()) {
        expected += "; only members of group " + refused.group() +
                    " may use the device: add yourself with 'sudo usermod -aG " + refused.group() +
                    " $USER' (Debian), then log in again";
    }
    EXPECT_EQ(r.err, expected + "\n");
}

} // namespace
