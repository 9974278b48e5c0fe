// MotionEntries: the Motion Control group's entries and combo selections as the user left them,
// handed to the commands as plain values (the console copies its widgets, the command-line tool
// fills them from its arguments).
#pragma once

#include <string>

namespace torvane {

struct MotionEntries {
    int WorkModeIndex = -1;  // WorkMode combo: 0 current, 1 speed, 2 position; -1 none
    std::string Current;     // A
    std::string Speed;       // rpm; also the speed of a position set-point
    std::string ReductionRatio = "1";
    std::string EncoderValue = "65535.0";  // One-Loop Encoder Value
    int PositionTypeIndex = -1;            // 0 absolute, 1 relative; -1 none (goes out as 0xFF)
    std::string Angle;                     // degrees; only range-checked, never sent
    std::string Position;                  // pulses, as UpdateAnglePulses showed them
    std::string SetpointExtra;             // the hidden entry sent after a position set-point
};

}  // namespace torvane
