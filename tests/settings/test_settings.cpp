#include "filesizelimit.h"
#include "settings/settingsstore_ini.h"
#include "test_settings_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <thread>

namespace quorlink::settings {
namespace {

using testing::readFile;
using testing::writeFile;

// Every test works on a file of its own, in a folder the test creates.
class IniSettingsStoreTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString pathIn(const QString& relative) const { return m_dir.filePath(relative); }
    QString settingsPath() const { return pathIn(QStringLiteral("Brindova/Quorlink.ini")); }
    StoredSettings load() const { return IniSettingsStore(settingsPath()).LoadSettings(); }
    void write(const QByteArray& text) const { writeFile(settingsPath(), text); }

    QTemporaryDir m_dir;
};

TEST_F(IniSettingsStoreTest, shouldGiveDefaultsAndNoPortOnFirstStartWithoutFile)
{
    const StoredSettings loaded = load();

    EXPECT_FALSE(loaded.keyExisted);
    EXPECT_FALSE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.port.BaudRateIndex, 5);
    EXPECT_EQ(loaded.port.ComPortIndex, 0);
    EXPECT_FALSE(loaded.sendEndFile.has_value());
    EXPECT_TRUE(loaded.ports.empty());
    EXPECT_EQ(loaded.codePage, "");
    EXPECT_FALSE(QFile::exists(settingsPath())) << "loading must not create the file";
}

TEST_F(IniSettingsStoreTest, shouldTreatFileWithOnlyPortsAndCodePageAsFirstStart)
{
    write("[General]\nCodePage=windows-1250\n\n[Ports]\nCOM3=/dev/ttyUSB0\n");

    const StoredSettings loaded = load();

    EXPECT_FALSE(loaded.keyExisted);
    EXPECT_FALSE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.codePage, "windows-1250");
    EXPECT_EQ(loaded.ports, (std::map<std::int32_t, std::string>{{3, "/dev/ttyUSB0"}}));
}

TEST_F(IniSettingsStoreTest, shouldStoreCom3At9600BdAnd500msAsPlainIntegersAndLoadThemBack)
{
    IniSettingsStore(settingsPath()).StorePortSettings(PortSettings{500, 9, 3});

    EXPECT_EQ(readFile(settingsPath()),
              "[General]\nBaudRateIndex=9\nComPortIndex=3\nTimeOut=500\n");
    const StoredSettings loaded = load();
    EXPECT_TRUE(loaded.keyExisted);
    EXPECT_TRUE(loaded.portStored);
    EXPECT_EQ(loaded.port.TimeOut, 500);
    EXPECT_EQ(loaded.port.BaudRateIndex, 9);
    EXPECT_EQ(loaded.port.ComPortIndex, 3);
    EXPECT_FALSE(loaded.sendEndFile.has_value());
}

TEST_F(IniSettingsStoreTest, shouldStoreSendEndFileAsOneOrZeroAndReadAnyNonZeroAsChecked)
{
    IniSettingsStore store(settingsPath());

    store.StoreSendEndFile(true);
    EXPECT_EQ(readFile(settingsPath()), "[General]\nSendEndFile=1\n");
    EXPECT_EQ(store.LoadSettings().sendEndFile, true);

    store.StoreSendEndFile(false);
    EXPECT_EQ(readFile(settingsPath()), "[General]\nSendEndFile=0\n");
    EXPECT_EQ(store.LoadSettings().sendEndFile, false);

    write("[General]\nSendEndFile=-7\n");
    EXPECT_EQ(store.LoadSettings().sendEndFile, true);
}

TEST_F(IniSettingsStoreTest, shouldRewriteOnlyTheValuesOfEachStore)
{
    IniSettingsStore store(settingsPath());
    store.StorePortSettings(PortSettings{500, 9, 3});
    store.StoreSendEndFile(true);
    store.StorePortSettings(PortSettings{1500, 16, 12});

    EXPECT_EQ(readFile(settingsPath()),
              "[General]\nBaudRateIndex=16\nComPortIndex=12\nSendEndFile=1\nTimeOut=1500\n");
}

