// quorlink-batch's command line, read without running anything, and the
// messages it gives for failures a test machine cannot bring about.

#include "messages.h"
#include "options.h"

#include "serial/porttable.h"

#include <gtest/gtest.h>

#include <cerrno>

using quorlink::batch::Options;
using quorlink::batch::parseOptions;
using quorlink::serial::OpenStep;
using quorlink::serial::PortError;
using quorlink::serial::PortErrorKind;
using quorlink::serial::PortHolder;
using quorlink::serial::PortSetting;

namespace {

std::optional<Options> parse(std::vector<std::string> args, std::string& error)
{
    error.clear();
    return parseOptions(args, error);
}

TEST(BatchOptions, shouldReadEveryOptionInBothFormsAndTheLastEofChoice)
{
    std::string error;
    const auto options =
        parse({"--port", "COM3", "--baud=115200", "--timeout", "0", "--eof", "--no-eof",
               "--codepage=windows-1250", "-o", "out.txt", "--transcript", "-"},
              error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->port, "COM3");
    EXPECT_EQ(options->baud, 115200u);
    EXPECT_EQ(options->timeoutMs, 0);
    EXPECT_FALSE(options->eof);
    EXPECT_TRUE(options->noEof);
    EXPECT_EQ(options->codePage, "windows-1250");
    EXPECT_EQ(options->output, "out.txt");
    EXPECT_TRUE(options->transcript);
    EXPECT_EQ(options->source, "-");

    ASSERT_TRUE(parse({"--list-ports"}, error));
    ASSERT_TRUE(parse({"--version"}, error));

    // Bundled short options, values attached or apart, SOURCE before the
    // options, and "--" before a SOURCE that starts with "-".
    const auto bundled = parse({"-eTt500", "-o-", "in.txt", "-b", "9600", "-pCOM2"}, error);
    ASSERT_TRUE(bundled) << error;
    EXPECT_TRUE(bundled->eof);
    EXPECT_TRUE(bundled->transcript);
    EXPECT_EQ(bundled->timeoutMs, 500);
    EXPECT_EQ(bundled->output, "-");
    EXPECT_EQ(bundled->baud, 9600u);
    EXPECT_EQ(bundled->port, "COM2");
    EXPECT_EQ(bundled->source, "in.txt");
    const auto dashed = parse({"--timing", "-c", "UTF-8", "--", "-lines.txt"}, error);
    ASSERT_TRUE(dashed) << error;
    EXPECT_TRUE(dashed->timing);
    EXPECT_EQ(dashed->codePage, "UTF-8");
    EXPECT_EQ(dashed->source, "-lines.txt");
    EXPECT_TRUE(parse({"-V"}, error)->version);
    EXPECT_TRUE(parse({"-h"}, error)->help);

    // The names --port takes as COM numbers are the ones the settings
    // file's [Ports] keys take: one spelling for each port.
    EXPECT_EQ(quorlink::serial::parseComName("COM3"), 3);
    EXPECT_EQ(quorlink::serial::parseComName("com255"), 255);
    for (const char* notCom :
         {"COM", "COM0", "COM 3", "COM03", "COM256", "COM+3", "COM3 ", "COMx", "/dev/ttyS0"})
        EXPECT_FALSE(quorlink::serial::parseComName(notCom)) << notCom;
}

TEST(BatchOptions, shouldRefuseWhatItCannotUseWithALineThatSaysWhy)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no SOURCE given"},
        {{"a.txt", "b.txt"}, "more than one SOURCE given"},
        {{"--port"}, "option --port needs a value"},
        {{"--port=", "a.txt"}, "option --port needs a port name or a device path"},
        {{"--baud", "1000", "a.txt"}, "unsupported speed '1000'"},
        // Beyond 32 bits: must not wrap onto 9600.
        {{"--baud", "4294976896", "a.txt"}, "unsupported speed '4294976896'"},
        {{"--timeout=-1", "a.txt"}, "time-out '-1' is not a number of milliseconds"},
        {{"--timeout", "12ms", "a.txt"}, "time-out '12ms' is not a number of milliseconds"},
        {{"--fast", "a.txt"}, "unknown option '--fast'"},
        {{"-ez", "a.txt"}, "unknown option '-z'"},
        {{"a.txt", "-p"}, "option -p needs a value"},
        {{"--eof=1", "a.txt"}, "option --eof takes no value"},
        {{"a.txt", "--", "-b.txt"}, "more than one SOURCE given"},
    };
    for (const auto& [args, message] : cases) {
        std::string error;
        EXPECT_FALSE(parse(args, error));
        EXPECT_EQ(error, message);
    }
}

