#include "messages.h"

#include <cstdint>

namespace quorlink::batch::messages {

namespace {

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

const char* stepName(serial::OpenStep step)
{
    using serial::OpenStep;
    switch (step) {
    case OpenStep::Locking:
        return "locking";
    case OpenStep::ClaimingExclusiveUse:
        return "claiming exclusive use";
    case OpenStep::ReadingTimeouts:
        return "reading the time-outs";
    case OpenStep::ApplyingTimeouts:
        return "applying the time-outs";
    case OpenStep::ReadingLineSettings:
        return "reading the line settings";
    case OpenStep::SettingSpeed:
        return "setting the speed";
    case OpenStep::ApplyingLineSettings:
        return "applying the line settings";
    case OpenStep::SwitchingModemLines:
        return "switching DTR and RTS off";
    case OpenStep::DiscardingInput:
        return "discarding old input";
    case OpenStep::None:
    case OpenStep::Opening:
        break;
    }
    return "open";
}

// What a kind of failure means, where the system's own words are too terse.
[[maybe_unused]] const char* meaningOf(serial::PortErrorKind kind)
{
    using serial::PortErrorKind;
    switch (kind) {
    case PortErrorKind::DeviceNotFound:
        return "no such device";
    case PortErrorKind::PermissionDenied:
        return "no permission to use the device";
    case PortErrorKind::InUse:
        return "the port is in use by another program";
    case PortErrorKind::NotASerialPort:
        return "not a serial port";
    case PortErrorKind::NotResponding:
        return "the device does not respond or was removed";
    case PortErrorKind::UnsupportedSetting:
        return "setting not supported by the device";
    case PortErrorKind::NoError:
    case PortErrorKind::SpeedNotPossible:
    case PortErrorKind::Other:
        break;
    }
    return nullptr;
}

// The setting a driver did not keep, as it was asked for.
std::string refusedSetting(const serial::PortError& error)
{
    using serial::PortSetting;
    const std::string lineSettings = "the line settings: ";
    switch (error.refused) {
    case PortSetting::Speed:
        return lineSettings + "speed " + std::to_string(error.wantedBaud) + " Bd";
    case PortSetting::DataBits:
        return lineSettings + "8 data bits";
    case PortSetting::Parity:
        return lineSettings + "parity none";
    case PortSetting::StopBits:
        return lineSettings + "1 stop bit";
    case PortSetting::FlowControl:
        return lineSettings + "flow control none";
    case PortSetting::Dtr:
        return lineSettings + "DTR off";
    case PortSetting::Rts:
        return lineSettings + "RTS raised only while sending";
    case PortSetting::Timeouts:
        return "the time-outs";
    case PortSetting::None:
        break;
    }
    return {};
}

// "cat (pid 412)", "pid 412", or "another program" when nothing is known.
std::string holderName(const serial::PortHolder& holder)
{
    const std::string pid = "pid " + std::to_string(holder.pid);
    if (holder.pid <= 0)
        return holder.program.empty() ? "another program" : holder.program;
    return holder.program.empty() ? pid : holder.program + " (" + pid + ")";
}

// The system's part of a failure.  Windows' own texts say what happened in
// the user's language; its error code goes with them.
std::string systemPart(const serial::PortError& error, std::string_view systemText)
{
#ifdef _WIN32
    std::string text(systemText);
    if (!text.empty())
        text += ' ';
    return text + "(error " + std::to_string(error.systemError) + ')';
#else
    const char* meaning = meaningOf(error.kind);
    if (!meaning)
        return std::string(systemText);
    return std::string(meaning) + " (" + std::string(systemText) + ')';
#endif
}

} // namespace

const char* const Usage =
    "Usage: quorlink-batch [OPTION]... SOURCE\n"
    "Send every line of SOURCE (- for standard input) to a serial device with CR LF\n"
    "and write each reply line as it comes, as the Quorlink window does.\n"
    "\n"
    "  -p, --port COMn|DEVICE  port number (resolved as in the window) or device path\n"
    "  -b, --baud N            speed in baud, one of 300 600 900 1200 1800 2400 3600\n"
    "                          4800 7200 9600 14400 19200 28800 38400 57600 76800\n"
    "                          115200\n"
    "  -t, --timeout MS        reply time-out: silence in milliseconds after which a\n"
    "                          reply is given up (0: no waiting at all)\n"
    "  -e, --eof, --no-eof     send (or do not send) the end-of-file bytes 0x00 CR LF\n"
    "                          after the last line\n"
    "  -c, --codepage NAME     code page of the wire and of the files\n"
    "                          (e.g. windows-1250)\n"
    "  -o, --output FILE       write the replies to FILE (replaced atomically at the\n"
    "                          end, also of a stopped run) instead of standard\n"
    "                          output; - is standard output\n"
    "  -T, --transcript        write one line per request instead: number, request\n"
    "                          and reply (or - when none came), tab separated\n"
    "      --timing            add the milliseconds of each exchange to the\n"
    "                          transcript (from the request's first byte to the\n"
    "                          reply's end or the time-out), and their median and\n"
    "                          slowest to the summary\n"
    "      --list-ports        list the ports as the window's port dialog does: COM1\n"
    "                          to COM16, then the system's ports above them, each\n"
    "                          with its device; a device that no COM number reaches\n"
    "                          yet gets the next free number from COM17 up\n"
    "  -h, --help              show this text\n"
    "  -V, --version           show the version\n"
    "\n"
    "Short options may be bundled (-eT) and take their value attached or apart\n"
    "(-t500, -t 500); -- ends the options.  Options left out are taken from the\n"
    "settings file of the Quorlink window.\n"
    "\n"
    "Standard output gets each reply (or transcript line) as soon as the next\n"
    "request has gone out (before it, when it takes over 10 ms on the wire), or\n"
    "the run has ended; progress goes to standard error.\n"
    "SOURCE is a file, a fifo (its writer is waited for) or standard input, of at\n"
    "most 64 Mi characters; a device or an empty source is refused.\n"
    "\n"
    "Exit status: 0 every line answered, 1 some lines unanswered, 2 port, file or\n"
    "usage error (also a port lost during the run), 130 stopped by Ctrl+C (the\n"
    "current exchange finishes; Ctrl+C again ends the wait at once), 143 stopped\n"
    "by SIGTERM, 129 by SIGHUP.  A stopped run still closes the port and writes\n"
    "every reply collected.\n";

std::string usageError(std::string_view message)
{
    return error(message) + "Try 'quorlink-batch --help'.\n";
}

std::string error(std::string_view message)
{
    return "quorlink-batch: " + std::string(message) + "\n";
}

std::string version(std::string_view number)
{
    return "quorlink-batch " + std::string(number) + "\n";
}

std::string optionNeedsValue(std::string_view option)
{
    return "option " + std::string(option) + " needs a value";
}

std::string unsupportedSpeed(std::string_view value)
{
    return "unsupported speed " + quoted(value);
}

std::string timeoutNotMilliseconds(std::string_view value)
{
    return "time-out " + quoted(value) + " is not a number of milliseconds";
}

std::string unknownOption(std::string_view option)
{
    return "unknown option " + quoted(option);
}

std::string optionTakesNoValue(std::string_view option)
{
    return "option " + std::string(option) + " takes no value";
}

std::string emptySource(std::string_view source)
{
    if (source == "-")
        return "standard input is empty: nothing to send";
    return "SOURCE " + quoted(source) + " is empty: nothing to send";
}

std::string cannotReadSettings(std::string_view why)
{
    return "cannot read the settings: " + std::string(why);
}

std::string unknownCodePage(std::string_view name)
{
    return "unknown code page " + quoted(name);
}

std::string cannotOpenPort(std::string_view label, std::string_view device,
                           const serial::PortError& error, std::string_view systemText)
{
    std::string text = "cannot open " + std::string(label) + " (" + std::string(device) + "): ";
    text += device.empty() ? std::string_view("(no device)") : device;
    text += ": ";
    text += stepName(error.step);
    text += " failed: ";
    if (error.kind == serial::PortErrorKind::InUse && error.holder) {
        text += "the port is in use by " + holderName(*error.holder);
    } else if (error.refused != serial::PortSetting::None) {
        text += "the driver refused " + refusedSetting(error);
    } else if (error.kind == serial::PortErrorKind::SpeedNotPossible) {
        text += "the port cannot make " + std::to_string(error.wantedBaud) +
                " Bd; the nearest speed it can make is " + std::to_string(error.nearestBaud) +
                " Bd";
    } else {
        text += systemPart(error, systemText);
    }
    if (error.kind == serial::PortErrorKind::PermissionDenied && !error.deviceGroup.empty()) {
        const std::string& group = error.deviceGroup;
        text += "; only members of group " + group +
                " may use the device: add yourself with 'sudo usermod -aG " + group +
                " $USER' (Debian), then log in again";
    }
    return text;
}

std::string progress(int line, int total, int replies, int unanswered)
{
    return "line " + std::to_string(line) + " of " + std::to_string(total) + ", " +
           std::to_string(replies) + " replies, " + std::to_string(unanswered) + " without reply";
}

std::string portLost(int line, int total)
{
    return "port lost during line " + std::to_string(line) + " of " + std::to_string(total);
}

std::string stoppedBy(StopCause cause, int line, int total)
{
    const char* what = "";
    switch (cause) {
#ifdef _WIN32
    case StopCause::Interrupt:
        what = "a second Ctrl+C or Ctrl+Break";
        break;
    case StopCause::Terminate:
        what = "the end of the Windows session";
        break;
    case StopCause::HangUp:
        what = "the closing of its console window";
        break;
#else
    case StopCause::Interrupt:
        what = "a second Ctrl+C";
        break;
    case StopCause::Terminate:
        what = "SIGTERM";
        break;
    case StopCause::HangUp:
        what = "SIGHUP (the terminal went away)";
        break;
#endif
    case StopCause::None:
        break;
    }
    const std::string where =
        line > 0 ? "during line " + std::to_string(line) : std::string("before line 1");
    return std::string("stopped by ") + what + " " + where + " of " + std::to_string(total);
}

std::string milliseconds(long long tenths)
{
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string timingSummary(int replies, long long medianTenths, long long slowestTenths,
                          int slowestLine)
{
    if (replies == 0)
        return "timing: no replies";
    return "timing of " + std::to_string(replies) + (replies == 1 ? " reply" : " replies") +
           ": median " + milliseconds(medianTenths) + " ms, slowest " +
           milliseconds(slowestTenths) + " ms (line " + std::to_string(slowestLine) + ")";
}

namespace {

// What the system tells of a port's device: its name, maker, serial number
// and its other name.
std::string descriptionOf(const serial::ListedPort& port)
{
    if (!port.port)
        return {};
    std::vector<std::string> facts;
    if (!port.port->name.empty())
        facts.push_back(port.port->name);
    if (!port.port->maker.empty())
        facts.push_back(port.port->maker);
    if (!port.port->serialNumber.empty())
        facts.push_back("serial number " + port.port->serialNumber);
    if (const std::string other = serial::otherDevicePath(port); !other.empty())
        facts.push_back(other);
    std::string text;
    for (const std::string& fact : facts)
        text += (text.empty() ? "" : ", ") + fact;
    return text;
}

// `text` padded with spaces to `width` characters, and one space more.
std::string column(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.resize(width, ' ');
    return text + ' ';
}

} // namespace

std::string portListing(const std::vector<serial::ListedPort>& ports)
{
    std::string text = "Port   Device                                   Present What it is\n";
    std::string offered;
    for (const serial::ListedPort& port : ports) {
        const std::string name = serial::comName(port.number);
        std::string line = column(name, 6) + column(port.device, 40) +
                           column(port.present ? "yes" : "no", 7) + descriptionOf(port);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        text += line + '\n';
        if (port.offered)
            offered += name + '=' + port.device + '\n';
    }
    if (!offered.empty()) {
        text += "\nNumbers given to devices that no number reached before.  --port reaches\n"
                "them now; the window's port dialog, confirmed with one, adds its line to\n"
                "[Ports] so that the number stays with the device:\n" +
                offered;
    }
    return text;
}

} // namespace quorlink::batch::messages
