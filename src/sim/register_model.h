// RegisterModel: the simulated drive's register blocks as typed fields, and the byte layout of
// every block as the drive puts it on the wire (big-endian, floats as IEEE-754 patterns).
//
// It holds data only: what a write means for the motor is DriveBehaviour's business. Not
// thread-safe; its owner serialises access.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/drive_state.h"
#include "protocol/frame.h"

namespace torvane::sim {

// Result nibbles the drive answers with (the high nibble of a reply's function byte).
namespace nibble {
constexpr uint8_t kOk = 0;
constexpr uint8_t kCrc = 1;
constexpr uint8_t kFunction = 2;
constexpr uint8_t kAddress = 3;
constexpr uint8_t kCommand = 4;
constexpr uint8_t kCommandValue = 5;
constexpr uint8_t kCannotProcess = 6;
constexpr uint8_t kNotMatched = 7;
constexpr uint8_t kReadOnly = 8;
constexpr uint8_t kNotEnabled = 9;
constexpr uint8_t kOverflow = 10;
}  // namespace nibble

constexpr size_t kCaptureBytes = 8192;
constexpr size_t kIdentificationBytes = 34;
constexpr size_t kIdentityFieldBytes = 16;  // each identity string: up to 15 characters and '?'

// The parameter blocks that 0x0401 stores, 0x0400 restores and a restart reloads.
struct DriveParameters {
    uint8_t CanBaudCode = 0;
    uint8_t CanAddressCode = 0;
    MotorGroup Motor;
    ApplicationGroup Application;  // MaxPos/MinPos unused: the drive keeps only the applied values
    LoopGroup Loop;
    std::array<uint8_t, 100> Custom{};  // kept whole, as written
};

// The drive's factory defaults: a matched 4-pole-pair motor with a 2500-line encoder.
DriveParameters FactoryParameters();
MatchingGroup FactoryMatching();

struct TestParameters {
    uint8_t CurrentType = 0;
    float CurrentAmplitude = 0;
    uint16_t CurrentFrequency = 0;
    int32_t SpeedSetSpeed = 0;
    int32_t PositionAcceleration = 0;
    uint32_t PositionReserved = 0;
    int32_t PositionMaxSpeed = 0;
    int32_t PositionTarget = 0;
};

struct LiveStatus {
    uint8_t Temperature = 0;
    uint8_t MotorState = 0;
    uint16_t FaultWord = 0;
    uint16_t StatusWord2 = 0;
    int32_t Speed = 0;
    int32_t Position = 0;
    float PhaseCurrent = 0;
    float BusVoltage = 0;
    uint32_t Extra = 0;
};

// Access rules of one block.
struct BlockInfo {
    RegisterAddress Address;
    uint8_t Size;  // bytes of a full read
    bool Readable;
    bool Writable;         // false with Readable: a read-only block (writes get nibble 8)
    uint8_t AltWriteSize;  // a shorter write that is accepted as well (0: none)
};

class RegisterModel {
public:
    RegisterModel();

    // Block rules for `address`; nullptr for an address the drive does not have. The capture
    // area (0x8000 to 0xA000) is not a block: see IsCapture.
    static const BlockInfo* Find(RegisterAddress address);
    static bool IsCapture(RegisterAddress address);
    // Size of the live status block for the current model (26 for "KVD417", else 22).
    uint8_t LiveStatusSize() const;

    // Full bytes of block `address` into `out` (room for 128 bytes); returns the block size,
    // 0 for a block without data. 0x2305 reports the speed set-point in counts per second
    // (rounded, over CountsPerRev()); 0x2300 reports it in rpm, as written.
    size_t Encode(RegisterAddress address, uint8_t* out) const;
    // Stores the `n` bytes of a write into the block's fields. `n` is one of the block's
    // accepted write sizes; bytes beyond it leave their fields unchanged.
    void Decode(RegisterAddress address, const uint8_t* data, size_t n);

    DriveParameters Params;
    MatchingGroup Matching;
    MotionFields Motion;  // work mode and set-points as written (the speed set-point in rpm)
    TestParameters Tests;
    LiveStatus Live;
    std::array<uint8_t, 3> TestStatus{};   // current, speed, position: 0 idle, 1 running, 3 done
    std::array<uint16_t, 3> TestLength{};  // captured bytes waiting, per test
    std::array<uint8_t, kCaptureBytes> Capture{};
    std::string IdString = "TVS-0000417";
    std::string Model = "KVD417";
    uint16_t FirmwareVersion = 0x0102;   // bytes 32-33 of the identification block
    std::array<float, 4> LimitFloats{};  // values 1-4 of 0x2122
    int32_t LimitSpeedA = 0;             // value 5, counts/s
    int32_t LimitSpeed = 0;              // value 6, counts/s
    // Counts per motor revolution of the drive's encoder (4 x Encoder Lines, at least 1).
    uint32_t CountsPerRev() const;
    // Refreshes the count limits of 0x2122 from the rpm limits and the encoder.
    void UpdateLimits();

    static constexpr float kPeakCurrent = 15.0f;            // A, value 1
    static constexpr float kContinuousCurrent = 5.0f;       // A, value 2
    static constexpr float kOvervoltage = 60.0f;            // V, value 3
    static constexpr float kUndervoltage = 20.0f;           // V, value 4
    static constexpr int kApplicationSpeedLimitRpm = 3000;  // value 5
    static constexpr int kDriveSpeedLimitRpm = 6000;        // value 6
};

}  // namespace torvane::sim
