#include "protocol/register_map.h"

#include <cstring>

namespace torvane {

float DriveState::DriveLimitFloat(int index) const {
    float f;
    std::memcpy(&f, &DriveLimits.at(static_cast<size_t>(index - 1)), 4);
    return f;
}

uint8_t LongStatusSize(const DriveState& state) {
    return state.ModelString == kLongStatusModel ? size::kLiveStatusLongKvd417
                                                 : size::kLiveStatusLong;
}

uint8_t PackCanSettings(uint8_t* p, uint8_t baudCode, uint8_t addressCode) {
    PutU8(p, baudCode);
    PutU8(p + 1, addressCode);
    return size::kCanSettings;
}

uint8_t PackMotorGroupDownload(uint8_t* p, const MotorGroup& g) {
    PutU8(p, g.PolePairs);
    PutU8(p + 1, g.FeedbackType);
    PutU16BE(p + 2, g.EncoderLines);
    PutFloatBE(p + 4, g.RatedCurrent);
    PutFloatBE(p + 8, g.LockedRotorCurrent);
    PutI32BE(p + 12, g.RatedRotorSpeed);
    return size::kMotorGroupDownload;
}

uint8_t PackMotorGroup(uint8_t* p, const MotorGroup& g) {
    PackMotorGroupDownload(p, g);
    PutU8(p + 16, g.MotorHallSequence);
    return size::kMotorGroup;
}

uint8_t PackApplicationGroup(uint8_t* p, const ApplicationGroup& g) {
    p[0] = 0;
    PutBit(p, g.MotorDirection, 0);
    PutBit(p, g.CurrentFlag, 1);
    PutFloatBE(p + 1, g.AppliedCurrentRating);
    PutFloatBE(p + 5, g.AppliedLockedRotorCurrent);
    PutI32BE(p + 9, g.MaximumSpeed);
    PutI32BE(p + 13, g.Acceleration);
    PutI32BE(p + 17, g.Deceleration);
    PutI32BE(p + 21, g.StopDeceleration);
    PutI32BE(p + 25, g.AppliedMaxPos);
    PutI32BE(p + 29, g.AppliedMinPos);
    PutI32BE(p + 33, g.InitialPosition);
    return size::kApplicationGroup;
}

uint8_t PackClearFaults(uint8_t* p) {
    PutU16BE(p, 0);
    return size::kClearFaults;
}

uint8_t PackLoopGains(uint8_t* p, float kp, float ki, float kd) {
    PutFloatBE(p, kp);
    PutFloatBE(p + 4, ki);
    PutFloatBE(p + 8, kd);
    return size::kLoopGains;
}

uint8_t PackMatchingGroup(uint8_t* p, const MatchingGroup& g) {
    PutU8(p, g.MatchMarks);
    PutU8(p + 1, g.GraviationSequence);
    PutU8(p + 2, g.HallLineSequence);
    PutU8(p + 3, g.HallDirection);
    PutU8(p + 4, g.EncoderDirection);
    PutU16BE(p + 5, g.InitialElectricalAngle);
    return size::kMatchingGroup;
}

uint8_t PackWorkMode(uint8_t* p, uint8_t workMode) {
    PutU8(p, workMode);
    return size::kWorkModeWrite;
}

uint8_t PackCurrentSetpoint(uint8_t* p, float current) {
    PutFloatBE(p, current);
    return size::kCurrentSetpoint;
}

uint8_t PackSpeedSetpoint(uint8_t* p, int32_t speed, int32_t extra) {
    PutI32BE(p, speed);
    PutI32BE(p + 4, extra);
    return size::kSpeedSetpoint;
}

uint8_t PackPositionSetpoint(uint8_t* p, uint8_t type, int32_t position, int32_t speed,
                             int32_t extra) {
    PutU8(p, type);
    PutI32BE(p + 1, position);
    PutI32BE(p + 5, speed);
    PutI32BE(p + 9, extra);
    return size::kPositionSetpoint;
}

uint8_t PackCurrentTest(uint8_t* p, uint8_t type, float amplitude, uint16_t frequency) {
    PutU8(p, type);
    PutFloatBE(p + 1, amplitude);
    PutU16BE(p + 5, frequency);
    return size::kCurrentTestParams;
}

uint8_t PackSpeedTest(uint8_t* p, int32_t setSpeed) {
    PutI32BE(p, setSpeed);
    return size::kSpeedTestParams;
}

uint8_t PackPositionTest(uint8_t* p, int32_t acceleration, int32_t maxSpeed, int32_t target) {
    PutI32BE(p, acceleration);
    PutU32BE(p + 4, 0);
    PutI32BE(p + 8, maxSpeed);
    PutI32BE(p + 12, target);
    return size::kPositionTestParams;
}

uint8_t PackCustomGroup(uint8_t* p, const CustomGroup& g) {
    std::memset(p, 0, 4);
    for (unsigned f = 0; f < 32; ++f) PutBit(p + f / 8, g.CustomFlags[f], f % 8);
    for (size_t k = 0; k < 24; ++k) PutI32BE(p + 4 + 4 * k, g.CustomValues[k]);
    return size::kCustomGroup;
}

uint8_t PackControlWord(uint8_t* p, uint16_t word) {
    PutU16BE(p, word);
    return size::kControlWord;
}

bool IsKnownRegister(RegisterAddress a) {
    switch (a) {
        case reg::kCanSettings: case reg::kMotorGroup: case reg::kApplicationGroup:
        case reg::kLiveStatus: case reg::kCurrentLoopGains: case reg::kSpeedLoopGains:
        case reg::kPositionLoopGains: case reg::kIdentification: case reg::kDriveLimits:
        case reg::kMatchingGroup: case reg::kWorkMode: case reg::kCurrentSetpoint:
        case reg::kSpeedSetpoint: case reg::kPositionSetpoint: case reg::kCurrentTestStatus:
        case reg::kCurrentTestLength: case reg::kSpeedTestStatus: case reg::kSpeedTestLength:
        case reg::kPositionTestStatus: case reg::kPositionTestLength: case reg::kCustomGroup:
        case reg::kClearFaults: case reg::kEncoderCalibration: case reg::kCurrentTestParams:
        case reg::kSpeedTestParams: case reg::kPositionTestParams: case reg::kAcknowledge:
        case reg::kReset: case reg::kControlWord:
            return true;
        default:
            return false;
    }
}

bool IsCaptureBlock(RegisterAddress a) { return a >= reg::kCaptureFirst && a <= reg::kCaptureLast; }

namespace {

// Reads typed fields at fixed offsets, storing each only when the reply carries all its bytes.
class FieldReader {
public:
    FieldReader(const uint8_t* data, size_t count) : data_(data), count_(count) {}
    bool Has(size_t offset, size_t width) const { return offset + width <= count_; }
    void U8(size_t at, uint8_t& dst) const {
        if (Has(at, 1)) GetU8(data_ + at, &dst);
    }
    void U16(size_t at, uint16_t& dst) const {
        if (Has(at, 2)) GetU16BE(data_ + at, &dst);
    }
    template <class T>
    void Word(size_t at, T& dst) const {  // any 32-bit field: u32, i32, float
        static_assert(sizeof(T) == 4);
        if (Has(at, 4)) GetU32BE(data_ + at, &dst);
    }
    void Bit(size_t at, unsigned bit, uint8_t& dst) const {
        if (Has(at, 1)) GetBit(data_ + at, &dst, bit);
    }
    // The run of bytes from `at` up to the first '?' (or NUL), never past `end` or the data.
    bool Text(size_t at, size_t end, std::string& dst) const {
        if (!Has(at, 1)) return false;
        std::string s;
        for (size_t i = at; i < end && i < count_; ++i) {
            const char c = static_cast<char>(data_[i]);
            if (c == '?' || c == '\0') break;
            s += c;
        }
        dst = s;
        return true;
    }

private:
    const uint8_t* data_;
    size_t count_;
};

}  // namespace

void DecodeReadReply(RegisterAddress a, const uint8_t* data, size_t n, DriveState& s,
                     MotionFields& m) {
    const FieldReader r(data, n);
    switch (a) {
        case reg::kCanSettings:
            r.U8(0, s.CanBaudCode);
            r.U8(1, s.CanAddressCode);
            break;
        case reg::kMotorGroup: {
            MotorGroup& g = s.Params.Motor;
            r.U8(0, g.PolePairs);
            r.U8(1, g.FeedbackType);
            r.U16(2, g.EncoderLines);
            // The drive's own encoder sets the rpm conversion, as accepting the motor page does:
            // left at 1 until then, every speed read back after connecting would show counts
            // per second times 60. A drive reporting no lines keeps the present figure.
            if (n >= 4 && g.EncoderLines != 0) s.CountsPerRev = uint32_t{g.EncoderLines} * 4u;
            r.Word(4, g.RatedCurrent);
            r.Word(8, g.LockedRotorCurrent);
            r.Word(12, g.RatedRotorSpeed);
            r.U8(16, g.MotorHallSequence);
            break;
        }
        case reg::kApplicationGroup: {
            ApplicationGroup& g = s.Params.Application;
            r.Bit(0, 0, g.MotorDirection);
            r.Bit(0, 1, g.CurrentFlag);
            r.Word(1, g.AppliedCurrentRating);
            r.Word(5, g.AppliedLockedRotorCurrent);
            r.Word(9, g.MaximumSpeed);
            r.Word(13, g.Acceleration);
            r.Word(17, g.Deceleration);
            r.Word(21, g.StopDeceleration);
            r.Word(25, g.AppliedMaxPos);
            r.Word(29, g.AppliedMinPos);
            r.Word(33, g.InitialPosition);
            if (r.Has(25, 4)) g.MaxPos = static_cast<float>(g.AppliedMaxPos);
            if (r.Has(29, 4)) g.MinPos = static_cast<float>(g.AppliedMinPos);
            break;
        }
        case reg::kLiveStatus:
            r.U8(0, s.MotorTemperature);
            r.U8(1, s.MotorState);
            r.U16(2, s.StatusFaultWord);
            r.U16(4, s.StatusWord2);
            if (s.AutoUpdate) {
                r.Word(6, s.LiveSpeed);
                r.Word(10, s.LivePosition);
                r.Word(14, s.PhaseCurrent);
                r.Word(18, s.BusVoltage);
                if (s.ModelString == kLongStatusModel) r.Word(22, s.StatusExtra);
            }
            break;
        case reg::kCurrentLoopGains:
            r.Word(0, s.Params.Loop.CurrentLoopP);
            r.Word(4, s.Params.Loop.CurrentLoopI);
            r.Word(8, s.Params.Loop.CurrentLoopD);
            break;
        case reg::kSpeedLoopGains:
            r.Word(0, s.Params.Loop.SpeedLoopP);
            r.Word(4, s.Params.Loop.SpeedLoopI);
            r.Word(8, s.Params.Loop.SpeedLoopD);
            break;
        case reg::kPositionLoopGains:
            r.Word(0, s.Params.Loop.PositionLoopP);
            r.Word(4, s.Params.Loop.PositionLoopI);
            r.Word(8, s.Params.Loop.PositionLoopD);
            break;
        case reg::kIdentification:
            r.Text(0, 16, s.IdString);
            r.Text(16, size::kIdentification, s.ModelString);
            break;
        case reg::kDriveLimits: {
            for (size_t k = 0; k < 6; ++k) r.Word(4 * k, s.DriveLimits[k]);
            // Limits 5 and 6 are signed counts per second; show them in rpm. A zero
            // CountsPerRev cannot happen through the pages but must not divide by zero.
            const double r5 = static_cast<int32_t>(s.DriveLimits[4]);
            const double r6 = static_cast<int32_t>(s.DriveLimits[5]);
            const double cpr = s.CountsPerRev;
            if (r.Has(16, 4)) s.SpeedLimitA = cpr ? static_cast<float>(r5 * 60.0 / cpr) : 0.0f;
            if (r.Has(20, 4)) s.SpeedLimit = cpr ? static_cast<float>(r6 * 60.0 / cpr) : 0.0f;
            break;
        }
        case reg::kMatchingGroup: {
            MatchingGroup& g = s.Params.Matching;
            r.U8(0, g.MatchMarks);
            r.U8(1, g.GraviationSequence);
            r.U8(2, g.HallLineSequence);
            r.U8(3, g.HallDirection);
            r.U8(4, g.EncoderDirection);
            r.U16(5, g.InitialElectricalAngle);
            break;
        }
        case reg::kWorkMode:
            r.U8(0, m.WorkMode);
            r.Word(1, m.CurrentSetpoint);
            r.Word(5, m.SpeedSetpoint);
            r.U8(9, m.PositionType);
            r.Word(10, m.PositionSetpoint);
            r.Word(14, m.PositionSpeed);
            break;
        case reg::kCurrentSetpoint:
            r.Word(0, m.CurrentSetpoint);
            break;
        case reg::kSpeedSetpoint:
            r.Word(0, m.SpeedSetpoint);
            break;
        case reg::kPositionSetpoint:
            r.U8(0, m.PositionType);
            r.Word(1, m.PositionSetpoint);
            r.Word(5, m.PositionSpeed);
            break;
        case reg::kCurrentTestStatus: r.U8(0, s.CurrentTestStatus); break;
        case reg::kSpeedTestStatus: r.U8(0, s.SpeedTestStatus); break;
        case reg::kPositionTestStatus: r.U8(0, s.PositionTestStatus); break;
        case reg::kCurrentTestLength: r.U16(0, s.CurrentTestLength); break;
        case reg::kSpeedTestLength: r.U16(0, s.SpeedTestLength); break;
        case reg::kPositionTestLength: r.U16(0, s.PositionTestLength); break;
        case reg::kCustomGroup: {
            CustomGroup& g = s.Params.Custom;
            for (unsigned f = 0; f < 32; ++f) r.Bit(f / 8, f % 8, g.CustomFlags[f]);
            for (size_t k = 0; k < 24; ++k) r.Word(4 + 4 * k, g.CustomValues[k]);
            break;
        }
        default:
            break;  // acknowledged registers carry no data
    }
}

}  // namespace torvane
