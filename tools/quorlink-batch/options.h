#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorlink::batch {

// The command line of quorlink-batch.
struct Options
{
    std::optional<std::string> port; // "COMn" or a device path
    std::optional<std::uint32_t> baud;
    std::optional<std::int32_t> timeoutMs;
    bool eof = false;
    bool noEof = false;
    std::optional<std::string> codePage;
    std::optional<std::string> output; // "-" for standard output
    bool transcript = false;
    bool timing = false; // the time of each exchange, and their median
    bool listPorts = false;
    bool help = false;
    bool version = false;
    std::string source; // "-" for standard input
};

// Parses the arguments after the program's name, as getopt_long does: short
// options may be bundled (-eT) and take their value attached or apart
// (-t500, -t 500), long ones also as --name=value, and "--" ends the
// options.  On a usage error returns nothing and sets `error` to a line that
// says what is wrong.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

} // namespace quorlink::batch
