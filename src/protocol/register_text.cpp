#include "protocol/register_text.h"

#include <cstdio>

#include "protocol/fault_texts.h"
#include "protocol/register_map.h"

namespace torvane {

namespace {

std::string Hex16(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", v & 0xFFFF);
    return buf;
}

class Fields {
public:
    explicit Fields(size_t count) : count_(count) {}
    Fields& Add(size_t offset, size_t width, const char* name, std::string value) {
        if (offset + width <= count_) out_.push_back({name, std::move(value)});
        return *this;
    }
    std::vector<NamedField> Take() { return std::move(out_); }

private:
    size_t count_;
    std::vector<NamedField> out_;
};

}  // namespace

std::vector<NamedField> DescribeRegister(RegisterAddress a, size_t n, const DriveState& s,
                                         const MotionFields& m) {
    Fields f(n);
    const ParameterSet& p = s.Params;
    switch (a) {
        case reg::kCanSettings:
            f.Add(0, 1, "CAN Baud Code", FormatD(s.CanBaudCode) +
                                             (s.CanBaudCode == 4   ? " (500)"
                                              : s.CanBaudCode == 5 ? " (1000)"
                                                                   : " (wrong CAN baud rate)"))
                .Add(1, 1, "CAN Address", FormatD(s.CanAddressCode + 140));
            break;
        case reg::kMotorGroup:
            f.Add(0, 1, "Pole Pairs", FormatD(p.Motor.PolePairs))
                .Add(1, 1, "Feedback Type", FormatD(p.Motor.FeedbackType))
                .Add(2, 2, "Encoder Lines", FormatD(p.Motor.EncoderLines))
                .Add(4, 4, "Rated Current", FormatG(p.Motor.RatedCurrent))
                .Add(8, 4, "Locked-rotor Current", FormatG(p.Motor.LockedRotorCurrent))
                .Add(12, 4, "Rated Rotor Speed", FormatD(p.Motor.RatedRotorSpeed))
                .Add(16, 1, "Motor Hall Sequence", FormatD(p.Motor.MotorHallSequence));
            break;
        case reg::kApplicationGroup: {
            const ApplicationGroup& g = p.Application;
            f.Add(0, 1, "Motor Direction", FormatD(g.MotorDirection))
                .Add(0, 1, "Current Flag", FormatD(g.CurrentFlag))
                .Add(1, 4, "Applied Current Rating", FormatG(g.AppliedCurrentRating))
                .Add(5, 4, "Applied Locked-rotor Current", FormatG(g.AppliedLockedRotorCurrent))
                .Add(9, 4, "Maximum Speed", FormatD(g.MaximumSpeed))
                .Add(13, 4, "Acceleration", FormatD(g.Acceleration))
                .Add(17, 4, "Deceleration", FormatD(g.Deceleration))
                .Add(21, 4, "Stop Deceleration", FormatD(g.StopDeceleration))
                .Add(25, 4, "Applied MaxPos", FormatD(g.AppliedMaxPos))
                .Add(29, 4, "Applied MinPos", FormatD(g.AppliedMinPos))
                .Add(33, 4, "Initial Position", FormatD(g.InitialPosition));
            break;
        }
        case reg::kLiveStatus: {
            std::string faults = Hex16(s.StatusFaultWord);
            if (s.StatusFaultWord == 0) faults += " (no error)";
            f.Add(0, 1, "Motor Temperature", FormatD(s.MotorTemperature))
                .Add(1, 1, "Motor State", FormatD(s.MotorState))
                .Add(2, 2, "Fault Word", faults)
                .Add(4, 2, "Status Word 2", Hex16(s.StatusWord2))
                .Add(6, 4, "Current Speed", FormatD(s.LiveSpeed))
                .Add(10, 4, "Motor Position", FormatD(s.LivePosition))
                .Add(14, 4, "Phase Current Amplitude", FormatG(s.PhaseCurrent))
                .Add(18, 4, "Busbar Voltage", FormatG(s.BusVoltage))
                .Add(22, 4, "Status Extra", FormatD(s.StatusExtra));
            break;
        }
        case reg::kCurrentLoopGains:
            f.Add(0, 4, "Current Loop P", FormatG(p.Loop.CurrentLoopP))
                .Add(4, 4, "Current Loop I", FormatG(p.Loop.CurrentLoopI))
                .Add(8, 4, "Current Loop D", FormatG(p.Loop.CurrentLoopD));
            break;
        case reg::kSpeedLoopGains:
            f.Add(0, 4, "Speed Loop P", FormatG(p.Loop.SpeedLoopP))
                .Add(4, 4, "Speed Loop I", FormatG(p.Loop.SpeedLoopI))
                .Add(8, 4, "Speed Loop D", FormatG(p.Loop.SpeedLoopD));
            break;
        case reg::kPositionLoopGains:
            f.Add(0, 4, "Position Loop P", FormatG(p.Loop.PositionLoopP))
                .Add(4, 4, "Position Loop I", FormatG(p.Loop.PositionLoopI))
                .Add(8, 4, "Position Loop D", FormatG(p.Loop.PositionLoopD));
            break;
        case reg::kIdentification:
            f.Add(0, 1, "IdString", s.IdString).Add(16, 1, "ModelString", s.ModelString);
            break;
        case reg::kDriveLimits:
            for (int k = 1; k <= 4; ++k)
                f.Add(4 * (k - 1), 4, ("Drive Limit " + std::to_string(k)).c_str(),
                      FormatG(s.DriveLimitFloat(k)));
            f.Add(16, 4, "Drive Limit 5", FormatD(static_cast<int32_t>(s.DriveLimits[4])))
                .Add(20, 4, "Drive Limit 6", FormatD(static_cast<int32_t>(s.DriveLimits[5])))
                .Add(16, 4, "SpeedLimitA", FormatG(s.SpeedLimitA))
                .Add(20, 4, "SpeedLimit", FormatG(s.SpeedLimit));
            break;
        case reg::kMatchingGroup: {
            const MatchingGroup& g = p.Matching;
            f.Add(0, 1, "Match Marks", FormatD(g.MatchMarks))
                .Add(1, 1, "Graviation Sequence", FormatD(g.GraviationSequence))
                .Add(2, 1, "Hall Line Sequence", FormatD(g.HallLineSequence))
                .Add(3, 1, "Hall Direction", FormatD(static_cast<int8_t>(g.HallDirection)))
                .Add(4, 1, "Encoder Direction", FormatD(static_cast<int8_t>(g.EncoderDirection)))
                .Add(5, 2, "Initial Electrical Angle",
                     FormatD(static_cast<int16_t>(g.InitialElectricalAngle)));
            break;
        }
        case reg::kWorkMode:
            f.Add(0, 1, "WorkMode", FormatD(m.WorkMode))
                .Add(1, 4, "CurrentSetpoint", FormatG(m.CurrentSetpoint))
                .Add(5, 4, "SpeedSetpoint", FormatD(m.SpeedSetpoint))
                .Add(9, 1, "PositionType", FormatD(m.PositionType))
                .Add(10, 4, "PositionSetpoint", FormatD(m.PositionSetpoint))
                .Add(14, 4, "PositionSpeed", FormatD(m.PositionSpeed));
            break;
        case reg::kCurrentSetpoint:
            f.Add(0, 4, "CurrentSetpoint", FormatG(m.CurrentSetpoint));
            break;
        case reg::kSpeedSetpoint:
            f.Add(0, 4, "SpeedSetpoint", FormatD(m.SpeedSetpoint));
            break;
        case reg::kPositionSetpoint:
            f.Add(0, 1, "PositionType", FormatD(m.PositionType))
                .Add(1, 4, "PositionSetpoint", FormatD(m.PositionSetpoint))
                .Add(5, 4, "PositionSpeed", FormatD(m.PositionSpeed));
            break;
        case reg::kCurrentTestStatus: f.Add(0, 1, "CurrentTestStatus", FormatD(s.CurrentTestStatus)); break;
        case reg::kSpeedTestStatus: f.Add(0, 1, "SpeedTestStatus", FormatD(s.SpeedTestStatus)); break;
        case reg::kPositionTestStatus: f.Add(0, 1, "PositionTestStatus", FormatD(s.PositionTestStatus)); break;
        case reg::kCurrentTestLength: f.Add(0, 2, "CurrentTestLength", FormatD(s.CurrentTestLength)); break;
        case reg::kSpeedTestLength: f.Add(0, 2, "SpeedTestLength", FormatD(s.SpeedTestLength)); break;
        case reg::kPositionTestLength: f.Add(0, 2, "PositionTestLength", FormatD(s.PositionTestLength)); break;
        case reg::kCustomGroup: {
            std::string flags;
            for (int i = 0; i < 32; ++i) flags += p.Custom.CustomFlags[static_cast<size_t>(i)] ? '1' : '0';
            f.Add(0, 4, "Custom Flags", flags);
            for (size_t k = 0; k < 24; ++k)
                f.Add(4 + 4 * k, 4, ("Custom Value " + std::to_string(k)).c_str(),
                      FormatD(p.Custom.CustomValues[k]));
            break;
        }
        default:
            break;
    }
    return f.Take();
}

}  // namespace torvane
