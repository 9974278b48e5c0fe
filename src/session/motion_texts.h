// The texts the motion commands, the CAN setting and the progress timers show. Shared by the
// console and the command-line tool; spelled and punctuated as the drive's users know them
// (full-width commas and ellipses included).
#pragma once

namespace torvane {

// Preconditions.
constexpr const char* kSerialPortNotOpenText = "The serial port is not open";
constexpr const char* kMotorNotEnabledText = "Motor not enabled";
constexpr const char* kMotorIsEnabledText = "The motor is enabled";
constexpr const char* kMotorNotMatchedText = "Motor does not match";

// First lines of the entry checks; the "allowed band" line of CheckRange follows each.
constexpr const char* kCurrentOverrunText = "Set Current，input overrun\n";
constexpr const char* kVelocityOverrunText = "Set velocity，input overrun\n";
constexpr const char* kPositionOverrunText = "Set Position，input overrun\n";
constexpr const char* kRatioChangeOverrunText = "Reduction ratio, input exceeding limit\n";
constexpr const char* kRatioRunOverrunText = "Speed ratio, export transfinite number\n";

// Position Correction entry (calibration state).
constexpr const char* kCalibrationStartedText = "Is the calibration";
constexpr const char* kCalibratingText = "Calibrating";
constexpr const char* kNoCalibrationText = "No calibration";
constexpr const char* kCalibrationTimeOutText = "Time Out";  // message box

// The Info box.
constexpr const char* kInfoBoxTitle = "Info";
constexpr const char* kInitialisingText = "Initializing,please wait...";
constexpr const char* kInitialisedText = "Initialization is complete, please close";
constexpr const char* kInitialisationTimedOutText = "Initialization timed out, please close";
constexpr const char* kResetCompleteText = "Reset is complete, please close";

// The motor page's matching box, as the matching timer writes it.
constexpr const char* kMatchingWaitText = "Matching，Please wait......";
constexpr const char* kMatchingDoneText = "Match completed, Please close……！";
constexpr const char* kMatchingTimeOutText = "Match timeout， Please close！";
constexpr const char* kMatchingBoxCloseCaption = "Close";
// ... and as the drive-state display writes it (Match Marks 1), lower-case caption included.
constexpr const char* kMatchingCompletedCaption = "close";

// The loop page's test box.
constexpr const char* kTestingText = "Testing,please wait……！";  // its text at every opening
constexpr const char* kTestReadingText = "Test completed and reading data……";
constexpr const char* kTestErrorText = "Test error, please close……";

}  // namespace torvane
