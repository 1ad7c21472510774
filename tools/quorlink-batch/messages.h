#pragma once

// Everything quorlink-batch tells its user, in English, in one place: the
// help, the usage errors, the progress line and why a run could not be made
// or ended early.  Each error goes to standard error behind "quorlink-batch: ".

#include "serial/portdiscovery.h"
#include "serial/serialport.h"
#include "stopsignals.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorlink::batch::messages {

// What --help prints.
extern const char* const Usage;

// Written by the Ctrl+C handler with write(), which cannot format.
inline constexpr char Stopping[] = "\nquorlink-batch: stopping after the current exchange; "
                                   "Ctrl+C again ends the program now\n";

// "quorlink-batch: <message>" and the hint at --help, for a usage error.
std::string usageError(std::string_view message);
// "quorlink-batch: <message>", for any other error.
std::string error(std::string_view message);
// What --version prints.
std::string version(std::string_view number);

// ---- Usage errors
std::string optionNeedsValue(std::string_view option);
inline constexpr std::string_view PortNeedsName =
    "option --port needs a port name or a device path";
std::string unsupportedSpeed(std::string_view value);
std::string timeoutNotMilliseconds(std::string_view value);
inline constexpr std::string_view MoreThanOneSource = "more than one SOURCE given";
std::string unknownOption(std::string_view option);
std::string optionTakesNoValue(std::string_view option);
inline constexpr std::string_view NoSource = "no SOURCE given";

// ---- Before the run
std::string cannotReadSettings(std::string_view why);
// A source without a single line: nothing would be sent.  `source` as given
// on the command line ("-" for standard input).
std::string emptySource(std::string_view source);
std::string unknownCodePage(std::string_view name);
inline constexpr std::string_view NoSpeedStored = "no valid speed stored; give one with --baud";
inline constexpr std::string_view NoPortStored = "no port stored; give one with --port";
// Why `device`, the device of port `label`, did not open: `error` as the
// port reported it, with `systemText`, the system's words for its code.
std::string cannotOpenPort(std::string_view label, std::string_view device,
                           const serial::PortError& error, std::string_view systemText);

// ---- During and after the run
// "line 3 of 10, 2 replies, 1 without reply"
std::string progress(int line, int total, int replies, int unanswered);
// The port went away during line `line` of `total`: its send failed or its
// reply could no longer come.
std::string portLost(int line, int total);
// The program was told to stop at once by `cause` during line `line` of
// `total` (0: before the first line).
std::string stoppedBy(StopCause cause, int line, int total);
// The summary of --timing: the median and the slowest of the exchanges
// that got a reply, in tenths of a millisecond, and the line of the slowest.
std::string timingSummary(int replies, long long medianTenths, long long slowestTenths,
                          int slowestLine);
// Milliseconds in tenths as "52.3", whatever the locale.
std::string milliseconds(long long tenths);
// The replies could not be written out (a full disk, a closed pipe).
inline constexpr std::string_view StreamWriteError = "Stream write error";
// Something failed that has no words of its own.
inline constexpr std::string_view UnexpectedFailure = "unexpected failure";

// ---- --list-ports
// The port list as a table, one port a line ("COM3   /dev/ttyUSB0   yes
// FT232R USB UART, FTDI, ..."), then the [Ports] line of every number given
// to a device that no number reached.
std::string portListing(const std::vector<serial::ListedPort>& ports);

} // namespace quorlink::batch::messages
