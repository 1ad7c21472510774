#pragma once

#include <filesystem>
#include <string>

namespace quorlink::testing {

// A /dev and a /sys/class/tty of the test's own, laid out as the kernel and
// udev lay them out, in a temporary folder removed with it.
class PreparedDeviceTree
{
public:
    PreparedDeviceTree();
    ~PreparedDeviceTree();
    PreparedDeviceTree(const PreparedDeviceTree&) = delete;
    PreparedDeviceTree& operator=(const PreparedDeviceTree&) = delete;

    std::filesystem::path dev() const { return m_root / "dev"; }
    std::filesystem::path sysClassTty() const { return m_root / "sys/class/tty"; }

    // A USB adapter `name` ("ttyUSB0") on a USB device with these strings:
    // its node dev/<name> a link to `target` (a pseudo-terminal), and, when
    // `byId` is given, dev/serial/by-id/<byId> a link to the node.  Returns
    // the node's path.
    std::filesystem::path addUsbAdapter(const std::string& name, const std::string& target,
                                        const std::string& maker, const std::string& product,
                                        const std::string& serial, const std::string& byId = "");
    // A UART terminal `name` ("ttyS5") of the given type (0: no chip found),
    // its node an empty file.
    std::filesystem::path addUart(const std::string& name, int type);
    // A terminal without a device behind it (a virtual console), with a node.
    void addVirtualTerminal(const std::string& name);

private:
    std::filesystem::path m_root;
    int m_usbDevices = 0;
};

} // namespace quorlink::testing
