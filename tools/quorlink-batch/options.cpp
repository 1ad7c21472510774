#include "options.h"

#include "messages.h"

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
                error = messages::optionNeedsValue(name);
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
                error = messages::PortNeedsName;
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
                error = messages::unsupportedSpeed(*v);
                return std::nullopt;
            }
            options.baud = static_cast<std::uint32_t>(number);
        } else if (name == "--timeout") {
            auto v = takeValue();
            if (!v)
                return std::nullopt;
            if (!parseInt(*v, number) || number < 0 || number > 3600000) {
                error = messages::timeoutNotMilliseconds(*v);
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
                error = messages::MoreThanOneSource;
                return std::nullopt;
            }
            options.source = arg;
            haveSource = true;
        } else {
            error = messages::unknownOption(arg);
            return std::nullopt;
        }
    }
    if (!haveSource && !options.help && !options.version && !options.listPorts) {
        error = messages::NoSource;
        return std::nullopt;
    }
    return options;
}

} // namespace quorlink::batch
