#include "params/parameter_image.h"

#include "protocol/frame.h"

namespace torvane {

namespace {
constexpr size_t kMotorAt = 0;
constexpr size_t kApplicationAt = 16;
constexpr size_t kDirectionAt = 48;
constexpr size_t kMatchingAt = 49;
constexpr size_t kLoopAt = 56;
constexpr size_t kCountsPerRevAt = 92;
}  // namespace

ParameterImage EncodeParameterImage(const ParameterSet& set, uint32_t countsPerRev) {
    ParameterImage img{};
    uint8_t* p = img.data();
    const MotorGroup& m = set.Motor;
    PutU8(p + kMotorAt, m.PolePairs);
    PutU8(p + kMotorAt + 1, m.FeedbackType);
    PutU16BE(p + kMotorAt + 2, m.EncoderLines);
    PutFloatBE(p + kMotorAt + 4, m.RatedCurrent);
    PutFloatBE(p + kMotorAt + 8, m.LockedRotorCurrent);
    PutI32BE(p + kMotorAt + 12, m.RatedRotorSpeed);

    const ApplicationGroup& a = set.Application;
    PutFloatBE(p + kApplicationAt, a.AppliedCurrentRating);
    PutFloatBE(p + kApplicationAt + 4, a.AppliedLockedRotorCurrent);
    PutI32BE(p + kApplicationAt + 8, a.MaximumSpeed);
    PutI32BE(p + kApplicationAt + 12, a.Acceleration);
    PutI32BE(p + kApplicationAt + 16, a.Deceleration);
    PutI32BE(p + kApplicationAt + 20, a.StopDeceleration);
    PutI32BE(p + kApplicationAt + 24, a.AppliedMaxPos);
    PutI32BE(p + kApplicationAt + 28, a.AppliedMinPos);
    PutU8(p + kDirectionAt, a.MotorDirection);

    const MatchingGroup& x = set.Matching;
    PutU8(p + kMatchingAt, x.MatchMarks);
    PutU8(p + kMatchingAt + 1, x.GraviationSequence);
    PutU8(p + kMatchingAt + 2, x.HallLineSequence);
    PutU8(p + kMatchingAt + 3, x.HallDirection);
    PutU8(p + kMatchingAt + 4, x.EncoderDirection);
    PutU16BE(p + kMatchingAt + 5, x.InitialElectricalAngle);

    const LoopGroup& l = set.Loop;
    const float gains[9] = {l.CurrentLoopP,  l.CurrentLoopI,  l.CurrentLoopD,
                            l.SpeedLoopP,    l.SpeedLoopI,    l.SpeedLoopD,
                            l.PositionLoopP, l.PositionLoopI, l.PositionLoopD};
    for (size_t k = 0; k < 9; ++k) PutFloatBE(p + kLoopAt + 4 * k, gains[k]);

    PutU32BE(p + kCountsPerRevAt, countsPerRev);
    return img;
}

void DecodeParameterImage(const ParameterImage& image, ParameterSet& set, uint32_t& countsPerRev) {
    const uint8_t* p = image.data();
    MotorGroup& m = set.Motor;
    m.PolePairs = p[kMotorAt];
    m.FeedbackType = p[kMotorAt + 1];
    m.EncoderLines = GetU16(p + kMotorAt + 2);
    m.RatedCurrent = GetFloatBE(p + kMotorAt + 4);
    m.LockedRotorCurrent = GetFloatBE(p + kMotorAt + 8);
    m.RatedRotorSpeed = GetI32BE(p + kMotorAt + 12);

    ApplicationGroup& a = set.Application;
    a.AppliedCurrentRating = GetFloatBE(p + kApplicationAt);
    a.AppliedLockedRotorCurrent = GetFloatBE(p + kApplicationAt + 4);
    a.MaximumSpeed = GetI32BE(p + kApplicationAt + 8);
    a.Acceleration = GetI32BE(p + kApplicationAt + 12);
    a.Deceleration = GetI32BE(p + kApplicationAt + 16);
    a.StopDeceleration = GetI32BE(p + kApplicationAt + 20);
    a.AppliedMaxPos = GetI32BE(p + kApplicationAt + 24);
    a.AppliedMinPos = GetI32BE(p + kApplicationAt + 28);
    GetBit(p + kDirectionAt, &a.MotorDirection, 0);

    MatchingGroup& x = set.Matching;
    x.MatchMarks = p[kMatchingAt];
    x.GraviationSequence = p[kMatchingAt + 1];
    x.HallLineSequence = p[kMatchingAt + 2];
    x.HallDirection = p[kMatchingAt + 3];
    x.EncoderDirection = p[kMatchingAt + 4];
    x.InitialElectricalAngle = GetU16(p + kMatchingAt + 5);

    LoopGroup& l = set.Loop;
    float* gains[9] = {&l.CurrentLoopP,  &l.CurrentLoopI,  &l.CurrentLoopD,
                       &l.SpeedLoopP,    &l.SpeedLoopI,    &l.SpeedLoopD,
                       &l.PositionLoopP, &l.PositionLoopI, &l.PositionLoopD};
    for (size_t k = 0; k < 9; ++k) *gains[k] = GetFloatBE(p + kLoopAt + 4 * k);

    countsPerRev = GetU32(p + kCountsPerRevAt);
}

}  // namespace torvane
