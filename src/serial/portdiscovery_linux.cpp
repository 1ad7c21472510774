// The serial ports of Linux, as the kernel shows them in sysfs, with the
// stable names udev gives them under /dev/serial/by-id.

#include "portdiscovery_p.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <tuple>

namespace quorlink::serial {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without the line end and trailing
// blanks; empty when there is none.
std::string attribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// "ttyUSB10" as ("ttyUSB", 10), so that ttyUSB2 comes before ttyUSB10.
std::pair<std::string, long> naturalKey(const std::string& name)
{
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    long number = -1;
    std::from_chars(name.data() + digits, name.data() + name.size(), number);
    return {name.substr(0, digits), number};
}

// A terminal that is a serial port: a USB adapter or modem, or a UART the
// driver found a chip behind (the kernel keeps a ttyS terminal for every UART
// it might have, reporting type 0, "unknown", where there is none).
bool isSerialPort(const std::string& name, const fs::path& terminal)
{
    std::error_code error;
    // Virtual consoles and pseudo-terminals have no device behind them.
    if (!fs::exists(terminal / "device", error))
        return false;
    if (name.starts_with("ttyUSB") || name.starts_with("ttyACM"))
        return true;
    const std::string type = attribute(terminal / "type");
    return !type.empty() && type != "0";
}

// The USB device's own words, where the port is on one: the device a
// terminal hangs off lies one (ttyACM's interface) or two (ttyUSB's port,
// then its interface) levels below it.
void describe(SystemPort& port, const fs::path& terminal)
{
    std::error_code error;
    fs::path device = fs::canonical(terminal / "device", error);
    for (int level = 0; !error && level < 4 && device.has_relative_path();
         ++level, device = device.parent_path()) {
        if (!fs::exists(device / "idVendor", error))
            continue;
        port.name = attribute(device / "product");
        port.maker = attribute(device / "manufacturer");
        port.serialNumber = attribute(device / "serial");
        return;
    }
}

} // namespace

std::vector<SystemPort> findSystemPorts(const DeviceTree& tree)
{
    std::error_code error;
    // The stable names, by the node each leads to; of two for one node the
    // first in name order.
    std::map<fs::path, std::string> stableNames;
    for (const auto& link : fs::directory_iterator(tree.dev / "serial" / "by-id", error)) {
        std::error_code linkError;
        const fs::path node = fs::canonical(link.path(), linkError);
        if (linkError)
            continue;
        const std::string name = link.path().string();
        if (const auto [it, added] = stableNames.emplace(node, name); !added && name < it->second)
            it->second = name;
    }

    std::vector<std::pair<std::string, SystemPort>> found;
    for (const auto& terminal : fs::directory_iterator(tree.sysClassTty, error)) {
        const std::string name = terminal.path().filename().string();
        if (!isSerialPort(name, terminal.path()))
            continue;
        // A terminal without a node (a container's /dev) cannot be opened.
        const fs::path node = tree.dev / name;
        std::error_code nodeError;
        const fs::path target = fs::canonical(node, nodeError);
        if (nodeError)
            continue;
        SystemPort port;
        port.node = node.string();
        const auto stable = stableNames.find(target);
        port.device = stable != stableNames.end() ? stable->second : port.node;
        describe(port, terminal.path());
        found.emplace_back(name, std::move(port));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return naturalKey(a.first) < naturalKey(b.first);
    });
    std::vector<SystemPort> ports;
    ports.reserve(found.size());
    for (auto& [name, port] : found)
        ports.push_back(std::move(port));
    return ports;
}

namespace discovery {

std::string identityOf(const std::string& devicePath)
{
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(devicePath, error);
    return error ? devicePath : canonical.string();
}

std::int32_t defaultNumberOf(const SystemPort& port)
{
    const std::string name = fs::path(port.node).filename().string();
    const auto [prefix, index] = naturalKey(name);
    if (prefix != "ttyS" || index < 0 || index >= HighestPortNumber)
        return 0;
    return static_cast<std::int32_t>(index) + 1;
}

bool isOtherDevicePresent(const std::string& devicePath)
{
    struct stat info
    {};
    if (devicePath.empty() || ::stat(devicePath.c_str(), &info) != 0)
        return false;
    if (!S_ISCHR(info.st_mode))
        return true;
    // The kernel makes a ttyS node for every UART it might have; the serial
    // driver reports the UART it found in sysfs, 0 (unknown) when there is
    // none.  Such a node fails to open (EIO).  Devices without the entry
    // (USB adapters, pseudo-terminals) are there when their node is.
    const fs::path sysfs = "/sys/dev/char/" + std::to_string(major(info.st_rdev)) + ":" +
                           std::to_string(minor(info.st_rdev));
    std::error_code error;
    if (fs::read_symlink(sysfs / "subsystem", error).filename() != "tty")
        return true;
    const std::string type = attribute(sysfs / "type");
    return type.empty() || type != "0";
}

} // namespace discovery

} // namespace quorlink::serial
