// The test program's entry.  Run with "--settings-child" it performs one
// settings operation as a separate process, for the tests that need a second
// program or a fresh process environment.

#include "settings/settingsstore_ini.h"
#include "test_settings_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace quorlink::settings::testing {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

std::string readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

int startChild(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    for (const auto& [name, value] : environment) {
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    std::string self = "/proc/self/exe";
    std::string flag = "--settings-child";
    argv.push_back(self.data());
    argv.push_back(flag.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(self.c_str(), argv.data());
    _exit(127);
}

int waitChild(int pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace quorlink::settings::testing

namespace {

using quorlink::settings::createUserSettingsStore;
using quorlink::settings::IniSettingsStore;
using quorlink::settings::PortSettings;
using quorlink::settings::SettingsError;

// --settings-child ports <file> <count>: stores TimeOut 1000 + i, BaudRateIndex
//     i % 17, ComPortIndex i % 9 + 1 for i = 1 ... count.
// --settings-child eof <file> <count>: stores SendEndFile alternately, the
//     last one 1.
// --settings-child user-eof: stores SendEndFile 1 in the user's store.
// Exit status 0 on success, 2 on a SettingsError, 3 on bad arguments.
int runChild(int argc, char** argv)
{
    const std::string_view action = argc > 2 ? argv[2] : "";
    try {
        if (action == "user-eof") {
            createUserSettingsStore()->StoreSendEndFile(true);
            return 0;
        }
        if (argc != 5)
            return 3;
        IniSettingsStore store(QString::fromLocal8Bit(argv[3]));
        const int count = std::atoi(argv[4]);
        for (int i = 1; i <= count; ++i) {
            if (action == "ports")
                store.StorePortSettings(PortSettings{1000 + i, i % 17, i % 9 + 1});
            else if (action == "eof")
                store.StoreSendEndFile((count - i) % 2 == 0);
            else
                return 3;
        }
        return 0;
    } catch (const SettingsError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--settings-child") == 0)
        return runChild(argc, argv);

    // Qt resolves the per-user settings folder once per process: point it at
    // a folder of our own before anything asks, so that no test can touch the
    // user's real settings.
    QTemporaryDir configHome;
    if (!configHome.isValid())
        return 1;
    setenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()).constData(), 1);

    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
