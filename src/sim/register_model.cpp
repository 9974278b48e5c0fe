#include "sim/register_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "protocol/register_map.h"

namespace torvane::sim {

namespace {

// Readable blocks with their sizes; the live status size is the long KVD417 form, the model
// narrows it (LiveStatusSize).
constexpr BlockInfo kBlocks[] = {
    {reg::kCanSettings, 2, true, true, 0},
    {reg::kMotorGroup, 17, true, true, 16},
    {reg::kApplicationGroup, 37, true, true, 33},
    {reg::kLiveStatus, 26, true, false, 0},
    {reg::kClearFaults, 2, false, true, 0},
    {reg::kEncoderCalibration, 0, false, true, 0},
    {reg::kCurrentLoopGains, 12, true, true, 0},
    {reg::kSpeedLoopGains, 12, true, true, 0},
    {reg::kPositionLoopGains, 12, true, true, 0},
    {reg::kIdentification, 34, true, false, 0},
    {reg::kDriveLimits, 24, true, false, 0},
    {reg::kMatchingGroup, 7, true, true, 0},
    {reg::kWorkMode, 18, true, true, 1},
    {reg::kCurrentSetpoint, 4, true, true, 0},
    {reg::kSpeedSetpoint, 8, true, true, 0},
    {reg::kPositionSetpoint, 13, true, true, 0},
    {reg::kCurrentTestStatus, 1, true, false, 0},
    {reg::kCurrentTestParams, 7, true, true, 0},
    {reg::kCurrentTestLength, 2, true, false, 0},
    {reg::kSpeedTestStatus, 1, true, false, 0},
    {reg::kSpeedTestParams, 4, true, true, 0},
    {reg::kSpeedTestLength, 2, true, false, 0},
    {reg::kPositionTestStatus, 1, true, false, 0},
    {reg::kPositionTestParams, 16, true, true, 0},
    {reg::kPositionTestLength, 2, true, false, 0},
    {reg::kCustomGroup, 100, true, true, 0},
    {reg::kReset, 0, false, true, 0},
    {reg::kControlWord, 2, false, true, 0},
};

int32_t RpmToCountsPerSecond(double rpm, uint32_t countsPerRev) {
    const double counts = std::round(rpm / 60.0 * countsPerRev);
    return static_cast<int32_t>(std::clamp(counts, -2147483648.0, 2147483647.0));
}

void PutIdentity(uint8_t* field, const std::string& text) {
    // Up to 15 characters, then the '?' that ends the field for the tool.
    const size_t n = std::min(text.size(), kIdentityFieldBytes - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '?';
}

}  // namespace

DriveParameters FactoryParameters() {
    DriveParameters p;
    p.CanBaudCode = 4;     // 500 kbit/s
    p.CanAddressCode = 1;  // CAN address 141
    p.Motor.PolePairs = 4;
    p.Motor.FeedbackType = 1;  // incremental encoder, counted in lines
    p.Motor.EncoderLines = 2500;
    p.Motor.RatedCurrent = 5.0f;
    p.Motor.LockedRotorCurrent = 15.0f;
    p.Motor.RatedRotorSpeed = 3000;
    p.Motor.MotorHallSequence = 1;
    p.Application.MotorDirection = 0;
    p.Application.CurrentFlag = 0;
    p.Application.AppliedCurrentRating = 5.0f;
    p.Application.AppliedLockedRotorCurrent = 15.0f;
    p.Application.MaximumSpeed = 2500;  // rpm
    p.Application.Acceleration = 1000;  // rpm/s
    p.Application.Deceleration = 1000;
    p.Application.StopDeceleration = 5000;
    // Wide enough for the loop page's default position test (10000) to run.
    p.Application.AppliedMaxPos = 20000;  // circles
    p.Application.AppliedMinPos = 20000;
    p.Application.InitialPosition = 0;
    // Deliberately soft gains: a fresh drive is stable but sluggish, so tuning shows.
    p.Loop.CurrentLoopP = 1.0f;
    p.Loop.CurrentLoopI = 0.2f;
    p.Loop.CurrentLoopD = 0.0f;
    p.Loop.SpeedLoopP = 0.8f;
    p.Loop.SpeedLoopI = 0.1f;
    p.Loop.SpeedLoopD = 0.0f;
    p.Loop.PositionLoopP = 0.5f;
    p.Loop.PositionLoopI = 0.0f;
    p.Loop.PositionLoopD = 0.0f;
    // Custom values the drive ships with; the rest are 0.
    const std::pair<int, int32_t> custom[] = {
        {0, 10},        // PT filter coefficient
        {1, 10},        // force sensor filtering coefficient
        {2, 1000},      // force sensor coefficient
        {4, 20},        // open-loop matching current Iq, 0.1 A units: 2.0 A
        {6, 20241209},  // version modification time
        {8, 10},        // current given filter coefficient
        {9, 10},        // velocity given filter coefficient
        {10, 10},       // velocity calculated filter coefficient
        {11, 150},      // ultra-low-speed Vq, 0.01 units
        {13, 2000},     // brake start duty cycle
        {14, 1000},     // holding brake duty cycle
    };
    for (const auto& [k, v] : custom) PutI32BE(p.Custom.data() + 4 + 4 * k, v);
    return p;
}

MatchingGroup FactoryMatching() {
    MatchingGroup m;
    m.MatchMarks = 1;          // matched at the factory
    m.GraviationSequence = 1;  // encoder calibrated
    m.HallLineSequence = 1;    // matching test finished
    m.HallDirection = 0;       // not initialised until the first enable
    m.EncoderDirection = 0;
    m.InitialElectricalAngle = 90;
    return m;
}

RegisterModel::RegisterModel() : Params(FactoryParameters()), Matching(FactoryMatching()) {
    LimitFloats = {kPeakCurrent, kContinuousCurrent, kOvervoltage, kUndervoltage};
    Motion.WorkMode = 1;  // speed mode at power-up
    UpdateLimits();
}

const BlockInfo* RegisterModel::Find(RegisterAddress address) {
    for (const BlockInfo& b : kBlocks) {
        if (b.Address == address) return &b;
    }
    return nullptr;
}

bool RegisterModel::IsCapture(RegisterAddress address) {
    return address >= reg::kCaptureFirst && address <= reg::kCaptureLast;
}

uint8_t RegisterModel::LiveStatusSize() const {
    return Model == kLongStatusModel ? 26 : 22;
}

uint32_t RegisterModel::CountsPerRev() const {
    return std::max<uint32_t>(1, 4u * Params.Motor.EncoderLines);
}

void RegisterModel::UpdateLimits() {
    LimitSpeedA = RpmToCountsPerSecond(kApplicationSpeedLimitRpm, CountsPerRev());
    LimitSpeed = RpmToCountsPerSecond(kDriveSpeedLimitRpm, CountsPerRev());
}

size_t RegisterModel::Encode(RegisterAddress address, uint8_t* out) const {
    const BlockInfo* block = Find(address);
    if (block == nullptr || !block->Readable) return 0;
    std::memset(out, 0, block->Size);
    const MotorGroup& m = Params.Motor;
    const ApplicationGroup& a = Params.Application;
    const LoopGroup& l = Params.Loop;
    switch (address) {
        case reg::kCanSettings:
            out[0] = Params.CanBaudCode;
            out[1] = Params.CanAddressCode;
            break;
        case reg::kMotorGroup:
            out[0] = m.PolePairs;
            out[1] = m.FeedbackType;
            PutU16BE(out + 2, m.EncoderLines);
            PutFloatBE(out + 4, m.RatedCurrent);
            PutFloatBE(out + 8, m.LockedRotorCurrent);
            PutI32BE(out + 12, m.RatedRotorSpeed);
            out[16] = m.MotorHallSequence;
            break;
        case reg::kApplicationGroup:
            out[0] = static_cast<uint8_t>((a.MotorDirection & 1) | (a.CurrentFlag & 1) << 1);
            PutFloatBE(out + 1, a.AppliedCurrentRating);
            PutFloatBE(out + 5, a.AppliedLockedRotorCurrent);
            PutI32BE(out + 9, a.MaximumSpeed);
            PutI32BE(out + 13, a.Acceleration);
            PutI32BE(out + 17, a.Deceleration);
            PutI32BE(out + 21, a.StopDeceleration);
            PutI32BE(out + 25, a.AppliedMaxPos);
            PutI32BE(out + 29, a.AppliedMinPos);
            PutI32BE(out + 33, a.InitialPosition);
            break;
        case reg::kLiveStatus:
            out[0] = Live.Temperature;
            out[1] = Live.MotorState;
            PutU16BE(out + 2, Live.FaultWord);
            PutU16BE(out + 4, Live.StatusWord2);
            PutI32BE(out + 6, Live.Speed);
            PutI32BE(out + 10, Live.Position);
            PutFloatBE(out + 14, Live.PhaseCurrent);
            PutFloatBE(out + 18, Live.BusVoltage);
            PutU32BE(out + 22, Live.Extra);
            return LiveStatusSize();
        case reg::kCurrentLoopGains:
            PutFloatBE(out, l.CurrentLoopP);
            PutFloatBE(out + 4, l.CurrentLoopI);
            PutFloatBE(out + 8, l.CurrentLoopD);
            break;
        case reg::kSpeedLoopGains:
            PutFloatBE(out, l.SpeedLoopP);
            PutFloatBE(out + 4, l.SpeedLoopI);
            PutFloatBE(out + 8, l.SpeedLoopD);
            break;
        case reg::kPositionLoopGains:
            PutFloatBE(out, l.PositionLoopP);
            PutFloatBE(out + 4, l.PositionLoopI);
            PutFloatBE(out + 8, l.PositionLoopD);
            break;
        case reg::kIdentification:
            PutIdentity(out, IdString);
            PutIdentity(out + kIdentityFieldBytes, Model);
            PutU16BE(out + 32, FirmwareVersion);
            break;
        case reg::kDriveLimits:
            for (size_t i = 0; i < 4; ++i) PutFloatBE(out + 4 * i, LimitFloats[i]);
            PutI32BE(out + 16, LimitSpeedA);
            PutI32BE(out + 20, LimitSpeed);
            break;
        case reg::kMatchingGroup:
            out[0] = Matching.MatchMarks;
            out[1] = Matching.GraviationSequence;
            out[2] = Matching.HallLineSequence;
            out[3] = Matching.HallDirection;
            out[4] = Matching.EncoderDirection;
            PutU16BE(out + 5, Matching.InitialElectricalAngle);
            break;
        case reg::kWorkMode:
            out[0] = Motion.WorkMode;
            PutFloatBE(out + 1, Motion.CurrentSetpoint);
            PutI32BE(out + 5, Motion.SpeedSetpoint);
            out[9] = Motion.PositionType;
            PutI32BE(out + 10, Motion.PositionSetpoint);
            PutI32BE(out + 14, Motion.PositionSpeed);
            break;
        case reg::kCurrentSetpoint:
            PutFloatBE(out, Motion.CurrentSetpoint);
            break;
        case reg::kSpeedSetpoint:
            // Taken in rpm, reported in the encoder's counts per second: the tool converts
            // this read back to rpm over its CountsPerRev.
            PutI32BE(out, RpmToCountsPerSecond(Motion.SpeedSetpoint, CountsPerRev()));
            PutI32BE(out + 4, Motion.SetpointExtra);
            break;
        case reg::kPositionSetpoint:
            out[0] = Motion.PositionType;
            PutI32BE(out + 1, Motion.PositionSetpoint);
            PutI32BE(out + 5, Motion.PositionSpeed);
            PutI32BE(out + 9, Motion.SetpointExtra);
            break;
        case reg::kCurrentTestStatus:
            out[0] = TestStatus[0];
            break;
        case reg::kSpeedTestStatus:
            out[0] = TestStatus[1];
            break;
        case reg::kPositionTestStatus:
            out[0] = TestStatus[2];
            break;
        case reg::kCurrentTestLength:
            PutU16BE(out, TestLength[0]);
            break;
        case reg::kSpeedTestLength:
            PutU16BE(out, TestLength[1]);
            break;
        case reg::kPositionTestLength:
            PutU16BE(out, TestLength[2]);
            break;
        case reg::kCurrentTestParams:
            out[0] = Tests.CurrentType;
            PutFloatBE(out + 1, Tests.CurrentAmplitude);
            PutU16BE(out + 5, Tests.CurrentFrequency);
            break;
        case reg::kSpeedTestParams:
            PutI32BE(out, Tests.SpeedSetSpeed);
            break;
        case reg::kPositionTestParams:
            PutI32BE(out, Tests.PositionAcceleration);
            PutU32BE(out + 4, Tests.PositionReserved);
            PutI32BE(out + 8, Tests.PositionMaxSpeed);
            PutI32BE(out + 12, Tests.PositionTarget);
            break;
        case reg::kCustomGroup:
            std::memcpy(out, Params.Custom.data(), Params.Custom.size());
            break;
        default:
            return 0;
    }
    return block->Size;
}

void RegisterModel::Decode(RegisterAddress address, const uint8_t* d, size_t n) {
    MotorGroup& m = Params.Motor;
    ApplicationGroup& a = Params.Application;
    LoopGroup& l = Params.Loop;
    // Fields wholly inside the n bytes are stored; the download's short forms rely on this.
    auto has = [n](size_t end) { return n >= end; };
    switch (address) {
        case reg::kCanSettings:
            if (has(1)) Params.CanBaudCode = d[0];
            if (has(2)) Params.CanAddressCode = d[1];
            break;
        case reg::kMotorGroup:
            if (has(1)) m.PolePairs = d[0];
            if (has(2)) m.FeedbackType = d[1];
            if (has(4)) m.EncoderLines = GetU16(d + 2);
            if (has(8)) m.RatedCurrent = GetFloatBE(d + 4);
            if (has(12)) m.LockedRotorCurrent = GetFloatBE(d + 8);
            if (has(16)) m.RatedRotorSpeed = GetI32BE(d + 12);
            if (has(17)) m.MotorHallSequence = d[16];
            UpdateLimits();
            break;
        case reg::kApplicationGroup:
            if (has(1)) {
                a.MotorDirection = d[0] & 1;
                a.CurrentFlag = (d[0] >> 1) & 1;
            }
            if (has(5)) a.AppliedCurrentRating = GetFloatBE(d + 1);
            if (has(9)) a.AppliedLockedRotorCurrent = GetFloatBE(d + 5);
            if (has(13)) a.MaximumSpeed = GetI32BE(d + 9);
            if (has(17)) a.Acceleration = GetI32BE(d + 13);
            if (has(21)) a.Deceleration = GetI32BE(d + 17);
            if (has(25)) a.StopDeceleration = GetI32BE(d + 21);
            if (has(29)) a.AppliedMaxPos = GetI32BE(d + 25);
            if (has(33)) a.AppliedMinPos = GetI32BE(d + 29);
            if (has(37)) a.InitialPosition = GetI32BE(d + 33);
            break;
        case reg::kCurrentLoopGains:
            l.CurrentLoopP = GetFloatBE(d);
            l.CurrentLoopI = GetFloatBE(d + 4);
            l.CurrentLoopD = GetFloatBE(d + 8);
            break;
        case reg::kSpeedLoopGains:
            l.SpeedLoopP = GetFloatBE(d);
            l.SpeedLoopI = GetFloatBE(d + 4);
            l.SpeedLoopD = GetFloatBE(d + 8);
            break;
        case reg::kPositionLoopGains:
            l.PositionLoopP = GetFloatBE(d);
            l.PositionLoopI = GetFloatBE(d + 4);
            l.PositionLoopD = GetFloatBE(d + 8);
            break;
        case reg::kMatchingGroup:
            Matching.MatchMarks = d[0];
            Matching.GraviationSequence = d[1];
            Matching.HallLineSequence = d[2];
            Matching.HallDirection = d[3];
            Matching.EncoderDirection = d[4];
            Matching.InitialElectricalAngle = GetU16(d + 5);
            break;
        case reg::kWorkMode:
            if (has(1)) Motion.WorkMode = d[0];
            if (has(5)) Motion.CurrentSetpoint = GetFloatBE(d + 1);
            if (has(9)) Motion.SpeedSetpoint = GetI32BE(d + 5);
            if (has(10)) Motion.PositionType = d[9];
            if (has(14)) Motion.PositionSetpoint = GetI32BE(d + 10);
            if (has(18)) Motion.PositionSpeed = GetI32BE(d + 14);
            break;
        case reg::kCurrentSetpoint:
            Motion.CurrentSetpoint = GetFloatBE(d);
            break;
        case reg::kSpeedSetpoint:
            Motion.SpeedSetpoint = GetI32BE(d);
            Motion.SetpointExtra = GetI32BE(d + 4);
            break;
        case reg::kPositionSetpoint:
            Motion.PositionType = d[0];
            Motion.PositionSetpoint = GetI32BE(d + 1);
            Motion.PositionSpeed = GetI32BE(d + 5);
            Motion.SetpointExtra = GetI32BE(d + 9);
            break;
        case reg::kCurrentTestParams:
            Tests.CurrentType = d[0];
            Tests.CurrentAmplitude = GetFloatBE(d + 1);
            Tests.CurrentFrequency = GetU16(d + 5);
            break;
        case reg::kSpeedTestParams:
            Tests.SpeedSetSpeed = GetI32BE(d);
            break;
        case reg::kPositionTestParams:
            Tests.PositionAcceleration = GetI32BE(d);
            Tests.PositionReserved = GetU32(d + 4);
            Tests.PositionMaxSpeed = GetI32BE(d + 8);
            Tests.PositionTarget = GetI32BE(d + 12);
            break;
        case reg::kCustomGroup:
            std::memcpy(Params.Custom.data(), d, std::min(n, Params.Custom.size()));
            break;
        default:
            break;
    }
}

}  // namespace torvane::sim
