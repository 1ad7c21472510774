// quorlink-batch's command line, read without running anything.

#include "options.h"

#include "serial/porttable.h"

#include <gtest/gtest.h>

using quorlink::batch::Options;
using quorlink::batch::parseOptions;

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
    };
    for (const auto& [args, message] : cases) {
        std::string error;
        EXPECT_FALSE(parse(args, error));
        EXPECT_EQ(error, message);
    }
}

} // namespace
