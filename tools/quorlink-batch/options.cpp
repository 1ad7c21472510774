#include "options.h"

#include "serial/baudrates.h"

#include <algorithm>
#include <limits>
#include <string>

namespace quorlink::batch {

namespace {

// A whole number in decimal, all of `text`, within long long.
bool parseInt(const std::string& text, long long& value)
{
    if (text.empty())
        return false;
    std::size_t used = 0;
    try {
        value = std::stoll(text, &used, 10);
    } catch (...) {
        return false;
    }
    return used == text.size();
}

} // namespace

const char* const Usage =
    "Usage: quorlink-batch [OPTION]... SOURCE\n"
    "Send every line of SOURCE (- for standard input) to a serial device with CR LF\n"
    "and write each reply line, as the Quorlink window does.\n"
    "\n"
    "  --port COMn|DEVICE  port number (resolved as in the window) or device path\n"
    "  --baud N            speed in baud, one of 300 600 900 1200 1800 2400 3600\n"
    "                      4800 7200 9600 14400 19200 28800 38400 57600 76800 115200\n"
    "  --timeout MS        reply time-out: silence in milliseconds after which a\n"
    "                      reply is given up (0: no waiting at all)\n"
    "  --eof, --no-eof     send (or do not send) the end-of-file bytes 0x00 CR LF\n"
    "                      after the last line\n"
    "  --codepage NAME     code page of the wire and of the files (e.g. windows-1250)\n"
    "  --output FILE       write the replies to FILE (replaced atomically) instead of\n"
    "                      standard output\n"
    "  --transcript        write one line per request instead: number, request and\n"
    "                      reply (or - when none came), tab separated\n"
    "  --list-ports        list COM1 to COM16 with their devices, and serial devices\n"
    "                      that no COM number reaches yet\n"
    "  --help, --version\n"
    "\n"
    "Options left out are taken from the settings file of the Quorlink window.\n"
    "Exit status: 0 every line answered, 1 some lines unanswered, 2 port, file or\n"
    "usage error (also a port lost during the run), 130 stopped by Ctrl+C (the\n"
    "current exchange finishes; Ctrl+C again ends the program at once).\n";

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    Options options;
    bool haveSource = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string name = arg;
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            }
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (value)
                return value;
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        long long number = 0;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--list-ports") {
            options.listPorts = true;
        } else if (name == "--eof") {
            options.eof = true;
            options.noEof = false;
        } else if (name == "--no-eof") {
            options.noEof = true;
            options.eof = false;
        } else if (name == "--transcript") {
            options.transcript = true;
        } else if (name == "--port") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            // An empty name (an unset variable, say) would clear COM1's
            // device and send the source to the port's default instead.
            if (v->empty()) {
                error = "option --port needs a port name or a device path";
                return std::nullopt;
            }
            options.port = *v;
        } else if (name == "--baud") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            const auto& rates = serial::BaudRates;
            // Checked before the cast, so that no number wraps onto a speed.
            if (!parseInt(*v, number) || number < 1 ||
                number > std::numeric_limits<std::uint32_t>::max() ||
                std::find(rates.begin(), rates.end(), static_cast<std::uint32_t>(number)) ==
                    rates.end()) {
                error = "unsupported speed '" + *v + "'";
                return std::nullopt;
            }
            options.baud = static_cast<std::uint32_t>(number);
        } else if (name == "--timeout") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            if (!parseInt(*v, number) || number < 0 || number > 3600000) {
                error = "time-out '" + *v + "' is not a number of milliseconds";
                return std::nullopt;
            }
            options.timeoutMs = static_cast<std::int32_t>(number);
        } else if (name == "--codepage") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            options.codePage = *v;
        } else if (name == "--output" || name == "-o") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            options.output = *v;
        } else if (arg == "-" || arg.empty() || arg[0] != '-') {
            if (haveSource) {
                error = "more than one SOURCE given";
                return std::nullopt;
            }
            options.source = arg;
            haveSource = true;
        } else {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        }
    }
    if (!haveSource && !options.help && !options.version && !options.listPorts) {
        error = "no SOURCE given";
        return std::nullopt;
    }
    return options;
}

} // namespace quorlink::batch
