// The ports a user can choose: what the system has, and the numbers that
// reach them, against a device tree of the test's own.

#include "devicetree.h"
#include "ptydevice.h"
#include "serial/portdiscovery.h"

#include <gtest/gtest.h>

namespace quorlink::serial {
namespace {

using quorlink::testing::PreparedDeviceTree;
using quorlink::testing::PtyDevice;

// A machine with an FT232 adapter that udev named, a USB modem without a
// stable name, a UART with a chip behind it, one without, a virtual console
// and an adapter whose node is missing.
class PortDiscovery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        adapterNode = tree.addUsbAdapter("ttyUSB0", adapter.path(), "FTDI", "FT232R USB UART",
                                         "A50285BI", ByIdName);
        modemNode =
            tree.addUsbAdapter("ttyACM0", modem.path(), "Arduino (www.arduino.cc)", "Uno R3", "");
        tree.addUart("ttyS5", 4);
        tree.addUart("ttyS4", 0);
        tree.addVirtualTerminal("tty3");
        tree.addUsbAdapter("ttyUSB1", "/dev/quorlink-no-such-device", "FTDI", "FT232R", "X");
        roots = DeviceTree{tree.dev(), tree.sysClassTty()};
    }

    static constexpr const char* ByIdName = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    PtyDevice adapter;
    PtyDevice modem;
    PreparedDeviceTree tree;
    std::filesystem::path adapterNode;
    std::filesystem::path modemNode;
    DeviceTree roots;
};

TEST_F(PortDiscovery, shouldFindSerialTerminalsWithNodesUnderTheirStableNames)
{
    const std::vector<SystemPort> ports = findSystemPorts(roots);

    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].device, modemNode.string());
    EXPECT_EQ(ports[0].node, modemNode.string());
    EXPECT_EQ(ports[0].name, "Uno R3");
    EXPECT_EQ(ports[0].maker, "Arduino (www.arduino.cc)");
    EXPECT_EQ(ports[0].serialNumber, "");
    EXPECT_EQ(ports[1].device, (tree.dev() / "ttyS5").string());
    EXPECT_EQ(ports[1].name, "");
    EXPECT_EQ(ports[2].device, (tree.dev() / "serial/by-id" / ByIdName).string());
    EXPECT_EQ(ports[2].node, adapterNode.string());
    EXPECT_EQ(ports[2].name, "FT232R USB UART");
    EXPECT_EQ(ports[2].maker, "FTDI");
    EXPECT_EQ(ports[2].serialNumber, "A50285BI");
    for (const SystemPort& port : ports)
        EXPECT_EQ(port.comNumber, 0);
}

// COM1 to COM16 first; then the numbers [Ports] maps and the stored one,
// there or not; the devices no number reaches get the free numbers from 17
// up, and a number that reaches a device keeps it.
TEST_F(PortDiscovery, shouldNumberUnreachedDevicesAfterEveryNumberAlreadyGiven)
{
    const std::string byId = (tree.dev() / "serial/by-id" / ByIdName).string();
    PortTable table;
    table.setDevice(3, modemNode.string());
    table.setDevice(17, "/dev/quorlink-no-such-device");
    table.setDevice(19, "/dev/null");

    std::vector<ListedPort> ports = listPorts(table, 31, findSystemPorts(roots));

    std::vector<std::string> listed;
    for (const ListedPort& port : ports) {
        listed.push_back(comName(port.number) + "=" + port.device +
                         (port.present ? " yes" : " no") + (port.offered ? " offered" : "") +
                         (port.port ? " (" + port.port->name + ")" : ""));
    }
    ASSERT_EQ(listed.size(), 21u);
    EXPECT_EQ(listed[0], "COM1=/dev/ttyS0 " + std::string(ports[0].present ? "yes" : "no"));
    EXPECT_EQ(listed[2], "COM3=" + modemNode.string() + " yes (Uno R3)");
    EXPECT_EQ(listed[15], "COM16=/dev/ttyS15 " + std::string(ports[15].present ? "yes" : "no"));
    const std::vector<std::string> above16(listed.begin() + 16, listed.end());
    EXPECT_EQ(above16, (std::vector<std::string>{
                           "COM17=/dev/quorlink-no-such-device no",
                           "COM18=" + (tree.dev() / "ttyS5").string() + " yes offered ()",
                           "COM19=/dev/null yes",
                           "COM20=" + byId + " yes offered (FT232R USB UART)",
                           "COM31=/dev/ttyS30 no",
                       }));
    EXPECT_EQ(findListed(ports, 20), &ports[19]);
    EXPECT_EQ(findListed(ports, 21), nullptr);

    // Mapped by its node, the adapter is reached by that number and offered
    // under no other; the next unreached device gets the next free number.
    table.setDevice(18, adapterNode.string());
    ports = listPorts(table, 0, findSystemPorts(roots));
    ASSERT_EQ(ports.size(), 20u);
    EXPECT_EQ(ports[17].number, 18);
    EXPECT_FALSE(ports[17].offered);
    ASSERT_TRUE(ports[17].port.has_value());
    EXPECT_EQ(ports[17].port->device, byId);
    EXPECT_EQ(ports[19].number, 20);
    EXPECT_EQ(ports[19].device, (tree.dev() / "ttyS5").string());
    EXPECT_TRUE(ports[19].offered);
}

} // namespace
} // namespace quorlink::serial
