#include "options.h"

#include "messages.h"

#include "serial/baudrates.h"

#include <algorithm>
#include <getopt.h>
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

// The options that have no short form.
enum LongOnly : int { NoEof = 256, Timing, ListPorts };

const option LongOptions[] = {
    {"port", required_argument, nullptr, 'p'},
    {"baud", required_argument, nullptr, 'b'},
    {"timeout", required_argument, nullptr, 't'},
    {"eof", no_argument, nullptr, 'e'},
    {"no-eof", no_argument, nullptr, NoEof},
    {"codepage", required_argument, nullptr, 'c'},
    {"output", required_argument, nullptr, 'o'},
    {"transcript", no_argument, nullptr, 'T'},
    {"timing", no_argument, nullptr, Timing},
    {"list-ports", no_argument, nullptr, ListPorts},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
// The leading ':' makes a missing value come back as ':', apart from an
// unknown option ('?'); getopt_long itself prints nothing (opterr = 0).
constexpr char ShortOptions[] = ":p:b:t:ec:o:ThV";

// The option `val` as the user wrote it: its long name when `written` is a
// long option, else its letter.
std::string optionName(int val, const char* written)
{
    if (written && written[0] == '-' && written[1] == '-') {
        for (const option* o = LongOptions; o->name; ++o) {
            if (o->val == val)
                return std::string("--") + o->name;
        }
    }
    return std::string("-") + static_cast<char>(val);
}

bool isOption(int val)
{
    for (const option* o = LongOptions; o->name; ++o) {
        if (o->val == val)
            return true;
    }
    return false;
}

// Takes the value of one option into `options`; false with `error` set
// when it cannot be used.
bool takeValue(int val, const std::string& value, Options& options, std::string& error)
{
    long long number = 0;
    switch (val) {
    case 'p':
        // An empty name (an unset variable, say) would clear COM1's device
        // and send the source to the port's default instead.
        if (value.empty()) {
            error = messages::PortNeedsName;
            return false;
        }
        options.port = value;
        return true;
    case 'b': {
        const auto& rates = serial::BaudRates;
        // Checked before the cast, so that no number wraps onto a speed.
        if (!parseInt(value, number) || number < 1 ||
            number > std::numeric_limits<std::uint32_t>::max() ||
            std::find(rates.begin(), rates.end(), static_cast<std::uint32_t>(number)) ==
                rates.end()) {
            error = messages::unsupportedSpeed(value);
            return false;
        }
        options.baud = static_cast<std::uint32_t>(number);
        return true;
    }
    case 't':
        if (!parseInt(value, number) || number < 0 || number > 3600000) {
            error = messages::timeoutNotMilliseconds(value);
            return false;
        }
        options.timeoutMs = static_cast<std::int32_t>(number);
        return true;
    case 'c':
        options.codePage = value;
        return true;
    case 'o':
        options.output = value;
        return true;
    default:
        return true;
    }
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    // getopt_long wants writable strings and may reorder the array: the
    // options may come before or after SOURCE, until "--".
    std::vector<std::string> storage{"quorlink-batch"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    Options options;
    optind = 0; // a fresh scan: the program's own, or a test's next one
    opterr = 0;
    for (;;) {
        const int val = getopt_long(argc, argv.data(), ShortOptions, LongOptions, nullptr);
        if (val == -1)
            break;
        const char* written = optind > 0 && optind <= argc ? argv[optind - 1] : nullptr;
        switch (val) {
        case ':':
            error = messages::optionNeedsValue(optionName(optopt, written));
            return std::nullopt;
        case '?':
            // A long option given a value it does not take comes back with
            // its own code; anything unknown with none or an unknown letter.
            if (optopt != 0 && isOption(optopt) && written && written[1] == '-')
                error = messages::optionTakesNoValue(optionName(optopt, written));
            else if (optopt != 0)
                error = messages::unknownOption(std::string("-") + static_cast<char>(optopt));
            else
                error = messages::unknownOption(written ? written : "");
            return std::nullopt;
        case 'h':
            options.help = true;
            break;
        case 'V':
            options.version = true;
            break;
        case ListPorts:
            options.listPorts = true;
            break;
        case 'e':
            options.eof = true;
            options.noEof = false;
            break;
        case NoEof:
            options.noEof = true;
            options.eof = false;
            break;
        case 'T':
            options.transcript = true;
            break;
        case Timing:
            options.timing = true;
            break;
        default:
            if (!takeValue(val, optarg ? optarg : "", options, error))
                return std::nullopt;
            break;
        }
    }

    const int sources = argc - optind;
    if (sources > 1) {
        error = messages::MoreThanOneSource;
        return std::nullopt;
    }
    if (sources == 1)
        options.source = argv[static_cast<std::size_t>(optind)];
    else if (!options.help && !options.version && !options.listPorts) {
        error = messages::NoSource;
        return std::nullopt;
    }
    return options;
}

} // namespace quorlink::batch
