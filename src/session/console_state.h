// ConsoleState: the console's own state fields, Qt-free, so that the rules and command
// sequences in core read and write the same record whether the console or the command-line
// tool runs them. The console's mirror of registers 0x2300 to 0x2309 (WorkMode and the
// set-points) is MotionFields in DriveLink; DriveState holds everything decoded from the drive.
//
// Threads: UI thread only (the reply dispatcher never touches it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

struct ConsoleState {
    uint8_t MotorEnabled = 0;  // 1 while the drive reports or confirms the motor enabled
    float SpeedSetpointRpm = 0;
    // Last values read from the Angle, Reduction Ratio and One-Loop Encoder Value entries.
    float AngleInput = 0;
    float RatioInput = 0;
    float EncoderInput = 0;
    int32_t OutputAxisPosition = 0;
    float OutputAxisAngle = 0;
    uint16_t ProgressCount = 0;        // poll counter shared by the progress timers
    uint16_t LastControlWord = 0;      // last control word written to register 0x6000
    uint16_t FaultWord = 0;            // fault word of the last status read
    uint16_t ShownFaultWord = 0xFFFF;  // so that the first status read always decodes
    std::vector<std::string> FaultTexts;
    int32_t FaultTextIndex = 0;
    int32_t FaultTextCount = 0;
    uint8_t WaveParameter = 0;  // selected waveform quantity, 0 BLANK to 6
};

}  // namespace torvane
