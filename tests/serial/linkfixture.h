#pragma once

#include "ptydevice.h"
#include "serial/seriallink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorlink::serial::testing {

using namespace std::chrono_literals;

// Records what the link reports instead of showing it.
class RecordingView : public PortStateView
{
public:
    void showOpenFailure() override { ++failureBoxes; }
    void showPortState(std::u16string_view text, bool sendEnabled) override
    {
        stateText = text;
        this->sendEnabled = sendEnabled;
        ++stateReports;
    }

    int failureBoxes = 0;
    int stateReports = 0;
    std::u16string stateText;
    bool sendEnabled = false;
};

// A SerialLink whose COM3 is a scripted pty device.
class LinkTest : public ::testing::Test
{
protected:
    static constexpr std::int32_t Port = 3;

    LinkTest() { link.portTable().setDevice(Port, device.path()); }

    void openPort(std::uint32_t baud = 9600)
    {
        ASSERT_TRUE(link.OpenPort(Port, baud)) << link.hCom().errorString();
    }

    bool send(std::string_view text)
    {
        return link.SendBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }

    // One exchange as a transfer run makes it.
    std::string exchange(std::string_view request, std::int32_t timeoutMs = 500)
    {
        EXPECT_TRUE(send(request));
        std::string reply;
        link.ReadReply(reply, timeoutMs);
        return reply;
    }

    quorlink::testing::PtyDevice device;
    RecordingView view;
    SerialLink link{view};
};

} // namespace quorlink::serial::testing
