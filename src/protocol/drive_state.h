// DriveState: the process-wide record of decoded replies and staged payloads, and the
// console's motion fields that the reply dispatcher fills.
//
// Written by the reply dispatcher (FrameExtractor thread) only while a transaction is waiting
// for its reply; read and written by the UI thread between transactions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace torvane {

struct MotorGroup {  // register 0x1000
    uint8_t PolePairs = 0;
    uint8_t FeedbackType = 0;
    uint16_t EncoderLines = 0;
    float RatedCurrent = 0;
    float LockedRotorCurrent = 0;
    int32_t RatedRotorSpeed = 0;
    uint8_t MotorHallSequence = 0;
};

struct MatchingGroup {  // register 0x2200
    uint8_t MatchMarks = 0;          // 0 not matched, 1 matched, 2 failed
    uint8_t GraviationSequence = 0;  // console: calibration state
    uint8_t HallLineSequence = 0;    // console: test state
    uint8_t HallDirection = 0;       // console: 1 = drive initialised
    uint8_t EncoderDirection = 0;
    uint16_t InitialElectricalAngle = 0;
};

struct ApplicationGroup {  // register 0x1100
    uint8_t MotorDirection = 0;  // flags bit 0
    uint8_t CurrentFlag = 0;     // flags bit 1
    float AppliedCurrentRating = 0;
    float AppliedLockedRotorCurrent = 0;
    int32_t MaximumSpeed = 0;
    int32_t Acceleration = 0;
    int32_t Deceleration = 0;
    int32_t StopDeceleration = 0;
    int32_t AppliedMaxPos = 0;
    int32_t AppliedMinPos = 0;
    int32_t InitialPosition = 0;
    float MaxPos = 0;  // as typed (circles); not in the block
    float MinPos = 0;
};

struct LoopGroup {  // registers 0x2000, 0x200C, 0x2018
    float CurrentLoopP = 0, CurrentLoopI = 0, CurrentLoopD = 0;
    float SpeedLoopP = 0, SpeedLoopI = 0, SpeedLoopD = 0;
    float PositionLoopP = 0, PositionLoopI = 0, PositionLoopD = 0;
};

struct CustomGroup {  // register 0x3000
    std::array<uint8_t, 32> CustomFlags{};
    std::array<int32_t, 24> CustomValues{};
};

struct ParameterSet {
    MotorGroup Motor;
    MatchingGroup Matching;
    ApplicationGroup Application;
    LoopGroup Loop;
    CustomGroup Custom;
};

constexpr size_t kCaptureBufferSize = 8192;

struct DriveState {
    uint8_t ReplyStatus = 0;  // function byte of the last accepted reply & 0xF0
    uint8_t CanBaudCode = 0;  // 4 = 500, 5 = 1000
    uint8_t CanAddressCode = 0;  // CAN address - 140
    ParameterSet Params;
    uint32_t CountsPerRev = 1;

    // Loop tests.
    uint8_t CurrentTestType = 0;
    float CurrentTestAmplitude = 0;
    uint16_t CurrentTestFrequency = 0;
    uint8_t CurrentTestStatus = 0;
    uint16_t CurrentTestLength = 0;
    int32_t SpeedTestSetSpeed = 0;
    uint8_t SpeedTestStatus = 0;
    uint16_t SpeedTestLength = 0;
    int32_t PositionTestMaxSpeed = 0;
    int32_t PositionTestTarget = 0;
    float PositionTestDegrees = 0;
    int32_t PositionTestAcceleration = 0;
    uint32_t PositionTestZero = 0;  // always 0 on the wire
    uint8_t PositionTestStatus = 0;
    uint16_t PositionTestLength = 0;

    std::array<uint8_t, kCaptureBufferSize> CaptureBuffer{};

    std::array<uint32_t, 6> DriveLimits{};  // 1-4 float patterns, 5-6 signed counts/s
    float SpeedLimit = 0;   // limit 6 in rpm
    float SpeedLimitA = 0;  // limit 5 in rpm

    std::string IdString;
    std::string ModelString;

    uint8_t AutoUpdate = 0;

    // Live status (register 0x1200).
    uint8_t MotorTemperature = 0;
    uint8_t MotorState = 0;  // 0 disabled, 1 or 2 enabled
    int32_t LiveSpeed = 0;
    int32_t LivePosition = 0;
    float PhaseCurrent = 0;
    float BusVoltage = 0;
    uint16_t StatusFaultWord = 0;
    uint16_t StatusWord2 = 0;
    uint32_t StatusExtra = 0;

    float OneLoopEncoderValue = 0;
    float ReductionRatio = 0;

    float DriveLimitFloat(int index) const;  // value 1..4 as float
};

// The console's mirror of registers 0x2300 to 0x2309. Owned by the console, filled by the
// dispatcher on read replies.
struct MotionFields {
    uint8_t WorkMode = 0;  // 0 current, 1 speed, 2 position
    float CurrentSetpoint = 0;
    int32_t SpeedSetpoint = 0;
    int32_t SetpointExtra = 0;
    uint8_t PositionType = 0;  // 0 absolute, 1 relative
    int32_t PositionSetpoint = 0;
    int32_t PositionSpeed = 0;
};

}  // namespace torvane
