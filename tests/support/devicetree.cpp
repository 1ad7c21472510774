#include "devicetree.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace quorlink::testing {

namespace fs = std::filesystem;

namespace {

void writeAttribute(const fs::path& file, const std::string& value)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << value << '\n';
}

} // namespace

PreparedDeviceTree::PreparedDeviceTree()
{
    std::string pattern = (fs::temp_directory_path() / "quorlink-devices-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("no temporary folder");
    m_root = pattern;
    fs::create_directories(dev());
    fs::create_directories(sysClassTty());
}

PreparedDeviceTree::~PreparedDeviceTree()
{
    std::error_code error;
    fs::remove_all(m_root, error);
}

fs::path PreparedDeviceTree::addUsbAdapter(const std::string& name, const std::string& target,
                                           const std::string& maker, const std::string& product,
                                           const std::string& serial, const std::string& byId)
{
    // The USB device, its interface, the usb-serial port and the terminal,
    // as /sys/devices holds them; the class entry links to the terminal.
    const std::string hub = "1-" + std::to_string(++m_usbDevices);
    const fs::path usb = m_root / "sys/devices/pci0000:00/0000:00:14.0/usb1" / hub;
    writeAttribute(usb / "idVendor", "0403");
    writeAttribute(usb / "manufacturer", maker);
    writeAttribute(usb / "product", product);
    writeAttribute(usb / "serial", serial);
    const fs::path port = usb / (hub + ":1.0") / name;
    fs::create_directories(port / "tty" / name);
    fs::create_symlink(port, port / "tty" / name / "device");
    fs::create_symlink(port / "tty" / name, sysClassTty() / name);

    const fs::path node = dev() / name;
    fs::create_symlink(target, node);
    if (!byId.empty()) {
        fs::create_directories(dev() / "serial/by-id");
        fs::create_symlink("../../" + name, dev() / "serial/by-id" / byId);
    }
    return node;
}

fs::path PreparedDeviceTree::addUart(const std::string& name, int type)
{
    const fs::path terminal = m_root / "sys/devices/platform/serial8250/tty" / name;
    writeAttribute(terminal / "type", std::to_string(type));
    fs::create_symlink(m_root / "sys/devices/platform/serial8250", terminal / "device");
    fs::create_symlink(terminal, sysClassTty() / name);
    const fs::path node = dev() / name;
    std::ofstream{node};
    return node;
}

void PreparedDeviceTree::addVirtualTerminal(const std::string& name)
{
    const fs::path terminal = m_root / "sys/devices/virtual/tty" / name;
    fs::create_directories(terminal);
    fs::create_symlink(terminal, sysClassTty() / name);
    std::ofstream{dev() / name};
}

} // namespace quorlink::testing