TEST_F(IniSettingsStoreTest, shouldApplyOptionButOpenNoPortWhenOnlySendEndFileIsStored)
{
    IniSettingsStore(settingsPath()).StoreSendEndFile(true);

    const StoredSettings loaded = load();

    EXPECT_TRUE(loaded.keyExisted);
    EXPECT_FALSE(loaded.portStored);
    EXPECT_EQ(loaded.sendEndFile, true);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.port.BaudRateIndex, 5);
    EXPECT_EQ(loaded.port.ComPortIndex, 0);
}

TEST_F(IniSettingsStoreTest, shouldGiveDefaultsForMissingValuesOfPartialStore)
{
    write("[General]\nComPortIndex=4\n");

    const StoredSettings loaded = load();

    EXPECT_TRUE(loaded.portStored);
    EXPECT_EQ(loaded.port.ComPortIndex, 4);
    EXPECT_EQ(loaded.port.TimeOut, 200);
    EXPECT_EQ(loaded.port.BaudRateIndex, 5);
    EXPECT_FALSE(loaded.sendEndFile.has_value());
}

TEST_F(IniSettingsStoreTest, shouldGiveDefaultsForValuesThatAreNotIntegers)
{
    // The last is a number in a file whose end a crash turned to zero bytes.
    const std::string_view notIntegers[] = {
        "abc",         "1.5",         "",     "0x10", "1,2",         "2147483648",
        "-2147483649", "99999999999", "5 ms", "\"\"", {"5\0\0\0", 4}};
    for (const std::string_view text : notIntegers) {
        SCOPED_TRACE(std::string(text));
        const QByteArray value(text.data(), static_cast<qsizetype>(text.size()));
        // A fresh file name each time: QSettings caches a file's contents per
        // name and rereads it only when its size or time changed.
        const QString path = pathIn(QStringLiteral("ill-typed-%1.ini").arg(qHash(value)));
        writeFile(path, "[General]\nTimeOut=" + value + "\nBaudRateIndex=" + value +
                            "\nComPortIndex=" + value + "\nSendEndFile=" + value + "\n");

        const StoredSettings loaded = IniSettingsStore(path).LoadSettings();

        EXPECT_TRUE(loaded.keyExisted);
        EXPECT_FALSE(loaded.portStored);
        EXPECT_EQ(loaded.port.TimeOut, 200);
        EXPECT_EQ(loaded.port.BaudRateIndex, 5);
        EXPECT_EQ(loaded.port.ComPortIndex, 0);
        EXPECT_FALSE(loaded.sendEndFile.has_value());
    }
}

TEST_F(IniSettingsStoreTest, shouldStoreAndLoadOutOfRangeValuesAsTheyAre)
{
    IniSettingsStore store(settingsPath());
    store.StorePortSettings(PortSettings{-2147483647 - 1, 99, 2147483647});

    EXPECT_EQ(readFile(settingsPath()),
              "[General]\nBaudRateIndex=99\nComPortIndex=2147483647\nTimeOut=-2147483648\n");
    const StoredSettings loaded = store.LoadSettings();
    EXPECT_EQ(loaded.port.TimeOut, -2147483647 - 1);
    EXPECT_EQ(loaded.port.BaudRateIndex, 99);
    EXPECT_EQ(loaded.port.ComPortIndex, 2147483647);
}

