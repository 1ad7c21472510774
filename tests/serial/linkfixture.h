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

// Counts the open-failure boxes instead of showing them.
class RecordingView : public OpenFailureView
{
public:
    void showOpenFailure() override { ++failureBoxes; }

    int failureBoxes = 0;
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
