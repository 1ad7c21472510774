#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorlink::batch {

// Exit statuses.
inline constexpr int ExitAllAnswered = 0;
inline constexpr int ExitSomeUnanswered = 1;
inline constexpr int ExitError = 2;     // port, file or usage error
inline constexpr int ExitStopped = 130; // Ctrl+C

struct Options
{
    std::optional<std::string> port; // "COMn" or a device path
    std::optional<std::uint32_t> baud;
    std::optional<std::int32_t> timeoutMs;
    bool eof = false;
    bool noEof = false;
    std::optional<std::string> codePage;
    std::optional<std::string> output;
    bool transcript = false;
    bool listPorts = false;
    bool help = false;
    bool version = false;
    std::string source; // "-" for standard input
};

// Parses the command line; on a usage error returns nothing and sets `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

int main(int argc, char** argv);

} // namespace quorlink::batch
