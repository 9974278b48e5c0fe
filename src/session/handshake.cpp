#include "session/handshake.h"

#include "protocol/register_map.h"

namespace torvane {

namespace {
constexpr HandshakeRead kIdentification{reg::kIdentification, size::kIdentification};
constexpr HandshakeRead kStatusAfterIdentification{reg::kLiveStatus, 0, true, true};
constexpr HandshakeRead kCan{reg::kCanSettings, size::kCanSettings};
constexpr HandshakeRead kWorkMode{reg::kWorkMode, size::kWorkModeRead};
constexpr HandshakeRead kMotor{reg::kMotorGroup, size::kMotorGroup};
constexpr HandshakeRead kDriveStates{reg::kMatchingGroup, size::kMatchingGroup};
constexpr HandshakeRead kApplication{reg::kApplicationGroup, size::kApplicationGroup};
constexpr HandshakeRead kLimits{reg::kDriveLimits, size::kDriveLimits};
}  // namespace

const std::array<HandshakeRead, 9> kConnectHandshake = {
    kIdentification,
    kStatusAfterIdentification,
    kCan,
    kWorkMode,
    kMotor,
    kDriveStates,
    kApplication,
    kLimits,
    kDriveStates,
};

const std::array<HandshakeRead, 8> kShortHandshake = {
    kIdentification,
    kStatusAfterIdentification,
    kCan,
    kWorkMode,
    kMotor,
    kDriveStates,
    kApplication,
    kLimits,
};

const std::array<HandshakeRead, 2> kStatusReads = {
    kIdentification,
    HandshakeRead{reg::kLiveStatus, 0, true, false},
};

}  // namespace torvane