// Tests run as root, where permission bits stop nothing: the store cannot be
// opened when a regular file stands in place of its folder or a folder in
// place of the file.
TEST_F(IniSettingsStoreTest, shouldSkipStoreSilentlyWhenItCannotBeOpenedOrCreated)
{
    writeFile(pathIn(QStringLiteral("Brindova")), "not a folder");
    IniSettingsStore noFolder(settingsPath());
    EXPECT_NO_THROW(noFolder.StorePortSettings(PortSettings{500, 9, 3}));
    EXPECT_NO_THROW(noFolder.StoreSendEndFile(true));
    EXPECT_FALSE(noFolder.LoadSettings().keyExisted);

    const QString unreadable = pathIn(QStringLiteral("other/Quorlink.ini"));
    ASSERT_TRUE(QDir().mkpath(unreadable));
    IniSettingsStore folderInPlace(unreadable);
    EXPECT_NO_THROW(folderInPlace.StorePortSettings(PortSettings{500, 9, 3}));
    EXPECT_NO_THROW(folderInPlace.StoreSendEndFile(false));
    EXPECT_TRUE(QFileInfo(unreadable).isDir());
    EXPECT_EQ(QDir(pathIn(QStringLiteral("other")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("Quorlink.ini")});
}

// A file that cannot grow stands for a full disk: the store opens, the write
// fails.  The refused values stay out of the file for good, also when the
// next operation succeeds.
TEST_F(IniSettingsStoreTest, shouldNameFirstValueOfRefusedWriteAndNeverWriteItLater)
{
    const QByteArray before = "[General]\nTimeOut=500\n\n[Ports]\nCOM1=/dev/ttyUSB0\n"
                              "COM2=" +
                              QByteArray(600, 'x') + "\n";
    write(before);
    IniSettingsStore store(settingsPath());
    {
        quorlink::testing::FileSizeLimit fullDisk(300);
        ASSERT_TRUE(fullDisk.active());
        try {
            // TimeOut is named although the file already holds 500.
            store.StorePortSettings(PortSettings{500, 9, 3});
            ADD_FAILURE() << "no error";
        } catch (const SettingsError& error) {
            EXPECT_STREQ(error.what(), "Failed to set data for 'TimeOut'");
        }
        try {
            store.StoreSendEndFile(true);
            ADD_FAILURE() << "no error";
        } catch (const SettingsError& error) {
            EXPECT_STREQ(error.what(), "Failed to set data for 'SendEndFile'");
        }
    }
    EXPECT_EQ(readFile(settingsPath()), before.toStdString());

    store.StoreSendEndFile(false);
    const std::string text = readFile(settingsPath());
    EXPECT_EQ(text.substr(0, text.find("\n\n")), "[General]\nSendEndFile=0\nTimeOut=500");
    EXPECT_EQ(QDir(pathIn(QStringLiteral("Brindova")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("Quorlink.ini")});
}

TEST_F(IniSettingsStoreTest, shouldKeepPortsCodePageAndUnknownEntriesAcrossBothStores)
{
    write("; written by hand\n"
          "[General]\n"
          "CodePage=windows-1250\n"
          "Theme=dark\n"
          "\n"
          "[Ports]\n"
          "COM2=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"
          "COM3=/dev/ttyUSB0\n"
          "\n"
          "[Other]\n"
          "Key=value\n");
    IniSettingsStore store(settingsPath());

    store.StorePortSettings(PortSettings{500, 9, 3});
    store.StoreSendEndFile(true);

    const std::string text = readFile(settingsPath());
    EXPECT_NE(text.find("CodePage=windows-1250\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Theme=dark\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Ports]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("COM3=/dev/ttyUSB0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Other]\nKey=value\n"), std::string::npos) << text;
    const StoredSettings loaded = store.LoadSettings();
    EXPECT_EQ(loaded.codePage, "windows-1250");
    EXPECT_EQ(loaded.ports,
              (std::map<std::int32_t, std::string>{
                  {2, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
                  {3, "/dev/ttyUSB0"}}));
    EXPECT_EQ(loaded.port.TimeOut, 500);
    EXPECT_EQ(loaded.sendEndFile, true);
}

TEST_F(IniSettingsStoreTest, shouldReadCodePageAndDevicesTheSameBeforeAndAfterAStore)
{
    // QSettings reads an unquoted list with a piece beginning "@" as a list
    // of variants, and one with a NUL in a piece so once it has rewritten it.
    const char text[] = "[General]\nCodePage=@cp,1250\n[Ports]\nCOM3=@usb,0\nCOM4=a\0b,c\n";
    write(QByteArray(text, sizeof text - 1));
    const StoredSettings first = load();
    EXPECT_EQ(first.codePage, "@cp,1250");
    EXPECT_EQ(first.ports,
              (std::map<std::int32_t, std::string>{{3, "@usb,0"}, {4, std::string("a\0b,c", 5)}}));

    IniSettingsStore(settingsPath()).StorePortSettings(PortSettings{500, 9, 3});
    // As the next start reads it: this process keeps its own view of the file.
    const QString copy = pathIn(QStringLiteral("copy.ini"));
    writeFile(copy, QByteArray::fromStdString(readFile(settingsPath())));
    const StoredSettings again = IniSettingsStore(copy).LoadSettings();
    EXPECT_EQ(again.codePage, "@cp,1250");
    EXPECT_EQ(again.ports, first.ports);
}

TEST_F(IniSettingsStoreTest, shouldReadPortKeysInAnyCaseAndIgnoreJunkKeys)
{
    write("[Ports]\n"
          "com12=/dev/ttyACM0\n"
          "Com4=/dev/lower\n"
          "COM4=/dev/upper\n"
          "COM7=\"/dev/a,b\"\n"
          "COM8=/dev/c,d\n"
          "COM9=/dev/serial/by-id/čidlo\n"
          "COM5=\n"
          "COM0=/dev/zero\n"
          "COM03=/dev/leading-zero\n"
          "COM-1=/dev/minus\n"
          "COM=/dev/none\n"
          "COMx=/dev/letter\n"
          "COM99999999999=/dev/huge\n"
          "LPT1=/dev/lp0\n");

    const StoredSettings loaded = load();

    EXPECT_EQ(loaded.ports, (std::map<std::int32_t, std::string>{{4, "/dev/upper"},
                                                                 {7, "/dev/a,b"},
                                                                 {8, "/dev/c,d"},
                                                                 {9, "/dev/serial/by-id/čidlo"},
                                                                 {12, "/dev/ttyACM0"}}));
}

// The port dialog maps a device it numbered: one line added to [Ports],
// never for a number that maps a device already (in any letter case), every
// other entry kept.  (A line that cannot be written: the dialog's test.)
TEST_F(IniSettingsStoreTest, shouldAddAPortLineOnlyForANumberThatMapsNoDevice)
{
    write("[General]\nCodePage=windows-1250\nComPortIndex=3\n\n"
          "[Ports]\ncom18=/dev/ttyACM0\nCOM19=\nCOM3=/dev/ttyUSB0\n");
    IniSettingsStore store(settingsPath());
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

    store.StorePortDevice(17, byId);
    store.StorePortDevice(17, "/dev/ttyUSB9");
    store.StorePortDevice(18, "/dev/ttyUSB9");
    store.StorePortDevice(19, "/dev/a,b");

    EXPECT_EQ(readFile(settingsPath()), "[General]\nCodePage=windows-1250\nComPortIndex=3\n\n"
                                        "[Ports]\nCOM17=" +
                                            byId +
                                            "\nCOM19=\"/dev/a,b\"\nCOM3=/dev/ttyUSB0\n"
                                            "com18=/dev/ttyACM0\n");
}

TEST_F(IniSettingsStoreTest, shouldSeeEditsOfAnotherProgramBetweenOperations)
{
    IniSettingsStore store(settingsPath());
    store.StorePortSettings(PortSettings{500, 9, 3});
    write("[General]\nCodePage=ISO-8859-2\nComPortIndex=3\nTimeOut=1234\n");

    EXPECT_EQ(store.LoadSettings().port.TimeOut, 1234);
    store.StoreSendEndFile(true);
    EXPECT_EQ(readFile(settingsPath()),
              "[General]\nCodePage=ISO-8859-2\nComPortIndex=3\nSendEndFile=1\nTimeOut=1234\n");
}

TEST_F(IniSettingsStoreTest, shouldReadDamagedFileAsFarAsItCanAndStillStoreIntoIt)
{
    const char damage[] = "\x01\x02\x00\xff=zz\n\x00\x00\n";
    write("[General\n" + QByteArray(damage, sizeof damage - 1) +
          "[General]\nTimeOut=700\n[Ports]\nCOM3=/dev/ttyUSB0\n=\n");

    const StoredSettings loaded = load();
    EXPECT_EQ(loaded.port.TimeOut, 700);
    EXPECT_EQ(loaded.ports.at(3), "/dev/ttyUSB0");

    // The damage makes QSettings report a FormatError even though the store
    // itself succeeded; that must not be taken for a failed write.
    EXPECT_NO_THROW(IniSettingsStore(settingsPath()).StorePortSettings(PortSettings{500, 9, 3}));
    EXPECT_EQ(load().port.TimeOut, 500);
}

// The bytes each store leaves in the file, whole: a file the program wrote
// before must come out of the same operations the same way, whatever a
// hand-edited file holds around the values.
TEST_F(IniSettingsStoreTest, shouldWriteTheFileByteForByte)
{
    IniSettingsStore store(settingsPath());

    // From a first start: the window closed, the dialog confirmed twice, the
    // window closed again.
    store.StoreSendEndFile(false);
    EXPECT_EQ(readFile(settingsPath()), "[General]\nSendEndFile=0\n");
    store.StorePortSettings(PortSettings{500, 9, 3});
    store.StorePortSettings(PortSettings{-1, 16, 2147483647});
    store.StoreSendEndFile(true);
    EXPECT_EQ(readFile(settingsPath()),
              "[General]\nBaudRateIndex=16\nComPortIndex=2147483647\nSendEndFile=1\nTimeOut=-1\n");

    // A file edited by hand: its comment goes, every entry stays (an unquoted
    // comma gains a space), a value that was no integer is replaced.
    write("; written by hand\n"
          "[General]\n"
          "CodePage=windows-1250\n"
          "Theme=dark\n"
          "TimeOut=abc\n"
          "\n"
          "[Ports]\n"
          "com4=/dev/ttyACM0\n"
          "COM7=\"/dev/a,b\"\n"
          "COM8=/dev/c,d\n"
          "COM9=/dev/serial/by-id/čidlo\n"
          "\n"
          "[Other]\n"
          "Key=value\n");
    store.StorePortSettings(PortSettings{500, 9, 3});
    store.StoreSendEndFile(true);
    const auto edited = [](char sendEndFile) {
        return std::string("[General]\nBaudRateIndex=9\nCodePage=windows-1250\nComPortIndex=3\n"
                           "SendEndFile=") +
               sendEndFile +
               "\nTheme=dark\nTimeOut=500\n\n"
               "[Other]\nKey=value\n\n"
               "[Ports]\nCOM7=\"/dev/a,b\"\nCOM8=/dev/c, d\nCOM9=/dev/serial/by-id/čidlo\n"
               "com4=/dev/ttyACM0\n";
    };
    EXPECT_EQ(readFile(settingsPath()), edited('1'));

    // A refused write leaves the file as it was; the next store writes only
    // its own value.
    {
        quorlink::testing::FileSizeLimit fullDisk(100);
        ASSERT_TRUE(fullDisk.active());
        EXPECT_THROW(store.StorePortSettings(PortSettings{1500, 16, 12}), SettingsError);
    }
    EXPECT_EQ(readFile(settingsPath()), edited('1'));
    store.StoreSendEndFile(false);
    EXPECT_EQ(readFile(settingsPath()), edited('0'));
    EXPECT_EQ(QDir(pathIn(QStringLiteral("Brindova")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("Quorlink.ini")});
}

TEST_F(IniSettingsStoreTest, shouldNeverCrashOnRandomBytes)
{
    std::mt19937 random(4);
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes(static_cast<int>(random() % 600), '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(round % 2 ? random() % 256
                                               : "[]=\n\\\"@,;#%COMPrt 0123"[random() % 23]);
        const QString path = pathIn(QStringLiteral("random-%1.ini").arg(round));
        writeFile(path, bytes);

        const StoredSettings loaded = IniSettingsStore(path).LoadSettings();
        if (!loaded.portStored) {
            EXPECT_EQ(loaded.port.ComPortIndex, 0);
        }
    }
}

TEST_F(IniSettingsStoreTest, shouldUseXdgConfigHomeForTheUsersStore)
{
    // main() pointed XDG_CONFIG_HOME at a temporary folder of the test run.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(configHome, nullptr);
    const QString expected = QFile::decodeName(configHome) + "/Brindova/Quorlink.ini";
    ASSERT_EQ(IniSettingsStore::userFilePath(), expected);

    createUserSettingsStore()->StoreSendEndFile(true);

    EXPECT_EQ(readFile(expected), "[General]\nSendEndFile=1\n");
    EXPECT_EQ(createUserSettingsStore()->LoadSettings().sendEndFile, true);
    ASSERT_TRUE(QFile::remove(expected));
}

TEST_F(IniSettingsStoreTest, shouldUseDotConfigInHomeWhenXdgConfigHomeIsUnset)
{
    const QString home = pathIn(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));

    const int child =
        testing::startChild({"user-eof"}, {{"XDG_CONFIG_HOME", ""}, {"HOME", home.toStdString()}});

    EXPECT_EQ(testing::waitChild(child), 0);
    EXPECT_EQ(readFile(home + "/.config/Brindova/Quorlink.ini"), "[General]\nSendEndFile=1\n");
}

// Two programs storing into one file at the same time: the store locks the
// file while it rereads, merges and atomically replaces it.
TEST_F(IniSettingsStoreTest, shouldKeepBothProgramsValuesWhenTheyStoreAtOnce)
{
    write("[General]\nCodePage=windows-1250\n\n[Ports]\nCOM3=/dev/ttyUSB0\n");
    const std::string path = settingsPath().toStdString();
    const std::string count = "100";

    const int ports = testing::startChild({"ports", path, count});
    const int eof = testing::startChild({"eof", path, count});

    ASSERT_EQ(testing::waitChild(ports), 0);
    ASSERT_EQ(testing::waitChild(eof), 0);
    // No lock or half-written temporary file is left behind.
    EXPECT_EQ(QDir(pathIn(QStringLiteral("Brindova")))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("Quorlink.ini")});
    const std::string text = readFile(settingsPath());
    EXPECT_EQ(text, "[General]\nBaudRateIndex=15\nCodePage=windows-1250\nComPortIndex=2\n"
                    "SendEndFile=1\nTimeOut=1100\n\n[Ports]\nCOM3=/dev/ttyUSB0\n");
}

TEST_F(IniSettingsStoreTest, shouldKeepBothThreadsValuesWhenTheyStoreAtOnce)
{
    const QString path = settingsPath();
    std::thread ports([&path] {
        IniSettingsStore store(path);
        for (int i = 1; i <= 100; ++i)
            store.StorePortSettings(PortSettings{1000 + i, i % 17, i % 9 + 1});
    });
    std::thread eof([&path] {
        IniSettingsStore store(path);
        for (int i = 1; i <= 100; ++i)
            store.StoreSendEndFile(i % 2 == 0);
    });
    ports.join();
    eof.join();

    EXPECT_EQ(readFile(path), "[General]\nBaudRateIndex=15\nComPortIndex=2\nSendEndFile=1\n"
                              "TimeOut=1100\n");
}

} // namespace
} // namespace quorlink::settings
