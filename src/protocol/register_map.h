// The drive's register blocks: addresses, sizes, one pack routine per writable block and the
// decoder of read replies. Pure functions; any thread may call them on data it owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/drive_state.h"
#include "protocol/frame.h"

namespace torvane {

namespace reg {
constexpr RegisterAddress kCanSettings = 0x0300;
constexpr RegisterAddress kMotorGroup = 0x1000;
constexpr RegisterAddress kApplicationGroup = 0x1100;
constexpr RegisterAddress kLiveStatus = 0x1200;
constexpr RegisterAddress kClearFaults = 0x1202;
constexpr RegisterAddress kEncoderCalibration = 0x120A;
constexpr RegisterAddress kCurrentLoopGains = 0x2000;
constexpr RegisterAddress kSpeedLoopGains = 0x200C;
constexpr RegisterAddress kPositionLoopGains = 0x2018;
constexpr RegisterAddress kIdentification = 0x2100;
constexpr RegisterAddress kDriveLimits = 0x2122;
constexpr RegisterAddress kMatchingGroup = 0x2200;
constexpr RegisterAddress kWorkMode = 0x2300;
constexpr RegisterAddress kCurrentSetpoint = 0x2301;
constexpr RegisterAddress kSpeedSetpoint = 0x2305;
constexpr RegisterAddress kPositionSetpoint = 0x2309;
constexpr RegisterAddress kCurrentTestStatus = 0x2400;
constexpr RegisterAddress kCurrentTestParams = 0x2401;
constexpr RegisterAddress kCurrentTestLength = 0x2408;
constexpr RegisterAddress kSpeedTestStatus = 0x2500;
constexpr RegisterAddress kSpeedTestParams = 0x2501;
constexpr RegisterAddress kSpeedTestLength = 0x2505;
constexpr RegisterAddress kPositionTestStatus = 0x2600;
constexpr RegisterAddress kPositionTestParams = 0x2601;
constexpr RegisterAddress kPositionTestLength = 0x2611;
constexpr RegisterAddress kCustomGroup = 0x3000;
constexpr RegisterAddress kAcknowledge = 0x5000;  // never requested; its reply only releases a wait
constexpr RegisterAddress kReset = 0x5001;
constexpr RegisterAddress kControlWord = 0x6000;
constexpr RegisterAddress kCaptureFirst = 0x8000;
constexpr RegisterAddress kCaptureLast = 0xA000;
}  // namespace reg

// Block sizes in bytes.
namespace size {
constexpr uint8_t kCanSettings = 2;
constexpr uint8_t kMotorGroup = 17;
constexpr uint8_t kMotorGroupDownload = 16;
constexpr uint8_t kApplicationGroup = 37;
constexpr uint8_t kApplicationGroupDownload = 33;
constexpr uint8_t kLiveStatusShort = 6;
constexpr uint8_t kLiveStatusLong = 22;
constexpr uint8_t kLiveStatusLongKvd417 = 26;
constexpr uint8_t kClearFaults = 2;
constexpr uint8_t kLoopGains = 12;
constexpr uint8_t kIdentification = 34;
constexpr uint8_t kDriveLimits = 24;
constexpr uint8_t kMatchingGroup = 7;
constexpr uint8_t kWorkModeRead = 18;
constexpr uint8_t kWorkModeWrite = 1;
constexpr uint8_t kCurrentSetpoint = 4;
constexpr uint8_t kSpeedSetpoint = 8;
constexpr uint8_t kPositionSetpoint = 13;
constexpr uint8_t kTestStatus = 1;
constexpr uint8_t kTestLength = 2;
constexpr uint8_t kCurrentTestParams = 7;
constexpr uint8_t kSpeedTestParams = 4;
constexpr uint8_t kPositionTestParams = 16;
constexpr uint8_t kCustomGroup = 100;
constexpr uint8_t kControlWord = 2;
constexpr uint8_t kCaptureBlock = 128;
}  // namespace size

// Control words of register 0x6000.
namespace control {
constexpr uint16_t kStartMatching = 0x0101;
constexpr uint16_t kDisable = 0x0200;
constexpr uint16_t kEnable = 0x0201;
constexpr uint16_t kRun = 0x0300;
constexpr uint16_t kStop = 0x0301;
constexpr uint16_t kEmergencyStop = 0x0302;
constexpr uint16_t kRestoreDefaults = 0x0400;
constexpr uint16_t kStoreParameters = 0x0401;
constexpr uint16_t kStopCurrentTest = 0x0500;
constexpr uint16_t kStartCurrentTest = 0x0501;
constexpr uint16_t kStopSpeedTest = 0x0600;
constexpr uint16_t kStartSpeedTest = 0x0601;
constexpr uint16_t kStartPositionTest = 0x0701;
}  // namespace control

constexpr const char* kLongStatusModel = "KVD417";

// Size of the long status read for the model the drive reported (26 for "KVD417", else 22).
uint8_t LongStatusSize(const DriveState& state);

// Pack routines: fill `payload` (the frame's data, offset 7 of a frame buffer) and return
// the number of data bytes, which is the count to write.
uint8_t PackCanSettings(uint8_t* payload, uint8_t baudCode, uint8_t addressCode);
uint8_t PackMotorGroup(uint8_t* payload, const MotorGroup& g);          // 17 bytes
uint8_t PackMotorGroupDownload(uint8_t* payload, const MotorGroup& g);  // bytes 0-15
uint8_t PackApplicationGroup(uint8_t* payload, const ApplicationGroup& g);
uint8_t PackClearFaults(uint8_t* payload);
uint8_t PackLoopGains(uint8_t* payload, float p, float i, float d);
uint8_t PackMatchingGroup(uint8_t* payload, const MatchingGroup& g);
uint8_t PackWorkMode(uint8_t* payload, uint8_t workMode);
uint8_t PackCurrentSetpoint(uint8_t* payload, float current);
uint8_t PackSpeedSetpoint(uint8_t* payload, int32_t speed, int32_t extra);
uint8_t PackPositionSetpoint(uint8_t* payload, uint8_t type, int32_t position, int32_t speed,
                             int32_t extra);
uint8_t PackCurrentTest(uint8_t* payload, uint8_t type, float amplitude, uint16_t frequency);
uint8_t PackSpeedTest(uint8_t* payload, int32_t setSpeed);
uint8_t PackPositionTest(uint8_t* payload, int32_t acceleration, int32_t maxSpeed,
                         int32_t target);
uint8_t PackCustomGroup(uint8_t* payload, const CustomGroup& g);
uint8_t PackControlWord(uint8_t* payload, uint16_t word);

// True for the addresses the dispatcher decodes or acknowledges (not the capture blocks).
bool IsKnownRegister(RegisterAddress address);
bool IsCaptureBlock(RegisterAddress address);

// Decodes the data of a read reply for `address` into `state` and `motion`. Only fields that
// lie wholly within the `count` data bytes carried are stored; the others keep their values.
void DecodeReadReply(RegisterAddress address, const uint8_t* data, size_t count,
                     DriveState& state, MotionFields& motion);

}  // namespace torvane
