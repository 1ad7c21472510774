#pragma once

#include "window/face.h"

#include <cstdint>

namespace quorlink::win32 {

// The clock of the spin buttons' repeat: the time at which the message
// being handled was generated (GetMessageTime), on the 64-bit tick count.
// A press and a release thus count from when the operator made them, not
// from when a busy program got to them.
class MessageClock : public window::Clock
{
public:
    std::int64_t nowMs() const override;
};

} // namespace quorlink::win32
