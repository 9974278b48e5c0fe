// The read sequences run right after a port opens, as data: DriveSession::RunReads runs one
// and stops at the first failure.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/frame.h"

namespace torvane {

struct HandshakeRead {
    RegisterAddress Address = 0;
    uint8_t Count = 0;                // bytes to read; ignored for LongStatus
    bool LongStatus = false;          // the long status size of the model read so far
    bool AutoUpdateOffFirst = false;  // switch Auto Update off before this read
};

// The Open button's ConnectHandshake: identification, Auto Update off, status (long form),
// CAN settings, work mode, motor, drive states, application, limits, drive states again.
extern const std::array<HandshakeRead, 9> kConnectHandshake;
// The short handshake after a connect through the settings window: the same reads without
// the second drive-state read.
extern const std::array<HandshakeRead, 8> kShortHandshake;
// The command-line tool's status: identification, then the long status read.
extern const std::array<HandshakeRead, 2> kStatusReads;

}  // namespace torvane