// A UART whose clock cannot make the speed (only the driver tier has one),
// holders known in part, and the system's words with and without a meaning
// of our own.
TEST(BatchMessages, shouldSayWhyAPortDidNotOpen)
{
    using quorlink::batch::messages::cannotOpenPort;
    const std::string prefix = "cannot open COM2 (/dev/ttyS1): /dev/ttyS1: ";
    const auto open = [](const PortError& error, const std::string& system) {
        return cannotOpenPort("COM2", "/dev/ttyS1", error, system);
    };

    EXPECT_EQ(
        open({PortErrorKind::SpeedNotPossible, OpenStep::SettingSpeed, EINVAL, {}, 76800, 57600},
             "Invalid argument"),
        prefix + "setting the speed failed: the port cannot make 76800 Bd; the nearest "
                 "speed it can make is 57600 Bd");
    EXPECT_EQ(open({PortErrorKind::InUse, OpenStep::Locking, EBUSY, PortHolder{0, ""}}, "x"),
              prefix + "locking failed: the port is in use by another program");
    EXPECT_EQ(open({PortErrorKind::InUse, OpenStep::Locking, EBUSY, PortHolder{0, "minicom"}}, "x"),
              prefix + "locking failed: the port is in use by minicom");
    EXPECT_EQ(
        open({PortErrorKind::InUse, OpenStep::ClaimingExclusiveUse, EBUSY, PortHolder{412, ""}},
             "x"),
        prefix + "claiming exclusive use failed: the port is in use by pid 412");
    EXPECT_EQ(open({PortErrorKind::InUse, OpenStep::Locking, EWOULDBLOCK},
                   "Resource temporarily unavailable"),
              prefix + "locking failed: the port is in use by another program (Resource "
                       "temporarily unavailable)");
    EXPECT_EQ(
        open({PortErrorKind::PermissionDenied, OpenStep::Opening, EACCES}, "Permission denied"),
        prefix + "open failed: no permission to use the device (Permission denied)");
    EXPECT_EQ(open({PortErrorKind::NotResponding, OpenStep::SwitchingModemLines, EIO},
                   "Input/output error"),
              prefix + "switching DTR and RTS off failed: the device does not respond or was "
                       "removed (Input/output error)");
    EXPECT_EQ(
        open({PortErrorKind::Other, OpenStep::DiscardingInput, EINTR}, "Interrupted system call"),
        prefix + "discarding old input failed: Interrupted system call");
    // A driver that took the settings and kept others (Windows reads them
    // back): the setting it did not keep, as asked for.
    PortError kept{PortErrorKind::UnsupportedSetting, OpenStep::ApplyingLineSettings};
    kept.wantedBaud = 900;
    kept.refused = PortSetting::Speed;
    EXPECT_EQ(open(kept, "x"), prefix + "applying the line settings failed: the driver refused "
                                        "the line settings: speed 900 Bd");
    kept.refused = PortSetting::Parity;
    EXPECT_EQ(open(kept, "x"), prefix + "applying the line settings failed: the driver refused "
                                        "the line settings: parity none");
    kept.step = OpenStep::ApplyingTimeouts;
    kept.refused = PortSetting::Timeouts;
    EXPECT_EQ(open(kept, "x"),
              prefix + "applying the time-outs failed: the driver refused the time-outs");
    EXPECT_EQ(cannotOpenPort("COM0", "", {PortErrorKind::DeviceNotFound, OpenStep::Opening, ENOENT},
                             "No such file or directory"),
              "cannot open COM0 (): (no device): open failed: no such device (No such file or "
              "directory)");
}

} // namespace
